// The time of real-time play's frames (qor/run/play_clock.cpp) on a fake
// monotonic clock and a fake audio device: what a viewer would see as a
// picture ahead of or behind its sound, a jump, a freeze or time going back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "run/play_clock.h"

namespace {

using qor::PlayClock;

constexpr double kFrame = 1.0 / 60;   // s between frames
constexpr double kRefresh = 60.0;     // Hz, the fake display

// A fake device: plays the song from `from` at the wall time `began`; its
// clock (as the playback clock reads it, run on between callbacks) frozen
// from `stalledAt` until `resumesAt`, when it is back caught up with the
// wall clock (the music skipped ahead) or, `behind`, where it stopped.
struct FakeDevice {
    double from = 0.0, began = 0.0;
    double stalledAt = 1e300;   // wall time from which its clock stops
    double resumesAt = 1e300;
    bool behind = false;
    double Heard(double now) const {
        double played = now - began;
        if (now >= resumesAt && behind)
            played -= resumesAt - stalledAt;
        else if (now >= stalledAt && now < resumesAt)
            played = stalledAt - began;
        return played <= 0 ? from : from + played;
    }
};

// Frames every kFrame from `now` until `until`, each taking `drawn` seconds
// to reach the screen; checks that t never goes back. Returns the last t.
double Play(PlayClock& clock, const FakeDevice& device, double& now, double until, double drawn = 0.01) {
    double last = clock.LastT();
    for (; now < until; now += kFrame) {
        const double t = clock.Next(now, device.Heard(now));
        EXPECT_GE(t, last) << "time went back at " << now;
        last = t;
        clock.NoteShown(now, now + drawn, kRefresh);
    }
    return last;
}

TEST(PlayClock, FollowsTheDeviceLedByTheDisplayDelay) {
    PlayClock clock;
    FakeDevice device{12.0, 100.0};
    clock.StartAt(12.0, true);
    clock.Restart(100.0);
    double now = 100.0;
    EXPECT_EQ(clock.Next(now, device.Heard(now)), 12.0);   // the device has not played yet
    const double t = Play(clock, device, now, 110.0, 0.01);
    // The lead settles on the 10 ms a frame takes to the screen; the
    // picture's time is the sound heard when it shows, within a callback.
    EXPECT_NEAR(clock.Lead(), 0.01, 1e-3);
    EXPECT_NEAR(t, device.Heard(now - kFrame) + 0.01, 1e-3);
    EXPECT_NEAR(t, 22.0, 0.06);

    // A slow display: the lead stops at one refresh.
    Play(clock, device, now, 115.0, 0.5);
    EXPECT_DOUBLE_EQ(clock.Lead(), 1.0 / kRefresh);
}

// A device that jitters or reports in steps never moves the picture back.
TEST(PlayClock, NeverGoesBack) {
    PlayClock clock;
    clock.StartAt(5.0, true);
    clock.Restart(0.0);
    double last = 5.0;
    for (int i = 0; i < 600; ++i) {
        const double now = i * kFrame;
        const double heard = 5.0 + now + ((i % 7 == 3) ? -0.05 : 0.0);   // now and then a late report
        const double t = clock.Next(now, heard);
        ASSERT_GE(t, last) << i;
        last = t;
    }
}

// The device stops asking for sound: the picture does not freeze but runs
// on with the monotonic clock from the device's last reading; after
// kStallSeconds the device is given up (reported once) and the picture goes
// on without a jump.
TEST(PlayClock, StalledDeviceIsGivenUpWithoutAFreezeOrAJump) {
    PlayClock clock;
    FakeDevice device{0.0, 50.0};
    device.stalledAt = 52.005;   // between two frames
    clock.StartAt(0.0, true);
    clock.Restart(50.0);
    double now = 50.0;
    double t = Play(clock, device, now, 52.0);
    while (clock.Device()) {
        ASSERT_LT(now, 52.0 + PlayClock::kStallSeconds + 2 * kFrame) << "the stall is not noticed";
        EXPECT_FALSE(clock.TakeStall());
        const double next = clock.Next(now, device.Heard(now));
        // The frame that finds the clock frozen runs on from the last reading.
        EXPECT_GT(next - t, 0.0) << "the picture stands still at " << now;
        EXPECT_LT(next - t, kFrame + 1e-6) << "the picture jumps at " << now;
        t = next;
        now += kFrame;
    }
    EXPECT_GT(now, 52.0 + PlayClock::kStallSeconds - 0.05) << "given up too soon";
    EXPECT_TRUE(clock.TakeStall());
    EXPECT_FALSE(clock.TakeStall());
    // From here on the monotonic clock, from where the picture was.
    const double givenUp = now - kFrame;
    const double later = Play(clock, device, now, givenUp + 3.0);
    EXPECT_NEAR(later - t, (now - kFrame) - givenUp, 1e-9);
    EXPECT_NEAR(later, now - kFrame - 50.0, kFrame + 0.011);   // the wall clock's time from the start, led
}

// The callback is not called for half a second, then comes back with the
// music caught up (the device skips it ahead to the picture): the picture
// neither stands still nor jumps, and follows the device again at once.
// Back without catching up, the picture waits for the sound; never goes back.
TEST(PlayClock, ShortStallKeepsThePictureMoving) {
    for (const bool behind : {false, true}) {
        PlayClock clock;
        FakeDevice device{10.0, 0.0, 2.005, 2.505, behind};
        clock.StartAt(10.0, true);
        clock.Restart(0.0);
        double now = 0.0;
        double t = Play(clock, device, now, 1.0);
        double worstStep = 0.0, still = 0.0;
        for (; now < 4.0; now += kFrame) {
            const double next = clock.Next(now, device.Heard(now));
            ASSERT_GE(next, t);
            worstStep = std::max(worstStep, next - t);
            still = next > t ? 0.0 : still + kFrame;
            t = next;
            clock.NoteShown(now, now + 0.01, kRefresh);
        }
        EXPECT_TRUE(clock.Device());
        EXPECT_FALSE(clock.TakeStall());
        // Together again: the picture is the sound heard, led by the display's delay.
        EXPECT_NEAR(t, device.Heard(now - kFrame) + clock.Lead(), 0.002) << behind;
        if (!behind) {
            EXPECT_LT(worstStep, 2 * kFrame) << "the picture jumped";
            EXPECT_LT(still, kFrame * 1.5) << "the picture stood still";
        }
    }
}

// The device goes away (removed): t goes on from where the picture was on the
// monotonic clock, without a jump or a stand-still, and follows a new device
// started at that time once it plays.
TEST(PlayClock, DeviceGoneThenANewOne) {
    PlayClock clock;
    FakeDevice device{0.0, 0.0};
    clock.StartAt(0.0, true);
    clock.Restart(0.0);
    double now = 0.0;
    double t = Play(clock, device, now, 3.0);
    clock.DropDevice(now);
    EXPECT_FALSE(clock.Device());
    EXPECT_FALSE(clock.TakeStall());
    const double began = now;
    const double atDrop = t;
    t = Play(clock, FakeDevice{}, now, 5.0);   // readings mean nothing now
    EXPECT_NEAR(t, atDrop + (now - kFrame - began), 1e-9);
    // A new device, the music put at the picture's time.
    clock.StartAt(t, true);
    clock.Restart(now);
    const FakeDevice next{t, now + 0.05};   // starts playing 50 ms later
    const double later = Play(clock, next, now, 7.0);
    EXPECT_TRUE(clock.Device());
    EXPECT_NEAR(later, next.Heard(now - kFrame) + clock.Lead(), 0.002);
}

// Where the page can suspend the sound (a browser tab): the picture waits for
// a device whose clock stands still, however long, never drawn ahead of the
// silent music, and goes on with it when it plays again.
TEST(PlayClock, WaitsForASuspendedDevice) {
    PlayClock clock;
    clock.WaitForDevice(true);
    FakeDevice device{0.0, 0.0, 2.005, 32.005, true};   // suspended for 30 s
    clock.StartAt(0.0, true);
    clock.Restart(0.0);
    double now = 0.0;
    Play(clock, device, now, 2.1);
    double worstAhead = 0.0;
    for (; now < 33.0; now += kFrame) {
        const double t = clock.Next(now, device.Heard(now));
        worstAhead = std::max(worstAhead, t - device.Heard(now));
        clock.NoteShown(now, now + 0.01, kRefresh);
    }
    EXPECT_TRUE(clock.Device());
    EXPECT_FALSE(clock.TakeStall());
    EXPECT_LT(worstAhead, 1.0 / kRefresh + 1e-9) << "drawn ahead of the silent music";
    const double t = Play(clock, device, now, 35.0);
    EXPECT_NEAR(t, device.Heard(now - kFrame) + clock.Lead(), 0.002);
}

// Without a device, t runs on the monotonic clock from the start.
TEST(PlayClock, WithoutADeviceFollowsTheMonotonicClock) {
    PlayClock clock;
    clock.StartAt(30.0, false);
    clock.Restart(7.0);
    EXPECT_DOUBLE_EQ(clock.Next(7.0, 999.0), 30.0);   // a device reading means nothing here
    double now = 7.0 + kFrame;
    const double t = Play(clock, FakeDevice{}, now, 9.5);
    EXPECT_NEAR(t, 30.0 + (now - kFrame - 7.0), 1e-9);
    EXPECT_DOUBLE_EQ(clock.Next(now - 0.5, 0.0), t);   // a reading out of order: no going back
}

// The whole process stopped (SIGSTOP, a laptop asleep) for longer than a
// stall: no jump of the picture and no stall of the device, which plays on
// from where it was once the process runs again.
TEST(PlayClock, StoppedProcessResumesWhereItWas) {
    PlayClock muted;
    muted.StartAt(0.0, false);
    muted.Restart(0.0);
    EXPECT_DOUBLE_EQ(muted.Next(0.5, 0.0), 0.5);
    EXPECT_DOUBLE_EQ(muted.Next(1.0, 0.0), 1.0);
    EXPECT_DOUBLE_EQ(muted.Next(600.0, 0.0), 1.0);   // stopped for ten minutes
    EXPECT_DOUBLE_EQ(muted.Next(600.5, 0.0), 1.5);

    PlayClock played;
    FakeDevice device{0.0, 0.0};
    played.StartAt(0.0, true);
    played.Restart(0.0);
    double now = 0.0;
    const double at = Play(played, device, now, 2.0);
    // Stopped for 5 s: the device's thread too, so its clock has not moved.
    device = FakeDevice{device.Heard(now), now + 5.0 + 0.2};
    now += 5.0;
    const double t = Play(played, device, now, now + 2.0);
    EXPECT_TRUE(played.Device());
    EXPECT_FALSE(played.TakeStall());
    EXPECT_NEAR(t, at + 1.8, 0.1);
}

// A pause holds t however long it lasts; resuming goes on from there.
TEST(PlayClock, PauseHoldsTheTime) {
    PlayClock clock;
    clock.StartAt(0.0, false);
    clock.Restart(0.0);
    double now = 0.0;
    const double at = Play(clock, FakeDevice{}, now, 4.0);
    // Paused for a minute: no frames asked for; then Restart.
    now += 60.0;
    clock.Restart(now);
    EXPECT_NEAR(clock.Next(now, 0.0), at, 1e-9);
    const double began = now;
    const double t = Play(clock, FakeDevice{}, now, now + 1.0);
    EXPECT_NEAR(t, at + (now - kFrame - began), 1e-9);

    // With a device: the device is held, and on resume its clock starts
    // again from the music's position; a resume is no stall.
    PlayClock played;
    FakeDevice device{0.0, 0.0};
    played.StartAt(0.0, true);
    played.Restart(0.0);
    double wall = 0.0;
    const double heldAt = Play(played, device, wall, 3.0);
    device = FakeDevice{heldAt, wall + 5.0};   // paused 5 s, then resumed where it was
    wall += 5.0;
    played.Restart(wall);
    const double resumed = Play(played, device, wall, wall + 2.0);
    EXPECT_TRUE(played.Device());
    EXPECT_NEAR(resumed, heldAt + 2.0, 0.08);
}

// A seek starts the music again at the target: t goes back if the target is
// behind, and then runs on from it.
TEST(PlayClock, SeekStartsAgainAtTheTarget) {
    PlayClock clock;
    clock.StartAt(0.0, false);
    clock.Restart(0.0);
    double now = 0.0;
    const double at = Play(clock, FakeDevice{}, now, 20.0);
    EXPECT_NEAR(at, 20.0, 2 * kFrame);
    clock.StartAt(PlayClock::SeekTarget(at - 5.0), false);
    clock.Restart(now);
    EXPECT_DOUBLE_EQ(clock.Next(now, 0.0), 15.0);
    const double began = now;
    const double t = Play(clock, FakeDevice{}, now, now + 1.0);
    EXPECT_NEAR(t, 15.0 + (now - kFrame - began), 1e-9);
}

// Seek targets are whole tenths, as the title shows them, and never before 0.
TEST(PlayClock, SeekTargetsAreWholeTenths) {
    EXPECT_DOUBLE_EQ(PlayClock::SeekTarget(12.34 - 5.0), 7.3);
    EXPECT_DOUBLE_EQ(PlayClock::SeekTarget(12.36 + 5.0), 17.4);
    EXPECT_DOUBLE_EQ(PlayClock::SeekTarget(3.0 - 5.0), 0.0);
    EXPECT_DOUBLE_EQ(PlayClock::SeekTarget(0.04), 0.0);
    EXPECT_DOUBLE_EQ(PlayClock::SeekTarget(0.05), 0.1);
}

}   // namespace
