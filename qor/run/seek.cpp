#include "run/seek.h"

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

int64_t FramesBefore(double seconds) {
    // The count of k >= 0 with k / 60 < seconds.
    if (!(seconds > 0)) return 0;
    int64_t k = static_cast<int64_t>(seconds * kReferenceFps);
    while (k > 0 && double(k - 1) / kReferenceFps >= seconds) --k;
    while (double(k) / kReferenceFps < seconds) ++k;
    return k;
}

SeekCache::SeekCache(FrameFunction frame, const DemoFacts& demo, double end)
    : frame_(frame), demo_(demo), total_(FramesBefore(end)) {
    pass_ = SaveInherited(demo_);
    saved_.push_back(pass_);
}

void SeekCache::RunTo(int64_t until) {
    render::SetDrawing(false);
    for (; next_ < until && next_ < total_; ++next_) {
        frame_(static_cast<float>(double(next_) / kReferenceFps));
        if ((next_ + 1) % kEvery == 0) saved_.push_back(SaveInherited(demo_));
    }
    render::SetDrawing(true);
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
    render::SetDrawing(false);
    for (int64_t n = from; n < k; ++n) frame_(static_cast<float>(double(n) / kReferenceFps));
    render::SetDrawing(true);
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
