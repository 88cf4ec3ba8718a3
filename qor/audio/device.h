// The audio device (SDL2): plays a Music from its current position, feeds
// every rendered frame to a LevelMeter and reports its callbacks to a
// PlaybackClock. The only file of qor/audio that touches SDL.
#pragma once

#include <cstdint>
#include <string>

namespace qor::audio {

class Music;
class LevelMeter;

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

// Opens the default output at 48 kHz float stereo and starts playing `music`
// from its current position (the meter must be Reset there). On failure
// returns false with the reason in `why`; nothing is left open.
bool OpenDevice(Music& music, LevelMeter& meter, std::string* why);
void CloseDevice();
bool DeviceOpen();

// Pause and seek: HoldDevice stops taking sound from the music (the device
// plays silence, no callback runs until ResumeDevice, so the music and the
// meter may be moved meanwhile). ResumeDevice plays on from the music's
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
