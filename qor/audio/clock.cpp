#include "audio/clock.h"

#include <algorithm>
#include <cmath>

namespace qor::audio {

namespace {
constexpr double kSmoothing = 0.05;   // share of each new offset measurement
constexpr double kSnap = 0.1;         // s: a larger disagreement resets the offset
}   // namespace

void PlaybackClock::Start(int64_t startFrame) {
    start_ = startFrame;
    heard_ = startFrame;
    ceiling_ = startFrame;
    offset_ = 0.0;
    callbacks_ = 0;
    last_ = static_cast<double>(startFrame) / rate_;
}

void PlaybackClock::OnCallback(int64_t delivered, int frames, double now) {
    heard_ = std::max(start_, start_ + delivered - latency_);
    ceiling_ = std::max(start_, start_ + delivered + frames - latency_);
    // Measured without the clamp to the start, so the device's first fill
    // gives the same offset as every later callback.
    const double measured = static_cast<double>(start_ + delivered - latency_) / rate_ - now;
    if (callbacks_ == 0 || std::fabs(measured - offset_) > kSnap)
        offset_ = measured;
    else
        offset_ += (measured - offset_) * kSmoothing;
    ++callbacks_;
}

double PlaybackClock::Seconds(double now) {
    if (callbacks_ == 0) return last_;
    double t = now + offset_;
    t = std::min(t, static_cast<double>(ceiling_) / rate_);
    t = std::max(t, static_cast<double>(start_) / rate_);
    last_ = std::max(last_, t);
    return last_;
}

}   // namespace qor::audio
