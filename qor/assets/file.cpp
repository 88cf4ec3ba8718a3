// Whole-file reads for every loader. The file is opened without blocking
// (O_NONBLOCK: opening a FIFO with no writer returns at once), its type and
// size are taken from the open descriptor, so nothing can be swapped in
// between, and the read stops at the limit whatever the file does meanwhile.
#include "assets/file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/files.h"

namespace qor {

const char* FileTypeText(unsigned mode) {
    if (S_ISDIR(mode)) return "is a folder, not a file";
    if (S_ISFIFO(mode)) return "is a FIFO, not a regular file";
    if (S_ISCHR(mode)) return "is a character device, not a regular file";
    if (S_ISBLK(mode)) return "is a block device, not a regular file";
    if (S_ISSOCK(mode)) return "is a socket, not a regular file";
    return "is not a regular file";
}

namespace {

struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

}   // namespace

std::string SizeText(uint64_t bytes) {
    if (bytes >= (1u << 20) && bytes % (1u << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
    if (bytes >= 1024 && bytes % 1024 == 0) return std::to_string(bytes >> 10) + " KiB";
    return std::to_string(bytes) + " bytes";
}

int OpenDataFile(const std::string& path, size_t maxBytes, uint64_t& size, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_BINARY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error = std::string("cannot open (") + std::strerror(errno) + ")";
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = std::string("cannot read (") + std::strerror(errno) + ")";
    } else if (!S_ISREG(st.st_mode)) {
        error = FileTypeText(st.st_mode);
    } else if (st.st_size < 0 || uint64_t(st.st_size) > maxBytes) {
        error = "is larger than " + SizeText(maxBytes);
    } else {
        size = uint64_t(st.st_size);
        return fd;
    }
    ::close(fd);
    return -1;
}

bool ReadExactly(int fd, void* data, size_t size) {
    char* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::read(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = 0;
            return false;
        }
        p += n;
        size -= size_t(n);
    }
    return true;
}

bool ReadWholeFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>& out, std::string& error) {
    out.clear();
    uint64_t size = 0;
    Descriptor file{OpenDataFile(path, maxBytes, size, error)};
    if (file.fd < 0) return false;
    const auto tooLarge = [&] {
        error = "is larger than " + SizeText(maxBytes);
        return false;
    };
    // One byte over the size seen, to notice a file that grew; never past the limit + 1.
    size_t want = size_t(size) + 1;
    out.resize(want);
    size_t have = 0;
    for (;;) {
        if (have == out.size()) {
            if (have > maxBytes) {
                out.clear();
                return tooLarge();
            }
            want = std::min(maxBytes + 1, have + std::max<size_t>(have, 65536));
            out.resize(want);
        }
        const ssize_t n = ::read(file.fd, out.data() + have, out.size() - have);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = std::string("cannot read (") + std::strerror(errno) + ")";
            out.clear();
            return false;
        }
        if (n == 0) break;
        have += size_t(n);
    }
    if (have > maxBytes) {
        out.clear();
        return tooLarge();
    }
    out.resize(have);
    return true;
}

std::string Printable(const std::string& path) {
    constexpr size_t kKeep = 160;   // characters kept at each end of a longer path
    std::string out;
    for (size_t i = 0; i < path.size(); ++i) {
        if (path.size() > 2 * kKeep && i == kKeep) {
            out += "...";
            i = path.size() - kKeep;
        }
        const unsigned char c = static_cast<unsigned char>(path[i]);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += char(c);
        }
    }
    return out;
}

}   // namespace qor
