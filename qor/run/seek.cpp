#include "run/seek.h"

#include <algorithm>
#include <cstring>
#include <ctime>

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
    // One frame at a time against a credit of time: a frame dearer than the
    // budget (heavy data, a busy machine) runs only once the budgets of as
    // many play frames have paid for it, so the pass never takes more than
    // its share, whatever one frame costs. A frame so dear that it would
    // show as a hitch stops the pass: seeks past it replay from the states
    // saved before.
    if (Complete() || lastCost_ > kMaxFrameCost) return;
    credit_ += budget;
    if (credit_ <= 0.0) return;
    const Inherited live = SaveInherited(demo_);
    RestoreInherited(demo_, pass_);
    while (!Complete() && credit_ > 0.0 && lastCost_ <= kMaxFrameCost) {
        // Processor time: a busy machine that holds the run up is no dear frame.
        const std::clock_t began = std::clock();
        RunTo(next_ + 1);
        lastCost_ = static_cast<double>(std::clock() - began) / CLOCKS_PER_SEC;
        credit_ -= lastCost_;
    }
    pass_ = SaveInherited(demo_);
    RestoreInherited(demo_, live);
}

}   // namespace qor
