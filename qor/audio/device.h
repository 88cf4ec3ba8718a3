// The audio device (SDL2): plays a Soundtrack from its current position (which
// measures what it renders) and reports its callbacks to a PlaybackClock. The
// only file of qor/audio that touches SDL.
#pragma once

#include <cstdint>
#include <string>

namespace qor::audio {

class Soundtrack;

struct DeviceStats {
    int64_t callbacks = 0;
    int64_t delivered = 0;      // frames handed to the device
    int64_t late = 0;           // callbacks after the device's queue ran dry (underruns)
    double worstGap = 0.0;      // s between two callbacks, the longest
    double worstGapAt = 0.0;    // s after the device opened, when it ended
    double worstRender = 0.0;   // s spent in one callback, the longest
    int bufferFrames = 0;       // device buffer
    int latencyFrames = 0;      // frames between a callback and the listener
};

// Seconds on the monotonic clock (steady_clock).
double MonotonicSeconds();

// Opens the default output at 48 kHz float stereo and starts playing `track`
// from its current position. On failure returns false with the reason in
// `why`; nothing is left open.
bool OpenDevice(Soundtrack& track, std::string* why);
void CloseDevice();
bool DeviceOpen();

// Pause and seek: HoldDevice stops taking sound from the music (the device
// plays silence, no callback runs until ResumeDevice, so the soundtrack may
// be moved meanwhile). ResumeDevice plays on from the soundtrack's
// position then, and the playback clock starts again there.
void HoldDevice();
void ResumeDevice();

// Song seconds heard now, from the playback clock (never decreasing).
double DeviceSeconds();

// Song seconds heard at `now` by the plain model (last callback's position
// run on with the monotonic clock, unsmoothed); for measuring the clock.
double DeviceHeardRaw(double now);

DeviceStats GetDeviceStats();

}   // namespace qor::audio
