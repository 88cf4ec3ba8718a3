// Fuzz target: the module gate, then the player on what the gate lets
// through, as the engine loads a module. What it lets through must load within
// the memory libFuzzer allows (-rss_limit_mb) and give a run of sane length.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "audio/music.h"
#include "audio/xm_gate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The loader's one line per module would flood the fuzzer's output; the
    // sanitizers and libFuzzer write to the descriptor, not to this stream.
    static std::FILE* quiet = stderr = std::fopen("/dev/null", "w");
    (void)quiet;
    const qor::audio::XmCheck check = qor::audio::CheckXm(data, size);
    if (check.verdict != qor::audio::XmCheck::Whole && check.problem.empty()) __builtin_trap();
    if (check.patternCells > uint64_t(qor::audio::kXmMaxPatterns) * 256 * qor::audio::kXmMaxChannels) __builtin_trap();

    qor::audio::Music music(135.0);
    const bool loaded = music.LoadMemory(data, size, "fuzz.xm");
    if (loaded && check.verdict == qor::audio::XmCheck::Refused) __builtin_trap();
    if (!(music.Duration() > 0.0) || music.Duration() > qor::audio::kLongSongSeconds) __builtin_trap();
    if (loaded) {
        // A little of the song, from its start and from the middle.
        float out[2 * 512];
        music.Render(out, 512);
        music.Seek(music.DurationFrames() / 2);
        music.Render(out, 512);
    }
    return 0;
}
