// The process on a desktop POSIX system (Linux and the like); the browser's
// side is system_web.cpp, the rest of both is system_posix.cpp.
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <system_error>

#include "platform/system.h"

namespace qor::platform {

void IgnoreWriteSignals() {
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

double CpuSeconds() {
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
           1e-6 * static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec);
}

std::string ExecutablePath() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
}

void UseParentConsole() {}

void ReportExit(int) {}

bool SoundWaitsForPage() { return false; }

}   // namespace qor::platform
