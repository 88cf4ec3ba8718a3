// The frame function that the engine's Run calls once per frame, and the
// frame-rate format it writes with.
#pragma once

// Composes the whole frame at time t (seconds since the run began): every
// time window is tested on its own and draws in a fixed order. No state is
// kept between frames.
void FrameCallback(float t);

// Format of the frame-rate text, given the frame rate (int) and t (double).
// All zero at start, so nothing is shown unless the engine fills it in.
extern char fpsFormat[64];
