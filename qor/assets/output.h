// Output files (pictures, frames, the WAV, a video through ffmpeg) appear
// under their own names only when whole: written under a part name of this
// run's own, created new, then renamed.
#pragma once

#include <cstddef>
#include <string>

namespace qor {

// Writes `size` bytes to `path` whole or not at all: they go to PartName(path)
// first, created new (never an existing file, never through a symlink), which
// is renamed to `path` once written and closed, and removed on any failure.
// A `path` that is there but not a regular file (a folder, a FIFO) is refused.
// error: "cannot write <path>: <cause>", e.g. "No space left on device".
bool WriteWholeFile(const std::string& path, const void* data, size_t size, std::string& error);

// The name a file is written under until it is whole: "<path>.<tag>.part",
// the tag being this run's own (RunTag), so two runs never share one.
std::string PartName(const std::string& path);
// Eight letters and digits drawn once per process.
const std::string& RunTag();
// Creates PartName(path) for writing, exclusively (O_CREAT | O_EXCL): an
// existing file or symlink of that name is an error (errno EEXIST). The
// descriptor, or -1 with errno set.
int CreatePart(const std::string& path);

// What is at `path`, for refusing outputs that are not files: "" for a
// regular file, a missing one or one that cannot be looked at (the write
// then says why), else e.g. "is a folder, not a file".
std::string NotAFile(const std::string& path);

}   // namespace qor
