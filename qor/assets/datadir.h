// Where the engine reads the demo's data files from.
#pragma once

#include <string>

namespace qor {

void SetDataDir(const std::string& dir);   // "" means the current directory
std::string DataPath(const char* name);    // the data folder / name

// The data folder of a program installed as games are on Debian:
// PREFIX/games/NAME reads PREFIX/share/games/NAME. "" for a program anywhere else.
std::string InstalledDataDir(const std::string& exe);

// The data folder as a whole, checked once before anything is loaded.
enum class DataFolder { Usable, Missing, NotAFolder, Unreadable, Empty };
DataFolder InspectDataDir(const std::string& dir, std::string& why);   // why: e.g. "no such folder"

// Once a line has said the whole folder is unusable, the loaders keep quiet
// about each of its files.
void SetDataDirReported(bool reported);
bool DataDirReported();

}   // namespace qor
