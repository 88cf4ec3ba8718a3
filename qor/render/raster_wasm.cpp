// The WebAssembly SIMD128 operations of the vector pixel loop
// (raster_simd.h): four lanes. Texels are read lane by lane (there is no
// gather), runs under a mask likewise. In the browser build this loop is the
// vector one (DrawTriSimd, CpuHasSimd), checked by the same agreement tests
// against the portable rasterizer; pixels match it bit for bit.
#if defined(__wasm_simd128__)

#include <wasm_simd128.h>

#include <climits>
#include <utility>

#include "render/raster_simd.h"
#include "render/vertex_simd.h"

namespace qor::render {

bool CpuHasSimd() { return true; }

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

#define TEQ_OP static __attribute__((always_inline)) inline

struct Simd128 {
    using F = v128_t;
    using I = v128_t;
    static constexpr int kLanes = 4;

    TEQ_OP F SetF(float f) { return wasm_f32x4_splat(f); }
    TEQ_OP I SetI(int i) { return wasm_i32x4_splat(i); }
    TEQ_OP I Lanes() { return wasm_i32x4_make(0, 1, 2, 3); }
    TEQ_OP I HalfLanes() { return wasm_i32x4_make(0, 1, 0, 1); }
    // a in the lower half of the lanes, b in the upper.
    TEQ_OP I HalvesI(int a, int b) { return wasm_i32x4_make(a, a, b, b); }
    TEQ_OP F HalvesF(float a, float b) { return wasm_f32x4_make(a, a, b, b); }

    TEQ_OP F AddF(F a, F b) { return wasm_f32x4_add(a, b); }
    TEQ_OP F SubF(F a, F b) { return wasm_f32x4_sub(a, b); }
    TEQ_OP F MulF(F a, F b) { return wasm_f32x4_mul(a, b); }
    TEQ_OP F DivF(F a, F b) { return wasm_f32x4_div(a, b); }
    TEQ_OP F SqrtF(F a) { return wasm_f32x4_sqrt(a); }
    TEQ_OP F MinF(F a, F b) { return wasm_f32x4_pmin(a, b); }
    // max(a, 0) with NaN giving 0, as x86's max does: NaN fails the comparison.
    TEQ_OP F MaxZeroF(F a) { return wasm_v128_and(a, wasm_f32x4_gt(a, wasm_f32x4_splat(0.0f))); }
    TEQ_OP F FloorF(F a) { return wasm_f32x4_floor(a); }
    TEQ_OP F CeilF(F a) { return wasm_f32x4_ceil(a); }
    TEQ_OP F ToF(I a) { return wasm_f32x4_convert_i32x4(a); }
    TEQ_OP I LeF(F a, F b) { return wasm_f32x4_le(a, b); }
    TEQ_OP I Round(F a) { return RoundToInt4(a); }
    TEQ_OP I Trunc(F a) { return TruncToInt4(a); }

    TEQ_OP I And(I a, I b) { return wasm_v128_and(a, b); }
    TEQ_OP I Or(I a, I b) { return wasm_v128_or(a, b); }
    TEQ_OP I AddI32(I a, I b) { return wasm_i32x4_add(a, b); }
    TEQ_OP I SubI32(I a, I b) { return wasm_i32x4_sub(a, b); }
    TEQ_OP I MulI32(I a, I b) { return wasm_i32x4_mul(a, b); }
    TEQ_OP I MulIndex(I a, I b) { return wasm_i32x4_mul(a, b); }
    TEQ_OP I GtI32(I a, I b) { return wasm_i32x4_gt(a, b); }
    TEQ_OP I MinI32(I a, I b) { return wasm_i32x4_min(a, b); }
    TEQ_OP I MaxI32(I a, I b) { return wasm_i32x4_max(a, b); }
    TEQ_OP I ShrI32(I a, int n) { return wasm_i32x4_shr(a, n); }
    TEQ_OP I ShrU32(I a, int n) { return wasm_u32x4_shr(a, n); }
    TEQ_OP I ShlI32(I a, int n) { return wasm_i32x4_shl(a, n); }
    TEQ_OP I ShrU16(I a, int n) { return wasm_u16x8_shr(a, n); }
    TEQ_OP I ShlI16(I a, int n) { return wasm_i16x8_shl(a, n); }
    TEQ_OP I AddI16(I a, I b) { return wasm_i16x8_add(a, b); }
    TEQ_OP I SubI16(I a, I b) { return wasm_i16x8_sub(a, b); }
    // The rounding multiply-high of x86, never saturating here.
    TEQ_OP I MulRoundHighI16(I a, I b) { return wasm_i16x8_q15mulr_sat(a, b); }
    TEQ_OP I AddSatU8(I a, I b) { return wasm_u8x16_add_sat(a, b); }
    // round(a * b / 255) per 16-bit lane, a and b in 0..255: with x = a * b + 128,
    // (x + (x >> 8)) >> 8, which stays below 65536.
    TEQ_OP I MulDiv255(I a, I b) {
        const v128_t x = wasm_i16x8_add(wasm_i16x8_mul(a, b), wasm_i16x8_splat(128));
        return wasm_u16x8_shr(wasm_i16x8_add(x, wasm_u16x8_shr(x, 8)), 8);
    }
    // The high 16 bits of each lane into both halves.
    TEQ_OP I HighWordTwice(I a) {
        return wasm_i8x16_shuffle(a, a, 2, 3, 2, 3, 6, 7, 6, 7, 10, 11, 10, 11, 14, 15, 14, 15);
    }
    // The low byte of each lane, times 128, into both halves.
    TEQ_OP I WeightsTimes128(I w) {
        const v128_t b = wasm_v128_and(w, wasm_i32x4_splat(255));
        return wasm_i16x8_shl(wasm_v128_or(b, wasm_i32x4_shl(b, 16)), 7);
    }
    // No lane of a has a bit of m; every lane of a has all bits of m.
    TEQ_OP bool NoneSet(I a, I m) { return !wasm_v128_any_true(wasm_v128_and(a, m)); }
    TEQ_OP bool AllSet(I a, I m) { return !wasm_v128_any_true(wasm_v128_andnot(m, a)); }

    // There is no gather: lane by lane.
    TEQ_OP I Gather(const uint32_t* base, I index) {
        return wasm_u32x4_make(base[wasm_i32x4_extract_lane(index, 0)], base[wasm_i32x4_extract_lane(index, 1)],
                               base[wasm_i32x4_extract_lane(index, 2)], base[wasm_i32x4_extract_lane(index, 3)]);
    }
    // Texels index and index + 1 (t00, t10) and the same a row further (t01, t11).
    TEQ_OP void TexelPairs(const uint32_t* base, I index, int rowStep, I& t00, I& t10, I& t01, I& t11) {
        const uint32_t* p0 = base + wasm_i32x4_extract_lane(index, 0);
        const uint32_t* p1 = base + wasm_i32x4_extract_lane(index, 1);
        const uint32_t* p2 = base + wasm_i32x4_extract_lane(index, 2);
        const uint32_t* p3 = base + wasm_i32x4_extract_lane(index, 3);
        LoadPairs(p0, p1, p2, p3, t00, t10);
        LoadPairs(p0 + rowStep, p1 + rowStep, p2 + rowStep, p3 + rowStep, t01, t11);
    }
    // The same with the indices in memory.
    TEQ_OP void TexelPairsAt(const uint32_t* base, const int32_t* at, int rowStep, I& t00, I& t10, I& t01, I& t11) {
        const uint32_t *p0 = base + at[0], *p1 = base + at[1], *p2 = base + at[2], *p3 = base + at[3];
        LoadPairs(p0, p1, p2, p3, t00, t10);
        LoadPairs(p0 + rowStep, p1 + rowStep, p2 + rowStep, p3 + rowStep, t01, t11);
    }
    // The bytes of the block map at each lane's index, or'ed together.
    TEQ_OP int BlockBits(const uint8_t* blocks, I index) {
        return blocks[wasm_i32x4_extract_lane(index, 0)] | blocks[wasm_i32x4_extract_lane(index, 1)] |
               blocks[wasm_i32x4_extract_lane(index, 2)] | blocks[wasm_i32x4_extract_lane(index, 3)];
    }
    TEQ_OP int BlockBitsAt(const uint8_t* blocks, const int32_t* at) {
        return blocks[at[0]] | blocks[at[1]] | blocks[at[2]] | blocks[at[3]];
    }

    TEQ_OP I Load(const uint32_t* p) { return wasm_v128_load(p); }
    TEQ_OP F LoadF(const float* p) { return wasm_v128_load(p); }
    template <typename T>
    TEQ_OP void Store(T* p, I v) {
        wasm_v128_store(p, v);
    }
    TEQ_OP void StoreF(float* p, F v) { wasm_v128_store(p, v); }
    // Lanes of a where m is set, of b elsewhere.
    TEQ_OP I Select(I m, I a, I b) { return wasm_v128_bitselect(a, b, m); }
    TEQ_OP F SelectF(I m, F a, F b) { return wasm_v128_bitselect(a, b, m); }
    // The lower two lanes at a, the upper two at b.
    template <typename T>
    TEQ_OP v128_t LoadHalves(const T* a, const T* b) {
        return wasm_v128_load64_lane(b, wasm_v128_load64_zero(a), 1);
    }
    TEQ_OP F LoadHalvesF(const float* a, const float* b) { return LoadHalves(a, b); }
    template <typename T>
    TEQ_OP void StoreHalves(T* a, T* b, v128_t v) {
        wasm_v128_store64_lane(a, v, 0);
        wasm_v128_store64_lane(b, v, 1);
    }
    TEQ_OP void StoreHalvesF(float* a, float* b, F v) { StoreHalves(a, b, v); }
    // Under a mask, lane by lane: only the lanes whose mask is set are read
    // (others 0) or written. The halves forms read the lower two lanes at a,
    // the upper two at b.
    template <typename T>
    TEQ_OP v128_t MaskLoadAt(const T* a, const T* b, I m) {
        alignas(16) int32_t keep[4];
        alignas(16) T out[4] = {};
        wasm_v128_store(keep, m);
        for (int l = 0; l < 4; ++l)
            if (keep[l]) out[l] = l < 2 ? a[l] : b[l - 2];
        return wasm_v128_load(out);
    }
    template <typename T>
    TEQ_OP void MaskStoreAt(T* a, T* b, I m, v128_t v) {
        alignas(16) int32_t keep[4];
        alignas(16) T in[4];
        wasm_v128_store(keep, m);
        wasm_v128_store(in, v);
        for (int l = 0; l < 4; ++l)
            if (keep[l]) (l < 2 ? a[l] : b[l - 2]) = in[l];
    }
    TEQ_OP I MaskLoad(const uint32_t* p, I m) { return MaskLoadAt(p, p + 2, m); }
    TEQ_OP F MaskLoadF(const float* p, I m) { return MaskLoadAt(p, p + 2, m); }
    TEQ_OP void MaskStore(uint32_t* p, I m, I v) { MaskStoreAt(p, p + 2, m, v); }
    TEQ_OP void MaskStoreF(float* p, I m, F v) { MaskStoreAt(p, p + 2, m, v); }
    TEQ_OP I MaskLoadHalves(const uint32_t* a, const uint32_t* b, I m) { return MaskLoadAt(a, b, m); }
    TEQ_OP F MaskLoadHalvesF(const float* a, const float* b, I m) { return MaskLoadAt(a, b, m); }
    TEQ_OP void MaskStoreHalves(uint32_t* a, uint32_t* b, I m, I v) { MaskStoreAt(a, b, m, v); }
    TEQ_OP void MaskStoreHalvesF(float* a, float* b, I m, F v) { MaskStoreAt(a, b, m, v); }
};

#undef TEQ_OP

const BandTable kTable = MakeBandTable<SimdLoop<Simd128>::Loop>(std::make_integer_sequence<int, 128>{});

}   // namespace

void DrawTriSimd(const Tri& tri, const DrawState& state, const Target& target, int bandY0, int bandY1) {
    DrawWithTable(kTable, tri, state, target, bandY0, bandY1);
}

int TransformVerticesSimd(const MeshVertex* vertices, int count, const Mat4& m, const Projection& pr, const Guard& g,
                          const VertexShading& shading, ClipVertex* out) {
    return TransformVertices<Simd128>(vertices, count, m, pr, g, shading, out);
}

}   // namespace qor::render

#endif
