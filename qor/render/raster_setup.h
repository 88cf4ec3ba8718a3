// Triangle and band setup shared by the geometry stage and both rasterizers:
// integer edge functions with the top-left rule, and attribute planes. Both
// rasterizers evaluate attributes with the same expressions (row base + step *
// column), so they give the same pixels.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <utility>

#include "render/internal.h"

namespace qor::render {

// Internal linkage: these are compiled into files built for different
// instruction sets, and a copy the compiler does not inline must never be
// shared between them (an AVX2 copy reached from the portable path would fault
// on a processor without AVX2).
namespace {

// A colour channel 0..255 from an interpolated value: clamped (NaN to 0), then
// rounded to nearest even.
inline uint32_t ToByte(float c) {
    c = c > 0.0f ? c : 0.0f;
    c = c < 255.0f ? c : 255.0f;
    return uint32_t(std::lrintf(c));
}

// Fills the edge functions, planes and flat colour of t from its snapped
// corners (28.4 fixed point, positive area) and their attributes (a[corner][k],
// slots past kAttrCount zero); the pixel box, state and flags are already set.
// Done once per triangle, whatever number of bands it spans.
inline void MakeTri(Tri& t, const int32_t x[3], const int32_t y[3], const float a[3][kAttrSlots]) {
    const int64_t px = int64_t(t.minX) * kSubUnit + kSubUnit / 2;
    const int64_t py = int64_t(t.minY) * kSubUnit + kSubUnit / 2;
    for (int i = 0; i < 3; ++i) {
        const int j = i == 2 ? 0 : i + 1;
        const int64_t dx = int64_t(x[j]) - x[i];
        const int64_t dy = int64_t(y[j]) - y[i];
        const bool topLeft = dy < 0 || (dy == 0 && dx > 0);
        const int64_t e = dx * (py - y[i]) - dy * (px - x[i]) - (topLeft ? 0 : 1);
        t.e[i] = int32_t(e);
        t.stepX[i] = int32_t(-dy * kSubUnit);
        t.stepY[i] = int32_t(dx * kSubUnit);
        t.crossX[i] = -1.0f / float(dy != 0 ? t.stepX[i] : -1);
        if (dy == 0) t.crossX[i] = 0.0f;
    }
    // Planes through the snapped corners.
    const float inv = 1.0f / kSubUnit;
    const float x0 = x[0] * inv, y0 = y[0] * inv;
    const float x1 = x[1] * inv - x0, y1 = y[1] * inv - y0;
    const float x2 = x[2] * inv - x0, y2 = y[2] * inv - y0;
    const float area = x1 * y2 - x2 * y1;
    const float ia = area != 0.0f ? 1.0f / area : 0.0f;
    t.x0 = x0;
    t.y0 = y0;
    for (int k = 0; k < kAttrSlots; ++k) {
        const float a0 = a[0][k];
        const float d1 = a[1][k] - a0;
        const float d2 = a[2][k] - a0;
        t.a0[k] = a0;
        t.ddx[k] = (d1 * y2 - d2 * y1) * ia;
        t.ddy[k] = (d2 * x1 - d1 * x2) * ia;
    }
    t.flatColor =
        t.flags & kFlatColor ? 0xFF000000u | ToByte(a[0][kR]) << 16 | ToByte(a[0][kG]) << 8 | ToByte(a[0][kB]) : 0u;
}

// Attributes are evaluated from the first row of each 16-row strip of the
// display that a triangle covers (float rounding depends on that origin), so
// pictures do not change with the height of the queue's bands.
inline constexpr int kStripRows = 16;

// Calls draw(origin, y0, y1) for each strip's part [y0, y1) of the rows
// [bandY0, bandY1) that the triangle covers; origin is where that strip's
// attributes start.
template <typename Fn>
inline void ForEachStrip(const Tri& t, int bandY0, int bandY1, Fn&& draw) {
    const int y0 = std::max<int>(t.minY, bandY0), y1 = std::min<int>(t.maxY + 1, bandY1);
    for (int a = y0; a < y1;) {
        const int start = a / kStripRows * kStripRows;
        const int b = std::min(y1, start + kStripRows);
        draw(std::max<int>(t.minY, start), a, b);
        a = b;
    }
}

// The part of a triangle in some rows of one strip.
struct BandSetup {
    int x0, x1;     // pixel columns, inclusive
    int y0;         // the strip's origin row
    int j0, j1;     // the rows y0 + j0 .. y0 + j1 (inclusive) are drawn
    int32_t e[3];   // edge values at the centre of pixel (x0, y0)
    // Attribute value at the centre of pixel (x0 + i, y0 + j) is
    // base[k] + ddy[k] * j + ddx[k] * i, with the row term taken first.
    float base[kAttrCount];
};

// The attributes a pixel loop reads: depth with the depth test, 1/w with
// perspective, the texture coordinates always, the colour unless flat.
constexpr uint32_t UsedAttributes(bool depth, bool persp, bool flat) {
    return (depth ? 1u << kZ : 0u) | (persp ? 1u << kRhw : 0u) | 1u << kU | 1u << kV |
           (flat ? 0u : 1u << kR | 1u << kG | 1u << kB);
}

// Sets up rows [rowY0, rowY1) of the strip whose attributes start at row
// origin. `used` has bit k set for each attribute k whose base is wanted.
inline void SetupBand(const Tri& t, int origin, int rowY0, int rowY1, BandSetup& s,
                      uint32_t used = (1u << kAttrCount) - 1) {
    s.y0 = origin;
    s.j0 = rowY0 - origin;
    s.j1 = rowY1 - 1 - origin;
    s.x0 = t.minX;
    s.x1 = t.maxX;
    const int32_t rows = origin - t.minY;
    for (int i = 0; i < 3; ++i) s.e[i] = t.e[i] + t.stepY[i] * rows;
    const float cx = float(s.x0) + 0.5f - t.x0;
    const float cy = float(s.y0) + 0.5f - t.y0;
    for (int k = 0; k < kAttrCount; ++k)
        if (used & (1u << k)) s.base[k] = t.a0[k] + t.ddx[k] * cx + t.ddy[k] * cy;
}

// float to int by truncation; NaN and out-of-range give INT_MIN, as the SIMD
// conversion does.
inline int TruncToInt(float f) { return f > -2147483648.0f && f < 2147483648.0f ? int(f) : INT32_MIN; }

// float to int rounding to nearest even; NaN and out-of-range give INT_MIN.
inline int RoundToInt(float f) { return f >= -2147483648.0f && f < 2147483648.0f ? int(std::lrintf(f)) : INT32_MIN; }

// >> pixel-loop variants

// Both rasterizers compile their band loop once per combination of seven
// states (depth test, additive blend, alpha channel, bilinear taps,
// perspective, flat colour, power-of-two picture) into a table of 128.
using BandFn = void (*)(const Tri&, const DrawState&, const Target&, const BandSetup&);
using BandTable = std::array<BandFn, 128>;

// The table of a pixel loop given as Loop<the seven states>::kDraw, in the
// order DrawWithTable reads it.
template <template <bool, bool, bool, bool, bool, bool, bool> class Loop, int... kIndex>
constexpr BandTable MakeBandTable(std::integer_sequence<int, kIndex...>) {
    return BandTable{Loop<(kIndex & 1) != 0, (kIndex & 2) != 0, (kIndex & 4) != 0, (kIndex & 8) != 0,
                          (kIndex & 16) != 0, (kIndex & 32) != 0, (kIndex & 64) != 0>::kDraw...};
}

// Draws rows [bandY0, bandY1) of a triangle with the table's loop for its
// states, setting up only the attributes that loop reads.
inline void DrawWithTable(const BandTable& table, const Tri& tri, const DrawState& state, const Target& target,
                          int bandY0, int bandY1) {
    const bool blend = state.bits & kBlend;
    const bool depth = state.bits & kDepth;
    const bool persp = tri.flags & kPerspective;
    const bool flat = tri.flags & kFlatColor;
    const uint32_t used = UsedAttributes(depth, persp, flat);
    // Through the alpha channel of an opaque picture every channel is
    // multiplied by 255/255: the loop without it gives the same bytes.
    const bool alpha = blend && (state.bits & kAlphaChannel) && !state.texture->opaque;
    const int index = (depth ? 1 : 0) | (blend ? 2 : 0) | (alpha ? 4 : 0) | ((state.bits & kBilinear) ? 8 : 0) |
                      (persp ? 16 : 0) | (flat ? 32 : 0) | (state.texture->pow2 ? 64 : 0);
    const BandFn fn = table[index];
    ForEachStrip(tri, bandY0, bandY1, [&](int origin, int y0, int y1) {
        BandSetup s;
        SetupBand(tri, origin, y0, y1, s, used);
        fn(tri, state, target, s);
    });
}

// round(a * b / 255) for a, b in 0..255, exactly.
inline uint32_t MulDiv255(uint32_t a, uint32_t b) {
    uint32_t x = a * b + 128;
    return (x + (x >> 8)) >> 8;
}

// a + (b - a) * w / 256, rounded as the 16-bit SIMD multiply-high does it.
inline int Lerp8(int a, int b, int w) { return a + (((b - a) * (w << 7) + 0x4000) >> 15); }

}   // namespace

}   // namespace qor::render
