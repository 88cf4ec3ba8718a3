// Per-band triangle setup shared by both rasterizers: integer edge functions
// with the top-left rule, and attribute planes. Both rasterizers evaluate
// attributes with the same expressions (row base + step * column), so they give
// the same pixels.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "render/internal.h"

namespace qor::render {

struct BandSetup {
    int x0, x1;            // pixel columns, inclusive
    int y0, y1;            // pixel rows, inclusive
    // Edge i runs from corner i to corner i+1. e[i] is its value at the centre
    // of pixel (x0, y0), less one for edges that are not top or left, so a pixel
    // is inside when all three are >= 0. Units: 1/256 pixel squared.
    int32_t e[3];
    int32_t stepX[3];      // change per pixel to the right
    int32_t stepY[3];      // change per row down
    // Attribute value at the centre of pixel (x0 + i, y0 + j) is
    // base[k] + ddx[k] * i + ddy[k] * j, with the row term taken first.
    float base[kAttrCount];
    float ddx[kAttrCount];
    float ddy[kAttrCount];
};

// False when the triangle has no rows in the band.
inline bool SetupBand(const Tri& t, int bandY0, int bandY1, BandSetup& s) {
    s.y0 = std::max<int>(t.minY, bandY0);
    s.y1 = std::min<int>(t.maxY, bandY1 - 1);
    if (s.y0 > s.y1) return false;
    s.x0 = t.minX;
    s.x1 = t.maxX;
    const int64_t px = int64_t(s.x0) * kSubUnit + kSubUnit / 2;
    const int64_t py = int64_t(s.y0) * kSubUnit + kSubUnit / 2;
    for (int i = 0; i < 3; ++i) {
        const int j = i == 2 ? 0 : i + 1;
        const int64_t dx = int64_t(t.x[j]) - t.x[i];
        const int64_t dy = int64_t(t.y[j]) - t.y[i];
        const bool topLeft = dy < 0 || (dy == 0 && dx > 0);
        const int64_t e = dx * (py - t.y[i]) - dy * (px - t.x[i]) - (topLeft ? 0 : 1);
        s.e[i] = int32_t(e);
        s.stepX[i] = int32_t(-dy * kSubUnit);
        s.stepY[i] = int32_t(dx * kSubUnit);
    }
    // Planes through the snapped corners.
    const float inv = 1.0f / kSubUnit;
    const float x0 = t.x[0] * inv, y0 = t.y[0] * inv;
    const float x1 = t.x[1] * inv - x0, y1 = t.y[1] * inv - y0;
    const float x2 = t.x[2] * inv - x0, y2 = t.y[2] * inv - y0;
    const float area = x1 * y2 - x2 * y1;
    const float ia = area != 0.0f ? 1.0f / area : 0.0f;
    const float cx = float(s.x0) + 0.5f - x0;
    const float cy = float(s.y0) + 0.5f - y0;
    for (int k = 0; k < kAttrCount; ++k) {
        const float a0 = t.a[k][0];
        const float d1 = t.a[k][1] - a0;
        const float d2 = t.a[k][2] - a0;
        const float gx = (d1 * y2 - d2 * y1) * ia;
        const float gy = (d2 * x1 - d1 * x2) * ia;
        s.ddx[k] = gx;
        s.ddy[k] = gy;
        s.base[k] = a0 + gx * cx + gy * cy;
    }
    return true;
}

// float to int by truncation; NaN and out-of-range give INT_MIN, as the SIMD
// conversion does.
inline int TruncToInt(float f) {
    return f > -2147483648.0f && f < 2147483648.0f ? int(f) : INT32_MIN;
}

// float to int rounding to nearest even; NaN and out-of-range give INT_MIN.
inline int RoundToInt(float f) {
    return f >= -2147483648.0f && f < 2147483648.0f ? int(std::lrintf(f)) : INT32_MIN;
}

// A colour channel 0..255 from an interpolated value: clamped (NaN to 0), then
// rounded to nearest even.
inline uint32_t ToByte(float c) {
    c = c > 0.0f ? c : 0.0f;
    c = c < 255.0f ? c : 255.0f;
    return uint32_t(std::lrintf(c));
}

// round(a * b / 255) for a, b in 0..255, exactly.
inline uint32_t MulDiv255(uint32_t a, uint32_t b) {
    uint32_t x = a * b + 128;
    return (x + (x >> 8)) >> 8;
}

// a + (b - a) * w / 256, rounded as the 16-bit SIMD multiply-high does it.
inline int Lerp8(int a, int b, int w) {
    return a + (((b - a) * (w << 7) + 0x4000) >> 15);
}

}  // namespace qor::render
