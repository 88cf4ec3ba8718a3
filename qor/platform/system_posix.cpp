// The operating-system pieces on Linux and other POSIX systems.
#include "platform/system.h"

#include <fcntl.h>
#include <poll.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace qor::platform {

double CpuSeconds() {
#ifdef __EMSCRIPTEN__
    return -1.0;   // a page sees wall time only
#else
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
           1e-6 * static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec);
#endif
}

std::string ExecutablePath() {
#ifdef __EMSCRIPTEN__
    return "/teq";   // the page's data package is mounted at /data beside it
#endif
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
}

void UseParentConsole() {}

void ReportExit(int code) {
#ifdef __EMSCRIPTEN__
    EM_ASM({ if (Module.teqEnded) Module.teqEnded($0); }, code);
#else
    (void)code;
#endif
}

bool StderrIsTerminal() { return ::isatty(2) != 0; }

bool FindProgram(const std::string& program) {
    if (program.find('/') != std::string::npos) return ::access(program.c_str(), X_OK) == 0;
    const char* path = std::getenv("PATH");
    const std::string dirs = path ? path : "/usr/bin:/bin";
    size_t from = 0;
    while (from <= dirs.size()) {
        size_t to = dirs.find(':', from);
        if (to == std::string::npos) to = dirs.size();
        const std::string dir = to > from ? dirs.substr(from, to - from) : ".";
        if (::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
        from = to + 1;
    }
    return false;
}

std::string HowToGetProgram(const std::string& program) {
    return "install Debian's " + program + " (apt-get install " + program + ")";
}

bool PipedChild::Start(const std::vector<std::string>& args, std::string* why) {
    Finish();
    errors_.clear();
    if (args.empty()) {
        *why = "no program given";
        return false;
    }
    std::signal(SIGPIPE, SIG_IGN);   // a child that stopped reading shows as a failed write
    int fds[2], err[2];
    if (::pipe(fds) != 0) {
        *why = std::strerror(errno);
        return false;
    }
    if (::pipe(err) != 0) {
        *why = std::strerror(errno);
        ::close(fds[0]);
        ::close(fds[1]);
        return false;
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        *why = std::strerror(errno);
        for (int fd : {fds[0], fds[1], err[0], err[1]}) ::close(fd);
        return false;
    }
    if (pid == 0) {
        ::setpgid(0, 0);
#ifdef __linux__
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);   // teq died before the line above
#endif
        (void)parent;
        for (int sig : {SIGPIPE, SIGINT, SIGTERM}) std::signal(sig, SIG_DFL);
        ::dup2(fds[0], 0);
        ::dup2(err[1], 2);
        for (int fd : {fds[0], fds[1], err[0], err[1]}) ::close(fd);
        std::vector<char*> argv;
        for (const std::string& s : args) argv.push_back(const_cast<char*>(s.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        std::fprintf(stderr, "cannot run %s: %s\n", argv[0], std::strerror(errno));
        ::_exit(127);
    }
    ::close(fds[0]);
    ::close(err[1]);
    ::fcntl(fds[1], F_SETFD, FD_CLOEXEC);
    ::fcntl(err[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(err[0], F_SETFL, O_NONBLOCK);
    input_ = fds[1];
    errorPipe_ = err[0];
    process_ = pid;
    return true;
}

void PipedChild::Drain(bool wait) {
    if (errorPipe_ < 0) return;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(static_cast<int>(errorPipe_), buffer, sizeof buffer);
        if (n > 0) {
            // Keep the end: the last lines say why it stopped.
            errors_.append(buffer, static_cast<size_t>(n));
            if (errors_.size() > 65536) errors_.erase(0, errors_.size() - 32768);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN && wait) {
            pollfd p{static_cast<int>(errorPipe_), POLLIN, 0};
            ::poll(&p, 1, 1000);
            continue;
        }
        if (n == 0 || wait) {   // end of the pipe, or an error while waiting for it
            ::close(static_cast<int>(errorPipe_));
            errorPipe_ = kNone;
        }
        return;
    }
}

bool PipedChild::Write(const void* data, size_t size, std::string* why) {
    Drain(false);
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = input_ >= 0 ? ::write(static_cast<int>(input_), p, size) : -1;
        if (n < 0) {
            if (input_ >= 0 && errno == EINTR) continue;
            if (why) *why = input_ >= 0 ? std::strerror(errno) : "not running";
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool PipedChild::Finish() {
    if (input_ >= 0) ::close(static_cast<int>(input_));
    input_ = kNone;
    Drain(true);
    if (process_ < 0) return true;
    int status = 0;
    while (::waitpid(static_cast<pid_t>(process_), &status, 0) < 0 && errno == EINTR) {
    }
    process_ = kNone;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void PipedChild::Kill() {
    if (process_ >= 0) ::kill(static_cast<pid_t>(process_), SIGKILL);
    Finish();
}

}  // namespace qor::platform
