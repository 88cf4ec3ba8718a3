#include "run/seek.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace qor {

Inherited SaveInherited(const DemoFacts& demo) {
    const auto* bytes = static_cast<const unsigned char*>(demo.inherited);
    return Inherited{render::SaveStates(), {bytes, bytes + (bytes ? demo.inheritedSize : 0)}};
}

void RestoreInherited(const DemoFacts& demo, const Inherited& states) {
    render::RestoreStates(*states.engine);
    if (!states.demo.empty()) std::memcpy(demo.inherited, states.demo.data(), states.demo.size());
}

SeekCache::SeekCache(FrameFunction frame, const DemoFacts& demo, double end)
    : frame_(frame), demo_(demo), total_(FramesBefore(end)) {
    pass_ = SaveInherited(demo_);
    saved_.push_back(pass_);
}

void SeekCache::RunTo(int64_t until) {
    const int64_t to = std::min(until, total_);
    RunUndrawn(frame_, next_, to, [&](int64_t k) {
        if ((k + 1) % kEvery == 0) saved_.push_back(SaveInherited(demo_));
    });
    next_ = std::max(next_, to);
}

void SeekCache::StatesAt(double seconds) {
    const int64_t k = FramesBefore(seconds);
    if (k > next_) {
        RestoreInherited(demo_, pass_);
        RunTo(k);
        pass_ = SaveInherited(demo_);
    }
    // The saved states at or before k, then the frames from there undrawn.
    const int64_t from = std::min<int64_t>(k / kEvery, int64_t(saved_.size()) - 1) * kEvery;
    RestoreInherited(demo_, saved_[size_t(from / kEvery)]);
    RunUndrawn(frame_, from, k, [](int64_t) {});
}

void SeekCache::Advance(double budget) {
    if (Complete()) return;
    using Clock = std::chrono::steady_clock;
    const Inherited live = SaveInherited(demo_);
    RestoreInherited(demo_, pass_);
    const Clock::time_point until =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(budget));
    while (!Complete() && Clock::now() < until) RunTo(next_ + 4);
    pass_ = SaveInherited(demo_);
    RestoreInherited(demo_, live);
}

}   // namespace qor
