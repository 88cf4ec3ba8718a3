// qor/audio: the demo's music. Owns the module player (libopenmpt), the
// playback clock model, the level meter and the SDL audio device. Does not
// decide when the run ends or what t the frames get: qor/run does that from
// what this module reports.
//
// Music: one module, played once to its end ("play.at_end" = "stop"), float
// stereo at 48 kHz. A missing or unreadable file leaves a silent music of
// kSilentSeconds so the run still has a length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct openmpt_module;

namespace qor::audio {

constexpr int kRate = 48000;               // frames per second, every path
constexpr double kSilentSeconds = 135.0;   // length of a run without music

class Music {
public:
    Music() = default;
    ~Music();
    Music(const Music&) = delete;
    Music& operator=(const Music&) = delete;

    // Loads an XM file. Only data that begins with "Extended Module: " is
    // handed to the player. On failure prints one line to stderr naming the
    // file and the reason, leaves the music silent and returns false.
    bool Load(const std::string& path);
    bool LoadMemory(const void* data, size_t size, const std::string& name);
    void Unload();

    bool Loaded() const { return module_ != nullptr; }
    double Duration() const { return duration_; }          // seconds
    int64_t DurationFrames() const;                        // ceil(Duration * kRate)

    // Moves to `frame` (absolute, 0 = start of the song), sample-exact: the
    // player seeks to a row at or before it and the difference is rendered
    // and dropped.
    void Seek(int64_t frame);

    // Renders `frames` interleaved stereo frames, always filling the buffer
    // (silence past the end or without a module). Returns the frames that
    // came from the song.
    size_t Render(float* stereo, size_t frames);

    int64_t Position() const { return position_; }        // next frame to render
    bool Ended() const { return ended_; }

private:
    openmpt_module* module_ = nullptr;
    double duration_ = kSilentSeconds;
    int64_t position_ = 0;
    bool ended_ = false;
};

// True when `data` starts with the XM file header text.
bool HasXmHeader(const void* data, size_t size);

}  // namespace qor::audio
