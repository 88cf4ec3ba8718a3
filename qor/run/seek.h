// Seeking in real-time play. Frames inherit states (the engine's and the
// demo's random numbers), so the picture at t depends on every frame before
// it. The reference is the run that draws every frame at 60 fps from 0 (what
// --shot and --render show): its states are saved once a second, a pass that
// runs undrawn a few frames at a time beside playback, and a seek puts back
// the saved states before its target and replays at most a second undrawn.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/demo.h"
#include "engine/qor.h"
#include "render/render.h"
#include "run/frames.h"
#include "run/options.h"

namespace qor {

// Everything a frame inherits from the frames before it: the renderer's
// states and the demo's own (DemoFacts::inherited, as bytes).
struct Inherited {
    std::shared_ptr<const render::States> engine;
    std::vector<unsigned char> demo;
};
Inherited SaveInherited(const DemoFacts& demo);
void RestoreInherited(const DemoFacts& demo, const Inherited& states);

class SeekCache {
public:
    static constexpr int kEvery = kReferenceFps;   // frames between saved states

    // The reference run of `frame` up to `end` seconds. Call at the start of
    // the run, while the states are the initial ones.
    SeekCache(FrameFunction frame, const DemoFacts& demo, double end);

    // Puts in force the states that the reference frames before `seconds`
    // leave: the saved states at or before them, then the frames since
    // undrawn. Unlike FastForward, no frame is counted as shown for GetFPS.
    void StatesAt(double seconds);

    // Runs reference frames for `budget` seconds of processor time on
    // average (a frame that
    // takes longer is paid for by the calls after it), without disturbing
    // the states in force (between frames of playback). Once one took more
    // than kMaxFrameCost, no more: playback is not held up by the pass.
    void Advance(double budget);
    static constexpr double kMaxFrameCost = 0.05;   // s

    bool Complete() const { return next_ >= total_; }

private:
    // Runs reference frames from the pass's position up to frame `until`,
    // saving states as it passes every kEvery-th frame. The states in force
    // must be the pass's.
    void RunTo(int64_t until);

    FrameFunction frame_;
    const DemoFacts& demo_;
    int64_t total_;                  // reference frames before the end
    int64_t next_ = 0;               // the pass has run frames 0 .. next_-1
    Inherited pass_;                 // the states after them (when not in force)
    std::vector<Inherited> saved_;   // saved_[i]: the states before frame i * kEvery
    double credit_ = 0.0;            // s Advance may still spend (negative: owed)
    double lastCost_ = 0.0;          // processor s the last reference frame took
};

}   // namespace qor
