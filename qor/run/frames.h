// The frame driver: the one place that runs the demo's frame function. Every
// mode is a clock that picks each frame's t and a sink that takes the
// finished frame DrawFrame hands back: play (the music's clock, the window,
// play.cpp), render (a frame counter, PNG files or ffmpeg, video.cpp), shot
// (one time, one file, shot.cpp), bench (as fast as it goes, timings,
// bench.cpp). Frames run for the states they leave (before a start or a
// seek) run here too, undrawn, as reference frames: t = k / 60 from 0.
#pragma once

#include <cstdint>

#include "engine/qor.h"
#include "render/render.h"
#include "run/frame_times.h"

namespace qor {

struct RunState;

// Runs reference frames from .. until-1 with drawing off (they change states
// only, no pixel), calling after(k) after frame k.
template <class After>
void RunUndrawn(FrameFunction frame, int64_t from, int64_t until, After&& after) {
    const render::DrawingOff off;
    for (int64_t k = from; k < until; ++k) {
        frame(static_cast<float>(ReferenceTime(k)));
        after(k);
    }
}

// A finished frame: width x height words 0xAARRGGBB, rows top down; valid
// until the next frame is drawn.
struct FrameImage {
    const uint32_t* argb;
    int width, height;
};

// Draws the frame at t, counts it as shown for GetFPS and hands it back. In
// it GetSoundLevel returns the soundtrack's level at t (each mode has the
// soundtrack rendered up to t, or fixed, before).
FrameImage DrawFrame(RunState& run, FrameFunction frame, double t);

// Calm mode on or off from the next frame on (calm/calm.h): the level, the
// colours of pictures drawn in screen space and the finished picture are
// shaped. Off, every frame is drawn as it always was.
void SetCalm(bool on);

// Runs every reference frame before `until` undrawn, counted for GetFPS, so
// that a frame at `until` inherits the states, camera, transforms and random
// numbers that playback from 0 would have left.
void FastForward(RunState& run, FrameFunction frame, double until);

}   // namespace qor
