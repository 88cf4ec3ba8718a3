// Real-time play: the window, the music on the audio device, and t from the
// music's playback clock (the monotonic clock without a device or with
// --mute). Ends at the song's end, at --length, or when the window asks.
// Nothing is drawn while the window is hidden; a device that goes away is
// followed by the next one that appears.
// Space pauses and resumes, Left and Right seek 5 s, Home restarts; a seek
// shows the picture that the frames at 60 fps from 0 lead to (seek.h). R
// steps the drawing resolution 1, 2, ... up to the window's scale and back
// to 1. C turns the calm mode on and off (calm/calm.h).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "audio/device.h"
#include "audio/faults.h"
#include "calm/calm.h"
#include "platform/system.h"
#include "platform/window.h"
#include "render/render.h"
#include "run/frames.h"
#include "run/play_clock.h"
#include "run/seek.h"
#include "run/state.h"

namespace qor {

namespace {

constexpr double kSeekStep = 5.0;       // s, Left and Right
constexpr double kTitleSeconds = 2.0;   // the time stays in the title this long after a seek
constexpr double kPassBudget = 0.002;   // s of each frame spent on the reference states
constexpr double kHiddenWait = 0.05;    // s between looks at the clock while the window is hidden

// What real-time play keeps between frames.
struct Player {
    RunState* run = nullptr;
    FrameFunction frame = nullptr;
    SeekCache* states = nullptr;
    PlayClock clock;
    double end = 0.0;   // s, the run ends when t reaches it
    bool paused = false;
    bool hidden = false;             // the window is: nothing is drawn
    bool deviceGone = false;         // the device went away: a new one is taken when SDL sees one
    double seekShown = -1.0;         // monotonic s of the last seek (for the title)
    double resolutionShown = -1.0;   // monotonic s of the last change of resolution (for the title)
    double calmShown = -1.0;         // monotonic s of the last C (for the title)
    FrameImage shown{};              // the picture last shown (what a pause keeps)
    std::string title;               // as last set
    // One line per shown frame, for measuring: present time, t, the song time
    // heard at that moment by the raw device model. Written to $TEQ_FRAME_LOG.
    std::FILE* frameLog = nullptr;
};

// Music from `start`, on the device unless muted or there is none.
void StartMusic(Player& p, double start) {
    RunState& run = *p.run;
    run.soundtrack.Seek(audio::SongFrame(start));
    bool device = false;
    if (!run.options.mute) {
        std::string why;
        device = audio::OpenDevice(run.soundtrack, &why);
        if (!device)
            std::fprintf(stderr, "teq: no audio device (%s); playing without sound on the system clock\n", why.c_str());
    }
    p.clock.StartAt(start, device);
}

std::string Clock(double t);

// The t of the next frame (play_clock.h). Without a device the music is
// rendered on this thread up to t: the level still comes from the samples
// the song really has.
double NextTime(Player& p) {
    const bool device = p.clock.Device();
    const double now = audio::MonotonicSeconds();
    const double t = p.clock.Next(now, device ? audio::DeviceSeconds() : 0.0);
    if (p.clock.TakeStall()) {
        // The device stopped asking for sound: carry on without it.
        audio::LoseDevice();
        p.deviceGone = true;
        std::fprintf(stderr, "teq: the audio device stalled at %s; playing on without sound\n", Clock(t).c_str());
        if (p.frameLog) std::fprintf(p.frameLog, "# device stalled %.3f\n", t);
    }
    if (p.clock.Device())
        audio::NotePicture(t - p.clock.Lead(), now);
    else
        p.run->soundtrack.RenderTo(audio::SongFrame(t));
    return t;
}

// The audio device went away (SDL says it was removed) or a new one appeared:
// the run goes on on the monotonic clock from where it was, and takes the new
// default device, the music put at the picture's time. One line each.
void FollowDevice(Player& p) {
    if (p.clock.Device() && audio::TakeDeviceLost()) {
        p.clock.DropDevice(audio::MonotonicSeconds());   // the time closing takes is played too
        audio::LoseDevice();
        p.deviceGone = true;
        std::fprintf(stderr, "teq: the audio device went away at %s; playing on without sound\n",
                     Clock(p.clock.LastT()).c_str());
        if (p.frameLog) std::fprintf(p.frameLog, "# device removed %.3f\n", p.clock.LastT());
    }
    if (!p.deviceGone || p.paused || !audio::TakeDeviceAdded()) return;
    RunState& run = *p.run;
    std::string why;
    if (!audio::OpenDevice(run.soundtrack, &why, false)) {
        std::fprintf(stderr, "teq: a new audio device appeared but cannot be opened (%s); still without sound\n",
                     why.c_str());
        return;
    }
    // The device waits while the music is put where the picture is.
    const double t = p.clock.Next(audio::MonotonicSeconds(), 0.0);
    run.soundtrack.Seek(audio::SongFrame(t));
    p.clock.StartAt(t, true);
    audio::ResumeDevice();
    p.clock.Restart(audio::MonotonicSeconds());
    p.deviceGone = false;
    std::fprintf(stderr, "teq: sound again from %s on the new default audio device\n", Clock(t).c_str());
    if (p.frameLog) std::fprintf(p.frameLog, "# device added %.3f\n", t);
}

// The faults a test asked for ($TEQ_FAULTS) that are due at t.
void InjectFaults(Player& p, double t) {
    using audio::Fault;
    Fault f;
    const auto note = [&](const char* what) {
        if (p.frameLog) std::fprintf(p.frameLog, "# fault %s %.3f %.3f\n", what, t, f.arg);
    };
    if (audio::TakeFault(Fault::Kind::Remove, t, &f)) {
        note("remove");
        audio::ReportDeviceChange(true);
    }
    if (audio::TakeFault(Fault::Kind::Add, t, &f)) {
        note("add");
        audio::ReportDeviceChange(false);
    }
    if (audio::TakeFault(Fault::Kind::Jump, t, &f)) {
        note("jump");
        audio::JumpClock(f.arg);
    }
    if (audio::TakeFault(Fault::Kind::Slow, t, &f)) {
        note("slow");
        std::this_thread::sleep_for(std::chrono::duration<double>(f.arg));
    }
}

// "m:ss.s" for the title.
std::string Clock(double t) {
    char text[32];
    const int tenths = static_cast<int>(std::lround(std::max(0.0, t) * 10));
    std::snprintf(text, sizeof text, "%d:%02d.%d", tenths / 600, tenths / 10 % 60, tenths % 10);
    return text;
}

// The window title shows the time while paused and for a while after a seek.
void ShowTime(Player& p) {
    const std::string base = "teq";
    std::string title;
    if (p.resolutionShown >= 0 && audio::MonotonicSeconds() - p.resolutionShown < kTitleSeconds)
        title = base + " - resolution " + std::to_string(render::Resolution()) + " (" +
                std::to_string(render::Width()) + "x" + std::to_string(render::Height()) + ")";
    else if (p.calmShown >= 0 && audio::MonotonicSeconds() - p.calmShown < kTitleSeconds)
        title = base + (calm::On() ? " - calm mode" : " - calm mode off");
    else if (p.paused)
        title = base + " - paused - " + Clock(p.clock.LastT());
    else if (p.seekShown >= 0 && audio::MonotonicSeconds() - p.seekShown < kTitleSeconds)
        title = base + " - " + Clock(p.clock.LastT());
    if (title != p.title) platform::SetTitle(title);
    p.title = title;
}

// Draws the frame at t and shows it. The lead follows the time from the
// clock's reading to the picture shown.
void DrawAt(Player& p, double t) {
    const double read = audio::MonotonicSeconds();
    const FrameImage image = DrawFrame(*p.run, p.frame, t);
    p.shown = image;
    platform::Present(image.argb, image.width, image.height);
    const double now = audio::MonotonicSeconds();
    p.clock.NoteShown(read, now, platform::RefreshRate());
    if (p.frameLog)
        std::fprintf(p.frameLog, "%.6f %.9f %.6f\n", now, t, audio::DeviceOpen() ? audio::DeviceHeardRaw(now) : -1.0);
}

// Jumps to `target` (seconds, >= 0, before the end): the states the frames
// before it leave, the music there, and its picture at once. The device
// plays silence meanwhile and starts again at the target, unless paused.
void SeekTo(Player& p, double target) {
    RunState& run = *p.run;
    const double began = audio::MonotonicSeconds();
    const double cpuBegan = platform::CpuSeconds();
    const double was = p.clock.LastT();
    const bool device = p.clock.Device();
    if (device && !p.paused) audio::HoldDevice();
    p.states->StatesAt(target);
    const double statesAt = audio::MonotonicSeconds();
    run.soundtrack.Seek(audio::SongFrame(target));
    const double musicAt = audio::MonotonicSeconds();
    p.clock.StartAt(target, device);
    DrawAt(p, target);
    if (device && !p.paused) audio::ResumeDevice();
    const double now = audio::MonotonicSeconds();
    p.clock.Restart(now);
    p.seekShown = now;
    // Seek from, to, ms in all (processor ms of the process); ms for the
    // states, the music, the picture (drawn and shown).
    if (p.frameLog)
        std::fprintf(p.frameLog, "# seek %.3f %.3f %.1f ms (cpu %.1f): states %.1f music %.1f picture %.1f\n", was,
                     target, 1000.0 * (now - began), 1000.0 * (platform::CpuSeconds() - cpuBegan),
                     1000.0 * (statesAt - began), 1000.0 * (musicAt - statesAt), 1000.0 * (now - musicAt));
}

// R: the next resolution, 1 after the window's scale. Paused, the picture is
// drawn again at once, from the states the frames before it leave (as --shot
// draws it); playing, the next frame is drawn at the new size.
void StepResolution(Player& p) {
    const int next = render::Resolution() + 1;
    render::SetResolution(next > std::min(platform::WindowScale(), render::kMaxResolution) ? 1 : next);
    p.resolutionShown = audio::MonotonicSeconds();
    if (p.paused) {
        p.states->StatesAt(p.clock.LastT());
        DrawAt(p, p.clock.LastT());
    }
}

// C: calm mode on or off, from the next frame on (paused, drawn again at once).
void ToggleCalm(Player& p) {
    SetCalm(!calm::On());
    p.calmShown = audio::MonotonicSeconds();
    if (p.paused) {
        p.states->StatesAt(p.clock.LastT());
        DrawAt(p, p.clock.LastT());
    }
}

void TogglePause(Player& p) {
    p.paused = !p.paused;
    const bool device = p.clock.Device();
    if (p.paused) {
        if (device) audio::HoldDevice();
    } else {
        if (device) audio::ResumeDevice();   // on from where the music stopped
        p.clock.Restart(audio::MonotonicSeconds());
    }
    if (p.frameLog) std::fprintf(p.frameLog, "# %s %.3f\n", p.paused ? "pause" : "resume", p.clock.LastT());
}

// Handles the playback keys; false when a seek went past the end.
bool HandleControls(Player& p) {
    for (const platform::Control c : platform::TakeControls()) {
        double target = p.clock.LastT();
        switch (c) {
            case platform::Control::Pause:
                TogglePause(p);
                continue;
            case platform::Control::Resolution:
                StepResolution(p);
                continue;
            case platform::Control::Calm:
                ToggleCalm(p);
                continue;
            case platform::Control::Back:
                target -= kSeekStep;
                break;
            case platform::Control::Forward:
                target += kSeekStep;
                break;
            case platform::Control::Restart:
                target = 0.0;
                break;
        }
        target = PlayClock::SeekTarget(target);
        if (target >= p.end) return false;
        SeekTo(p, target);
    }
    return true;
}

void LogTotals(const Player& p, double cpuBegan, double runBegan) {
    if (!p.frameLog) return;
    std::fprintf(p.frameLog, "# cpu %.3f wall %.3f\n", platform::CpuSeconds() - cpuBegan,
                 audio::MonotonicSeconds() - runBegan);
    if (!p.clock.Device()) return;
    const audio::DeviceStats st = audio::GetDeviceStats();
    std::fprintf(p.frameLog,
                 "# callbacks %lld delivered %lld underruns %lld worst_gap %.6f at %.3f "
                 "worst_render %.6f buffer %d latency %d skipped %lld\n",
                 static_cast<long long>(st.callbacks), static_cast<long long>(st.delivered),
                 static_cast<long long>(st.late), st.worstGap, st.worstGapAt, st.worstRender, st.bufferFrames,
                 st.latencyFrames, static_cast<long long>(st.skipped));
}

}   // namespace

Outcome RunPlay(RunState& run, FrameFunction frame) {
    const Options& o = run.options;
    if (!platform::WindowOpen() || platform::QuitRequested()) {
        platform::CloseWindow();
        return Outcome::Ok();
    }
    Player p;
    p.run = &run;
    p.frame = frame;
    p.end = run.soundtrack.Duration();
    if (o.length > 0) p.end = std::min(p.end, o.start + o.length);
    if (o.start >= p.end) {
        char why[96];
        std::snprintf(why, sizeof why, "--start %g is at or past the end of the demo (%g s)", o.start, p.end);
        platform::CloseWindow();
        return Outcome::Failed(why);
    }
    if (const char* log = std::getenv("TEQ_FRAME_LOG")) {
        p.frameLog = std::fopen(log, "w");
        if (p.frameLog) std::setvbuf(p.frameLog, nullptr, _IOLBF, 0);   // readable while running
    }

    // Frames before the start still run, undrawn, for the states they leave.
    SeekCache states(frame, run.demo, p.end);
    p.states = &states;
    p.clock.WaitForDevice(platform::SoundWaitsForPage());
    if (o.start > 0) states.StatesAt(o.start);
    StartMusic(p, o.start);
    const double runBegan = audio::MonotonicSeconds();
    const double cpuBegan = platform::CpuSeconds();
    p.clock.Restart(runBegan);

    while (platform::PumpEvents()) {
        if (!HandleControls(p)) break;
        FollowDevice(p);
        const bool hidden = platform::WindowHidden();
        if (hidden != p.hidden && p.frameLog)
            std::fprintf(p.frameLog, "# %s %.3f\n", hidden ? "hidden" : "shown", p.clock.LastT());
        p.hidden = hidden;
        double t = p.clock.LastT();
        if (!p.paused) {
            // Hidden too: the clock follows the music, which plays on.
            t = NextTime(p);
            if (t >= p.end) break;
            InjectFaults(p, t);
        }
        if (hidden) {
            // Nothing drawn can be seen: sleep until an event or the next
            // look at the clock. Shown again, the next frame is at the music's time.
            platform::WaitEvents(kHiddenWait);
            continue;
        }
        if (p.paused) {
            // The picture stays; the window is still shown and paced.
            if (p.shown.argb)
                platform::Present(p.shown.argb, p.shown.width, p.shown.height);
            else
                platform::Present(render::Frame(), render::Width(), render::Height());
        } else {
            DrawAt(p, t);
        }
        states.Advance(kPassBudget);
        ShowTime(p);
    }

    LogTotals(p, cpuBegan, runBegan);
    audio::CloseDevice();
    platform::CloseWindow();
    if (p.frameLog) std::fclose(p.frameLog);
    return Outcome::Ok();
}

}   // namespace qor
