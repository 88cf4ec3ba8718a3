// The operating-system pieces on Linux and other POSIX systems, the browser's
// included (signals, lock files, a piped child, the PATH). What differs
// between a desktop process and a page is in system_desktop.cpp and
// system_web.cpp.
#include "platform/system.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qor::platform {

namespace {

volatile sig_atomic_t gStopSignal = 0;
int gWake[2] = {-1, -1};   // self-pipe: a byte in it once a stop signal came

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

void OnStopSignal(int signal) {
    const int saved = errno;
    gStopSignal = signal;
    if (gWake[1] >= 0) (void)!::write(gWake[1], "s", 1);
    errno = saved;
}

// Waits until `fd` is ready for `events` or a stop signal came; the timeout
// in milliseconds (-1: none). false when a stop signal came.
bool WaitFor(int fd, short events, int timeout) {
    pollfd p[2] = {{fd, events, 0}, {gWake[0], POLLIN, 0}};
    for (;;) {
        if (gStopSignal != 0) return false;
        const int n = ::poll(p, gWake[0] >= 0 ? 2 : 1, timeout);
        if (n < 0 && errno == EINTR) continue;
        return gStopSignal == 0;
    }
}

}   // namespace

void CatchStopSignals() {
    if (gWake[0] < 0 && ::pipe(gWake) == 0) {
        for (int fd : gWake) {
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
            ::fcntl(fd, F_SETFL, O_NONBLOCK);
        }
    }
    char drain[64];
    while (gWake[0] >= 0 && ::read(gWake[0], drain, sizeof drain) > 0) {
    }
    gStopSignal = 0;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;   // no SA_RESTART: a blocked call returns with EINTR
    for (int sig : kStopSignals) ::sigaction(sig, &action, nullptr);
}

void ReleaseStopSignals() {
    for (int sig : kStopSignals) std::signal(sig, SIG_DFL);
}

int StopSignal() { return gStopSignal; }

int TakeFileLock(const std::string& path, bool& busy, std::string& why) {
    busy = false;
    // The file is checked to be the one at `path` after the lock is taken: a
    // render finishing meanwhile removes its lock file, and this one then
    // locks a fresh file.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
        if (fd < 0) {
            why = errno == ELOOP ? "is a symbolic link" : std::strerror(errno);
            return -1;
        }
        struct stat held {
        }, now{};
        if (::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode)) {
            why = "is not a regular file";
            ::close(fd);
            return -1;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int code = errno;
            ::close(fd);
            if (code == EWOULDBLOCK) {
                busy = true;
                why = "held by another process";
            } else {
                why = std::strerror(code);
            }
            return -1;
        }
        if (::lstat(path.c_str(), &now) == 0 && now.st_dev == held.st_dev && now.st_ino == held.st_ino) return fd;
        ::close(fd);
    }
    why = "keeps changing";
    return -1;
}

void DropFileLock(int fd, const std::string& path) {
    if (fd < 0) return;
    ::unlink(path.c_str());   // still held, so no other process is using it
    ::close(fd);
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
    IgnoreWriteSignals();   // a child that stopped reading shows as a failed write
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
        // SIGXFSZ stays ignored: ffmpeg then reports a file-size limit itself.
        for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT}) std::signal(sig, SIG_DFL);
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
    ::fcntl(fds[1], F_SETFL, O_NONBLOCK);   // a full pipe is waited on in poll(), with the stop signals
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
            if (input_ >= 0 && (errno == EINTR || errno == EAGAIN)) {
                if (WaitFor(static_cast<int>(input_), POLLOUT, -1)) continue;
                if (why) *why = "interrupted";
                return false;
            }
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
    if (process_ < 0) {
        Drain(true);
        return true;
    }
    // What the child wrote is in the pipe once it has ended; a process it left
    // behind may hold the pipe open, so its end is not waited for.
    const auto closeErrors = [this] {
        Drain(false);
        if (errorPipe_ >= 0) ::close(static_cast<int>(errorPipe_));
        errorPipe_ = kNone;
    };
    // The child's exit, its standard error read meanwhile; a stop signal
    // ends the wait and the child.
    const pid_t pid = static_cast<pid_t>(process_);
    int status = 0;
    bool killed = false;
    for (;;) {
        Drain(false);
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) break;
        if (!WaitFor(errorPipe_ >= 0 ? static_cast<int>(errorPipe_) : -1, POLLIN, 100)) {
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            killed = true;
            break;
        }
    }
    closeErrors();
    process_ = kNone;
    return !killed && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void PipedChild::Kill() {
    if (process_ >= 0) ::kill(static_cast<pid_t>(process_), SIGKILL);
    Finish();
}

}   // namespace qor::platform
