// Process entry: read the command line, find the data, then hand over to the
// demo's own entry point, WinMain (on Windows too: the C runtime starts main).
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "engine/win.h"
#include "platform/system.h"
#include "run/options.h"

extern char fpsFormat[64];   // the demo's frame-rate format, empty unless --show-fps

namespace {

// The current folder if it holds the music, else the data folder the build
// made next to the executable.
std::string DefaultDataDir() {
    std::error_code ec;
    if (std::filesystem::exists("distortion.xm", ec)) return "";
    const std::string exe = qor::platform::ExecutablePath();
    if (exe.empty()) return "";
    return (std::filesystem::path(exe).parent_path() / "data").string();
}

}  // namespace

int main(int argc, char** argv) {
    qor::platform::UseParentConsole();
    qor::Options& options = qor::CurrentOptions();
    bool help = false;
    if (!qor::ParseOptions(argc, argv, options, help)) return 2;
    if (help) {
        qor::PrintUsage();
        return 0;
    }
    if (options.dataDir.empty()) options.dataDir = DefaultDataDir();
    if (options.showFps) std::snprintf(fpsFormat, sizeof fpsFormat, "%s", "%d fps");
    return WinMain(nullptr, nullptr, nullptr, 0);
}
