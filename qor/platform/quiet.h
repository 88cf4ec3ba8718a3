// Silences standard error for a scope. SDL's back ends probe system
// libraries (ALSA, Wayland) that print their own complaints when there is no
// sound card or no display; teq says what matters in one line instead.
// Only for short stretches on the main thread before other threads write.
#pragma once

#include <fcntl.h>

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace qor::platform {

class QuietStderr {
public:
    QuietStderr() {
#ifdef _WIN32
        const int null = ::open("NUL", O_WRONLY);
#else
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
#endif
        std::fflush(stderr);
        fd_ = fileno(stderr);
        saved_ = fd_ >= 0 ? ::dup(fd_) : -1;
        if (saved_ >= 0 && null >= 0) ::dup2(null, fd_);
        if (null >= 0) ::close(null);
    }
    ~QuietStderr() {
        if (saved_ < 0) return;
        ::dup2(saved_, fd_);
        ::close(saved_);
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int fd_ = -1;
    int saved_ = -1;
};

}   // namespace qor::platform
