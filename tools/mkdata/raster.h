// Drawing kit of the data generator: a float RGBA canvas, noise, soft shapes,
// TrueType text masks and PNG/JPEG encoding (stb_image_write, stb_truetype).
// Everything is deterministic: no clock, no global random state.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace mkdata {

struct Rgb {
    float r = 0, g = 0, b = 0;   // 0..1, may exceed 1 before clamping
};
inline Rgb operator+(Rgb a, Rgb b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
inline Rgb operator*(Rgb a, float k) { return {a.r * k, a.g * k, a.b * k}; }
inline Rgb operator*(Rgb a, Rgb b) { return {a.r * b.r, a.g * b.g, a.b * b.b}; }
Rgb Mix(Rgb a, Rgb b, float t);   // a..b, t in 0..1
Rgb Hex(uint32_t rgb);            // 0xRRGGBB

// Canvas of w x h pixels, row 0 at the top; alpha is written only to PNGs
// that ask for it.
struct Canvas {
    int w = 0, h = 0;
    std::vector<Rgb> rgb;
    std::vector<float> alpha;   // 0..1

    Canvas(int width, int height);
    Rgb& At(int x, int y) { return rgb[size_t(y) * w + x]; }
    const Rgb& At(int x, int y) const { return rgb[size_t(y) * w + x]; }
    float& A(int x, int y) { return alpha[size_t(y) * w + x]; }
};

// Sets every pixel from f(x, y), x and y in pixels (centre of pixel x is x+0.5),
// averaging samples x samples points per pixel.
void Paint(Canvas& c, int samples, const std::function<Rgb(float x, float y)>& f);

// Single-channel picture (masks, glow).
struct Mask {
    int w = 0, h = 0;
    std::vector<float> v;   // 0..1 (may exceed 1 after sums)
    Mask(int width, int height) : w(width), h(height), v(size_t(width) * height, 0.f) {}
    float& At(int x, int y) { return v[size_t(y) * w + x]; }
    float At(int x, int y) const { return v[size_t(y) * w + x]; }
    float Sample(float x, float y) const;   // bilinear, zero outside
};
Mask Blur(const Mask& m, int radius);   // three box passes, ~Gaussian

// Adds colour c x mask (mask placed with its top-left at ox, oy).
void AddMask(Canvas& c, const Mask& m, int ox, int oy, const std::function<Rgb(int x, int y)>& colour);

// Deterministic hash noise.
uint32_t Hash(uint32_t a, uint32_t b = 0, uint32_t c = 0);
float Hash01(uint32_t a, uint32_t b = 0, uint32_t c = 0);   // 0..1
// Smooth value noise that tiles with the given period (in lattice cells).
float TiledNoise(float x, float y, int periodX, int periodY, uint32_t seed);
// Sum of octaves of TiledNoise, 0..1; period is that of the first octave.
float TiledFbm(float x, float y, int period, int octaves, uint32_t seed);

float Clamp01(float v);
float SmoothStep(float e0, float e1, float x);
// Distance from p to the segment a-b.
float SegmentDistance(float px, float py, float ax, float ay, float bx, float by);

// TrueType font loaded from a file; text rendering into masks.
class Font {
public:
    explicit Font(const std::string& path);   // throws std::runtime_error if unreadable
    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    // Text of one line at pixel height px, tight to its ink box (plus pad).
    Mask Text(const std::string& text, float px, int pad = 0) const;
    // One glyph drawn into a cell-sized mask with its baseline at baseline
    // and horizontally centred; false if the font has no glyph for cp.
    bool Glyph(int codepoint, float px, int cellW, int cellH, int baseline, Mask& out) const;

private:
    std::vector<uint8_t> data_;
    void* info_;   // stbtt_fontinfo
};

// Where the generator finds its fonts (fonts-dejavu-core).
std::string FontPath(const char* file);

// Encodings. Channels 3 or 4 for PNG; JPEG always RGB.
std::vector<uint8_t> EncodePng(const Canvas& c, int channels);
std::vector<uint8_t> EncodeJpeg(const Canvas& c, int quality);

}   // namespace mkdata
