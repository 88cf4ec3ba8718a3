#include "run/frames.h"

#include <algorithm>
#include <vector>

#include "calm/calm.h"
#include "run/state.h"

namespace qor {

FrameImage DrawFrame(RunState& run, FrameFunction frame, double t, float level) {
    run.level = calm::On() ? calm::Level(t, level) : level;
    frame(static_cast<float>(t));
    NoteFrameShown(run, t);
    const uint32_t* argb = render::Frame();
    if (calm::On()) argb = calm::Picture(t, argb, render::Width(), render::Height());
    return FrameImage{argb, render::Width(), render::Height()};
}

void FastForward(RunState& run, FrameFunction frame, double until) {
    RunUndrawn(frame, 0, FramesBefore(until), [&](int64_t k) { NoteFrameShown(run, ReferenceTime(k)); });
}

void SeekMusic(RunState& run, int64_t position) {
    const int64_t lead = std::min<int64_t>(position, audio::LevelMeter::kWindow);
    run.music.Seek(position - lead);
    run.meter.Reset(position - lead);
    std::vector<float> buffer(2 * static_cast<size_t>(lead));
    run.music.Render(buffer.data(), static_cast<size_t>(lead));
    run.meter.Push(buffer.data(), static_cast<size_t>(lead));
}

}   // namespace qor
