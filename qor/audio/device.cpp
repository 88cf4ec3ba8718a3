#include "audio/device.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "audio/clock.h"
#include "audio/faults.h"
#include "audio/soundtrack.h"
#include "platform/quiet.h"

namespace qor::audio {

namespace {

constexpr int kBufferFrames = 2048;   // 43 ms per callback: room for a busy machine
// A callback that comes this much later than the pictures' time, while the
// pictures went on, skips the music ahead to them (s); at most kMaxSkip.
constexpr double kMinSkip = 0.05;
constexpr double kMaxSkip = 2.0;
// Pictures this far apart were not going on: the process was stopped, the
// machine slept, a frame took far too long (s).
constexpr double kPictureGap = 0.25;

struct DeviceState {
    SDL_AudioDeviceID id = 0;
    Soundtrack* track = nullptr;
    std::mutex lock;   // guards clock and stats
    PlaybackClock clock{kRate, kBufferFrames};
    DeviceStats stats;
    double lastCallback = -1.0;
    int lastFrames = 0;
    int64_t start = 0;           // song frame of the first frame given since the clock started
    int64_t given = 0;           // frames given since the clock started
    int64_t lastDelivered = 0;   // frames given since the clock started, before the last callback
    double opened = 0.0;         // monotonic time of opening
    // The pictures' song time and when it was read (NotePicture); since when
    // they have come without a gap.
    double pictureT = 0.0, pictureAt = -1e300, picturesSince = 0.0;
    std::atomic<bool> discarded{false};   // removed: what the callback renders goes nowhere
};

DeviceState gDevice;
std::atomic<double> gClockJump{0.0};         // s added to the monotonic clock (TEQ_FAULTS jump)
std::atomic<SDL_AudioDeviceID> gOpenId{0};   // gDevice.id, for the event watch's thread
std::atomic<bool> gLost{false}, gAdded{false};
bool gWatching = false;    // the event watch is installed
bool gListening = false;   // the device was lost: the audio subsystem stays up to see new ones

// SDL's device events, seen when they are posted (from SDL's own threads).
int WatchDevices(void*, SDL_Event* e) {
    if (e->type == SDL_AUDIODEVICEREMOVED && !e->adevice.iscapture && e->adevice.which == gOpenId) gLost = true;
    if (e->type == SDL_AUDIODEVICEADDED && !e->adevice.iscapture) gAdded = true;
    return 0;
}

// Frames to skip at a callback at `now` after a gap: the device was not
// asking for sound (an underrun) while the pictures went on, so the music
// heard would be behind them. Holds the lock.
int64_t FramesBehind(double now) {
    if (gDevice.lastCallback < 0.0) return 0;
    const double gap = now - gDevice.lastCallback;
    if (gap <= static_cast<double>(gDevice.lastFrames + gDevice.stats.latencyFrames) / kRate) return 0;
    // Pictures throughout the gap, up to now: not a stopped process.
    if (gDevice.picturesSince > gDevice.lastCallback || now - gDevice.pictureAt > kPictureGap) return 0;
    const double wanted = gDevice.pictureT + (now - gDevice.pictureAt);   // song time heard now, as pictured
    const double heard = static_cast<double>(gDevice.start + gDevice.given - gDevice.stats.latencyFrames) / kRate;
    const double behind = wanted - heard;
    if (behind < kMinSkip || behind > kMaxSkip) return 0;
    return static_cast<int64_t>(behind * kRate);
}

void Callback(void*, Uint8* stream, int bytes) {
    Fault stall;
    if (TakeFault(Fault::Kind::Stall, static_cast<double>(gDevice.track->Position()) / kRate, &stall))
        std::this_thread::sleep_for(std::chrono::duration<double>(stall.arg));
    const double now = MonotonicSeconds();
    const int frames = bytes / static_cast<int>(2 * sizeof(float));
    int64_t skip;
    {
        std::lock_guard<std::mutex> guard(gDevice.lock);
        skip = FramesBehind(now);
    }
    // The music heard catches up with the pictures: what would have played
    // meanwhile is rendered (its level measured) and dropped.
    if (skip > 0) gDevice.track->RenderTo(gDevice.track->Position() + skip);
    {
        std::lock_guard<std::mutex> guard(gDevice.lock);
        DeviceStats& s = gDevice.stats;
        gDevice.given += skip;
        s.skipped += skip;
        gDevice.clock.OnCallback(gDevice.given, frames, now);
        if (gDevice.lastCallback >= 0.0) {
            const double gap = now - gDevice.lastCallback;
            if (gap > s.worstGap) {
                s.worstGap = gap;
                s.worstGapAt = now - gDevice.opened;
            }
            // The queue held the last buffer plus the latency: past that it ran dry.
            if (gap > static_cast<double>(gDevice.lastFrames + s.latencyFrames) / kRate) ++s.late;
        }
        gDevice.lastCallback = now;
        gDevice.lastFrames = frames;
        gDevice.lastDelivered = gDevice.given;
    }
    float* out = reinterpret_cast<float*>(stream);
    gDevice.track->Render(out, static_cast<size_t>(frames));
    if (gDevice.discarded) std::fill(out, out + 2 * frames, 0.0f);
    const double spent = MonotonicSeconds() - now;
    std::lock_guard<std::mutex> guard(gDevice.lock);
    gDevice.stats.delivered += frames;
    gDevice.given += frames;
    ++gDevice.stats.callbacks;
    gDevice.stats.worstRender = std::max(gDevice.stats.worstRender, spent);
}

// The playback clock starts again at the music's current position; the gap
// since the last callback is no underrun. Holds the lock.
void RestartClock() {
    std::lock_guard<std::mutex> guard(gDevice.lock);
    gDevice.clock = PlaybackClock(kRate, gDevice.stats.latencyFrames);
    gDevice.clock.Start(gDevice.track->Position());
    gDevice.start = gDevice.track->Position();
    gDevice.given = 0;
    gDevice.lastDelivered = 0;
    gDevice.lastCallback = -1.0;
    gDevice.lastFrames = 0;
}

}   // namespace

double MonotonicSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count() + gClockJump.load();
}

void JumpClock(double seconds) { gClockJump = gClockJump.load() + seconds; }

void ReportDeviceChange(bool removed) {
    SDL_Event e{};
    e.type = removed ? SDL_AUDIODEVICEREMOVED : SDL_AUDIODEVICEADDED;
    e.adevice.which = removed ? gDevice.id : 0;
    e.adevice.iscapture = 0;
    // As SDL does with a device that went away: its callback goes on at the
    // device's pace, its output heard by nobody.
    if (removed) gDevice.discarded = true;
    SDL_PushEvent(&e);
}

bool OpenDevice(Soundtrack& track, std::string* why, bool play) {
    CloseDevice();
    if (!gWatching) {
        SDL_AddEventWatch(WatchDevices, nullptr);
        gWatching = true;
    }
    platform::QuietStderr quiet;   // ALSA's own complaints without a sound card
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        if (why) *why = SDL_GetError();
        return false;
    }
    SDL_AudioSpec want{};
    want.freq = kRate;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = kBufferFrames;
    want.callback = Callback;
    SDL_AudioSpec have{};
    // No allowed changes: SDL converts to whatever the hardware takes.
    const SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (id == 0) {
        if (why) *why = SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    {
        std::lock_guard<std::mutex> guard(gDevice.lock);
        gDevice.id = id;
        gDevice.track = &track;
        gDevice.stats = DeviceStats{};
        gDevice.stats.bufferFrames = have.samples;
        // The frames given at a callback play after the buffer queued before them.
        gDevice.stats.latencyFrames = have.samples;
        gDevice.opened = MonotonicSeconds();
    }
    gDevice.discarded = false;
    gOpenId = id;
    gLost = false;
    gAdded = false;   // the devices SDL found on the way
    RestartClock();
    if (play) SDL_PauseAudioDevice(id, 0);
    return true;
}

void CloseDevice() {
    if (gDevice.id != 0) {
        gOpenId = 0;
        SDL_CloseAudioDevice(gDevice.id);   // waits for a running callback
        gDevice.id = 0;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    } else if (gListening) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    gListening = false;
}

void LoseDevice() {
    if (gDevice.id == 0) return;
    gOpenId = 0;
    SDL_CloseAudioDevice(gDevice.id);
    gDevice.id = 0;
    gListening = true;
    gAdded = false;
}

bool TakeDeviceLost() { return gLost.exchange(false); }
bool TakeDeviceAdded() { return gAdded.exchange(false); }

void NotePicture(double t, double now) {
    std::lock_guard<std::mutex> guard(gDevice.lock);
    if (now - gDevice.pictureAt > kPictureGap) gDevice.picturesSince = now;
    gDevice.pictureT = t;
    gDevice.pictureAt = now;
}

bool DeviceOpen() { return gDevice.id != 0; }

void HoldDevice() {
    // Returns once no callback runs; none starts until ResumeDevice.
    if (gDevice.id != 0) SDL_PauseAudioDevice(gDevice.id, 1);
}

void ResumeDevice() {
    if (gDevice.id == 0) return;
    RestartClock();
    SDL_PauseAudioDevice(gDevice.id, 0);
}

double DeviceSeconds() {
    const double now = MonotonicSeconds();
    std::lock_guard<std::mutex> guard(gDevice.lock);
    return gDevice.clock.Seconds(now);
}

double DeviceHeardRaw(double now) {
    std::lock_guard<std::mutex> guard(gDevice.lock);
    if (gDevice.lastCallback < 0.0) return static_cast<double>(gDevice.start) / kRate;
    const double heard =
        static_cast<double>(gDevice.start + gDevice.lastDelivered - gDevice.stats.latencyFrames) / kRate;
    return heard + (now - gDevice.lastCallback);
}

DeviceStats GetDeviceStats() {
    std::lock_guard<std::mutex> guard(gDevice.lock);
    return gDevice.stats;
}

}   // namespace qor::audio
