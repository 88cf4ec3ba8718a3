// qor/audio: the demo's music. The module player (libopenmpt), the level
// meter and the soundtrack that moves both together (soundtrack.h), the
// playback clock model and the SDL audio device. Does not
// decide when the run ends or what t the frames get: qor/run does that from
// what this module reports.
//
// Music: one module, played once to its end ("play.at_end" = "stop"), float
// stereo at 48 kHz. A missing or unreadable file leaves a silent music of the
// demo's length (given at construction) so the run still has a length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct openmpt_module;

namespace qor::audio {

constexpr int kRate = 48000;   // frames per second, every path
// A song outside these bounds gets a line; past the longer one the run stops
// at the demo's end instead of the song's.
constexpr double kShortSongSeconds = 120.0;
constexpr double kLongSongSeconds = 180.0;

class Music {
public:
    explicit Music(double demoSeconds) : demoSeconds_(demoSeconds), duration_(demoSeconds) {}
    ~Music();
    Music(const Music&) = delete;
    Music& operator=(const Music&) = delete;

    // Loads an XM file. Only data that passes the module gate (xm_gate.h) is
    // handed to the player. On failure prints one line to stderr naming the
    // file and the reason, leaves the music silent and returns false. A module
    // that is damaged but playable, that the player repairs, or whose length
    // is far from the demo's, also gets one line.
    bool Load(const std::string& path);
    bool LoadMemory(const void* data, size_t size, const std::string& name);
    void Unload();

    bool Loaded() const { return module_ != nullptr; }
    double Duration() const { return duration_; }         // seconds the run lasts
    double SongSeconds() const { return songSeconds_; }   // the song's own length (0: none)
    int64_t DurationFrames() const;                       // ceil(Duration * kRate)

    // Moves to `frame` (absolute, 0 = start of the song), sample-exact: the
    // player seeks to a row at or before it and the difference is rendered
    // and dropped.
    void Seek(int64_t frame);

    // Renders `frames` interleaved stereo frames, always filling the buffer
    // (silence past the end or without a module). Returns the frames that
    // came from the song.
    size_t Render(float* stereo, size_t frames);

    int64_t Position() const { return position_; }   // next frame to render
    bool Ended() const { return ended_; }

private:
    openmpt_module* module_ = nullptr;
    double demoSeconds_;   // the demo's timeline: the length without a song, or past a long one
    double duration_;
    double songSeconds_ = 0.0;
    int64_t position_ = 0;
    bool ended_ = false;
};

// True when `data` starts with the XM file header text.
bool HasXmHeader(const void* data, size_t size);

}   // namespace qor::audio
