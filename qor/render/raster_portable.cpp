// The portable rasterizer: one pixel at a time, the reference for the AVX2 one.
#include <cmath>

#include "render/raster_setup.h"

namespace qor::render {

namespace {

inline uint32_t Channel(uint32_t c, int shift) { return (c >> shift) & 0xFF; }

inline uint32_t Fetch(const Texture& tx, int x, int y) {
    return tx.texels[size_t(y) * tx.stride + x];
}

// The four texels from (x, y) to (x + 1, y + 1) weighted by wx, wy (0..255).
// The picture's spare column and row repeat its first, so x + 1 and y + 1
// need no wrapping.
uint32_t Bilinear(const Texture& tx, int x, int y, int wx, int wy) {
    const uint32_t t00 = Fetch(tx, x, y), t10 = Fetch(tx, x + 1, y);
    const uint32_t t01 = Fetch(tx, x, y + 1), t11 = Fetch(tx, x + 1, y + 1);
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const int top = Lerp8(int(Channel(t00, shift)), int(Channel(t10, shift)), wx);
        const int bottom = Lerp8(int(Channel(t01, shift)), int(Channel(t11, shift)), wx);
        out |= uint32_t(Lerp8(top, bottom, wy)) << shift;
    }
    return out;
}

// Texel lookup with repeat addressing; u, v as interpolated. Pictures whose
// sides are powers of two are addressed in 24.8 fixed point (position times
// 256, rounded), wrapped by masks; others through the fraction of u and v.
uint32_t Sample(const Texture& tx, float u, float v, bool bilinear) {
    if (tx.pow2) {
        const uint32_t fu = uint32_t(RoundToInt(u * float(tx.width * 256)));
        const uint32_t fv = uint32_t(RoundToInt(v * float(tx.height * 256)));
        if (!bilinear)
            return Fetch(tx, (int32_t(fu) >> 8) & (tx.width - 1), (int32_t(fv) >> 8) & (tx.height - 1));
        const uint32_t gu = fu - 128u, gv = fv - 128u;
        const int x = (int32_t(gu) >> 8) & (tx.width - 1), y = (int32_t(gv) >> 8) & (tx.height - 1);
        return Bilinear(tx, x, y, int(gu & 255u), int(gv & 255u));
    }
    const float uf = u - std::floor(u);
    const float vf = v - std::floor(v);
    if (!bilinear) {
        int x = TruncToInt(uf * float(tx.width));
        int y = TruncToInt(vf * float(tx.height));
        x = std::clamp(x, 0, tx.width);    // NaN converts to INT_MIN; column `width` repeats 0
        y = std::clamp(y, 0, tx.height);
        return Fetch(tx, x, y);
    }
    const float fx = uf * float(tx.width) - 0.5f;
    const float fy = vf * float(tx.height) - 0.5f;
    const float flx = std::floor(fx), fly = std::floor(fy);
    int x = TruncToInt(flx), y = TruncToInt(fly);
    const int wx = std::clamp(TruncToInt((fx - flx) * 256.0f), 0, 255);
    const int wy = std::clamp(TruncToInt((fy - fly) * 256.0f), 0, 255);
    if (x < 0) x += tx.width;
    if (y < 0) y += tx.height;
    x = std::clamp(x, 0, tx.width - 1);
    y = std::clamp(y, 0, tx.height - 1);
    return Bilinear(tx, x, y, wx, wy);
}

}  // namespace

namespace {

void DrawStrip(const Tri& tri, const DrawState& state, const Target& target, int origin, int rowY0,
               int rowY1) {
    BandSetup s;
    SetupBand(tri, origin, rowY0, rowY1, s);
    const Texture& tx = *state.texture;
    const bool depth = state.bits & kDepth;
    const bool blend = state.bits & kBlend;
    const bool alpha = blend && (state.bits & kAlphaChannel);
    const bool bilinear = state.bits & kBilinear;
    const bool persp = tri.flags & kPerspective;
    const bool flat = tri.flags & kFlatColor;
    const uint32_t flatColor = tri.flatColor;
    float ddx[kAttrCount], ddy[kAttrCount];
    for (int k = 0; k < kAttrCount; ++k) ddx[k] = tri.ddx[k], ddy[k] = tri.ddy[k];

    for (int j = s.j0; j <= s.j1; ++j) {
        const int y = s.y0 + j;
        int32_t e0 = s.e[0] + tri.stepY[0] * j, e1 = s.e[1] + tri.stepY[1] * j,
                e2 = s.e[2] + tri.stepY[2] * j;
        float row[kAttrCount];
        for (int k = 0; k < kAttrCount; ++k) row[k] = s.base[k] + ddy[k] * float(j);
        uint32_t* color = target.color + size_t(y) * target.width;
        float* zrow = target.depth + size_t(y) * target.width;
        for (int i = 0; i <= s.x1 - s.x0; ++i, e0 += tri.stepX[0], e1 += tri.stepX[1], e2 += tri.stepX[2]) {
            if ((e0 | e1 | e2) < 0) continue;
            const int x = s.x0 + i;
            const float fi = float(i);
            const float z = row[kZ] + ddx[kZ] * fi;
            if (depth && !(z <= zrow[x])) continue;
            float u = row[kU] + ddx[kU] * fi;
            float v = row[kV] + ddx[kV] * fi;
            float r = row[kR] + ddx[kR] * fi;
            float g = row[kG] + ddx[kG] * fi;
            float b = row[kB] + ddx[kB] * fi;
            if (persp) {
                const float w = 1.0f / (row[kRhw] + ddx[kRhw] * fi);
                u *= w, v *= w, r *= w, g *= w, b *= w;
            }
            const uint32_t vc = flat ? flatColor
                                     : 0xFF000000u | ToByte(r) << 16 | ToByte(g) << 8 | ToByte(b);
            const uint32_t t = Sample(tx, u, v, bilinear);
            uint32_t src = 0;
            for (int shift = 0; shift < 32; shift += 8)
                src |= MulDiv255(Channel(t, shift), Channel(vc, shift)) << shift;
            if (alpha) {
                const uint32_t a = Channel(src, 24);
                uint32_t out = src & 0xFF000000u;
                for (int shift = 0; shift < 24; shift += 8)
                    out |= MulDiv255(Channel(src, shift), a) << shift;
                src = out;
            }
            if (blend) {
                const uint32_t d = color[x];
                uint32_t out = 0;
                for (int shift = 0; shift < 32; shift += 8)
                    out |= std::min<uint32_t>(255, Channel(d, shift) + Channel(src, shift)) << shift;
                src = out;
            }
            color[x] = src | 0xFF000000u;
            if (depth) zrow[x] = z;
        }
    }
}

}  // namespace

void DrawTriPortable(const Tri& tri, const DrawState& state, const Target& target, int bandY0,
                     int bandY1) {
    ForEachStrip(tri, bandY0, bandY1,
                 [&](int origin, int y0, int y1) { DrawStrip(tri, state, target, origin, y0, y1); });
}

}  // namespace qor::render
