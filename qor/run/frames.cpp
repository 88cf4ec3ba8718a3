#include "run/frames.h"

#include "calm/calm.h"
#include "run/state.h"

namespace qor {

FrameImage DrawFrame(RunState& run, FrameFunction frame, double t) {
    const float level = run.soundtrack.LevelAt(audio::SongFrame(t));
    run.level = calm::On() ? calm::Level(t, level) : level;
    frame(static_cast<float>(t));
    NoteFrameShown(run, t);
    const uint32_t* argb = render::Frame();
    if (calm::On()) argb = calm::Picture(t, argb, render::Width(), render::Height());
    return FrameImage{argb, render::Width(), render::Height()};
}

void SetCalm(bool on) {
    calm::SetOn(on);
    render::SetScreenColourFilter(on ? calm::Colour : nullptr);
}

void FastForward(RunState& run, FrameFunction frame, double until) {
    RunUndrawn(frame, 0, FramesBefore(until), [&](int64_t k) { NoteFrameShown(run, ReferenceTime(k)); });
}

}   // namespace qor
