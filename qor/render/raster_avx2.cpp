// The AVX2 rasterizer: eight pixels at a time. Each row's run of pixels from the
// three integer edge functions, perspective division, bilinear or nearest taps by
// gather, 8-bit arithmetic in 16-bit lanes (lerp by multiply-high, colour
// modulation by exact division by 255), saturating add. This file is compiled
// for AVX2; it is called only when the CPU has it. Pixels match the portable
// rasterizer bit for bit.
#include "render/simd.h"

#include <array>
#include <utility>

#include "render/raster_setup.h"

namespace qor::render {

#if TEQ_X86

bool CpuHasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

namespace {

// Constants of the pixel loop, kept in memory (per thread) rather than made
// from immediates: the loop has more live vectors than registers, and an
// operand in memory costs nothing where rebuilding a constant costs three
// instructions.
struct Consts {
    __m256i c128, c257;
    __m256i opaque, rgbMask, evenMask, alphaOdd;
    // Byte 0 of each 32-bit lane into bytes 0 and 2, zeros elsewhere.
    __m256i lowByteTwice;
    // The high word of each 32-bit lane into both words.
    __m256i highWordTwice;
};

thread_local Consts tConsts;
thread_local bool tConstsMade;

const Consts& GetConsts() {
    if (!tConstsMade) {
        Consts& k = tConsts;
        k.c128 = _mm256_set1_epi16(128);
        k.c257 = _mm256_set1_epi16(257);
        k.opaque = _mm256_set1_epi32(int(0xFF000000u));
        k.rgbMask = _mm256_set1_epi32(0x00FFFFFF);
        k.evenMask = _mm256_set1_epi32(0x00FF00FF);
        k.alphaOdd = _mm256_set1_epi32(0x00FF0000);
        k.lowByteTwice = _mm256_setr_epi8(0, -1, 0, -1, 4, -1, 4, -1, 8, -1, 8, -1, 12, -1, 12, -1, 0, -1, 0, -1, 4, -1,
                                          4, -1, 8, -1, 8, -1, 12, -1, 12, -1);
        k.highWordTwice = _mm256_setr_epi8(2, 3, 2, 3, 6, 7, 6, 7, 10, 11, 10, 11, 14, 15, 14, 15, 2, 3, 2, 3, 6, 7, 6,
                                           7, 10, 11, 10, 11, 14, 15, 14, 15);
        tConstsMade = true;
    }
    return tConsts;
}

// round(a * b / 255) per 16-bit lane, a and b in 0..255: with x = a * b + 128,
// (x + (x >> 8)) >> 8, which equals x * 257 >> 16.
__attribute__((always_inline)) inline __m256i MulDiv255(__m256i a, __m256i b, const Consts& k) {
    return _mm256_mulhi_epu16(_mm256_add_epi16(_mm256_mullo_epi16(a, b), k.c128), k.c257);
}

// a + (b - a) * w / 256 per 16-bit lane; w7 holds w << 7.
__attribute__((always_inline)) inline __m256i Lerp(__m256i a, __m256i b, __m256i w7) {
    return _mm256_add_epi16(a, _mm256_mulhrs_epi16(_mm256_sub_epi16(b, a), w7));
}

__attribute__((always_inline)) inline __m256i ToBytes(__m256 c) {
    c = _mm256_max_ps(c, _mm256_setzero_ps());   // NaN gives 0
    c = _mm256_min_ps(c, _mm256_set1_ps(255.0f));
    return _mm256_cvtps_epi32(c);
}

// What the pixel loop needs of a texture, as vectors ready for use. Each
// thread keeps the last one it made: consecutive triangles mostly share their
// texture. The key is everything the vectors are made from, so a match is as
// good as making them afresh.
struct TexParams {
    __m256 wf, hf;           // sides as floats
    __m256 uScale, vScale;   // sides times 256
    __m256i wi, hi, wmask, hmask, stride, blockStride;
    int strideInt;
    const int* base;
    const int* blocks;
    bool sparseAlpha, sparseColor;
};

struct TexKey {
    const void* texels;
    const void* blocks;
    int width, height, stride, blockStride, sparse;
    bool operator==(const TexKey&) const = default;
};

thread_local TexParams tCachedParams;
thread_local TexKey tCachedKey;

const TexParams& ParamsFor(const Texture& tx) {
    const TexKey key{tx.texels.data(), tx.blocks.data(), tx.width, tx.height, tx.stride, tx.blockStride, tx.sparse};
    TexParams& p = tCachedParams;
    if (key == tCachedKey) return p;
    p.base = reinterpret_cast<const int*>(tx.texels.data());
    p.blocks = reinterpret_cast<const int*>(tx.blocks.data());
    p.wf = _mm256_set1_ps(float(tx.width));
    p.hf = _mm256_set1_ps(float(tx.height));
    p.uScale = _mm256_set1_ps(float(tx.width * 256));
    p.vScale = _mm256_set1_ps(float(tx.height * 256));
    p.wi = _mm256_set1_epi32(tx.width);
    p.hi = _mm256_set1_epi32(tx.height);
    p.wmask = _mm256_set1_epi32(tx.width - 1);
    p.hmask = _mm256_set1_epi32(tx.height - 1);
    p.stride = _mm256_set1_epi32(tx.stride);
    p.strideInt = tx.stride;
    p.blockStride = _mm256_set1_epi32(tx.blockStride);
    p.sparseAlpha = tx.sparse & 1;
    p.sparseColor = tx.sparse & 2;
    tCachedKey = key;
    return p;
}

// Two 64-bit words, from a and from b, as the low and high halves of a vector.
__attribute__((always_inline)) inline __m128 LoadTwoPairs(const int* a, const int* b) {
    const __m128d lo = _mm_castsi128_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a)));
    return _mm_castpd_ps(_mm_loadh_pd(lo, reinterpret_cast<const double*>(b)));
}

// Texels split into 16-bit channel lanes without shuffles: `even` holds blue
// and red of each pixel's 32-bit lane, `odd` green and alpha.
__attribute__((always_inline)) inline void Split(__m256i argb, const Consts& k, __m256i& even, __m256i& odd) {
    even = _mm256_and_si256(argb, k.evenMask);
    odd = _mm256_srli_epi16(argb, 8);
}

// Texel lookup with repeat addressing; the texel comes out split (Split).
// With skipTest, for pictures where many texels lack the bits of skipMask,
// returns false without finishing the filter when no tap has any of them
// (nothing to add).
template <bool kBilinearTaps, bool kPow2>
__attribute__((always_inline)) inline bool Sample(const TexParams& tp, __m256 u, __m256 v, __m256i skipMask,
                                                  int skipBits, bool skipTest, const Consts& k, __m256i& even,
                                                  __m256i& odd) {
    const __m256i stride = tp.stride;
    const int* base = tp.base;
    const __m256i wi = tp.wi, hi = tp.hi;
    skipTest = skipTest && (skipBits == 1 ? tp.sparseAlpha : tp.sparseColor);
    __m256i x, y, wx, wy;
    if (kPow2) {
        // 24.8 fixed point, wrapped by masking: no floor, no range fix-up.
        const __m256i wmask = tp.wmask, hmask = tp.hmask;
        const __m256i fu = _mm256_cvtps_epi32(_mm256_mul_ps(u, tp.uScale));
        const __m256i fv = _mm256_cvtps_epi32(_mm256_mul_ps(v, tp.vScale));
        if (!kBilinearTaps) {
            x = _mm256_and_si256(_mm256_srai_epi32(fu, 8), wmask);
            y = _mm256_and_si256(_mm256_srai_epi32(fv, 8), hmask);
            const __m256i t = _mm256_i32gather_epi32(base, _mm256_add_epi32(_mm256_madd_epi16(y, stride), x), 4);
            if (skipTest && _mm256_testz_si256(t, skipMask)) return false;
            Split(t, k, even, odd);
            return true;
        }
        const __m256i c128 = _mm256_set1_epi32(128);
        const __m256i gu = _mm256_sub_epi32(fu, c128), gv = _mm256_sub_epi32(fv, c128);
        x = _mm256_and_si256(_mm256_srai_epi32(gu, 8), wmask);
        y = _mm256_and_si256(_mm256_srai_epi32(gv, 8), hmask);
        wx = gu;   // the low byte is the weight
        wy = gv;
    } else {
        const __m256 uf = _mm256_sub_ps(u, _mm256_floor_ps(u));
        const __m256 vf = _mm256_sub_ps(v, _mm256_floor_ps(v));
        const __m256 wf = tp.wf;
        const __m256 hf = tp.hf;
        if (!kBilinearTaps) {
            x = _mm256_cvttps_epi32(_mm256_mul_ps(uf, wf));
            y = _mm256_cvttps_epi32(_mm256_mul_ps(vf, hf));
            x = _mm256_min_epi32(_mm256_max_epi32(x, _mm256_setzero_si256()), wi);
            y = _mm256_min_epi32(_mm256_max_epi32(y, _mm256_setzero_si256()), hi);
            const __m256i t = _mm256_i32gather_epi32(base, _mm256_add_epi32(_mm256_madd_epi16(y, stride), x), 4);
            if (skipTest && _mm256_testz_si256(t, skipMask)) return false;
            Split(t, k, even, odd);
            return true;
        }
        const __m256 half = _mm256_set1_ps(0.5f);
        const __m256 fx = _mm256_sub_ps(_mm256_mul_ps(uf, wf), half);
        const __m256 fy = _mm256_sub_ps(_mm256_mul_ps(vf, hf), half);
        const __m256 flx = _mm256_floor_ps(fx), fly = _mm256_floor_ps(fy);
        const __m256 c256 = _mm256_set1_ps(256.0f);
        const __m256i c255i = _mm256_set1_epi32(255);
        wx = _mm256_min_epi32(
            _mm256_max_epi32(_mm256_cvttps_epi32(_mm256_mul_ps(_mm256_sub_ps(fx, flx), c256)), _mm256_setzero_si256()),
            c255i);
        wy = _mm256_min_epi32(
            _mm256_max_epi32(_mm256_cvttps_epi32(_mm256_mul_ps(_mm256_sub_ps(fy, fly), c256)), _mm256_setzero_si256()),
            c255i);
        x = _mm256_cvttps_epi32(flx);
        y = _mm256_cvttps_epi32(fly);
        x = _mm256_add_epi32(x, _mm256_and_si256(_mm256_cmpgt_epi32(_mm256_setzero_si256(), x), wi));
        y = _mm256_add_epi32(y, _mm256_and_si256(_mm256_cmpgt_epi32(_mm256_setzero_si256(), y), hi));
        const __m256i one = _mm256_set1_epi32(1);
        x = _mm256_min_epi32(_mm256_max_epi32(x, _mm256_setzero_si256()), _mm256_sub_epi32(wi, one));
        y = _mm256_min_epi32(_mm256_max_epi32(y, _mm256_setzero_si256()), _mm256_sub_epi32(hi, one));
    }
    // Each tap pair (x, x + 1) is one 64-bit load, read one by one: on the
    // processors at hand eight plain loads per row of taps beat the gather
    // instructions. Pixels are paired in the order 0 1 4 5 | 2 3 6 7 so that
    // one in-lane shuffle puts the left and right taps back in order.
    if (skipTest) {
        // The block map first: eight byte loads that often save the sixteen.
        alignas(32) int32_t bi[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(bi),
                           _mm256_add_epi32(_mm256_madd_epi16(_mm256_srli_epi32(y, 1), tp.blockStride),
                                            _mm256_srli_epi32(x, 1)));
        const uint8_t* const b = reinterpret_cast<const uint8_t*>(tp.blocks);
        const int any = (b[bi[0]] | b[bi[1]] | b[bi[2]] | b[bi[3]]) | (b[bi[4]] | b[bi[5]] | b[bi[6]] | b[bi[7]]);
        if (!(any & skipBits)) return false;
    }
    alignas(32) int32_t at[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(at), _mm256_add_epi32(_mm256_madd_epi16(y, stride), x));
    const int* const p0 = base + at[0];
    const int* const p1 = base + at[1];
    const int* const p2 = base + at[2];
    const int* const p3 = base + at[3];
    const int* const p4 = base + at[4];
    const int* const p5 = base + at[5];
    const int* const p6 = base + at[6];
    const int* const p7 = base + at[7];
    const int rowStep = tp.strideInt;
    // Two taps of pixels a and b, then of c and d, in one vector.
    auto pairs = [](const int* a, const int* b, const int* c, const int* d) __attribute__((always_inline)) {
        const __m128 lo = LoadTwoPairs(a, b);
        const __m128 hi = LoadTwoPairs(c, d);
        return _mm256_insertf128_ps(_mm256_castps128_ps256(lo), hi, 1);
    };
    const __m256 topA = pairs(p0, p1, p4, p5);
    const __m256 topB = pairs(p2, p3, p6, p7);
    const __m256 botA = pairs(p0 + rowStep, p1 + rowStep, p4 + rowStep, p5 + rowStep);
    const __m256 botB = pairs(p2 + rowStep, p3 + rowStep, p6 + rowStep, p7 + rowStep);
    const __m256i t00 = _mm256_castps_si256(_mm256_shuffle_ps(topA, topB, 0x88));
    const __m256i t10 = _mm256_castps_si256(_mm256_shuffle_ps(topA, topB, 0xDD));
    const __m256i t01 = _mm256_castps_si256(_mm256_shuffle_ps(botA, botB, 0x88));
    const __m256i t11 = _mm256_castps_si256(_mm256_shuffle_ps(botA, botB, 0xDD));
    if (skipTest) {
        const __m256i any = _mm256_or_si256(_mm256_or_si256(t00, t10), _mm256_or_si256(t01, t11));
        if (_mm256_testz_si256(any, skipMask)) return false;
    }
    // Weights (the low byte of each pixel's lane) as w << 7 in both 16-bit
    // halves of the lane.
    auto spread = [&k](__m256i w) __attribute__((always_inline)) {
        return _mm256_slli_epi16(_mm256_shuffle_epi8(w, k.lowByteTwice), 7);
    };
    const __m256i wxs = spread(wx), wys = spread(wy);
    __m256i e00, o00, e10, o10, e01, o01, e11, o11;
    Split(t00, k, e00, o00);
    Split(t10, k, e10, o10);
    Split(t01, k, e01, o01);
    Split(t11, k, e11, o11);
    even = Lerp(Lerp(e00, e10, wxs), Lerp(e01, e11, wxs), wys);
    odd = Lerp(Lerp(o00, o10, wxs), Lerp(o01, o11, wxs), wys);
    return true;
}

// Each row's run of covered pixels, exactly, for the rows s.j0 .. s.j1:
// first[r] and last[r] for row s.j0 + r are columns relative to s.x0 (last <
// first: none). Eight rows at a time: where each edge crosses zero, estimated
// in floating point and corrected by one column with the integer edge value.
inline void RowSpans(const Tri& tri, const BandSetup& s, int32_t* first, int32_t* last) {
    const int rows = s.j1 - s.j0 + 1;
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i zero = _mm256_setzero_si256();
    for (int r = 0; r < rows; r += 8) {
        const __m256i j = _mm256_add_epi32(_mm256_set1_epi32(s.j0 + r), lanes);
        __m256i lo = zero, hi = _mm256_set1_epi32(s.x1 - s.x0);
        for (int e = 0; e < 3; ++e) {
            const int32_t sx = tri.stepX[e];
            const __m256i ev =
                _mm256_add_epi32(_mm256_set1_epi32(s.e[e]), _mm256_mullo_epi32(j, _mm256_set1_epi32(tri.stepY[e])));
            if (sx == 0) {   // a horizontal edge: the whole row or none of it
                hi = _mm256_or_si256(hi, _mm256_cmpgt_epi32(zero, ev));
                continue;
            }
            // Inside where ev + sx * i >= 0: i from -ev / sx on (sx > 0) or up to it (sx < 0).
            // The estimate is off by less than a column where it matters (a
            // crossing within the box); far outside, clamping to the box decides.
            const __m256 q = _mm256_mul_ps(_mm256_cvtepi32_ps(ev), _mm256_set1_ps(tri.crossX[e]));
            const __m256i sxv = _mm256_set1_epi32(sx);
            if (sx > 0) {
                __m256i c = _mm256_cvtps_epi32(_mm256_ceil_ps(q));
                const __m256i v = _mm256_add_epi32(ev, _mm256_mullo_epi32(sxv, c));
                c = _mm256_sub_epi32(c, _mm256_cmpgt_epi32(zero, v));                        // outside: one more
                c = _mm256_add_epi32(c, _mm256_cmpgt_epi32(v, _mm256_set1_epi32(sx - 1)));   // the one before is in
                lo = _mm256_max_epi32(lo, c);
            } else {
                __m256i c = _mm256_cvtps_epi32(_mm256_floor_ps(q));
                const __m256i v = _mm256_add_epi32(ev, _mm256_mullo_epi32(sxv, c));
                c = _mm256_add_epi32(c, _mm256_cmpgt_epi32(zero, v));                         // outside: one less
                c = _mm256_sub_epi32(c, _mm256_cmpgt_epi32(v, _mm256_set1_epi32(-sx - 1)));   // the one after is in
                hi = _mm256_min_epi32(hi, c);
            }
        }
        // A horizontal edge's -1 or'ed into hi leaves it negative: no pixels.
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(first + r), lo);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(last + r), hi);
    }
}

// Pixels go through the loop eight at a time: eight (or up to seven at the
// end) in a row, or two runs of up to four, the end of one row and the start
// of a later one, so that small triangles with short rows keep the lanes busy.
template <bool kDepthTest, bool kBlendAdd, bool kAlpha, bool kBilinearTaps, bool kPersp, bool kFlat, bool kPow2>
void DrawBand(const Tri& tri, const DrawState& state, const Target& target, const BandSetup& s) {
    const Consts& k = GetConsts();
    const TexParams& tp = ParamsFor(*state.texture);
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i quadLanes = _mm256_setr_epi32(0, 1, 2, 3, 0, 1, 2, 3);
    const __m256i flatVec = _mm256_set1_epi32(int(tri.flatColor));
    __m256i flatEven, flatOdd;
    Split(flatVec, k, flatEven, flatOdd);
    // The attributes this variant reads.
    constexpr uint32_t kUsed = UsedAttributes(kDepthTest, kPersp, kFlat);
    auto used = [](int a) { return (kUsed >> a & 1) != 0; };
    __m256 base[kAttrCount], ddx[kAttrCount], ddy[kAttrCount];
    for (int a = 0; a < kAttrCount; ++a) {
        base[a] = _mm256_set1_ps(s.base[a]);
        ddx[a] = _mm256_set1_ps(tri.ddx[a]);
        ddy[a] = _mm256_set1_ps(tri.ddy[a]);
    }
    const __m256 one = _mm256_set1_ps(1.0f);
    const size_t pitch = size_t(target.width);
    uint32_t* const color0 = target.color + size_t(s.y0) * pitch + s.x0;
    float* const depth0 = target.depth + size_t(s.y0) * pitch + s.x0;

    // Shades the live lanes at columns fi of rows whose attribute values at
    // column 0 are row[]; zb is what the depth buffer holds there. Returns 0
    // when nothing is to be written, 1 for depth only (z), 2 for colour (src,
    // before blending) and depth.
    auto shade = [&](__m256 fi, const __m256* row, __m256i& live, __m256 zb, __m256& z, __m256i& src)
        __attribute__((always_inline)) {
        // Same expression as the portable path: (base + ddy * row) + ddx * column.
        auto attr = [&](int a) __attribute__((always_inline)) {
            return _mm256_add_ps(row[a], _mm256_mul_ps(ddx[a], fi));
        };
        if (kDepthTest) {
            z = attr(kZ);
            live = _mm256_and_si256(live, _mm256_castps_si256(_mm256_cmp_ps(z, zb, _CMP_LE_OQ)));
            if (_mm256_testz_si256(live, live)) return 0;
        }
        __m256 u = attr(kU);
        __m256 v = attr(kV);
        __m256 w;
        if (kPersp) {
            w = _mm256_div_ps(one, attr(kRhw));
            u = _mm256_mul_ps(u, w);
            v = _mm256_mul_ps(v, w);
        }
        // The vertex colour, split as the texels are: blue and red, green and opaque alpha.
        __m256i ve = flatEven, vo = flatOdd;
        if (!kFlat) {
            __m256 r = attr(kR), g = attr(kG), b = attr(kB);
            if (kPersp) {
                r = _mm256_mul_ps(r, w);
                g = _mm256_mul_ps(g, w);
                b = _mm256_mul_ps(b, w);
            }
            ve = _mm256_or_si256(ToBytes(b), _mm256_slli_epi32(ToBytes(r), 16));
            vo = _mm256_or_si256(ToBytes(g), k.alphaOdd);
        }
        // An additive draw adds nothing where the texels are black (or,
        // through the alpha channel, transparent): such pixels stop early.
        __m256i te, to;
        if (!Sample<kBilinearTaps, kPow2>(tp, u, v, kAlpha ? k.opaque : k.rgbMask, kAlpha ? 1 : 2, kBlendAdd, k, te,
                                          to))
            return 1;
        te = MulDiv255(te, ve, k);
        to = MulDiv255(to, vo, k);
        if (kAlpha) {
            // Alpha (the high word of `to`) over all four channels.
            const __m256i a = _mm256_shuffle_epi8(to, k.highWordTwice);
            te = MulDiv255(te, a, k);
            to = MulDiv255(to, a, k);
        }
        src = _mm256_or_si256(te, _mm256_slli_epi16(to, 8));
        return 2;
    };

    // Up to eight pixels of one row from column x on; live: the lanes to draw.
    auto run = [&](const __m256* row, int j, int x, __m256 fi, __m256i live, bool full) __attribute__((always_inline)) {
        uint32_t* const c = color0 + size_t(j) * pitch + x;
        float* const zp = depth0 + size_t(j) * pitch + x;
        // A short run reads only its own pixels: past its end the row may
        // belong to another band, which the other thread may be writing.
        __m256 z = _mm256_setzero_ps(), zb = z;
        if (kDepthTest) zb = full ? _mm256_loadu_ps(zp) : _mm256_maskload_ps(zp, live);
        // Adding onto eight pixels that are white already changes nothing
        // (layers of light saturate): without a depth write to make, skip them.
        __m256i dst = _mm256_setzero_si256();
        if (kBlendAdd && full) {
            dst = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c));
            if (!kDepthTest && _mm256_testc_si256(dst, k.rgbMask)) return;
        }
        const __m256i liveIn = live;
        __m256i src;
        const int r = shade(fi, row, live, zb, z, src);
        if (r == 0) return;
        if (r == 2) {
            if (kBlendAdd)
                src =
                    _mm256_adds_epu8(src, full ? dst : _mm256_maskload_epi32(reinterpret_cast<const int*>(c), liveIn));
            src = _mm256_or_si256(src, k.opaque);
            if (full && !kDepthTest)
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(c), src);
            else
                _mm256_maskstore_epi32(reinterpret_cast<int*>(c), live, src);
        }
        if (kDepthTest) _mm256_maskstore_ps(zp, live, z);
    };

    // Runs (row jA, column xA, nA pixels) and (jB, xB, nB), nA in 1..4, nB in 0..4.
    auto pair = [&](int jA, int xA, int nA, int jB, int xB, int nB) __attribute__((always_inline)) {
        __m256i live = _mm256_cmpgt_epi32(_mm256_set_m128i(_mm_set1_epi32(nB), _mm_set1_epi32(nA)), quadLanes);
        const __m256 fi =
            _mm256_cvtepi32_ps(_mm256_add_epi32(_mm256_set_m128i(_mm_set1_epi32(xB), _mm_set1_epi32(xA)), quadLanes));
        const __m256 fj = _mm256_set_m128(_mm_set1_ps(float(jB)), _mm_set1_ps(float(jA)));
        __m256 row[kAttrCount];
        for (int a = 0; a < kAttrCount; ++a)
            if (used(a)) row[a] = _mm256_add_ps(base[a], _mm256_mul_ps(ddy[a], fj));
        uint32_t* const cA = color0 + size_t(jA) * pitch + xA;
        uint32_t* const cB = color0 + size_t(jB) * pitch + xB;
        float* const zA = depth0 + size_t(jA) * pitch + xA;
        float* const zB = depth0 + size_t(jB) * pitch + xB;
        // Each run reads only its own pixels (see run).
        const __m128i liveA = _mm256_castsi256_si128(live), liveB = _mm256_extracti128_si256(live, 1);
        __m256 z = _mm256_setzero_ps(), zb = z;
        if (kDepthTest) zb = _mm256_set_m128(_mm_maskload_ps(zB, liveB), _mm_maskload_ps(zA, liveA));
        __m256i src;
        const int r = shade(fi, row, live, zb, z, src);
        if (r == 0) return;
        if (r == 2) {
            if (kBlendAdd)
                src = _mm256_adds_epu8(src,
                                       _mm256_set_m128i(_mm_maskload_epi32(reinterpret_cast<const int*>(cB), liveB),
                                                        _mm_maskload_epi32(reinterpret_cast<const int*>(cA), liveA)));
            src = _mm256_or_si256(src, k.opaque);
            _mm_maskstore_epi32(reinterpret_cast<int*>(cA), _mm256_castsi256_si128(live), _mm256_castsi256_si128(src));
            _mm_maskstore_epi32(reinterpret_cast<int*>(cB), _mm256_extracti128_si256(live, 1),
                                _mm256_extracti128_si256(src, 1));
        }
        if (kDepthTest) {
            _mm_maskstore_ps(zA, _mm256_castsi256_si128(live), _mm256_castps256_ps128(z));
            _mm_maskstore_ps(zB, _mm256_extracti128_si256(live, 1), _mm256_extractf128_ps(z, 1));
        }
    };

    constexpr int kSpanRows = (kStripRows + 7) / 8 * 8;
    alignas(32) int32_t first[kSpanRows], last[kSpanRows];
    RowSpans(tri, s, first, last);
    int pj = -1, px = 0, pn = 0;   // a run of up to four waiting for a partner
    for (int j = s.j0; j <= s.j1; ++j) {
        int x = first[j - s.j0];
        const int l = last[j - s.j0];
        if (x > l) continue;
        if (pj >= 0) {
            const int n = std::min(4, l - x + 1);
            pair(pj, px, pn, j, x, n);
            pj = -1;
            x += n;
        }
        int left = l - x + 1;
        if (left > 4) {
            // Row values as scalars: the same arithmetic as the vector lanes.
            __m256 row[kAttrCount];
            const float fj = float(j);
            for (int a = 0; a < kAttrCount; ++a)
                if (used(a)) row[a] = _mm256_set1_ps(s.base[a] + tri.ddy[a] * fj);
            __m256 fi = _mm256_cvtepi32_ps(_mm256_add_epi32(_mm256_set1_epi32(x), lanes));
            const __m256 eight = _mm256_set1_ps(8.0f);   // columns stay exact in float
            const __m256i all = _mm256_set1_epi32(-1);
            for (; left >= 8; x += 8, left -= 8, fi = _mm256_add_ps(fi, eight)) run(row, j, x, fi, all, true);
            if (left > 0) run(row, j, x, fi, _mm256_cmpgt_epi32(_mm256_set1_epi32(left), lanes), false);
        } else if (left > 0) {
            pj = j, px = x, pn = left;
        }
    }
    if (pj >= 0) pair(pj, px, pn, pj, px, 0);
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

#elif !defined(__wasm_simd128__)   // no AVX2 on this processor family (wasm: raster_wasm.cpp)

bool CpuHasAvx2() { return false; }

void DrawTriAvx2(const Tri& tri, const DrawState& state, const Target& target, int bandY0, int bandY1) {
    DrawTriPortable(tri, state, target, bandY0, bandY1);
}

#endif

}   // namespace qor::render
