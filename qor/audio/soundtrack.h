// The music at position p: the module and its level meter, moved together.
// Every sample rendered, whether for the audio device, the WAV of a render or
// nobody (play without a device), is measured on the way, so the level at a
// position is always that of the samples heard there. A fixed level (--level;
// --shot and --bench, which load no music) stands in for the measured one.
//
// Threads: with the device playing, its callback renders (Render) and the
// run's thread reads levels (LevelAt); Seek and RenderTo only while the device
// is held or closed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "audio/level.h"
#include "audio/music.h"

namespace qor::audio {

// The song frame heard at t seconds: floor(t * kRate), with a hair of slack
// so that t = n / fps lands on floor(n * kRate / fps) whatever the rounding
// of the division.
int64_t SongFrame(double t);

class Soundtrack {
public:
    explicit Soundtrack(double demoSeconds) : music_(demoSeconds) {}

    // As Music::Load (one line on failure, then silence of the demo's length).
    bool Load(const std::string& path) { return music_.Load(path); }
    bool LoadMemory(const void* data, size_t size, const std::string& name) {
        return music_.LoadMemory(data, size, name);
    }

    double Duration() const { return music_.Duration(); }    // seconds the run lasts
    int64_t Position() const { return music_.Position(); }   // next song frame to render

    // Puts the music at song frame `position`: the meter's window before it
    // (less before the song's start) is rendered and measured first, so the
    // level there is what playing from the start would measure.
    void Seek(int64_t position);

    // Renders the next `frames` interleaved stereo frames into `stereo` and
    // measures them (the device's callback, a render's WAV).
    void Render(float* stereo, size_t frames);

    // Renders and measures up to song frame `position`, dropping the samples
    // (nothing plays them, their level still counts). Nothing when there already.
    void RenderTo(int64_t position);

    // The level heard at song frame `position` (LevelMeter::LevelAt), or the fixed one.
    float LevelAt(int64_t position) const;
    void FixLevel(float level);

private:
    Music music_;
    LevelMeter meter_;
    bool fixed_ = false;
    float level_ = 0.0f;   // the fixed level
};

}   // namespace qor::audio
