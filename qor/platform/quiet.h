// Silences standard error for a scope. SDL's back ends probe system
// libraries (ALSA, Wayland) that print their own complaints when there is no
// sound card or no display; teq says what matters in one line instead.
// Only for short stretches on the main thread before other threads write.
#pragma once

#include <fcntl.h>
#include <unistd.h>

namespace qor::platform {

class QuietStderr {
public:
    QuietStderr() {
        saved_ = ::dup(2);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0) ::dup2(null, 2);
        if (null >= 0) ::close(null);
    }
    ~QuietStderr() {
        if (saved_ < 0) return;
        ::dup2(saved_, 2);
        ::close(saved_);
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved_ = -1;
};

}  // namespace qor::platform
