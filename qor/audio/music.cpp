#include "audio/music.h"

#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace qor::audio {

namespace {

constexpr char kXmHeader[] = "Extended Module: ";
constexpr size_t kXmHeaderSize = sizeof(kXmHeader) - 1;
constexpr size_t kMaxFileSize = 64u << 20;     // far above any XM we make
constexpr double kMaxSeconds = 3600.0;         // cap for looping songs

void SayFailure(const std::string& name, const std::string& why) {
    std::fprintf(stderr, "teq: music %s: %s; the run is silent (%.0f s)\n", name.c_str(),
                 why.c_str(), kSilentSeconds);
}

}  // namespace

bool HasXmHeader(const void* data, size_t size) {
    return size >= kXmHeaderSize && std::memcmp(data, kXmHeader, kXmHeaderSize) == 0;
}

Music::~Music() { Unload(); }

void Music::Unload() {
    if (module_) openmpt_module_destroy(module_);
    module_ = nullptr;
    duration_ = kSilentSeconds;
    position_ = 0;
    ended_ = false;
}

int64_t Music::DurationFrames() const {
    return static_cast<int64_t>(std::ceil(duration_ * kRate));
}

bool Music::Load(const std::string& path) {
    Unload();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        SayFailure(path, std::strerror(errno));
        return false;
    }
    std::vector<unsigned char> bytes;
    unsigned char chunk[65536];
    size_t got;
    bool tooLarge = false;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        if (bytes.size() + got > kMaxFileSize) {
            tooLarge = true;
            break;
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    const bool readError = std::ferror(file) != 0;
    std::fclose(file);
    if (readError) {
        SayFailure(path, "read error");
        return false;
    }
    if (tooLarge) {
        SayFailure(path, "file larger than 64 MB");
        return false;
    }
    return LoadMemory(bytes.data(), bytes.size(), path);
}

bool Music::LoadMemory(const void* data, size_t size, const std::string& name) {
    Unload();
    if (!HasXmHeader(data, size)) {
        SayFailure(name, size == 0 ? "empty file" : "not an XM module (no \"Extended Module: \" header)");
        return false;
    }
    int error = 0;
    const char* errorText = nullptr;
    const openmpt_module_initial_ctl ctls[] = {
        {"play.at_end", "stop"},
        {"seek.sync_samples", "1"},
        {nullptr, nullptr},
    };
    openmpt_module* module = openmpt_module_create_from_memory2(
        data, size, openmpt_log_func_silent, nullptr, openmpt_error_func_ignore, nullptr, &error,
        &errorText, ctls);
    if (!module) {
        std::string why = "cannot be played";
        if (errorText && *errorText) why += std::string(" (") + errorText + ")";
        if (errorText) openmpt_free_string(errorText);
        SayFailure(name, why);
        return false;
    }
    if (errorText) openmpt_free_string(errorText);
    openmpt_module_set_repeat_count(module, 0);
    const double seconds = openmpt_module_get_duration_seconds(module);
    if (!(seconds > 0.0)) {
        openmpt_module_destroy(module);
        SayFailure(name, "the song is empty");
        return false;
    }
    module_ = module;
    duration_ = std::min(seconds, kMaxSeconds);  // also catches infinity
    position_ = 0;
    ended_ = false;
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
        const size_t got = openmpt_module_read_interleaved_float_stereo(
            module_, kRate, frames - done, stereo + 2 * done);
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

}  // namespace qor::audio
