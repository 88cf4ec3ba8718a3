// The frame function that the engine's Run calls once per frame.
#pragma once

// Composes the whole frame at time t (seconds since the run began): every
// time window is tested on its own and draws in a fixed order. No state is
// kept between frames.
void FrameCallback(float t);

// Every time (seconds) at which the set of windows that draw changes, in
// order: teq --bench reports its mean frame time between them.
inline constexpr float kWindowBounds[] = {20.0f, 27.5f, 37.0f, 42.5f,  53.0f,  55.0f,
                                          57.8f, 77.8f, 80.3f, 100.2f, 110.2f, 115.5f};
