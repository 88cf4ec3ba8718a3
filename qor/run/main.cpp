// Process entry: ask the demo for its facts (engine/demo.h), read the command
// line, find the data, then hand over to the demo's own entry point, WinMain
// (on Windows too: the C runtime starts main).
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "assets/datadir.h"
#include "assets/file.h"
#include "engine/demo.h"
#include "engine/win.h"
#include "platform/system.h"
#include "run/options.h"
#include "run/state.h"

namespace {

// Installed (PREFIX/games/teq), the installed data folder; otherwise the
// current folder if it holds the music, else the data folder the build made
// next to the executable.
std::string DefaultDataDir(const char* music) {
    const std::string exe = qor::platform::ExecutablePath();
    const std::string installed = qor::InstalledDataDir(exe);
    if (!installed.empty()) return installed;
    std::error_code ec;
    if (std::filesystem::exists(music, ec)) return "";
    if (exe.empty()) return "";
    return (std::filesystem::path(exe).parent_path() / "data").string();
}

int Main(int argc, char** argv) {
    const DemoFacts& demo = Demo();
    qor::Options options;
    bool help = false;
    if (!qor::ParseOptions(argc, argv, demo.seconds, options, help)) return 2;
    if (help) {
        qor::PrintUsage(demo.music);
        return 0;
    }
    if (options.version) {
        std::printf("teq %s\n", TEQ_VERSION);
        return 0;
    }
    const bool given = !options.dataDir.empty();
    if (!given) options.dataDir = DefaultDataDir(demo.music);
    // A data folder that is not there, or not a folder, is a bad --data; one
    // that is empty or unreadable is said once, and the demo plays without data.
    std::string why;
    const qor::DataFolder folder = qor::InspectDataDir(options.dataDir, why);
    if (folder != qor::DataFolder::Usable) {
        const bool refused = folder == qor::DataFolder::Missing || folder == qor::DataFolder::NotAFolder;
        if (given && refused) {
            std::fprintf(stderr, "teq: --data %s: %s\n", qor::Printable(options.dataDir).c_str(), why.c_str());
            return 2;
        }
        std::fprintf(stderr, "teq: %s %s: %s; playing with grey pictures, no meshes and no music\n",
                     given ? "--data" : "data folder",
                     options.dataDir.empty() ? "." : qor::Printable(options.dataDir).c_str(), why.c_str());
        qor::SetDataDirReported(true);
    }
    qor::StartRun(options, demo);
    return qor::FinishRun(WinMain(nullptr, nullptr, nullptr, 0));
}

}   // namespace

int main(int argc, char** argv) {
    qor::platform::UseParentConsole();
    qor::platform::IgnoreWriteSignals();
    const int code = Main(argc, argv);
    qor::platform::ReportExit(code);
    return code;
}
