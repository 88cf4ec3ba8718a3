// The time of real-time play's frames, as plain arithmetic on the readings it
// is given (no clock is read here, no device touched), so that it can be
// tested with a fake clock and a fake device.
//
// With the audio device, t is the song time the device's playback clock says
// is heard, led by the delay from reading the clock to the picture being on
// screen (smoothed, at most one display refresh), so a picture shows when its
// sound is heard. Without a device (or after it stalled or went away), t runs
// on the monotonic clock from where the music last started. t never goes back
// between seeks. While the device's clock stands still (its callback late),
// t runs on from its last reading with the monotonic clock, so the picture
// never freezes on a device (which catches up with the picture when it comes
// back: device.h). A device clock frozen for kStallSeconds while frames come
// is given up: t goes on from where it was on the monotonic clock, without a
// jump. A gap of more than kStallSeconds between two frames (the process was
// stopped, the machine slept) is no time played: t goes on from where it was.
#pragma once

namespace qor {

class PlayClock {
public:
    static constexpr double kStallSeconds = 1.0;

    // The music starts (or starts again after a seek) at `t` seconds; the
    // device, when `device`, plays it. Then Restart.
    void StartAt(double t, bool device);
    // From monotonic `now` on, the clock runs on from the last t: after a
    // start, a seek or a pause (the device clock, if any, starts again too).
    void Restart(double now);

    // The t of the next frame at monotonic `now`; `heard` is the device's
    // song seconds heard now (ignored without a device).
    double Next(double now, double heard);

    // A frame whose t was read at `read` was on screen at `shown`: the lead
    // follows that delay, at most one refresh of a `refreshRate` Hz display.
    void NoteShown(double read, double shown, double refreshRate);

    // True once, after Next gave up on a stalled device.
    bool TakeStall();

    // The device went away at monotonic `now`: t goes on from where it was on
    // the monotonic clock.
    void DropDevice(double now);

    // Where the sound can be suspended and resumed by someone else (a
    // browser page's audio context): while the device's clock stands still
    // the picture waits for it, however long, and is never drawn ahead of
    // a silent music; it goes on with the sound, together.
    void WaitForDevice(bool wait) { wait_ = wait; }

    bool Device() const { return device_; }
    double LastT() const { return lastT_; }
    double Lead() const { return lead_; }

    // A seek's target from `t`: whole tenths of a second (as the title shows
    // them), never before 0.
    static double SeekTarget(double t);

private:
    double from_ = 0.0;           // s, where the music last started
    double lastT_ = 0.0;          // t of the previous frame
    double base_ = 0.0;           // without a device: t = now - base
    double lastAdvance_ = 0.0;    // monotonic s when the device clock last moved
    double lastHeard_ = -1e300;   // the device clock's reading then
    double lastNow_ = 0.0;        // monotonic s of the last Next or Restart
    double lead_ = 0.0;           // s
    bool device_ = false;
    bool stalled_ = false;
    bool wait_ = false;
};

}   // namespace qor
