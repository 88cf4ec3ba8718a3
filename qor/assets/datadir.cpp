#include "assets/datadir.h"

namespace qor {

namespace {
std::string gDataDir;
}

void SetDataDir(const std::string& dir) { gDataDir = dir; }

const std::string& DataDir() { return gDataDir; }

std::string DataPath(const char* name) {
    if (gDataDir.empty()) return name;
    if (gDataDir.back() == '/') return gDataDir + name;
    return gDataDir + "/" + name;
}

}  // namespace qor
