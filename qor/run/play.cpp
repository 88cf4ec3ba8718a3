// Real-time play: the window, the music on the audio device, and t from the
// music's playback clock (the monotonic clock without a device or with
// --mute). Ends at the song's end, at --length, or when the window asks.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "audio/device.h"
#include "platform/system.h"
#include "platform/window.h"
#include "render/render.h"
#include "run/modes.h"
#include "run/options.h"
#include "run/session.h"

namespace qor {

namespace {

constexpr double kStallSeconds = 1.0;   // device clock frozen this long: give up on it

// A frame is drawn from the clock's reading at its start and shown about one
// frame later. The run leads the clock by that delay (smoothed, at most one
// display refresh), so a picture is on screen when its sound is heard.
double gLead = 0.0;          // s
double gFrameStarted = 0.0;  // monotonic s when the frame's t was read

// One line per shown frame, for measuring: present time, t, the song time
// heard at that moment by the raw device model. Written to $TEQ_FRAME_LOG.
std::FILE* gFrameLog = nullptr;

int64_t SongFrame(double t) { return static_cast<int64_t>(std::floor(t * audio::kRate)); }

// Renders the music on this thread up to song frame `position` (no device):
// the level still comes from the samples the song really has.
void RenderMusicTo(Session& s, int64_t position) {
    float chunk[2 * 1024];
    while (s.music.Position() < position) {
        const size_t n = static_cast<size_t>(std::min<int64_t>(position - s.music.Position(), 1024));
        s.music.Render(chunk, n);
        s.meter.Push(chunk, n);
    }
}

}  // namespace

void PresentToWindow(const uint32_t* argb, int width, int height, void*) {
    platform::Present(argb, width, height);
    Session& s = CurrentSession();
    if (s.running) {
        NoteFrameShown(s.frameTime);
        const double delay = audio::MonotonicSeconds() - gFrameStarted;
        gLead = std::clamp(gLead + 0.1 * (delay - gLead), 0.0, 1.0 / platform::RefreshRate());
    }
    if (gFrameLog) {
        const double now = audio::MonotonicSeconds();
        std::fprintf(gFrameLog, "%.6f %.9f %.6f\n", now, s.frameTime,
                     audio::DeviceOpen() ? audio::DeviceHeardRaw(now) : -1.0);
    }
    // Esc during the loading screen: stop drawing so the rest of it runs
    // through at once and Run returns straight away.
    if (platform::QuitRequested()) {
        render::SetDrawing(false);
        platform::HideWindow();
    }
}

void RunPlay(FrameFunction frame) {
    Session& s = CurrentSession();
    const Options& o = CurrentOptions();
    if (!platform::WindowOpen() || platform::QuitRequested()) {
        platform::CloseWindow();
        return;
    }
    if (const char* log = std::getenv("TEQ_FRAME_LOG")) {
        gFrameLog = std::fopen(log, "w");
        if (gFrameLog) std::setvbuf(gFrameLog, nullptr, _IOLBF, 0);   // readable while running
    }
    const int64_t startFrame = SongFrame(o.start);
    double end = s.music.Duration();
    if (o.length > 0) end = std::min(end, o.start + o.length);
    if (o.start >= end) {
        std::fprintf(stderr, "teq: --start %g is at or past the end of the demo (%g s)\n", o.start, end);
        platform::CloseWindow();
        return;
    }

    // Frames before the start still run, undrawn, for the states they leave.
    if (o.start > 0) FastForward(frame, o.start);

    // The level's window reaches 1/50 s back: render that much before the start.
    const int64_t lead = std::min<int64_t>(startFrame, audio::LevelMeter::kWindow);
    s.music.Seek(startFrame - lead);
    s.meter.Reset(startFrame - lead);
    RenderMusicTo(s, startFrame);

    bool device = false;
    if (!o.mute) {
        std::string why;
        device = audio::OpenDevice(s.music, s.meter, &why);
        if (!device)
            std::fprintf(stderr, "teq: no audio device (%s); playing without sound on the system clock\n",
                         why.c_str());
    }
    s.running = true;
    const double runBegan = audio::MonotonicSeconds();
    const double cpuBegan = platform::CpuSeconds();
    double base = audio::MonotonicSeconds() - o.start;   // monotonic clock: t = now - base
    double lastT = o.start;
    double lastAdvance = audio::MonotonicSeconds();
    gLead = 0.0;

    while (platform::PumpEvents()) {
        const double now = audio::MonotonicSeconds();
        double t;
        if (device) {
            const double heard = audio::DeviceSeconds();
            t = heard > o.start ? std::max(lastT, heard + gLead) : heard;
            if (t > lastT) lastAdvance = now;
            if (now - lastAdvance > kStallSeconds) {
                // The device stopped asking for sound: carry on without it.
                audio::CloseDevice();
                device = false;
                std::fprintf(stderr, "teq: the audio device stalled; going on without sound\n");
                base = now - t;
            }
        } else {
            t = std::max(lastT, now - base);
            RenderMusicTo(s, SongFrame(t));
        }
        lastT = t;
        if (t >= end) break;
        SetSoundLevel(LevelFor(s, SongFrame(t)));
        s.frameTime = t;
        gFrameStarted = now;
        frame(static_cast<float>(t));
    }

    if (gFrameLog) {
        std::fprintf(gFrameLog, "# cpu %.3f wall %.3f\n", platform::CpuSeconds() - cpuBegan,
                     audio::MonotonicSeconds() - runBegan);
    }
    if (device) {
        const audio::DeviceStats st = audio::GetDeviceStats();
        if (gFrameLog)
            std::fprintf(gFrameLog,
                         "# callbacks %lld delivered %lld underruns %lld worst_gap %.6f at %.3f "
                         "worst_render %.6f buffer %d latency %d\n",
                         static_cast<long long>(st.callbacks), static_cast<long long>(st.delivered),
                         static_cast<long long>(st.late), st.worstGap, st.worstGapAt, st.worstRender,
                         st.bufferFrames, st.latencyFrames);
    }
    s.running = false;
    audio::CloseDevice();
    platform::CloseWindow();
    if (gFrameLog) std::fclose(gFrameLog);
    gFrameLog = nullptr;
}

}  // namespace qor
