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

// Writes `size` bytes to `path` whole or not at all: they go to "<path>.part"
// first, which is renamed to `path` once written and closed, and removed on any
// failure. error: "cannot write <path>: <cause>", e.g. "No space left on device".
bool WriteWholeFile(const std::string& path, const void* data, size_t size, std::string& error);

// The name a file is written under until it is whole.
std::string PartName(const std::string& path);

// "64 MiB", "512 KiB" or "100 bytes", for messages about limits.
std::string SizeText(uint64_t bytes);

}  // namespace qor
