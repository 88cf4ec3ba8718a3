// Picture decoding and PNG writing. Limits are set before the decoders see any
// pixel data, so a header that claims a huge picture is refused before memory is
// reserved for it; anything the libraries warn about is refused too.
#include "assets/images.h"

#include "assets/file.h"
#include "assets/output.h"

#include <spng.h>
#include <turbojpeg.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace qor {

namespace {

constexpr size_t kMaxFileBytes = 64u << 20;       // no picture file of ours comes near this
constexpr size_t kMaxPngChunk = 8u << 20;         // one ancillary or IDAT chunk
constexpr size_t kMaxPngChunkCache = 16u << 20;   // all ancillary chunks together

struct SpngDeleter {
    void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};
using SpngPtr = std::unique_ptr<spng_ctx, SpngDeleter>;

struct TjDeleter {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using TjPtr = std::unique_ptr<void, TjDeleter>;

bool SpngFail(const char* what, int code, std::string& error) {
    error = std::string("PNG ") + what + ": " + spng_strerror(code);
    return false;
}

}   // namespace

bool DecodePng(const uint8_t* data, size_t size, Picture& out, std::string& error) {
    SpngPtr ctx(spng_ctx_new(0));
    if (!ctx) return SpngFail("decoder", SPNG_EMEM, error);
    spng_ctx* c = ctx.get();
    // Limits and checksum policy first: nothing is read before they are in force.
    spng_set_image_limits(c, kMaxPictureSide, kMaxPictureSide);
    spng_set_chunk_limits(c, kMaxPngChunk, kMaxPngChunkCache);
    spng_set_crc_action(c, SPNG_CRC_ERROR, SPNG_CRC_ERROR);
    int rc = spng_set_png_buffer(c, data, size);
    if (rc) return SpngFail("input", rc, error);
    spng_ihdr ihdr{};
    rc = spng_get_ihdr(c, &ihdr);
    if (rc) return SpngFail("header", rc, error);
    if (ihdr.width == 0 || ihdr.height == 0 || ihdr.width > uint32_t(kMaxPictureSide) ||
        ihdr.height > uint32_t(kMaxPictureSide)) {
        error = "PNG is " + std::to_string(ihdr.width) + "x" + std::to_string(ihdr.height) + ", more than " +
                std::to_string(kMaxPictureSide) + " a side";
        return false;
    }
    size_t bytes = 0;
    rc = spng_decoded_image_size(c, SPNG_FMT_RGBA8, &bytes);
    if (rc) return SpngFail("size", rc, error);
    if (bytes != size_t(ihdr.width) * ihdr.height * 4) {
        error = "PNG decoded size does not match its header";
        return false;
    }
    std::vector<uint8_t> rgba(bytes);
    rc = spng_decode_image(c, rgba.data(), rgba.size(), SPNG_FMT_RGBA8, SPNG_DECODE_TRNS);
    if (rc) return SpngFail("image data", rc, error);
    rc = spng_decode_chunks(c);   // the chunks after the image, up to IEND
    if (rc) return SpngFail("trailing chunks", rc, error);

    out.width = int(ihdr.width);
    out.height = int(ihdr.height);
    out.argb.resize(size_t(out.width) * out.height);
    for (size_t i = 0; i < out.argb.size(); ++i) {
        const uint8_t* p = &rgba[i * 4];
        out.argb[i] = uint32_t(p[3]) << 24 | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    }
    return true;
}

namespace {

// What the markers before the first scan say: the frame's size and
// components, and whether an Adobe APP14 segment is there (Adobe's programs
// write CMYK inverted, 0 for full ink, and mark it so).
struct JpegMarkers {
    int width = 0, height = 0, components = 0;
    bool frame = false;
    bool adobe = false;
};

JpegMarkers ScanJpegMarkers(const uint8_t* data, size_t size) {
    JpegMarkers m;
    size_t pos = 2;   // after SOI
    while (pos + 1 < size) {
        if (data[pos] != 0xFF) break;   // not a marker: leave it to the decoder
        uint8_t code = data[pos + 1];
        if (code == 0xFF) {   // fill byte
            ++pos;
            continue;
        }
        pos += 2;
        if (code == 0xD9 || code == 0xDA) break;                        // EOI, SOS
        if (code == 0x01 || (code >= 0xD0 && code <= 0xD7)) continue;   // no length
        if (pos + 2 > size) break;
        const size_t length = size_t(data[pos]) << 8 | data[pos + 1];
        if (length < 2 || pos + length > size) break;
        const uint8_t* body = data + pos + 2;
        const size_t bodySize = length - 2;
        const bool sof = code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
        if (sof && bodySize >= 6 && !m.frame) {
            m.frame = true;
            m.height = int(body[1]) << 8 | body[2];
            m.width = int(body[3]) << 8 | body[4];
            m.components = body[5];
        }
        if (code == 0xEE && bodySize >= 12 && std::memcmp(body, "Adobe", 5) == 0) m.adobe = true;
        pos += length;
    }
    return m;
}

}   // namespace

bool DecodeJpeg(const uint8_t* data, size_t size, Picture& out, std::string& error) {
    TjPtr tj(tjInitDecompress());
    if (!tj) {
        error = "JPEG decoder: cannot start";
        return false;
    }
    // The frame header is read here: TurboJPEG's header call refuses
    // sampling factors it has no name for (4x2, say), which its decoder takes.
    const JpegMarkers m = ScanJpegMarkers(data, size);
    if (!m.frame) {
        error = "JPEG has no frame header (no picture in it)";
        return false;
    }
    const int width = m.width, height = m.height;
    if (width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide) {
        error = "JPEG is " + std::to_string(width) + "x" + std::to_string(height) + ", " +
                (width <= 0 || height <= 0 ? "an empty picture"
                                           : "more than " + std::to_string(kMaxPictureSide) + " a side");
        return false;
    }
    out.width = width;
    out.height = height;
    out.argb.assign(size_t(width) * height, 0);
    // BGRA bytes are 0xAARRGGBB words on a little-endian machine; CMYK comes
    // out as C, M, Y, K bytes in the same words and is made RGB below.
    // Warnings stop the decode, and progressive files with absurd scan
    // counts are refused.
    const bool cmyk = m.components == 4;
    const int flags = TJFLAG_STOPONWARNING | TJFLAG_LIMITSCANS;
    if (tjDecompress2(tj.get(), data, (unsigned long)size, reinterpret_cast<unsigned char*>(out.argb.data()), width,
                      width * 4, height, cmyk ? TJPF_CMYK : TJPF_BGRA, flags) != 0) {
        error = std::string("JPEG data: ") + tjGetErrorStr2(tj.get());
        out = Picture{};
        return false;
    }
    if (cmyk) {
        // Ink to light: R = (255 - C)(255 - K) / 255, and likewise for G and
        // B; Adobe's inverted values are already 255 - ink.
        for (uint32_t& px : out.argb) {
            const uint8_t* p = reinterpret_cast<const uint8_t*>(&px);
            uint32_t c = p[0], mg = p[1], y = p[2], k = p[3];
            if (!m.adobe) c = 255 - c, mg = 255 - mg, y = 255 - y, k = 255 - k;
            const auto mix = [k](uint32_t v) { return (v * k + 127) / 255; };
            px = 0xFF000000u | mix(c) << 16 | mix(mg) << 8 | mix(y);
        }
    }
    return true;
}

bool DecodePicture(const uint8_t* data, size_t size, Picture& out, std::string& error) {
    static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (size >= 8 && std::memcmp(data, kPng, 8) == 0) return DecodePng(data, size, out, error);
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) return DecodeJpeg(data, size, out, error);
    error = size == 0 ? "file is empty" : "not a PNG or JPEG file";
    return false;
}

bool PictureSize(const uint8_t* data, size_t size, int& width, int& height, std::string& error) {
    static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (size >= 8 && std::memcmp(data, kPng, 8) == 0) {
        SpngPtr ctx(spng_ctx_new(0));
        if (!ctx) return SpngFail("decoder", SPNG_EMEM, error);
        spng_set_crc_action(ctx.get(), SPNG_CRC_ERROR, SPNG_CRC_ERROR);
        int rc = spng_set_png_buffer(ctx.get(), data, size);
        spng_ihdr ihdr{};
        if (!rc) rc = spng_get_ihdr(ctx.get(), &ihdr);   // IHDR only: no pixel is read
        if (rc) return SpngFail("header", rc, error);
        width = ihdr.width > uint32_t(INT32_MAX) ? INT32_MAX : int(ihdr.width);
        height = ihdr.height > uint32_t(INT32_MAX) ? INT32_MAX : int(ihdr.height);
        return true;
    }
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) {
        const JpegMarkers m = ScanJpegMarkers(data, size);
        if (!m.frame) {
            error = "JPEG has no frame header (no picture in it)";
            return false;
        }
        width = m.width;
        height = m.height;
        return true;
    }
    error = size == 0 ? "file is empty" : "not a PNG or JPEG file";
    return false;
}

bool LoadPicture(const std::string& path, Picture& out, std::string& error, const PictureCheck& accept) {
    try {
        std::vector<uint8_t> bytes;
        if (!ReadWholeFile(path, kMaxFileBytes, bytes, error)) return false;
        if (accept) {
            int width = 0, height = 0;
            if (!PictureSize(bytes.data(), bytes.size(), width, height, error)) return false;
            if (!accept(width, height, error)) return false;
        }
        return DecodePicture(bytes.data(), bytes.size(), out, error);
    } catch (const std::bad_alloc&) {
        out = Picture{};
        error = "out of memory while decoding it";
        return false;
    }
}

bool EncodePng(const uint32_t* argb, int width, int height, bool alpha, std::vector<uint8_t>& out, std::string& error) {
    if (width <= 0 || height <= 0) {
        error = "PNG of no pixels";
        return false;
    }
    const int channels = alpha ? 4 : 3;
    std::vector<uint8_t> pixels(size_t(width) * height * channels);
    for (size_t i = 0, n = size_t(width) * height; i < n; ++i) {
        const uint32_t c = argb[i];
        uint8_t* p = &pixels[i * channels];
        p[0] = uint8_t(c >> 16);
        p[1] = uint8_t(c >> 8);
        p[2] = uint8_t(c);
        if (alpha) p[3] = uint8_t(c >> 24);
    }
    SpngPtr ctx(spng_ctx_new(SPNG_CTX_ENCODER));
    if (!ctx) return SpngFail("encoder", SPNG_EMEM, error);
    spng_set_option(ctx.get(), SPNG_ENCODE_TO_BUFFER, 1);
    spng_ihdr ihdr{};
    ihdr.width = uint32_t(width);
    ihdr.height = uint32_t(height);
    ihdr.bit_depth = 8;
    ihdr.color_type = alpha ? SPNG_COLOR_TYPE_TRUECOLOR_ALPHA : SPNG_COLOR_TYPE_TRUECOLOR;
    int rc = spng_set_ihdr(ctx.get(), &ihdr);
    if (rc) return SpngFail("header", rc, error);
    rc = spng_encode_image(ctx.get(), pixels.data(), pixels.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE);
    if (rc) return SpngFail("encode", rc, error);
    size_t len = 0;
    void* buffer = spng_get_png_buffer(ctx.get(), &len, &rc);
    if (!buffer) return SpngFail("encode", rc, error);
    out.assign(static_cast<uint8_t*>(buffer), static_cast<uint8_t*>(buffer) + len);
    std::free(buffer);
    return true;
}

bool WritePng(const std::string& path, const uint32_t* argb, int width, int height, bool alpha, std::string& error) {
    std::vector<uint8_t> png;
    if (!EncodePng(argb, width, height, alpha, png, error)) return false;
    return WriteWholeFile(path, png.data(), png.size(), error);
}

}   // namespace qor
