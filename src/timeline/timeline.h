// The frame function that the engine's Run calls once per frame.
#pragma once

// Composes the whole frame at time t (seconds since the run began): every
// time window is tested on its own and draws in a fixed order. No state is
// kept between frames.
void FrameCallback(float t);

// The window bounds (s), 32-bit float constants; every test against one is strict.
inline constexpr float kOpeningOverlayEnd = 20.0f;    // "iwish.png" lit by the music
inline constexpr float kGridStart = 27.5f;            // the background and geo opening end
inline constexpr float kSkaterEnd = 37.0f;            // "skater.png" lit by the music
inline constexpr float kSplitStart = 42.5f;           // the grid gives way to the split screen
inline constexpr float kIwishFlickerStart = 53.0f;    // "iwish.png" flickering
inline constexpr float kSkaterFlickerStart = 55.0f;   // "skater.png" flickering
inline constexpr float kTunnelStart = 57.8f;          // the tunnel, to the end of the run
inline constexpr float kBitchStart = 77.8f;           // "bitch.png" flickering
inline constexpr float kLatePairStart = 80.3f;        // grid and geo after the overlays
inline constexpr float kCreditsStart = 100.2f;        // "cre.png" fading; grid under it
inline constexpr float kCreditsEnd = 110.2f;
inline constexpr float kSieniStart = 115.5f;   // the closing scene, to the end of the run

// Every bound, in order: the times at which the set of windows that draw changes.
inline constexpr float kWindowBounds[] = {kOpeningOverlayEnd, kGridStart,          kSkaterEnd,   kSplitStart,
                                          kIwishFlickerStart, kSkaterFlickerStart, kTunnelStart, kBitchStart,
                                          kLatePairStart,     kCreditsStart,       kCreditsEnd,  kSieniStart};

// The timeline's length (s): without music the run lasts this long.
inline constexpr double kTimelineSeconds = 135.0;

// The frame-rate format (given the frame rate, then t as a double): all zero
// at start, so that no frame rate is shown unless the engine is asked for it.
extern char fpsFormat[64];
