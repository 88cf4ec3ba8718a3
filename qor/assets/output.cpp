// Output files written whole or not at all (see output.h).
#include "assets/output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <random>

#include "assets/file.h"
#include "platform/files.h"

namespace qor {

const std::string& RunTag() {
    static const std::string tag = [] {
        static const char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
        std::random_device device;
        std::seed_seq seed{device(), device(), unsigned(std::chrono::steady_clock::now().time_since_epoch().count()),
                           unsigned(reinterpret_cast<uintptr_t>(&device))};
        std::mt19937 pick(seed);
        std::string t(8, 'a');
        for (char& c : t) c = kDigits[pick() % 36];
        return t;
    }();
    return tag;
}

std::string PartName(const std::string& path) { return path + "." + RunTag() + ".part"; }

int CreatePart(const std::string& path) {
    return ::open(PartName(path).c_str(), O_WRONLY | O_BINARY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
}

std::string NotAFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return "";
    return FileTypeText(st.st_mode);
}

bool WriteWholeFile(const std::string& path, const void* data, size_t size, std::string& error) {
    const std::string part = PartName(path);
    const auto fail = [&](int code) {
        error = "cannot write " + Printable(path) + ": " + std::strerror(code);
        ::unlink(part.c_str());
        return false;
    };
    const std::string odd = NotAFile(path);
    if (!odd.empty()) {
        error = "cannot write " + Printable(path) + ": " + odd;
        return false;
    }
    const int fd = CreatePart(path);
    if (fd < 0) {
        error = "cannot write " + Printable(path) + ": " + std::strerror(errno);
        return false;
    }
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int code = n < 0 ? errno : ENOSPC;
            ::close(fd);
            return fail(code);
        }
        p += n;
        size -= size_t(n);
    }
    if (::close(fd) != 0) return fail(errno);
    if (platform::RenameOver(part.c_str(), path.c_str()) != 0) return fail(errno);
    return true;
}

}   // namespace qor
