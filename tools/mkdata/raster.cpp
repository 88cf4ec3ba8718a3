// Drawing kit of the data generator: canvas, noise, shapes, text and encoders.
#include "raster.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <stdexcept>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>
#define STBTT_STATIC
#define STB_TRUETYPE_IMPLEMENTATION
#include <stb/stb_truetype.h>

namespace mkdata {

Rgb Mix(Rgb a, Rgb b, float t) { return a * (1.f - t) + b * t; }

Rgb Hex(uint32_t rgb) {
    return {float((rgb >> 16) & 255) / 255.f, float((rgb >> 8) & 255) / 255.f, float(rgb & 255) / 255.f};
}

Canvas::Canvas(int width, int height)
    : w(width), h(height), rgb(size_t(width) * height), alpha(size_t(width) * height, 1.f) {}

void Paint(Canvas& c, int samples, const std::function<Rgb(float x, float y)>& f) {
    const float step = 1.f / float(samples);
    const float weight = 1.f / float(samples * samples);
    for (int y = 0; y < c.h; ++y) {
        for (int x = 0; x < c.w; ++x) {
            Rgb sum;
            for (int sy = 0; sy < samples; ++sy)
                for (int sx = 0; sx < samples; ++sx)
                    sum = sum + f(float(x) + (float(sx) + 0.5f) * step, float(y) + (float(sy) + 0.5f) * step);
            c.At(x, y) = sum * weight;
        }
    }
}

float Mask::Sample(float x, float y) const {
    x -= 0.5f;
    y -= 0.5f;
    const int x0 = int(std::floor(x)), y0 = int(std::floor(y));
    const float fx = x - float(x0), fy = y - float(y0);
    auto get = [&](int px, int py) { return (px < 0 || py < 0 || px >= w || py >= h) ? 0.f : At(px, py); };
    const float top = get(x0, y0) * (1 - fx) + get(x0 + 1, y0) * fx;
    const float bottom = get(x0, y0 + 1) * (1 - fx) + get(x0 + 1, y0 + 1) * fx;
    return top * (1 - fy) + bottom * fy;
}

Mask Blur(const Mask& m, int radius) {
    Mask a = m, b = m;
    const float k = 1.f / float(2 * radius + 1);
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < m.h; ++y)   // horizontal: a -> b
            for (int x = 0; x < m.w; ++x) {
                float s = 0;
                for (int i = -radius; i <= radius; ++i) {
                    const int xi = x + i;
                    if (xi >= 0 && xi < m.w) s += a.At(xi, y);
                }
                b.At(x, y) = s * k;
            }
        for (int y = 0; y < m.h; ++y)   // vertical: b -> a
            for (int x = 0; x < m.w; ++x) {
                float s = 0;
                for (int i = -radius; i <= radius; ++i) {
                    const int yi = y + i;
                    if (yi >= 0 && yi < m.h) s += b.At(x, yi);
                }
                a.At(x, y) = s * k;
            }
    }
    return a;
}

void AddMask(Canvas& c, const Mask& m, int ox, int oy, const std::function<Rgb(int x, int y)>& colour) {
    for (int y = 0; y < m.h; ++y)
        for (int x = 0; x < m.w; ++x) {
            const int cx = ox + x, cy = oy + y;
            if (cx < 0 || cy < 0 || cx >= c.w || cy >= c.h || m.At(x, y) <= 0) continue;
            c.At(cx, cy) = c.At(cx, cy) + colour(cx, cy) * m.At(x, y);
        }
}

uint32_t Hash(uint32_t a, uint32_t b, uint32_t c) {
    uint32_t h = a * 0x9E3779B1u ^ (b + 0x7F4A7C15u) * 0x85EBCA77u ^ (c + 0x165667B1u) * 0xC2B2AE3Du;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

float Hash01(uint32_t a, uint32_t b, uint32_t c) { return float(Hash(a, b, c) >> 8) / float(1 << 24); }

float TiledNoise(float x, float y, int periodX, int periodY, uint32_t seed) {
    const int x0 = int(std::floor(x)), y0 = int(std::floor(y));
    float fx = x - float(x0), fy = y - float(y0);
    fx = fx * fx * (3 - 2 * fx);
    fy = fy * fy * (3 - 2 * fy);
    auto lattice = [&](int ix, int iy) {
        ix = ((ix % periodX) + periodX) % periodX;
        iy = ((iy % periodY) + periodY) % periodY;
        return Hash01(uint32_t(ix), uint32_t(iy), seed);
    };
    const float top = lattice(x0, y0) * (1 - fx) + lattice(x0 + 1, y0) * fx;
    const float bottom = lattice(x0, y0 + 1) * (1 - fx) + lattice(x0 + 1, y0 + 1) * fx;
    return top * (1 - fy) + bottom * fy;
}

float TiledFbm(float x, float y, int period, int octaves, uint32_t seed) {
    float sum = 0, amp = 0.5f, norm = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += amp * TiledNoise(x, y, period, period, seed + uint32_t(o) * 101u);
        norm += amp;
        amp *= 0.5f;
        x *= 2;
        y *= 2;
        period *= 2;
    }
    return sum / norm;
}

float Clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

float SmoothStep(float e0, float e1, float x) {
    const float t = Clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

float SegmentDistance(float px, float py, float ax, float ay, float bx, float by) {
    const float dx = bx - ax, dy = by - ay;
    const float len2 = dx * dx + dy * dy;
    float t = len2 > 0 ? ((px - ax) * dx + (py - ay) * dy) / len2 : 0.f;
    t = Clamp01(t);
    const float qx = ax + t * dx - px, qy = ay + t * dy - py;
    return std::sqrt(qx * qx + qy * qy);
}

// >> fonts

std::string FontPath(const char* file) { return std::string("/usr/share/fonts/truetype/dejavu/") + file; }

Font::Font(const std::string& path) : info_(new stbtt_fontinfo) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        delete static_cast<stbtt_fontinfo*>(info_);
        throw std::runtime_error(path + ": cannot read font (install fonts-dejavu-core)");
    }
    data_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!stbtt_InitFont(static_cast<stbtt_fontinfo*>(info_), data_.data(),
                        stbtt_GetFontOffsetForIndex(data_.data(), 0))) {
        delete static_cast<stbtt_fontinfo*>(info_);
        throw std::runtime_error(path + ": not a TrueType font");
    }
}

Font::~Font() { delete static_cast<stbtt_fontinfo*>(info_); }

Mask Font::Text(const std::string& text, float px, int pad) const {
    auto* info = static_cast<stbtt_fontinfo*>(info_);
    const float scale = stbtt_ScaleForPixelHeight(info, px);
    int ascent, descent, gap;
    stbtt_GetFontVMetrics(info, &ascent, &descent, &gap);
    const float baseline = float(ascent) * scale;

    // First pass: pen positions and the ink box.
    struct Placed {
        int cp;
        float x;
    };
    std::vector<Placed> placed;
    float pen = 0;
    int minX = 1 << 30, maxX = -(1 << 30), minY = 1 << 30, maxY = -(1 << 30);
    for (size_t i = 0; i < text.size(); ++i) {
        const int cp = (unsigned char)text[i];
        int advance, lsb;
        stbtt_GetCodepointHMetrics(info, cp, &advance, &lsb);
        int x0, y0, x1, y1;
        const float shift = pen - std::floor(pen);
        stbtt_GetCodepointBitmapBoxSubpixel(info, cp, scale, scale, shift, 0, &x0, &y0, &x1, &y1);
        if (x1 > x0) {
            minX = std::min(minX, int(std::floor(pen)) + x0);
            maxX = std::max(maxX, int(std::floor(pen)) + x1);
            minY = std::min(minY, int(baseline) + y0);
            maxY = std::max(maxY, int(baseline) + y1);
        }
        placed.push_back({cp, pen});
        pen += float(advance) * scale;
        if (i + 1 < text.size())
            pen += float(stbtt_GetCodepointKernAdvance(info, cp, (unsigned char)text[i + 1])) * scale;
    }
    if (minX > maxX) return Mask(1 + 2 * pad, 1 + 2 * pad);

    Mask out(maxX - minX + 2 * pad, maxY - minY + 2 * pad);
    for (const Placed& p : placed) {
        const float shift = p.x - std::floor(p.x);
        int x0, y0, x1, y1;
        stbtt_GetCodepointBitmapBoxSubpixel(info, p.cp, scale, scale, shift, 0, &x0, &y0, &x1, &y1);
        const int gw = x1 - x0, gh = y1 - y0;
        if (gw <= 0 || gh <= 0) continue;
        std::vector<unsigned char> bits(size_t(gw) * gh);
        stbtt_MakeCodepointBitmapSubpixel(info, bits.data(), gw, gh, gw, scale, scale, shift, 0, p.cp);
        const int ox = int(std::floor(p.x)) + x0 - minX + pad, oy = int(baseline) + y0 - minY + pad;
        for (int y = 0; y < gh; ++y)
            for (int x = 0; x < gw; ++x) {
                float& v = out.At(ox + x, oy + y);
                v = std::min(1.f, v + float(bits[size_t(y) * gw + x]) / 255.f);
            }
    }
    return out;
}

bool Font::Glyph(int codepoint, float px, int cellW, int cellH, int baseline, Mask& out) const {
    auto* info = static_cast<stbtt_fontinfo*>(info_);
    if (stbtt_FindGlyphIndex(info, codepoint) == 0) return false;
    const float scale = stbtt_ScaleForPixelHeight(info, px);
    int advance, lsb;
    stbtt_GetCodepointHMetrics(info, codepoint, &advance, &lsb);
    int x0, y0, x1, y1;
    stbtt_GetCodepointBitmapBox(info, codepoint, scale, scale, &x0, &y0, &x1, &y1);
    out = Mask(cellW, cellH);
    const int gw = x1 - x0, gh = y1 - y0;
    if (gw <= 0 || gh <= 0) return true;   // a blank glyph such as the space
    std::vector<unsigned char> bits(size_t(gw) * gh);
    stbtt_MakeCodepointBitmap(info, bits.data(), gw, gh, gw, scale, scale, codepoint);
    // Centre the advance box in the cell so monospaced glyphs line up.
    const int left = int(std::lround((float(cellW) - float(advance) * scale) / 2.f)) + x0;
    for (int y = 0; y < gh; ++y)
        for (int x = 0; x < gw; ++x) {
            const int cx = left + x, cy = baseline + y0 + y;
            if (cx < 0 || cy < 0 || cx >= cellW || cy >= cellH) continue;
            out.At(cx, cy) = float(bits[size_t(y) * gw + x]) / 255.f;
        }
    return true;
}

// >> encoders

namespace {

void Append(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    const auto* bytes = static_cast<const uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

uint8_t Byte(float v) { return uint8_t(std::lround(Clamp01(v) * 255.f)); }

std::vector<uint8_t> Pixels(const Canvas& c, int channels) {
    std::vector<uint8_t> px;
    px.reserve(size_t(c.w) * c.h * channels);
    for (size_t i = 0; i < c.rgb.size(); ++i) {
        px.push_back(Byte(c.rgb[i].r));
        px.push_back(Byte(c.rgb[i].g));
        px.push_back(Byte(c.rgb[i].b));
        if (channels == 4) px.push_back(Byte(c.alpha[i]));
    }
    return px;
}

}   // namespace

std::vector<uint8_t> EncodePng(const Canvas& c, int channels) {
    if (channels != 3 && channels != 4) throw std::runtime_error("PNG: channels must be 3 or 4");
    const std::vector<uint8_t> px = Pixels(c, channels);
    std::vector<uint8_t> out;
    if (!stbi_write_png_to_func(Append, &out, c.w, c.h, channels, px.data(), c.w * channels))
        throw std::runtime_error("PNG encoding failed");
    return out;
}

std::vector<uint8_t> EncodeJpeg(const Canvas& c, int quality) {
    const std::vector<uint8_t> px = Pixels(c, 3);
    std::vector<uint8_t> out;
    if (!stbi_write_jpg_to_func(Append, &out, c.w, c.h, 3, px.data(), quality))
        throw std::runtime_error("JPEG encoding failed");
    return out;
}

}   // namespace mkdata
