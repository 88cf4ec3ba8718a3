#include "assets/datadir.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace qor {

namespace {
std::string gDataDir;
bool gReported = false;
}   // namespace

void SetDataDir(const std::string& dir) { gDataDir = dir; }

std::string DataPath(const char* name) {
    if (gDataDir.empty()) return name;
    if (gDataDir.back() == '/') return gDataDir + name;
    return gDataDir + "/" + name;
}

std::string InstalledDataDir(const std::string& exe) {
    const std::filesystem::path path(exe);
    const std::filesystem::path folder = path.parent_path();
    if (!path.has_filename() || folder.filename() != "games") return "";
    return (folder.parent_path() / "share" / "games" / path.stem()).string();
}

DataFolder InspectDataDir(const std::string& dir, std::string& why) {
    const std::string path = dir.empty() ? "." : dir;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        why = errno == ENOENT ? "no such folder" : std::string("cannot be reached (") + std::strerror(errno) + ")";
        return DataFolder::Missing;
    }
    if (!S_ISDIR(st.st_mode)) {
        why = "is not a folder";
        return DataFolder::NotAFolder;
    }
    DIR* d = ::opendir(path.c_str());
#ifndef _WIN32
    // A folder that may not be listed but may be searched (mode 0711) still
    // opens its files by name: each of them says for itself what is wrong.
    if (!d && errno == EACCES && ::access(path.c_str(), X_OK) == 0) return DataFolder::Usable;
#endif
    if (!d) {
        why = std::string("cannot be read (") + std::strerror(errno) + ")";
        return DataFolder::Unreadable;
    }
    bool any = false;
    while (const dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
            any = true;
            break;
        }
    }
    ::closedir(d);
    if (!any) {
        why = "the folder is empty";
        return DataFolder::Empty;
    }
    return DataFolder::Usable;
}

void SetDataDirReported(bool reported) { gReported = reported; }
bool DataDirReported() { return gReported; }

}   // namespace qor
