// The playback clock: what the listener hears now, in seconds of the song,
// from the audio callbacks' reports and the monotonic clock.
//
// At a callback at time T that follows `delivered` frames, the listener hears
// frame start + delivered - latency (the device's queue still plays the
// frames before). Between callbacks the position runs on with the monotonic
// clock from a smoothed offset (callbacks jitter), capped at what the device
// has been given, and never runs backwards. A device clock that runs faster
// or slower than the monotonic one is followed: the offset is re-measured at
// every callback, so there is no drift.
//
// Pure arithmetic: no threads, no clock reads. Times are seconds on any
// monotonic scale.
#pragma once

#include <cstdint>

namespace qor::audio {

class PlaybackClock {
public:
    // rate: frames per second; latency: frames queued ahead of the listener.
    PlaybackClock(int rate, int latency) : rate_(rate), latency_(latency) {}

    // The song position of the first frame the device is given.
    void Start(int64_t startFrame);

    // A callback at `now` that comes after `delivered` frames and is about to
    // hand `frames` more to the device.
    void OnCallback(int64_t delivered, int frames, double now);

    // Seconds of the song heard at `now`; never less than a previous result.
    double Seconds(double now);

    bool Running() const { return callbacks_ > 0; }
    int latency() const { return latency_; }

private:
    int rate_;
    int latency_;
    int64_t start_ = 0;
    int64_t heard_ = 0;     // frame heard at the last callback
    int64_t ceiling_ = 0;   // frame heard when the given frames have played
    double offset_ = 0.0;   // song seconds minus monotonic seconds, smoothed
    int64_t callbacks_ = 0;
    double last_ = -1e300;   // last result
};

}   // namespace qor::audio
