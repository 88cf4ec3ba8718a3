#include "run/seek.h"

#include <chrono>

namespace qor {

FrameStates SaveFrameStates() { return FrameStates{render::SaveStates(), randomState}; }

void RestoreFrameStates(const FrameStates& states) {
    render::RestoreStates(*states.engine);
    randomState = states.random;
}

int64_t FramesBefore(double seconds) {
    // The count of k >= 0 with k / 60 < seconds.
    if (!(seconds > 0)) return 0;
    int64_t k = static_cast<int64_t>(seconds * TimelineStates::kFps);
    while (k > 0 && double(k - 1) / TimelineStates::kFps >= seconds) --k;
    while (double(k) / TimelineStates::kFps < seconds) ++k;
    return k;
}

TimelineStates::TimelineStates(FrameFunction frame, double end) : frame_(frame), total_(FramesBefore(end)) {
    pass_ = SaveFrameStates();
    saved_.push_back(pass_);
}

void TimelineStates::RunTo(int64_t until) {
    render::SetDrawing(false);
    for (; next_ < until && next_ < total_; ++next_) {
        frame_(static_cast<float>(double(next_) / kFps));
        if ((next_ + 1) % kEvery == 0) saved_.push_back(SaveFrameStates());
    }
    render::SetDrawing(true);
}

void TimelineStates::StatesAt(double seconds) {
    const int64_t k = FramesBefore(seconds);
    if (k > next_) {
        RestoreFrameStates(pass_);
        RunTo(k);
        pass_ = SaveFrameStates();
    }
    // The saved states at or before k, then the frames from there undrawn.
    const int64_t from = std::min<int64_t>(k / kEvery, int64_t(saved_.size()) - 1) * kEvery;
    RestoreFrameStates(saved_[size_t(from / kEvery)]);
    render::SetDrawing(false);
    for (int64_t n = from; n < k; ++n) frame_(static_cast<float>(double(n) / kFps));
    render::SetDrawing(true);
}

void TimelineStates::Advance(double budget) {
    if (Complete()) return;
    using Clock = std::chrono::steady_clock;
    const FrameStates live = SaveFrameStates();
    RestoreFrameStates(pass_);
    const Clock::time_point until =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(budget));
    while (!Complete() && Clock::now() < until) RunTo(next_ + 4);
    pass_ = SaveFrameStates();
    RestoreFrameStates(live);
}

}   // namespace qor
