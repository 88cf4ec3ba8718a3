// Fuzz target: teq's command line. The bytes are split at zero bytes into
// arguments; whatever they are, parsing ends, and accepted values are in range.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "run/options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One line per bad option would flood the fuzzer's output (see xm_fuzz.cpp).
    static std::FILE* quiet = stderr = std::fopen("/dev/null", "w");
    (void)quiet;
    std::vector<std::string> args{"teq"};
    std::string arg;
    for (size_t i = 0; i < size && args.size() < 64; ++i) {
        if (data[i] == 0) {
            args.push_back(arg);
            arg.clear();
        } else {
            arg += char(data[i]);
        }
    }
    if (!arg.empty() && args.size() < 64) args.push_back(arg);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    qor::Options o;
    bool help = false;
    if (qor::ParseOptions(int(args.size()), argv.data(), 135.0, o, help)) {
        if (o.fps < 1 || o.fps > 240 || o.width < 16 || o.width > 7680 || o.height < 16 || o.height > 4320 ||
            o.scale < 0 || o.scale > 16 || o.passes < 1 || o.passes > 100 || !(o.start >= 0 && o.start <= 3600) ||
            !(o.level >= 0 && o.level <= 1) || (o.length != -1.0 && !(o.length > 0 && o.length <= 3600)) ||
            int(o.shot) + int(o.bench) + int(!o.renderFile.empty()) > 1)
            __builtin_trap();
    }
    return 0;
}
