// qor/platform: what the run needs from the operating system besides the
// window: processor time, where the executable is, whether stderr is a
// terminal, and a program started with a pipe to its standard input (ffmpeg).
// system_posix.cpp and system_windows.cpp hold the two implementations.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace qor::platform {

// Processor time of the whole process (all threads), seconds.
double CpuSeconds();

// The running executable's full path; "" when unknown.
std::string ExecutablePath();

// On Windows, a windowed program run from a console writes its standard
// output and error there (when they were not redirected). Elsewhere nothing.
void UseParentConsole();

// True when standard error is a terminal (a console on Windows).
bool StderrIsTerminal();

// True when `program` would be found to start (on the PATH; on Windows also
// next to the executable, with ".exe" added).
bool FindProgram(const std::string& program);

// What a user does to make `program` available, for "not found" messages.
std::string HowToGetProgram(const std::string& program);

// A program running with a pipe to its standard input.
class PipedChild {
public:
    PipedChild() = default;
    ~PipedChild() { Finish(); }
    PipedChild(const PipedChild&) = delete;
    PipedChild& operator=(const PipedChild&) = delete;

    // Starts args[0] (searched like FindProgram) with args[1..]. false with
    // the reason in `why` when it cannot be started.
    bool Start(const std::vector<std::string>& args, std::string* why);
    // All of `data`, or false (with the reason) once the child stopped reading.
    bool Write(const void* data, size_t size, std::string* why);
    // Closes the pipe and waits for the child; true when it exited with code 0.
    // Also true when nothing was started.
    bool Finish();
    bool Running() const { return process_ != kNone; }

private:
    static constexpr long long kNone = -1;
    long long input_ = kNone;     // the pipe's writing end: fd or HANDLE
    long long process_ = kNone;   // pid or process HANDLE
};

}  // namespace qor::platform
