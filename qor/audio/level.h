// The music level: root mean square of the mono mix ((L + R) / 2) over the
// last 1/50 s before a position, from the samples that were really rendered.
//
// A history ring keeps the mono mix by absolute frame position. One thread
// pushes (the audio callback, or the run loop without a device), another
// reads; positions not rendered yet, or before the start, count as silence.
// Reading is cheap (kWindow products), done once per frame; GetSoundLevel
// then returns that stored value.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/music.h"

namespace qor::audio {

class LevelMeter {
public:
    static constexpr int kWindowsPerSecond = 50;   // the level's definition: RMS over 1/50 s
    static constexpr int kWindow = kRate / kWindowsPerSecond;
    static constexpr int64_t kRing = 1 << 18;      // 5.4 s of history
    static constexpr int64_t kMaxPush = 1 << 14;   // producer writes at most this far ahead of a reader

    LevelMeter();

    // Empties the history; the next pushed frame has position `start`.
    void Reset(int64_t start);

    // Appends interleaved stereo frames (producer side).
    void Push(const float* stereo, size_t frames);

    // RMS over [position - kWindow, position) (reader side).
    float LevelAt(int64_t position) const;

    int64_t End() const { return end_.load(std::memory_order_acquire); }

private:
    std::vector<float> mono_;
    int64_t start_ = 0;
    std::atomic<int64_t> end_{0};
};

}   // namespace qor::audio
