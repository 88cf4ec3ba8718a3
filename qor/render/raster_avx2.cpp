// The AVX2 rasterizer: eight pixels of a row at a time. Coverage from the three
// integer edge functions, perspective division, bilinear or nearest taps by
// gather, 8-bit arithmetic in 16-bit lanes (lerp by multiply-high, colour
// modulation by exact division by 255), saturating add. This file is compiled
// for AVX2; it is called only when the CPU has it. Pixels match the portable
// rasterizer bit for bit.
#include <immintrin.h>

#include <array>
#include <utility>

#include "render/raster_setup.h"

namespace qor::render {

bool CpuHasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

namespace {

struct Consts {
    __m256i zero = _mm256_setzero_si256();
    __m256i c128 = _mm256_set1_epi16(128);
    __m256i round = _mm256_set1_epi16(0x4000);
    __m256i opaque = _mm256_set1_epi32(int(0xFF000000u));
    __m256i rgbMask = _mm256_set1_epi32(0x00FFFFFF);
    __m256i c255 = _mm256_set1_epi32(255);
    __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    __m256 lanesF = _mm256_setr_ps(0, 1, 2, 3, 4, 5, 6, 7);
    // Broadcasts the alpha word of each pixel over its four 16-bit channels.
    __m256i alphaShuffle = _mm256_setr_epi8(6, 7, 6, 7, 6, 7, 6, 7, 14, 15, 14, 15, 14, 15, 14, 15,
                                            6, 7, 6, 7, 6, 7, 6, 7, 14, 15, 14, 15, 14, 15, 14, 15);
};

// round(a * b / 255) per 16-bit lane, a and b in 0..255.
__attribute__((always_inline)) inline __m256i MulDiv255(__m256i a, __m256i b, const Consts& k) {
    __m256i x = _mm256_add_epi16(_mm256_mullo_epi16(a, b), k.c128);
    return _mm256_srli_epi16(_mm256_add_epi16(x, _mm256_srli_epi16(x, 8)), 8);
}

// a + (b - a) * w / 256 per 16-bit lane; w7 holds w << 7.
__attribute__((always_inline)) inline __m256i Lerp(__m256i a, __m256i b, __m256i w7) {
    return _mm256_add_epi16(a, _mm256_mulhrs_epi16(_mm256_sub_epi16(b, a), w7));
}

// Per-pixel weights (0..255, one per 32-bit lane) spread over the 16-bit
// channel lanes of the low and high unpacked halves, shifted for Lerp.
__attribute__((always_inline)) inline void SpreadWeights(__m256i w, __m256i& lo, __m256i& hi) {
    __m256i pair = _mm256_or_si256(w, _mm256_slli_epi32(w, 16));
    pair = _mm256_slli_epi16(pair, 7);
    lo = _mm256_unpacklo_epi32(pair, pair);
    hi = _mm256_unpackhi_epi32(pair, pair);
}

__attribute__((always_inline)) inline __m256i ToBytes(__m256 c) {
    c = _mm256_max_ps(c, _mm256_setzero_ps());   // NaN gives 0
    c = _mm256_min_ps(c, _mm256_set1_ps(255.0f));
    return _mm256_cvtps_epi32(c);
}

// What the pixel loop needs of a texture, read once per triangle and band:
// the stores to the frame buffer could alias the texture's fields, so reading
// them inside the loop would reload them for every chunk.
struct TexParams {
    const int* base;
    const int* blocks;
    __m256 wf, hf;            // sides as floats
    __m256 uScale, vScale;    // sides times 256
    __m256i wi, hi, wmask, hmask, stride, blockStride;
    bool sparseAlpha, sparseColor;
    explicit TexParams(const Texture& tx)
        : base(reinterpret_cast<const int*>(tx.texels.data())),
          blocks(reinterpret_cast<const int*>(tx.blocks.data())),
          wf(_mm256_set1_ps(float(tx.width))), hf(_mm256_set1_ps(float(tx.height))),
          uScale(_mm256_set1_ps(float(tx.width * 256))), vScale(_mm256_set1_ps(float(tx.height * 256))),
          wi(_mm256_set1_epi32(tx.width)), hi(_mm256_set1_epi32(tx.height)),
          wmask(_mm256_set1_epi32(tx.width - 1)), hmask(_mm256_set1_epi32(tx.height - 1)),
          stride(_mm256_set1_epi32(tx.stride)), blockStride(_mm256_set1_epi32(tx.blockStride)),
          sparseAlpha(tx.sparse & 1), sparseColor(tx.sparse & 2) {}
};

// Texel lookup with repeat addressing. Returns false, without finishing the
// filter, when `skipMask` is set and no tap has a bit of it (nothing to add).
template <bool kBilinearTaps, bool kPow2>
__attribute__((always_inline)) inline bool Sample(const TexParams& tp, __m256 u, __m256 v,
                                                  __m256i skipMask, int skipBits, bool skipTest,
                                                  const Consts& k, __m256i& out) {
    const __m256i stride = tp.stride;
    const int* base = tp.base;
    const __m256i wi = tp.wi, hi = tp.hi;
    __m256i x, y, wx, wy;
    if (kPow2) {
        // 24.8 fixed point, wrapped by masking: no floor, no range fix-up.
        const __m256i wmask = tp.wmask, hmask = tp.hmask;
        const __m256i fu = _mm256_cvtps_epi32(_mm256_mul_ps(u, tp.uScale));
        const __m256i fv = _mm256_cvtps_epi32(_mm256_mul_ps(v, tp.vScale));
        if (!kBilinearTaps) {
            x = _mm256_and_si256(_mm256_srai_epi32(fu, 8), wmask);
            y = _mm256_and_si256(_mm256_srai_epi32(fv, 8), hmask);
            out = _mm256_i32gather_epi32(base, _mm256_add_epi32(_mm256_madd_epi16(y, stride), x), 4);
            return !skipTest || !_mm256_testz_si256(out, skipMask);
        }
        const __m256i c128 = _mm256_set1_epi32(128), c255 = _mm256_set1_epi32(255);
        const __m256i gu = _mm256_sub_epi32(fu, c128), gv = _mm256_sub_epi32(fv, c128);
        x = _mm256_and_si256(_mm256_srai_epi32(gu, 8), wmask);
        y = _mm256_and_si256(_mm256_srai_epi32(gv, 8), hmask);
        wx = _mm256_and_si256(gu, c255);
        wy = _mm256_and_si256(gv, c255);
    } else {
        const __m256 uf = _mm256_sub_ps(u, _mm256_floor_ps(u));
        const __m256 vf = _mm256_sub_ps(v, _mm256_floor_ps(v));
        const __m256 wf = tp.wf;
        const __m256 hf = tp.hf;
        if (!kBilinearTaps) {
            x = _mm256_cvttps_epi32(_mm256_mul_ps(uf, wf));
            y = _mm256_cvttps_epi32(_mm256_mul_ps(vf, hf));
            x = _mm256_min_epi32(_mm256_max_epi32(x, k.zero), wi);
            y = _mm256_min_epi32(_mm256_max_epi32(y, k.zero), hi);
            out = _mm256_i32gather_epi32(base, _mm256_add_epi32(_mm256_madd_epi16(y, stride), x), 4);
            return !skipTest || !_mm256_testz_si256(out, skipMask);
        }
        const __m256 half = _mm256_set1_ps(0.5f);
        const __m256 fx = _mm256_sub_ps(_mm256_mul_ps(uf, wf), half);
        const __m256 fy = _mm256_sub_ps(_mm256_mul_ps(vf, hf), half);
        const __m256 flx = _mm256_floor_ps(fx), fly = _mm256_floor_ps(fy);
        const __m256 c256 = _mm256_set1_ps(256.0f);
        const __m256i c255i = _mm256_set1_epi32(255);
        wx = _mm256_min_epi32(_mm256_max_epi32(
            _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_sub_ps(fx, flx), c256)), k.zero), c255i);
        wy = _mm256_min_epi32(_mm256_max_epi32(
            _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_sub_ps(fy, fly), c256)), k.zero), c255i);
        x = _mm256_cvttps_epi32(flx);
        y = _mm256_cvttps_epi32(fly);
        x = _mm256_add_epi32(x, _mm256_and_si256(_mm256_cmpgt_epi32(k.zero, x), wi));
        y = _mm256_add_epi32(y, _mm256_and_si256(_mm256_cmpgt_epi32(k.zero, y), hi));
        const __m256i one = _mm256_set1_epi32(1);
        x = _mm256_min_epi32(_mm256_max_epi32(x, k.zero), _mm256_sub_epi32(wi, one));
        y = _mm256_min_epi32(_mm256_max_epi32(y, k.zero), _mm256_sub_epi32(hi, one));
    }
    // Each tap pair (x, x + 1) is one 64-bit load: four 4-wide gathers instead
    // of four 8-wide ones. Pixels are gathered in the order 0 1 4 5 | 2 3 6 7
    // so that one in-lane shuffle puts the left and right taps back in order.
    if (skipTest && (skipBits == 1 ? tp.sparseAlpha : tp.sparseColor)) {
        // The block map first: one small gather that often saves four.
        const __m256i bi = _mm256_add_epi32(
            _mm256_madd_epi16(_mm256_srli_epi32(y, 1), tp.blockStride), _mm256_srli_epi32(x, 1));
        const __m256i bits = _mm256_i32gather_epi32(tp.blocks, bi, 1);
        if (_mm256_testz_si256(bits, _mm256_set1_epi32(skipBits))) return false;
    }
    const __m256i i00 = _mm256_permutevar8x32_epi32(_mm256_add_epi32(_mm256_madd_epi16(y, stride), x),
                                                    _mm256_setr_epi32(0, 1, 4, 5, 2, 3, 6, 7));
    const __m256i i01 = _mm256_add_epi32(i00, stride);
    const long long* pairs = reinterpret_cast<const long long*>(base);
    const __m256 topA = _mm256_castsi256_ps(_mm256_i32gather_epi64(pairs, _mm256_castsi256_si128(i00), 4));
    const __m256 topB = _mm256_castsi256_ps(_mm256_i32gather_epi64(pairs, _mm256_extracti128_si256(i00, 1), 4));
    const __m256 botA = _mm256_castsi256_ps(_mm256_i32gather_epi64(pairs, _mm256_castsi256_si128(i01), 4));
    const __m256 botB = _mm256_castsi256_ps(_mm256_i32gather_epi64(pairs, _mm256_extracti128_si256(i01, 1), 4));
    const __m256i t00 = _mm256_castps_si256(_mm256_shuffle_ps(topA, topB, 0x88));
    const __m256i t10 = _mm256_castps_si256(_mm256_shuffle_ps(topA, topB, 0xDD));
    const __m256i t01 = _mm256_castps_si256(_mm256_shuffle_ps(botA, botB, 0x88));
    const __m256i t11 = _mm256_castps_si256(_mm256_shuffle_ps(botA, botB, 0xDD));
    if (skipTest) {
        const __m256i any = _mm256_or_si256(_mm256_or_si256(t00, t10), _mm256_or_si256(t01, t11));
        if (_mm256_testz_si256(any, skipMask)) return false;
    }
    __m256i wxl, wxh, wyl, wyh;
    SpreadWeights(wx, wxl, wxh);
    SpreadWeights(wy, wyl, wyh);
    const __m256i topL = Lerp(_mm256_unpacklo_epi8(t00, k.zero), _mm256_unpacklo_epi8(t10, k.zero), wxl);
    const __m256i topH = Lerp(_mm256_unpackhi_epi8(t00, k.zero), _mm256_unpackhi_epi8(t10, k.zero), wxh);
    const __m256i botL = Lerp(_mm256_unpacklo_epi8(t01, k.zero), _mm256_unpacklo_epi8(t11, k.zero), wxl);
    const __m256i botH = Lerp(_mm256_unpackhi_epi8(t01, k.zero), _mm256_unpackhi_epi8(t11, k.zero), wxh);
    out = _mm256_packus_epi16(Lerp(topL, botL, wyl), Lerp(topH, botH, wyh));
    return true;
}

template <bool kDepthTest, bool kBlendAdd, bool kAlpha, bool kBilinearTaps, bool kPersp, bool kFlat,
          bool kPow2>
void DrawBand(const Tri& tri, const DrawState& state, const Target& target, const BandSetup& s,
              uint32_t flatColor) {
    const Consts k;
    const TexParams tp(*state.texture);
    const __m256i laneE0 = _mm256_mullo_epi32(k.lanes, _mm256_set1_epi32(s.stepX[0]));
    const __m256i laneE1 = _mm256_mullo_epi32(k.lanes, _mm256_set1_epi32(s.stepX[1]));
    const __m256i laneE2 = _mm256_mullo_epi32(k.lanes, _mm256_set1_epi32(s.stepX[2]));
    const __m256i chunkE0 = _mm256_set1_epi32(s.stepX[0] * 8);
    const __m256i chunkE1 = _mm256_set1_epi32(s.stepX[1] * 8);
    const __m256i chunkE2 = _mm256_set1_epi32(s.stepX[2] * 8);
    const __m256i lastCol = _mm256_set1_epi32(s.x1 - s.x0);
    const __m256i flatVec = _mm256_set1_epi32(int(flatColor));
    __m256 ddx[kAttrCount];
    for (int a = 0; a < kAttrCount; ++a) ddx[a] = _mm256_set1_ps(s.ddx[a]);
    const __m256 one = _mm256_set1_ps(1.0f);
    const int width = s.x1 - s.x0 + 1;
    (void)tri;

    // Reciprocal steps: a row's run of pixels is found from its edge values
    // (a pixel early, for rounding), so chunks start where the run starts.
    float invStep[3];
    for (int e = 0; e < 3; ++e) invStep[e] = s.stepX[e] != 0 ? 1.0f / float(s.stepX[e]) : 0.0f;

    for (int j = 0; j <= s.y1 - s.y0; ++j) {
        const int y = s.y0 + j;
        const int32_t er[3] = {s.e[0] + s.stepY[0] * j, s.e[1] + s.stepY[1] * j, s.e[2] + s.stepY[2] * j};
        float lo = 0.0f, hi = float(width - 1);
        for (int e = 0; e < 3; ++e) {
            const float at = -float(er[e]) * invStep[e];   // column where edge e crosses zero
            if (s.stepX[e] > 0) lo = std::max(lo, at - 1.0f);
            else if (s.stepX[e] < 0) hi = std::min(hi, at + 1.0f);
            else if (er[e] < 0) hi = -1.0f;
        }
        if (!(lo <= hi)) continue;
        const int first = int(lo);
        __m256i e0 = _mm256_add_epi32(_mm256_set1_epi32(er[0] + s.stepX[0] * first), laneE0);
        __m256i e1 = _mm256_add_epi32(_mm256_set1_epi32(er[1] + s.stepX[1] * first), laneE1);
        __m256i e2 = _mm256_add_epi32(_mm256_set1_epi32(er[2] + s.stepX[2] * first), laneE2);
        // Row values of the attributes this variant reads.
        __m256 row[kAttrCount];
        const float fj = float(j);
        auto rowValue = [&](int a) { row[a] = _mm256_set1_ps(s.base[a] + s.ddy[a] * fj); };
        if (kDepthTest) rowValue(kZ);
        if (kPersp) rowValue(kRhw);
        rowValue(kU);
        rowValue(kV);
        if (!kFlat) rowValue(kR), rowValue(kG), rowValue(kB);
        uint32_t* color = target.color + size_t(y) * target.width + s.x0;
        float* zrow = target.depth + size_t(y) * target.width + s.x0;
        bool entered = false;
        for (int i = first; i < width; i += 8, e0 = _mm256_add_epi32(e0, chunkE0),
                 e1 = _mm256_add_epi32(e1, chunkE1), e2 = _mm256_add_epi32(e2, chunkE2)) {
            const __m256i col = _mm256_add_epi32(_mm256_set1_epi32(i), k.lanes);
            __m256i mask = _mm256_or_si256(_mm256_or_si256(e0, e1), e2);
            mask = _mm256_andnot_si256(_mm256_srai_epi32(mask, 31), _mm256_cmpgt_epi32(
                                           _mm256_add_epi32(lastCol, _mm256_set1_epi32(1)), col));
            if (_mm256_testz_si256(mask, mask)) {
                if (entered) break;   // a triangle's row is one run of pixels
                continue;
            }
            entered = true;
            const __m256 fi = _mm256_add_ps(_mm256_set1_ps(float(i)), k.lanesF);
            // Same expression as the portable path: row + ddx * column.
            __m256 z;
            if (kDepthTest) {
                z = _mm256_add_ps(row[kZ], _mm256_mul_ps(ddx[kZ], fi));
                const __m256 zb = _mm256_loadu_ps(zrow + i);
                mask = _mm256_and_si256(mask, _mm256_castps_si256(_mm256_cmp_ps(z, zb, _CMP_LE_OQ)));
                if (_mm256_testz_si256(mask, mask)) continue;
            }
            __m256 u = _mm256_add_ps(row[kU], _mm256_mul_ps(ddx[kU], fi));
            __m256 v = _mm256_add_ps(row[kV], _mm256_mul_ps(ddx[kV], fi));
            __m256 w;
            if (kPersp) {
                w = _mm256_div_ps(one, _mm256_add_ps(row[kRhw], _mm256_mul_ps(ddx[kRhw], fi)));
                u = _mm256_mul_ps(u, w);
                v = _mm256_mul_ps(v, w);
            }
            __m256i vc;
            if (kFlat) {
                vc = flatVec;
            } else {
                __m256 r = _mm256_add_ps(row[kR], _mm256_mul_ps(ddx[kR], fi));
                __m256 g = _mm256_add_ps(row[kG], _mm256_mul_ps(ddx[kG], fi));
                __m256 b = _mm256_add_ps(row[kB], _mm256_mul_ps(ddx[kB], fi));
                if (kPersp) {
                    r = _mm256_mul_ps(r, w);
                    g = _mm256_mul_ps(g, w);
                    b = _mm256_mul_ps(b, w);
                }
                vc = _mm256_or_si256(
                    _mm256_or_si256(_mm256_slli_epi32(ToBytes(r), 16), _mm256_slli_epi32(ToBytes(g), 8)),
                    _mm256_or_si256(ToBytes(b), k.opaque));
            }
            // An additive draw adds nothing where the texels are black (or,
            // through the alpha channel, transparent): such chunks stop early.
            __m256i t;
            if (!Sample<kBilinearTaps, kPow2>(tp, u, v, kAlpha ? k.opaque : k.rgbMask, kAlpha ? 1 : 2,
                                              kBlendAdd, k, t)) {
                if (kDepthTest) _mm256_maskstore_ps(zrow + i, mask, z);
                continue;
            }
            __m256i lo = MulDiv255(_mm256_unpacklo_epi8(t, k.zero), _mm256_unpacklo_epi8(vc, k.zero), k);
            __m256i hi = MulDiv255(_mm256_unpackhi_epi8(t, k.zero), _mm256_unpackhi_epi8(vc, k.zero), k);
            if (kAlpha) {
                lo = MulDiv255(lo, _mm256_shuffle_epi8(lo, k.alphaShuffle), k);
                hi = MulDiv255(hi, _mm256_shuffle_epi8(hi, k.alphaShuffle), k);
            }
            __m256i src = _mm256_packus_epi16(lo, hi);
            if (kBlendAdd) src = _mm256_adds_epu8(src, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(color + i)));
            src = _mm256_or_si256(src, k.opaque);
            _mm256_maskstore_epi32(reinterpret_cast<int*>(color + i), mask, src);
            if (kDepthTest) _mm256_maskstore_ps(zrow + i, mask, z);
        }
    }
}

using BandFn = void (*)(const Tri&, const DrawState&, const Target&, const BandSetup&, uint32_t);

template <int kIndex>
constexpr BandFn Pick() {
    return &DrawBand<(kIndex & 1) != 0, (kIndex & 2) != 0, (kIndex & 4) != 0, (kIndex & 8) != 0,
                     (kIndex & 16) != 0, (kIndex & 32) != 0, (kIndex & 64) != 0>;
}

template <int... kIndex>
constexpr auto MakeTable(std::integer_sequence<int, kIndex...>) {
    return std::array<BandFn, sizeof...(kIndex)>{Pick<kIndex>()...};
}

const auto kTable = MakeTable(std::make_integer_sequence<int, 128>{});

}  // namespace

void DrawTriAvx2(const Tri& tri, const DrawState& state, const Target& target, int bandY0,
                 int bandY1) {
    BandSetup s;
    if (!SetupBand(tri, bandY0, bandY1, s)) return;
    const bool blend = state.bits & kBlend;
    const int index = ((state.bits & kDepth) ? 1 : 0) | (blend ? 2 : 0) |
                      ((blend && (state.bits & kAlphaChannel)) ? 4 : 0) |
                      ((state.bits & kBilinear) ? 8 : 0) | ((tri.flags & kPerspective) ? 16 : 0) |
                      ((tri.flags & kFlatColor) ? 32 : 0) | (state.texture->pow2 ? 64 : 0);
    const uint32_t flatColor = 0xFF000000u | ToByte(tri.a[kR][0]) << 16 |
                               ToByte(tri.a[kG][0]) << 8 | ToByte(tri.a[kB][0]);
    kTable[index](tri, state, target, s, flatColor);
}

}  // namespace qor::render
