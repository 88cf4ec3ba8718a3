#include "audio/level.h"

#include <algorithm>
#include <cmath>

namespace qor::audio {

LevelMeter::LevelMeter() : mono_(kRing, 0.0f) {}

void LevelMeter::Reset(int64_t start) {
    start_ = start;
    end_.store(start, std::memory_order_release);
}

void LevelMeter::Push(const float* stereo, size_t frames) {
    int64_t end = end_.load(std::memory_order_relaxed);
    while (frames > 0) {
        // Publish in slices so a reader never sees a slot being rewritten.
        const size_t n = std::min<size_t>(frames, kMaxPush);
        for (size_t i = 0; i < n; ++i)
            mono_[static_cast<size_t>((end + static_cast<int64_t>(i)) & (kRing - 1))] =
                0.5f * (stereo[2 * i] + stereo[2 * i + 1]);
        end += static_cast<int64_t>(n);
        end_.store(end, std::memory_order_release);
        stereo += 2 * n;
        frames -= n;
    }
}

float LevelMeter::LevelAt(int64_t position) const {
    const int64_t end = end_.load(std::memory_order_acquire);
    // Slots older than end - kRing + kMaxPush may be rewritten by the next push.
    const int64_t from = std::max({position - kWindow, start_, end - kRing + kMaxPush});
    const int64_t to = std::min(position, end);
    double sum = 0.0;
    for (int64_t p = from; p < to; ++p) {
        const double s = mono_[static_cast<size_t>(p & (kRing - 1))];
        sum += s * s;
    }
    return static_cast<float>(std::sqrt(sum / kWindow));
}

}   // namespace qor::audio
