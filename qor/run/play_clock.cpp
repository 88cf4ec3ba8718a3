#include "run/play_clock.h"

#include <algorithm>
#include <cmath>

namespace qor {

void PlayClock::StartAt(double t, bool device) {
    from_ = t;
    lastT_ = t;
    device_ = device;
}

void PlayClock::Restart(double now) {
    base_ = now - lastT_;
    lastAdvance_ = now;
    lastHeard_ = -1e300;
    lastNow_ = now;
}

double PlayClock::Next(double now, double heard) {
    // A gap this long between two frames is the process stopped or the
    // machine asleep, not play: the device's clock gets a fresh second to
    // move, and the monotonic one goes on from where it was.
    const bool gap = now - lastNow_ > kStallSeconds;
    lastNow_ = now;
    if (gap) {
        lastAdvance_ = now;
        base_ = now - lastT_;
    }
    double t;
    if (device_) {
        // Stalled is the device's clock standing still, whatever the lead does.
        if (heard > lastHeard_) {
            lastHeard_ = heard;
            lastAdvance_ = now;
        }
        // Until the device plays past the start, its clock reads the start;
        // once it has, t runs on from its last reading while it stands.
        const double runOn = wait_ ? 0.0 : now - lastAdvance_;
        t = std::max(lastT_, heard > from_ ? lastHeard_ + lead_ + runOn : heard);
        if (!wait_ && now - lastAdvance_ > kStallSeconds) {
            device_ = false;
            stalled_ = true;
            base_ = now - t;
        }
    } else {
        t = std::max(lastT_, now - base_);
    }
    lastT_ = t;
    return t;
}

void PlayClock::NoteShown(double read, double shown, double refreshRate) {
    lead_ = std::clamp(lead_ + 0.1 * ((shown - read) - lead_), 0.0, 1.0 / refreshRate);
}

void PlayClock::DropDevice(double now) {
    device_ = false;
    base_ = now - lastT_;
}

bool PlayClock::TakeStall() {
    const bool was = stalled_;
    stalled_ = false;
    return was;
}

double PlayClock::SeekTarget(double t) { return std::max(0.0, std::round(t * 10) / 10); }

}   // namespace qor
