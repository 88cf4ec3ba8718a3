// The operating-system pieces on Windows.
#include "platform/system.h"

// windows.h first: the headers after it build on its definitions.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace qor::platform {

namespace {

HANDLE AsHandle(long long value) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(value)); }
long long FromHandle(HANDLE h) { return static_cast<long long>(reinterpret_cast<intptr_t>(h)); }

bool Usable(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }

// One argument as the C runtime's command-line parser reads it back.
std::string Quoted(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
    std::string out = "\"";
    for (size_t i = 0;; ++i) {
        size_t backslashes = 0;
        while (i < arg.size() && arg[i] == '\\') ++i, ++backslashes;
        if (i == arg.size()) {
            out.append(backslashes * 2, '\\');
            break;
        }
        out.append(arg[i] == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        out += arg[i];
    }
    return out + "\"";
}

std::string ErrorText(DWORD code) {
    char text[256] = "";
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                   sizeof text, nullptr);
    std::string s(text, n);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == '.')) s.pop_back();
    return s.empty() ? "Windows error " + std::to_string(code) : s;
}

// An inheritable copy of one of our standard handles, or nullptr.
HANDLE InheritableCopy(DWORD which) {
    const HANDLE h = GetStdHandle(which);
    HANDLE copy = nullptr;
    if (!Usable(h) ||
        !DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS))
        return nullptr;
    return copy;
}

volatile std::sig_atomic_t gStopSignal = 0;

void OnStopSignal(int signal) { gStopSignal = signal; }

}   // namespace

// No SIGPIPE or SIGXFSZ here: failed writes are errors already.
void IgnoreWriteSignals() {}

void CatchStopSignals() {
    gStopSignal = 0;
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
}

void ReleaseStopSignals() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

int StopSignal() { return gStopSignal; }

int TakeFileLock(const std::string& path, bool& busy, std::string& why) {
    busy = false;
    const int fd = ::_open(path.c_str(), _O_RDWR | _O_CREAT | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        why = std::strerror(errno);
        return -1;
    }
    OVERLAPPED at{};
    if (!LockFileEx(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY,
                    0, 1, 0, &at)) {
        const DWORD code = GetLastError();
        ::_close(fd);
        busy = code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING;
        why = busy ? "held by another process" : ErrorText(code);
        return -1;
    }
    return fd;
}

void DropFileLock(int fd, const std::string& path) {
    if (fd < 0) return;
    ::_close(fd);   // an open file cannot be deleted here
    DeleteFileA(path.c_str());
}

double CpuSeconds() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0.0;
    auto ticks = [](const FILETIME& f) { return (uint64_t(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
    return 1e-7 * static_cast<double>(ticks(kernel) + ticks(user));   // 100 ns units
}

std::string ExecutablePath() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return "";
        if (n < path.size()) return path.substr(0, n);
        path.resize(path.size() * 2);   // cut short: try a longer buffer
    }
}

void ReportExit(int) {}

bool SoundWaitsForPage() { return false; }

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

bool FindProgram(const std::string& program) {
    char found[MAX_PATH];
    // The executable's folder, the current folder, the system folders, the PATH:
    // where CreateProcess looks too.
    return SearchPathA(nullptr, program.c_str(), ".exe", MAX_PATH, found, nullptr) > 0;
}

std::string HowToGetProgram(const std::string& program) {
    return "get a Windows build of " + program + " and put " + program + ".exe next to teq.exe or on the PATH";
}

void UseParentConsole() {
    // A windowed (GUI) program starts without standard streams unless they
    // were redirected; from a console, write to that console.
    const bool out = Usable(GetStdHandle(STD_OUTPUT_HANDLE));
    const bool err = Usable(GetStdHandle(STD_ERROR_HANDLE));
    if (out && err) return;
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;   // started from Explorer: no console wanted
    if (!out && std::freopen("CONOUT$", "w", stdout)) std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (!err && std::freopen("CONOUT$", "w", stderr)) std::setvbuf(stderr, nullptr, _IONBF, 0);
}

bool PipedChild::Start(const std::vector<std::string>& args, std::string* why) {
    Finish();
    if (args.empty()) {
        *why = "no program given";
        return false;
    }
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    if (!CreatePipe(&read, &write, &inherit, 1 << 20)) {
        *why = ErrorText(GetLastError());
        return false;
    }
    SetHandleInformation(write, HANDLE_FLAG_INHERIT, 0);   // the child gets only the reading end
    std::string line;
    for (const std::string& a : args) {
        if (!line.empty()) line += ' ';
        line += Quoted(a);
    }

    STARTUPINFOA start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = read;
    start.hStdOutput = InheritableCopy(STD_OUTPUT_HANDLE);
    start.hStdError = InheritableCopy(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child{};
    // No console window of its own: its messages go to our standard error.
    const BOOL ok = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                                   &start, &child);
    const DWORD error = GetLastError();
    CloseHandle(read);
    if (start.hStdOutput) CloseHandle(start.hStdOutput);
    if (start.hStdError) CloseHandle(start.hStdError);
    if (!ok) {
        CloseHandle(write);
        *why = ErrorText(error);
        return false;
    }
    CloseHandle(child.hThread);
    input_ = FromHandle(write);
    process_ = FromHandle(child.hProcess);
    return true;
}

bool PipedChild::Write(const void* data, size_t size, std::string* why) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        DWORD wrote = 0;
        const DWORD chunk = static_cast<DWORD>(size < (1u << 30) ? size : (1u << 30));
        if (input_ == kNone || !WriteFile(AsHandle(input_), p, chunk, &wrote, nullptr)) {
            if (why) *why = input_ == kNone ? "not running" : ErrorText(GetLastError());
            return false;
        }
        p += wrote;
        size -= wrote;
    }
    return true;
}

bool PipedChild::Finish() {
    if (input_ != kNone) CloseHandle(AsHandle(input_));
    input_ = kNone;
    if (process_ == kNone) return true;
    const HANDLE process = AsHandle(process_);
    process_ = kNone;
    DWORD code = 1;
    WaitForSingleObject(process, INFINITE);
    const bool got = GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return got && code == 0;
}

void PipedChild::Kill() {
    if (process_ != kNone) TerminateProcess(AsHandle(process_), 1);
    Finish();
}

// The child's standard error goes to the console here; nothing is captured.
void PipedChild::Drain(bool) {}

}   // namespace qor::platform
