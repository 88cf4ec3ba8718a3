// The engine's one way of reading a data file whole, and of naming a file
// in a message. Writing is in output.h.
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

// What a file of type `mode` (st_mode) is, for refusing it: "is a folder,
// not a file", "is a FIFO, not a regular file".
const char* FileTypeText(unsigned mode);

// A path as messages print it: control characters as \n, \t or \xHH, and
// a very long one cut in the middle, so that a message stays one line.
std::string Printable(const std::string& path);

// "64 MiB", "512 KiB" or "100 bytes", for messages about limits.
std::string SizeText(uint64_t bytes);

}   // namespace qor
