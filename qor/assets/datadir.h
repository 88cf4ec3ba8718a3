// Where the engine reads the demo's data files from.
#pragma once

#include <string>

namespace qor {

void SetDataDir(const std::string& dir);   // "" means the current directory
const std::string& DataDir();
std::string DataPath(const char* name);    // DataDir()/name

}  // namespace qor
