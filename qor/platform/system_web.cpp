// The process as a browser page (emscripten); the desktop's side is
// system_desktop.cpp, the rest of both is system_posix.cpp.
#include <emscripten.h>

#include "platform/system.h"

namespace qor::platform {

void IgnoreWriteSignals() {}   // a page gets no SIGPIPE or SIGXFSZ

double CpuSeconds() { return -1.0; }   // a page sees wall time only

std::string ExecutablePath() { return "/teq"; }   // the page's data package is mounted at /data beside it

void UseParentConsole() {}

bool SoundWaitsForPage() { return true; }

// The page learns that the run is over (main returns long after the page
// started it).
void ReportExit(int code) {
    EM_ASM(
        {
            if (Module.teqEnded) Module.teqEnded($0);
        },
        code);
}

}   // namespace qor::platform
