// qor/platform: what the run needs from the operating system besides the
// window: processor time, where the executable is, whether stderr is a
// terminal, and a program started with a pipe to its standard input (ffmpeg).
// system_posix.cpp and system_windows.cpp hold the two implementations.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace qor::platform {

// Processor time of the whole process (all threads), seconds; negative where
// the platform does not tell (the browser).
double CpuSeconds();

// The running executable's full path; "" when unknown.
std::string ExecutablePath();

// On Windows, a windowed program run from a console writes its standard
// output and error there (when they were not redirected). Elsewhere nothing.
void UseParentConsole();

// The run is over: in the browser the page learns so (main returns long after
// the page started it, every shown frame having gone back to the browser on
// the way). Elsewhere nothing.
void ReportExit(int code);

// True where the page can suspend the sound (a browser tab's audio context
// suspended or interrupted, by the browser or a phone call) and resume it
// later: a sound that stops is then waited for, not given up.
bool SoundWaitsForPage();

// True when standard error is a terminal (a console on Windows).
bool StderrIsTerminal();

// True when `program` would be found to start (on the PATH; on Windows also
// next to the executable, with ".exe" added).
bool FindProgram(const std::string& program);

// What a user does to make `program` available, for "not found" messages.
std::string HowToGetProgram(const std::string& program);

// SIGPIPE and SIGXFSZ ignored for the whole run, so a reader that went away
// or a file-size limit shows as a failed write (EPIPE, EFBIG) that is
// reported, never as a silent death. Elsewhere nothing.
void IgnoreWriteSignals();

// The signals that ask a run to stop (SIGINT, SIGTERM, SIGHUP, SIGQUIT; on
// Windows SIGINT and SIGTERM): from CatchStopSignals on they only record
// themselves and wake PipedChild's waits (no call is restarted), until
// ReleaseStopSignals gives them their default actions back.
void CatchStopSignals();
void ReleaseStopSignals();
int StopSignal();   // 0, or the signal that came
// The exit code of a run a stop signal ended: 128 + the signal (130 for
// SIGINT, 143 for SIGTERM), as shells report it.
inline int StopExitCode(int signal) { return 128 + signal; }

// An advisory lock on the file `path` (created if missing, never through a
// symlink), held until DropFileLock or the process's death, when the system
// lets go of it: flock, LockFileEx on Windows. Returns its descriptor, or -1
// with `busy` set when another process holds it, else the reason in `why`.
int TakeFileLock(const std::string& path, bool& busy, std::string& why);
// Removes the lock file and lets go of it.
void DropFileLock(int fd, const std::string& path);

// A program running with a pipe to its standard input. On POSIX systems it
// runs in its own process group (a Ctrl+C at the terminal reaches teq alone,
// which decides what becomes of the child), and on Linux it is killed when teq
// dies, so it never finishes a file on its own.
class PipedChild {
public:
    PipedChild() = default;
    ~PipedChild() { Finish(); }
    PipedChild(const PipedChild&) = delete;
    PipedChild& operator=(const PipedChild&) = delete;

    // Starts args[0] (searched like FindProgram) with args[1..]. false with
    // the reason in `why` when it cannot be started.
    bool Start(const std::vector<std::string>& args, std::string* why);
    // All of `data`, or false (with the reason) once the child stopped reading
    // or a stop signal came while the pipe was full.
    bool Write(const void* data, size_t size, std::string* why);
    // Closes the pipe and waits for the child; true when it exited with code 0.
    // Also true when nothing was started. A stop signal during the wait kills
    // the child: false.
    bool Finish();
    // Stops the child at once (it writes nothing more) and waits for it.
    void Kill();
    bool Running() const { return process_ != kNone; }
    // What the child wrote to its standard error (where it can be captured),
    // for a message when it fails.
    const std::string& Errors() const { return errors_; }

private:
    void Drain(bool wait);   // moves the child's standard error into errors_

    static constexpr long long kNone = -1;
    long long input_ = kNone;       // the pipe's writing end: fd or HANDLE
    long long process_ = kNone;     // pid or process HANDLE
    long long errorPipe_ = kNone;   // reading end of the child's standard error (POSIX)
    std::string errors_;
};

}   // namespace qor::platform
