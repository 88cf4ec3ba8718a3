// File calls that differ between POSIX systems and Windows, made one:
// open()'s flags (binary mode on Windows, no line-ending translation; no
// FIFOs, terminals or fork there to guard against) and renaming a file over
// an existing one (POSIX rename() replaces the target, Windows' C runtime
// refuses to).
#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>

#ifdef _WIN32
#include <windows.h>

#include <cerrno>

#define O_NONBLOCK 0
#define O_NOCTTY 0
#define O_CLOEXEC O_NOINHERIT
#ifndef S_ISSOCK
#define S_ISSOCK(mode) 0
#endif
#else
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

}   // namespace qor::platform
