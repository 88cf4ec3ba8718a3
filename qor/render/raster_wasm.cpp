// The WebAssembly SIMD128 rasterizer: four pixels at a time, written as the
// AVX2 one is (raster_avx2.cpp) with 128-bit vectors. Each row's run of pixels
// from the three integer edge functions, perspective division, bilinear or
// nearest taps (read lane by lane: there is no gather), 8-bit arithmetic in
// 16-bit lanes, saturating add. In the browser build it takes the place of
// the AVX2 loop (DrawTriAvx2, CpuHasAvx2), so the same agreement tests check
// it against the portable rasterizer; pixels match it bit for bit.
#if defined(__wasm_simd128__)

#include <wasm_simd128.h>

#include <array>
#include <climits>
#include <utility>

#include "render/raster_setup.h"

namespace qor::render {

bool CpuHasAvx2() { return true; }

namespace {

// The x86 conversions' results, which the portable path copies: INT_MIN for
// NaN and out-of-range values (wasm's own saturate instead).
inline v128_t RoundToInt4(v128_t f) {
    const v128_t inRange = wasm_f32x4_lt(wasm_f32x4_abs(f), wasm_f32x4_splat(2147483648.0f));
    return wasm_v128_bitselect(wasm_i32x4_trunc_sat_f32x4(wasm_f32x4_nearest(f)), wasm_i32x4_splat(INT_MIN), inRange);
}
inline v128_t TruncToInt4(v128_t f) {
    const v128_t inRange = wasm_v128_and(wasm_f32x4_gt(f, wasm_f32x4_splat(-2147483648.0f)),
                                         wasm_f32x4_lt(f, wasm_f32x4_splat(2147483648.0f)));
    return wasm_v128_bitselect(wasm_i32x4_trunc_sat_f32x4(f), wasm_i32x4_splat(INT_MIN), inRange);
}

// round(a * b / 255) per 16-bit lane, a and b in 0..255: with x = a * b + 128,
// (x + (x >> 8)) >> 8, which stays below 65536.
inline v128_t MulDiv255(v128_t a, v128_t b) {
    const v128_t x = wasm_i16x8_add(wasm_i16x8_mul(a, b), wasm_i16x8_splat(128));
    return wasm_u16x8_shr(wasm_i16x8_add(x, wasm_u16x8_shr(x, 8)), 8);
}

// a + (b - a) * w / 256 per 16-bit lane; w7 holds w << 7 (the rounding
// multiply-high of x86, never saturating here).
inline v128_t Lerp(v128_t a, v128_t b, v128_t w7) {
    return wasm_i16x8_add(a, wasm_i16x8_q15mulr_sat(wasm_i16x8_sub(b, a), w7));
}

inline v128_t ToBytes(v128_t c) {
    // max(c, 0) with NaN giving 0, as x86's max does: NaN fails the comparison.
    c = wasm_v128_and(c, wasm_f32x4_gt(c, wasm_f32x4_splat(0.0f)));
    c = wasm_f32x4_pmin(c, wasm_f32x4_splat(255.0f));
    return RoundToInt4(c);
}

// Texels split into 16-bit channel lanes: `even` holds blue and red of each
// pixel's 32-bit lane, `odd` green and alpha.
inline void Split(v128_t argb, v128_t& even, v128_t& odd) {
    even = wasm_v128_and(argb, wasm_i32x4_splat(0x00FF00FF));
    odd = wasm_u16x8_shr(argb, 8);
}

inline v128_t Gather(const uint32_t* base, v128_t index) {
    return wasm_u32x4_make(base[wasm_i32x4_extract_lane(index, 0)], base[wasm_i32x4_extract_lane(index, 1)],
                           base[wasm_i32x4_extract_lane(index, 2)], base[wasm_i32x4_extract_lane(index, 3)]);
}

// The two taps of a row for each of four pixels, texel x and x + 1, which lie
// side by side (a texture row holds a copy of its first texel after its
// last): one 64-bit load a pixel instead of two 32-bit ones.
inline void LoadPairs(const uint32_t* p0, const uint32_t* p1, const uint32_t* p2, const uint32_t* p3, v128_t& left,
                      v128_t& right) {
    const v128_t a = wasm_v128_load64_lane(p1, wasm_v128_load64_zero(p0), 1);   // l0 r0 l1 r1
    const v128_t b = wasm_v128_load64_lane(p3, wasm_v128_load64_zero(p2), 1);   // l2 r2 l3 r3
    left = wasm_i32x4_shuffle(a, b, 0, 2, 4, 6);
    right = wasm_i32x4_shuffle(a, b, 1, 3, 5, 7);
}

struct TexParams {
    const uint32_t* base;
    const uint8_t* blocks;
    v128_t wf, hf, uScale, vScale, wi, hi, wmask, hmask, stride;
    int strideInt, blockStride;
    bool sparseAlpha, sparseColor;
};

TexParams ParamsFor(const Texture& tx) {
    TexParams p;
    p.base = tx.texels.data();
    p.blocks = tx.blocks.data();
    p.wf = wasm_f32x4_splat(float(tx.width));
    p.hf = wasm_f32x4_splat(float(tx.height));
    p.uScale = wasm_f32x4_splat(float(tx.width * 256));
    p.vScale = wasm_f32x4_splat(float(tx.height * 256));
    p.wi = wasm_i32x4_splat(tx.width);
    p.hi = wasm_i32x4_splat(tx.height);
    p.wmask = wasm_i32x4_splat(tx.width - 1);
    p.hmask = wasm_i32x4_splat(tx.height - 1);
    p.stride = wasm_i32x4_splat(tx.stride);
    p.strideInt = tx.stride;
    p.blockStride = tx.blockStride;
    p.sparseAlpha = tx.sparse & 1;
    p.sparseColor = tx.sparse & 2;
    return p;
}

// Texel lookup with repeat addressing, split. With skipTest (additive
// drawing), returns false without finishing when no tap has any bit of
// skipMask (nothing to add).
template <bool kBilinearTaps, bool kPow2>
inline bool Sample(const TexParams& tp, v128_t u, v128_t v, v128_t skipMask, int skipBits, bool skipTest, v128_t& even,
                   v128_t& odd) {
    const v128_t zero = wasm_i32x4_splat(0);
    skipTest = skipTest && (skipBits == 1 ? tp.sparseAlpha : tp.sparseColor);
    v128_t x, y, wx, wy;
    if (kPow2) {
        const v128_t fu = RoundToInt4(wasm_f32x4_mul(u, tp.uScale));
        const v128_t fv = RoundToInt4(wasm_f32x4_mul(v, tp.vScale));
        if (!kBilinearTaps) {
            x = wasm_v128_and(wasm_i32x4_shr(fu, 8), tp.wmask);
            y = wasm_v128_and(wasm_i32x4_shr(fv, 8), tp.hmask);
            const v128_t t = Gather(tp.base, wasm_i32x4_add(wasm_i32x4_mul(y, tp.stride), x));
            if (skipTest && !wasm_v128_any_true(wasm_v128_and(t, skipMask))) return false;
            Split(t, even, odd);
            return true;
        }
        const v128_t c128 = wasm_i32x4_splat(128);
        const v128_t gu = wasm_i32x4_sub(fu, c128), gv = wasm_i32x4_sub(fv, c128);
        x = wasm_v128_and(wasm_i32x4_shr(gu, 8), tp.wmask);
        y = wasm_v128_and(wasm_i32x4_shr(gv, 8), tp.hmask);
        wx = wasm_v128_and(gu, wasm_i32x4_splat(255));
        wy = wasm_v128_and(gv, wasm_i32x4_splat(255));
    } else {
        const v128_t uf = wasm_f32x4_sub(u, wasm_f32x4_floor(u));
        const v128_t vf = wasm_f32x4_sub(v, wasm_f32x4_floor(v));
        if (!kBilinearTaps) {
            x = TruncToInt4(wasm_f32x4_mul(uf, tp.wf));
            y = TruncToInt4(wasm_f32x4_mul(vf, tp.hf));
            x = wasm_i32x4_min(wasm_i32x4_max(x, zero), tp.wi);
            y = wasm_i32x4_min(wasm_i32x4_max(y, zero), tp.hi);
            const v128_t t = Gather(tp.base, wasm_i32x4_add(wasm_i32x4_mul(y, tp.stride), x));
            if (skipTest && !wasm_v128_any_true(wasm_v128_and(t, skipMask))) return false;
            Split(t, even, odd);
            return true;
        }
        const v128_t half = wasm_f32x4_splat(0.5f);
        const v128_t fx = wasm_f32x4_sub(wasm_f32x4_mul(uf, tp.wf), half);
        const v128_t fy = wasm_f32x4_sub(wasm_f32x4_mul(vf, tp.hf), half);
        const v128_t flx = wasm_f32x4_floor(fx), fly = wasm_f32x4_floor(fy);
        const v128_t c256 = wasm_f32x4_splat(256.0f);
        const v128_t c255 = wasm_i32x4_splat(255);
        wx = wasm_i32x4_min(wasm_i32x4_max(TruncToInt4(wasm_f32x4_mul(wasm_f32x4_sub(fx, flx), c256)), zero), c255);
        wy = wasm_i32x4_min(wasm_i32x4_max(TruncToInt4(wasm_f32x4_mul(wasm_f32x4_sub(fy, fly), c256)), zero), c255);
        x = TruncToInt4(flx);
        y = TruncToInt4(fly);
        x = wasm_i32x4_add(x, wasm_v128_and(wasm_i32x4_lt(x, zero), tp.wi));
        y = wasm_i32x4_add(y, wasm_v128_and(wasm_i32x4_lt(y, zero), tp.hi));
        const v128_t one = wasm_i32x4_splat(1);
        x = wasm_i32x4_min(wasm_i32x4_max(x, zero), wasm_i32x4_sub(tp.wi, one));
        y = wasm_i32x4_min(wasm_i32x4_max(y, zero), wasm_i32x4_sub(tp.hi, one));
    }
    if (skipTest) {
        // The block map first: one look-up that often saves four.
        const v128_t bi = wasm_i32x4_add(wasm_i32x4_mul(wasm_u32x4_shr(y, 1), wasm_i32x4_splat(tp.blockStride)),
                                         wasm_u32x4_shr(x, 1));
        const uint8_t* b = tp.blocks;
        const int any = b[wasm_i32x4_extract_lane(bi, 0)] | b[wasm_i32x4_extract_lane(bi, 1)] |
                        b[wasm_i32x4_extract_lane(bi, 2)] | b[wasm_i32x4_extract_lane(bi, 3)];
        if (!(any & skipBits)) return false;
    }
    const v128_t i00 = wasm_i32x4_add(wasm_i32x4_mul(y, tp.stride), x);
    const uint32_t* p0 = tp.base + wasm_i32x4_extract_lane(i00, 0);
    const uint32_t* p1 = tp.base + wasm_i32x4_extract_lane(i00, 1);
    const uint32_t* p2 = tp.base + wasm_i32x4_extract_lane(i00, 2);
    const uint32_t* p3 = tp.base + wasm_i32x4_extract_lane(i00, 3);
    const int s = tp.strideInt;
    v128_t t00, t10, t01, t11;
    LoadPairs(p0, p1, p2, p3, t00, t10);
    LoadPairs(p0 + s, p1 + s, p2 + s, p3 + s, t01, t11);
    if (skipTest) {
        const v128_t any = wasm_v128_or(wasm_v128_or(t00, t10), wasm_v128_or(t01, t11));
        if (!wasm_v128_any_true(wasm_v128_and(any, skipMask))) return false;
    }
    // Weights as w << 7 in both 16-bit halves of each pixel's lane.
    const v128_t wxs = wasm_i16x8_shl(wasm_v128_or(wx, wasm_i32x4_shl(wx, 16)), 7);
    const v128_t wys = wasm_i16x8_shl(wasm_v128_or(wy, wasm_i32x4_shl(wy, 16)), 7);
    v128_t e00, o00, e10, o10, e01, o01, e11, o11;
    Split(t00, e00, o00);
    Split(t10, e10, o10);
    Split(t01, e01, o01);
    Split(t11, e11, o11);
    even = Lerp(Lerp(e00, e10, wxs), Lerp(e01, e11, wxs), wys);
    odd = Lerp(Lerp(o00, o10, wxs), Lerp(o01, o11, wxs), wys);
    return true;
}

// Each row's run of covered pixels for the rows s.j0 .. s.j1, four rows at a
// time, as in the AVX2 loop: where each edge crosses zero, estimated in
// floating point and corrected by one column with the integer edge value.
inline void RowSpans(const Tri& tri, const BandSetup& s, int32_t* first, int32_t* last) {
    const int rows = s.j1 - s.j0 + 1;
    const v128_t lanes = wasm_i32x4_make(0, 1, 2, 3);
    const v128_t zero = wasm_i32x4_splat(0);
    for (int r = 0; r < rows; r += 4) {
        const v128_t j = wasm_i32x4_add(wasm_i32x4_splat(s.j0 + r), lanes);
        v128_t lo = zero, hi = wasm_i32x4_splat(s.x1 - s.x0);
        for (int e = 0; e < 3; ++e) {
            const int32_t sx = tri.stepX[e];
            const v128_t ev =
                wasm_i32x4_add(wasm_i32x4_splat(s.e[e]), wasm_i32x4_mul(j, wasm_i32x4_splat(tri.stepY[e])));
            if (sx == 0) {
                hi = wasm_v128_or(hi, wasm_i32x4_lt(ev, zero));
                continue;
            }
            const v128_t q = wasm_f32x4_mul(wasm_f32x4_convert_i32x4(ev), wasm_f32x4_splat(tri.crossX[e]));
            const v128_t sxv = wasm_i32x4_splat(sx);
            if (sx > 0) {
                v128_t c = RoundToInt4(wasm_f32x4_ceil(q));
                const v128_t v = wasm_i32x4_add(ev, wasm_i32x4_mul(sxv, c));
                c = wasm_i32x4_sub(c, wasm_i32x4_lt(v, zero));
                c = wasm_i32x4_add(c, wasm_i32x4_gt(v, wasm_i32x4_splat(sx - 1)));
                lo = wasm_i32x4_max(lo, c);
            } else {
                v128_t c = RoundToInt4(wasm_f32x4_floor(q));
                const v128_t v = wasm_i32x4_add(ev, wasm_i32x4_mul(sxv, c));
                c = wasm_i32x4_add(c, wasm_i32x4_lt(v, zero));
                c = wasm_i32x4_sub(c, wasm_i32x4_gt(v, wasm_i32x4_splat(-sx - 1)));
                hi = wasm_i32x4_min(hi, c);
            }
        }
        wasm_v128_store(first + r, lo);
        wasm_v128_store(last + r, hi);
    }
}

template <bool kDepthTest, bool kBlendAdd, bool kAlpha, bool kBilinearTaps, bool kPersp, bool kFlat, bool kPow2>
void DrawBand(const Tri& tri, const DrawState& state, const Target& target, const BandSetup& s) {
    const TexParams tp = ParamsFor(*state.texture);
    const v128_t lanes = wasm_i32x4_make(0, 1, 2, 3);
    const v128_t opaque = wasm_i32x4_splat(int(0xFF000000u));
    const v128_t skipMask = kAlpha ? opaque : wasm_i32x4_splat(0x00FFFFFF);
    const v128_t alphaOdd = wasm_i32x4_splat(0x00FF0000);
    v128_t flatEven, flatOdd;
    Split(wasm_i32x4_splat(int(tri.flatColor)), flatEven, flatOdd);
    constexpr uint32_t kUsed = UsedAttributes(kDepthTest, kPersp, kFlat);
    auto used = [](int a) { return (kUsed >> a & 1) != 0; };
    v128_t ddx[kAttrCount];
    for (int a = 0; a < kAttrCount; ++a) ddx[a] = wasm_f32x4_splat(tri.ddx[a]);
    const v128_t one = wasm_f32x4_splat(1.0f);
    const size_t pitch = size_t(target.width);
    uint32_t* const color0 = target.color + size_t(s.y0) * pitch + s.x0;
    float* const depth0 = target.depth + size_t(s.y0) * pitch + s.x0;

    // Up to four pixels of one row from column x on; n of them are drawn.
    // A short run reads and writes only its own pixels: past its end the row
    // may belong to another band.
    auto run = [&](const v128_t* row, int j, int x, v128_t fi, int n) __attribute__((always_inline)) {
        uint32_t* const c = color0 + size_t(j) * pitch + x;
        float* const zp = depth0 + size_t(j) * pitch + x;
        const bool full = n == 4;
        v128_t live = full ? wasm_i32x4_splat(-1) : wasm_i32x4_gt(wasm_i32x4_splat(n), lanes);
        auto attr = [&](int a) __attribute__((always_inline)) {
            return wasm_f32x4_add(row[a], wasm_f32x4_mul(ddx[a], fi));
        };
        v128_t z = wasm_f32x4_splat(0.0f);
        if (kDepthTest) {
            alignas(16) float zb[4] = {0.0f, 0.0f, 0.0f, 0.0f};
            for (int l = 0; l < n; ++l) zb[l] = zp[l];
            z = attr(kZ);
            live = wasm_v128_and(live, wasm_f32x4_le(z, wasm_v128_load(zb)));
            if (!wasm_v128_any_true(live)) return;
        }
        v128_t u = attr(kU), v = attr(kV), w = one;
        if (kPersp) {
            w = wasm_f32x4_div(one, attr(kRhw));
            u = wasm_f32x4_mul(u, w);
            v = wasm_f32x4_mul(v, w);
        }
        v128_t ve = flatEven, vo = flatOdd;
        if (!kFlat) {
            v128_t r = attr(kR), g = attr(kG), b = attr(kB);
            if (kPersp) {
                r = wasm_f32x4_mul(r, w);
                g = wasm_f32x4_mul(g, w);
                b = wasm_f32x4_mul(b, w);
            }
            ve = wasm_v128_or(ToBytes(b), wasm_i32x4_shl(ToBytes(r), 16));
            vo = wasm_v128_or(ToBytes(g), alphaOdd);
        }
        v128_t te, to;
        const bool colour = Sample<kBilinearTaps, kPow2>(tp, u, v, skipMask, kAlpha ? 1 : 2, kBlendAdd, te, to);
        v128_t src = opaque;
        if (colour) {
            te = MulDiv255(te, ve);
            to = MulDiv255(to, vo);
            if (kAlpha) {
                // Alpha (the high word of `to`) over all four channels.
                const v128_t a = wasm_i8x16_shuffle(to, to, 2, 3, 2, 3, 6, 7, 6, 7, 10, 11, 10, 11, 14, 15, 14, 15);
                te = MulDiv255(te, a);
                to = MulDiv255(to, a);
            }
            src = wasm_v128_or(te, wasm_i16x8_shl(to, 8));
        }
        if (full && !kDepthTest && colour) {
            if (kBlendAdd) src = wasm_u8x16_add_sat(src, wasm_v128_load(c));
            wasm_v128_store(c, wasm_v128_or(src, opaque));
            return;
        }
        alignas(16) uint32_t out[4];
        alignas(16) float zs[4];
        alignas(16) int32_t keep[4];
        wasm_v128_store(keep, live);
        if (colour) {
            if (kBlendAdd) {
                alignas(16) uint32_t dst[4] = {0, 0, 0, 0};
                for (int l = 0; l < n; ++l) dst[l] = c[l];
                src = wasm_u8x16_add_sat(src, wasm_v128_load(dst));
            }
            wasm_v128_store(out, wasm_v128_or(src, opaque));
            for (int l = 0; l < n; ++l)
                if (keep[l]) c[l] = out[l];
        }
        if (kDepthTest) {
            wasm_v128_store(zs, z);
            for (int l = 0; l < n; ++l)
                if (keep[l]) zp[l] = zs[l];
        }
    };

    constexpr int kSpanRows = (kStripRows + 3) / 4 * 4;
    alignas(16) int32_t first[kSpanRows], last[kSpanRows];
    RowSpans(tri, s, first, last);
    const v128_t four = wasm_f32x4_splat(4.0f);   // columns stay exact in float
    for (int j = s.j0; j <= s.j1; ++j) {
        int x = first[j - s.j0];
        const int l = last[j - s.j0];
        if (x > l) continue;
        // Row values as scalars: the same arithmetic as the other loops.
        v128_t row[kAttrCount];
        const float fj = float(j);
        for (int a = 0; a < kAttrCount; ++a)
            if (used(a)) row[a] = wasm_f32x4_splat(s.base[a] + tri.ddy[a] * fj);
        v128_t fi = wasm_f32x4_convert_i32x4(wasm_i32x4_add(wasm_i32x4_splat(x), lanes));
        int left = l - x + 1;
        for (; left >= 4; x += 4, left -= 4, fi = wasm_f32x4_add(fi, four)) run(row, j, x, fi, 4);
        if (left > 0) run(row, j, x, fi, left);
    }
}

template <bool kDepthTest, bool kBlendAdd, bool kAlpha, bool kBilinearTaps, bool kPersp, bool kFlat, bool kPow2>
struct Loop {
    static constexpr BandFn kDraw = &DrawBand<kDepthTest, kBlendAdd, kAlpha, kBilinearTaps, kPersp, kFlat, kPow2>;
};

const BandTable kTable = MakeBandTable<Loop>(std::make_integer_sequence<int, 128>{});

}   // namespace

void DrawTriAvx2(const Tri& tri, const DrawState& state, const Target& target, int bandY0, int bandY1) {
    DrawWithTable(kTable, tri, state, target, bandY0, bandY1);
}

}   // namespace qor::render

#endif
