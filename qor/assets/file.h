// The engine's one way of reading a data file whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qor {

// Reads the regular file at `path`, at most `maxBytes` of it, into `out`.
// Anything else (a folder, a FIFO, a device, a socket) is refused without a
// blocking open or read, and so is a file larger than `maxBytes`, even one that
// grows while it is read. On failure returns false with the reason in `error`
// (without the path), e.g. "is a FIFO, not a regular file".
bool ReadWholeFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>& out, std::string& error);

// Opens the regular file at `path` for reading as ReadWholeFile does (never
// waiting on a FIFO, refusing anything else and a file over `maxBytes`): its
// descriptor and size, or -1 with the reason in `error`.
int OpenDataFile(const std::string& path, size_t maxBytes, uint64_t& size, std::string& error);
// Reads exactly `size` bytes (retrying after signals); false at an early end
// or an error, with errno 0 for the end.
bool ReadExactly(int fd, void* data, size_t size);

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

// A path as messages print it: control characters as \n, \t or \xHH, and
// a very long one cut in the middle, so that a message stays one line.
std::string Printable(const std::string& path);

// "64 MiB", "512 KiB" or "100 bytes", for messages about limits.
std::string SizeText(uint64_t bytes);

}   // namespace qor
