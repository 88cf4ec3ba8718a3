// Faults injected for tests, from $TEQ_FAULTS: what a sound card that goes
// away, an audio thread that is not scheduled, a machine that sleeps or a
// frame that takes far too long do to a run, on demand and at a known time.
// A comma-separated list of KIND@SECONDS[:ARG], SECONDS being song time:
//   stall@T:D   the audio callback, once the music reaches T, is not called for D s
//   remove@T    at the first frame at or past T the output device is reported removed
//   add@T       ... an output device is reported added
//   jump@T:D    ... the monotonic clock jumps D s forward (a machine waking up)
//   slow@T:D    ... that frame takes D s longer
// Each fault happens once. Unknown or malformed entries are ignored with one
// line on stderr. Without the variable nothing here costs anything.
#pragma once

#include <string>
#include <vector>

namespace qor::audio {

struct Fault {
    enum class Kind { Stall, Remove, Add, Jump, Slow };
    Kind kind;
    double at = 0.0;    // song seconds
    double arg = 0.0;   // seconds
};

// Parses a TEQ_FAULTS value; bad entries are named in `bad`.
std::vector<Fault> ParseFaults(const std::string& text, std::string* bad);

// The faults of this process ($TEQ_FAULTS, read once), minus those taken.
// Take returns the first of `kind` due at song time `t` and forgets it.
// Thread-safe: the callback takes stalls, the run's thread the rest.
bool TakeFault(Fault::Kind kind, double t, Fault* taken);

}   // namespace qor::audio
