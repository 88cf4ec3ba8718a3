#include "audio/device.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <mutex>

#include "audio/clock.h"
#include "audio/soundtrack.h"
#include "platform/quiet.h"

namespace qor::audio {

namespace {

constexpr int kBufferFrames = 2048;   // 43 ms per callback: room for a busy machine

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
};

DeviceState gDevice;

void Callback(void*, Uint8* stream, int bytes) {
    const double now = MonotonicSeconds();
    const int frames = bytes / static_cast<int>(2 * sizeof(float));
    {
        std::lock_guard<std::mutex> guard(gDevice.lock);
        DeviceStats& s = gDevice.stats;
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
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

bool OpenDevice(Soundtrack& track, std::string* why) {
    CloseDevice();
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
    RestartClock();
    SDL_PauseAudioDevice(id, 0);
    return true;
}

void CloseDevice() {
    if (gDevice.id == 0) return;
    SDL_CloseAudioDevice(gDevice.id);   // waits for a running callback
    gDevice.id = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
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
