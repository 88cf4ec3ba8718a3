#include "run/frames.h"

#include "run/state.h"

namespace qor {

FrameImage DrawFrame(RunState& run, FrameFunction frame, double t) {
    run.level = run.soundtrack.LevelAt(audio::SongFrame(t));
    frame(static_cast<float>(t));
    NoteFrameShown(run, t);
    return FrameImage{render::Frame(), render::Width(), render::Height()};
}

void FastForward(RunState& run, FrameFunction frame, double until) {
    RunUndrawn(frame, 0, FramesBefore(until), [&](int64_t k) { NoteFrameShown(run, ReferenceTime(k)); });
}

}   // namespace qor
