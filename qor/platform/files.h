// File calls that differ between POSIX systems and Windows, made one:
// open()'s flags (binary mode on Windows, no line-ending translation; no
// FIFOs, terminals or fork there to guard against), renaming a file over
// an existing one (POSIX rename() replaces the target, Windows' C runtime
// refuses to), and the few descriptor calls the run makes itself.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <string>

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include <cerrno>

#define O_NONBLOCK 0
#define O_NOCTTY 0
#define O_CLOEXEC O_NOINHERIT
#ifndef S_ISSOCK
#define S_ISSOCK(mode) 0
#endif
#else
#include <unistd.h>
#define O_BINARY 0
#endif

namespace qor::platform {

// rename(from, to), replacing `to` if it exists. 0 on success, else -1 with errno set.
inline int RenameOver(const char* from, const char* to) {
#ifdef _WIN32
    if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING)) return 0;
    const DWORD code = GetLastError();
    errno = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND     ? ENOENT
            : code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION ? EACCES
            : code == ERROR_DISK_FULL                                        ? ENOSPC
                                                                             : EIO;
    return -1;
#else
    return std::rename(from, to);
#endif
}

// A stdio stream over an open descriptor (which it then owns), or nullptr.
inline std::FILE* StreamOf(int fd, const char* mode) {
#ifdef _WIN32
    return _fdopen(fd, mode);
#else
    return fdopen(fd, mode);
#endif
}

// Up to `size` bytes from the descriptor's position: how many came, or -1
// with errno set.
inline long ReadSome(int fd, void* data, size_t size) {
    return static_cast<long>(::read(fd, data, static_cast<unsigned>(size)));
}

// `text` over the start of the file: true when all of it was written, else
// false with errno set.
inline bool WriteAtStart(int fd, const std::string& text) {
    if (::lseek(fd, 0, SEEK_SET) != 0) return false;
    const long n = static_cast<long>(::write(fd, text.data(), static_cast<unsigned>(text.size())));
    if (n < 0) return false;
    if (static_cast<size_t>(n) != text.size()) {
        errno = EIO;
        return false;
    }
    return true;
}

inline void CloseFile(int fd) { ::close(fd); }

}   // namespace qor::platform
