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
    int64_t skipped = 0;        // frames of music dropped to catch up with the pictures after a stall
};

// Seconds on the monotonic clock (steady_clock).
double MonotonicSeconds();

// Opens the default output at 48 kHz float stereo and starts playing `track`
// from its current position (held, as HoldDevice, unless `play`). On failure
// returns false with the reason in `why`; nothing is left open.
bool OpenDevice(Soundtrack& track, std::string* why, bool play = true);
void CloseDevice();
bool DeviceOpen();

// The device went away (SDL reported it removed, or it stalled): closed, and
// SDL keeps watching for new output devices. TakeDeviceLost is true once
// after SDL reported the open device removed; TakeDeviceAdded once after an
// output device appeared (while none is open, or since the last open).
void LoseDevice();
bool TakeDeviceLost();
bool TakeDeviceAdded();

// The pictures are at song time `t` at monotonic `now`. When the device comes
// back from a stall (its callback not called) while the pictures went on,
// the music skips ahead to them, so that sound and picture are together
// again at once; a whole process stopped, or a machine asleep, stops the
// pictures too, and the music goes on from where it was.
void NotePicture(double t, double now);

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

// For tests (TEQ_FAULTS, faults.h): the monotonic clock jumps `seconds`
// forward for every thread; SDL is told that the open output device was
// removed (it goes on playing to nobody) or that an output device was added.
void JumpClock(double seconds);
void ReportDeviceChange(bool removed);

}   // namespace qor::audio
