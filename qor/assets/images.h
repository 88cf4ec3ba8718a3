// Picture loading (PNG through libspng, JPEG through TurboJPEG) and PNG writing.
//
// Pictures are kept as 32-bit ARGB (alpha in bits 24-31), rows top down. The
// decoders check the header against kMaxPictureSide before any pixel memory is
// allocated and treat every warning of the libraries as an error. A failure
// gives false and a one-line reason; nothing is thrown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qor {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> argb;   // width * height, rows top down
};

inline constexpr int kMaxPictureSide = 4096;

// Decodes a file image; the format is told by its first bytes.
bool DecodePng(const uint8_t* data, size_t size, Picture& out, std::string& error);
bool DecodeJpeg(const uint8_t* data, size_t size, Picture& out, std::string& error);
bool DecodePicture(const uint8_t* data, size_t size, Picture& out, std::string& error);

// The size a file image's header claims, read without decoding any pixel.
bool PictureSize(const uint8_t* data, size_t size, int& width, int& height, std::string& error);

// Reads and decodes a file; error is the reason without the file name.
// `accept`, when given, sees the header's size first and may refuse the
// picture (setting error) before any time or memory goes into decoding it.
using PictureCheck = std::function<bool(int width, int height, std::string& error)>;
bool LoadPicture(const std::string& path, Picture& out, std::string& error, const PictureCheck& accept = {});

// Encodes ARGB pixels as an 8-bit RGB (alpha false) or RGBA PNG.
bool EncodePng(const uint32_t* argb, int width, int height, bool alpha, std::vector<uint8_t>& out, std::string& error);
// WritePng writes the file whole or not at all (WriteWholeFile in file.h).
bool WritePng(const std::string& path, const uint32_t* argb, int width, int height, bool alpha, std::string& error);

}   // namespace qor
