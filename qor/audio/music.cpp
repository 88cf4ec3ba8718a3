#include "audio/music.h"

#include <libopenmpt/libopenmpt.h>

#include "assets/datadir.h"
#include "assets/file.h"
#include "audio/xm_gate.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace qor::audio {

namespace {

constexpr char kXmHeader[] = "Extended Module: ";
constexpr size_t kXmHeaderSize = sizeof(kXmHeader) - 1;
constexpr size_t kMaxFileSize = 64u << 20;   // far above any XM we make

std::string FirstLine(const std::string& text) {
    std::string line = text.substr(0, text.find('\n'));
    if (line.size() > 100) line = line.substr(0, 97) + "...";
    return line;
}

void SayFailure(const std::string& name, const std::string& why, double silentSeconds) {
    if (DataDirReported()) return;   // the data folder as a whole has been reported
    std::fprintf(stderr, "teq: music %s: %s; the run is silent (%.0f s)\n", Printable(name).c_str(), why.c_str(),
                 silentSeconds);
}

}   // namespace

bool HasXmHeader(const void* data, size_t size) {
    return size >= kXmHeaderSize && std::memcmp(data, kXmHeader, kXmHeaderSize) == 0;
}

Music::~Music() { Unload(); }

void Music::Unload() {
    if (module_) openmpt_module_destroy(module_);
    module_ = nullptr;
    duration_ = demoSeconds_;
    songSeconds_ = 0.0;
    position_ = 0;
    ended_ = false;
}

int64_t Music::DurationFrames() const { return static_cast<int64_t>(std::ceil(duration_ * kRate)); }

bool Music::Load(const std::string& path) {
    Unload();
    try {
        std::vector<uint8_t> bytes;
        std::string why;
        if (!ReadWholeFile(path, kMaxFileSize, bytes, why)) {
            SayFailure(path, why, demoSeconds_);
            return false;
        }
        return LoadMemory(bytes.data(), bytes.size(), path);
    } catch (const std::bad_alloc&) {
        Unload();
        SayFailure(path, "out of memory while loading it", demoSeconds_);
        return false;
    }
}

bool Music::LoadMemory(const void* data, size_t size, const std::string& name) {
    Unload();
    const XmCheck check = CheckXm(static_cast<const uint8_t*>(data), size);
    if (check.verdict == XmCheck::Refused) {
        SayFailure(name, HasXmHeader(data, size) ? "damaged: " + check.problem : check.problem, demoSeconds_);
        return false;
    }
    if (check.verdict == XmCheck::Damaged && check.sampleBytes == 0) {
        SayFailure(name, "damaged: " + check.problem + ", before any sample data", demoSeconds_);
        return false;
    }
    // The player's own load messages, for a module the gate found damaged or
    // that the player repairs on its own.
    std::string log;
    const auto keep = [](const char* message, void* user) {
        std::string& text = *static_cast<std::string*>(user);
        if (message && *message && text.empty()) text = message;
    };
    int error = 0;
    const char* errorText = nullptr;
    const openmpt_module_initial_ctl ctls[] = {
        {"play.at_end", "stop"},
        {"seek.sync_samples", "1"},
        {nullptr, nullptr},
    };
    openmpt_module* module = openmpt_module_create_from_memory2(data, size, keep, &log, openmpt_error_func_ignore,
                                                                nullptr, &error, &errorText, ctls);
    if (!module) {
        std::string why = "cannot be played";
        if (errorText && *errorText) why += std::string(" (") + errorText + ")";
        if (errorText) openmpt_free_string(errorText);
        SayFailure(name, why, demoSeconds_);
        return false;
    }
    if (errorText) openmpt_free_string(errorText);
    openmpt_module_set_repeat_count(module, 0);
    const double seconds = openmpt_module_get_duration_seconds(module);
    if (!(seconds > 0.0)) {
        openmpt_module_destroy(module);
        SayFailure(name, "the song is empty", demoSeconds_);
        return false;
    }
    if (const char* warnings = openmpt_module_get_metadata(module, "warnings")) {
        if (log.empty()) log = warnings;
        openmpt_free_string(warnings);
    }
    module_ = module;
    songSeconds_ = seconds;
    // A song far longer than the demo: the run plays the demo's timeline and stops.
    duration_ = seconds > kLongSongSeconds ? demoSeconds_ : seconds;
    position_ = 0;
    ended_ = false;

    // One line for whatever is worth knowing: damage, the player's repairs,
    // a length far from the demo's.
    std::string say;
    if (check.verdict == XmCheck::Damaged)
        say = "damaged: " + check.problem + "; plays as far as it goes";
    else if (!log.empty())
        say = "the player repaired it (" + FirstLine(log) + "); plays as loaded";
    char length[160] = "";
    if (seconds < kShortSongSeconds || seconds > kLongSongSeconds) {
        std::snprintf(length, sizeof length, "the song lasts %.1f s, far %s than the demo's %.0f s; %s", seconds,
                      seconds < kShortSongSeconds ? "less" : "more", demoSeconds_,
                      duration_ < seconds ? "the run stops at the demo's end" : "the run ends with it");
    } else if (!say.empty()) {
        std::snprintf(length, sizeof length, "%.1f s", seconds);
    }
    if (!say.empty() || *length) {
        if (!say.empty() && *length) say += ", ";
        std::fprintf(stderr, "teq: music %s: %s%s\n", name.c_str(), say.c_str(), length);
    }
    return true;
}

void Music::Seek(int64_t frame) {
    frame = std::max<int64_t>(frame, 0);
    ended_ = false;
    position_ = frame;
    if (!module_) return;
    const double target = static_cast<double>(frame) / kRate;
    // The player lands on a row boundary; step back until it is not past the target.
    double landed = openmpt_module_set_position_seconds(module_, target);
    double back = 0.0;
    while (landed > target + 1e-9 && back < target) {
        back = std::min(target, back + 0.25);
        landed = openmpt_module_set_position_seconds(module_, target - back);
    }
    int64_t drop = frame - static_cast<int64_t>(std::llround(landed * kRate));
    float scratch[2 * 1024];
    while (drop > 0) {
        const size_t n = static_cast<size_t>(std::min<int64_t>(drop, 1024));
        const size_t got = openmpt_module_read_interleaved_float_stereo(module_, kRate, n, scratch);
        if (got < n) {
            ended_ = true;
            break;
        }
        drop -= static_cast<int64_t>(n);
    }
}

size_t Music::Render(float* stereo, size_t frames) {
    size_t done = 0;
    while (module_ && !ended_ && done < frames) {
        const size_t got =
            openmpt_module_read_interleaved_float_stereo(module_, kRate, frames - done, stereo + 2 * done);
        if (got == 0) {
            ended_ = true;
            break;
        }
        done += got;
    }
    std::fill(stereo + 2 * done, stereo + 2 * frames, 0.0f);
    position_ += static_cast<int64_t>(frames);
    return done;
}

}   // namespace qor::audio
