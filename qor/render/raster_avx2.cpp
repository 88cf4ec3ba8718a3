// The AVX2 operations of the vector pixel loop (raster_simd.h): eight lanes.
// This file is compiled for AVX2; it is called only when the CPU has it.
#include "render/simd.h"

#include <utility>

#include "render/raster_simd.h"
#include "render/vertex_simd.h"

namespace qor::render {

#if TEQ_X86

bool CpuHasSimd() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

namespace {

#define TEQ_OP static __attribute__((always_inline)) inline

struct Avx2 {
    using F = __m256;
    using I = __m256i;
    static constexpr int kLanes = 8;

    TEQ_OP F SetF(float f) { return _mm256_set1_ps(f); }
    TEQ_OP I SetI(int i) { return _mm256_set1_epi32(i); }
    TEQ_OP I Lanes() { return _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7); }
    TEQ_OP I HalfLanes() { return _mm256_setr_epi32(0, 1, 2, 3, 0, 1, 2, 3); }
    // a in the lower half of the lanes, b in the upper.
    TEQ_OP I HalvesI(int a, int b) { return _mm256_set_m128i(_mm_set1_epi32(b), _mm_set1_epi32(a)); }
    TEQ_OP F HalvesF(float a, float b) { return _mm256_set_m128(_mm_set1_ps(b), _mm_set1_ps(a)); }

    TEQ_OP F AddF(F a, F b) { return _mm256_add_ps(a, b); }
    TEQ_OP F SubF(F a, F b) { return _mm256_sub_ps(a, b); }
    TEQ_OP F MulF(F a, F b) { return _mm256_mul_ps(a, b); }
    TEQ_OP F DivF(F a, F b) { return _mm256_div_ps(a, b); }
    TEQ_OP F SqrtF(F a) { return _mm256_sqrt_ps(a); }
    TEQ_OP F MinF(F a, F b) { return _mm256_min_ps(a, b); }
    TEQ_OP F MaxZeroF(F a) { return _mm256_max_ps(a, _mm256_setzero_ps()); }   // NaN gives 0
    TEQ_OP F FloorF(F a) { return _mm256_floor_ps(a); }
    TEQ_OP F CeilF(F a) { return _mm256_ceil_ps(a); }
    TEQ_OP F ToF(I a) { return _mm256_cvtepi32_ps(a); }
    TEQ_OP I LeF(F a, F b) { return _mm256_castps_si256(_mm256_cmp_ps(a, b, _CMP_LE_OQ)); }
    // Rounding to nearest even and truncation; NaN and out of range give INT_MIN.
    TEQ_OP I Round(F a) { return _mm256_cvtps_epi32(a); }
    TEQ_OP I Trunc(F a) { return _mm256_cvttps_epi32(a); }

    TEQ_OP I And(I a, I b) { return _mm256_and_si256(a, b); }
    TEQ_OP I Or(I a, I b) { return _mm256_or_si256(a, b); }
    TEQ_OP I AddI32(I a, I b) { return _mm256_add_epi32(a, b); }
    TEQ_OP I SubI32(I a, I b) { return _mm256_sub_epi32(a, b); }
    TEQ_OP I MulI32(I a, I b) { return _mm256_mullo_epi32(a, b); }
    // a * b for a and b in 0..32767.
    TEQ_OP I MulIndex(I a, I b) { return _mm256_madd_epi16(a, b); }
    TEQ_OP I GtI32(I a, I b) { return _mm256_cmpgt_epi32(a, b); }
    TEQ_OP I MinI32(I a, I b) { return _mm256_min_epi32(a, b); }
    TEQ_OP I MaxI32(I a, I b) { return _mm256_max_epi32(a, b); }
    TEQ_OP I ShrI32(I a, int n) { return _mm256_srai_epi32(a, n); }
    TEQ_OP I ShrU32(I a, int n) { return _mm256_srli_epi32(a, n); }
    TEQ_OP I ShlI32(I a, int n) { return _mm256_slli_epi32(a, n); }
    TEQ_OP I ShrU16(I a, int n) { return _mm256_srli_epi16(a, n); }
    TEQ_OP I ShlI16(I a, int n) { return _mm256_slli_epi16(a, n); }
    TEQ_OP I AddI16(I a, I b) { return _mm256_add_epi16(a, b); }
    TEQ_OP I SubI16(I a, I b) { return _mm256_sub_epi16(a, b); }
    TEQ_OP I MulRoundHighI16(I a, I b) { return _mm256_mulhrs_epi16(a, b); }
    TEQ_OP I AddSatU8(I a, I b) { return _mm256_adds_epu8(a, b); }
    // round(a * b / 255) per 16-bit lane, a and b in 0..255: with x = a * b + 128,
    // (x + (x >> 8)) >> 8, which equals x * 257 >> 16.
    TEQ_OP I MulDiv255(I a, I b) {
        return _mm256_mulhi_epu16(_mm256_add_epi16(_mm256_mullo_epi16(a, b), _mm256_set1_epi16(128)),
                                  _mm256_set1_epi16(257));
    }
    // The high 16 bits of each lane into both halves.
    TEQ_OP I HighWordTwice(I a) {
        return _mm256_shuffle_epi8(a, _mm256_setr_epi8(2, 3, 2, 3, 6, 7, 6, 7, 10, 11, 10, 11, 14, 15, 14, 15, 2, 3, 2,
                                                       3, 6, 7, 6, 7, 10, 11, 10, 11, 14, 15, 14, 15));
    }
    // The low byte of each lane, times 128, into both halves.
    TEQ_OP I WeightsTimes128(I w) {
        const I lowByteTwice = _mm256_setr_epi8(0, -1, 0, -1, 4, -1, 4, -1, 8, -1, 8, -1, 12, -1, 12, -1, 0, -1, 0, -1,
                                                4, -1, 4, -1, 8, -1, 8, -1, 12, -1, 12, -1);
        return _mm256_slli_epi16(_mm256_shuffle_epi8(w, lowByteTwice), 7);
    }
    // No lane of a has a bit of m; every lane of a has all bits of m.
    TEQ_OP bool NoneSet(I a, I m) { return _mm256_testz_si256(a, m); }
    TEQ_OP bool AllSet(I a, I m) { return _mm256_testc_si256(a, m); }

    TEQ_OP I Gather(const uint32_t* base, I index) {
        return _mm256_i32gather_epi32(reinterpret_cast<const int*>(base), index, 4);
    }
    // Texels index and index + 1 (t00, t10) and the same a row further
    // (t01, t11), each pair one 64-bit load: on the processors at hand plain
    // loads beat the gather instructions. Pixels are paired in the order
    // 0 1 4 5 | 2 3 6 7 so that one in-lane shuffle puts the left and right
    // taps back in order.
    TEQ_OP void TexelPairs(const uint32_t* base, I index, int rowStep, I& t00, I& t10, I& t01, I& t11) {
        alignas(32) int32_t at[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(at), index);
        TexelPairsAt(base, at, rowStep, t00, t10, t01, t11);
    }
    // The same with the indices in memory.
    TEQ_OP void TexelPairsAt(const uint32_t* base, const int32_t* at, int rowStep, I& t00, I& t10, I& t01, I& t11) {
        // Lanes paired 0 1 4 5 | 2 3 6 7, from one row of the picture.
        auto pairs = [at](const uint32_t* row, int a, int b, int c, int d) __attribute__((always_inline)) {
            auto two = [ row, at ](int l, int m) __attribute__((always_inline)) {
                const __m128d lo = _mm_castsi128_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + at[l])));
                return _mm_castpd_ps(_mm_loadh_pd(lo, reinterpret_cast<const double*>(row + at[m])));
            };
            return _mm256_insertf128_ps(_mm256_castps128_ps256(two(a, b)), two(c, d), 1);
        };
        const uint32_t* below = base + rowStep;
        const __m256 topA = pairs(base, 0, 1, 4, 5), topB = pairs(base, 2, 3, 6, 7);
        const __m256 botA = pairs(below, 0, 1, 4, 5), botB = pairs(below, 2, 3, 6, 7);
        t00 = _mm256_castps_si256(_mm256_shuffle_ps(topA, topB, 0x88));
        t10 = _mm256_castps_si256(_mm256_shuffle_ps(topA, topB, 0xDD));
        t01 = _mm256_castps_si256(_mm256_shuffle_ps(botA, botB, 0x88));
        t11 = _mm256_castps_si256(_mm256_shuffle_ps(botA, botB, 0xDD));
    }
    // The bytes of the block map at each lane's index, or'ed together.
    TEQ_OP int BlockBits(const uint8_t* blocks, I index) {
        alignas(32) int32_t at[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(at), index);
        return BlockBitsAt(blocks, at);
    }
    TEQ_OP int BlockBitsAt(const uint8_t* blocks, const int32_t* at) {
        return (blocks[at[0]] | blocks[at[1]] | blocks[at[2]] | blocks[at[3]]) |
               (blocks[at[4]] | blocks[at[5]] | blocks[at[6]] | blocks[at[7]]);
    }

    TEQ_OP I Load(const uint32_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
    TEQ_OP F LoadF(const float* p) { return _mm256_loadu_ps(p); }
    template <typename T>
    TEQ_OP void Store(T* p, I v) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
    }
    TEQ_OP void StoreF(float* p, F v) { _mm256_storeu_ps(p, v); }
    // Lanes of a where m is set, of b elsewhere.
    TEQ_OP I Select(I m, I a, I b) { return _mm256_blendv_epi8(b, a, m); }
    TEQ_OP F SelectF(I m, F a, F b) { return _mm256_blendv_ps(b, a, _mm256_castsi256_ps(m)); }
    // The lower half of the lanes at a, the upper half at b.
    TEQ_OP I LoadHalves(const uint32_t* a, const uint32_t* b) {
        return _mm256_set_m128i(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b)),
                                _mm_loadu_si128(reinterpret_cast<const __m128i*>(a)));
    }
    TEQ_OP F LoadHalvesF(const float* a, const float* b) { return _mm256_set_m128(_mm_loadu_ps(b), _mm_loadu_ps(a)); }
    TEQ_OP void StoreHalves(uint32_t* a, uint32_t* b, I v) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(a), _mm256_castsi256_si128(v));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(b), _mm256_extracti128_si256(v, 1));
    }
    TEQ_OP void StoreHalvesF(float* a, float* b, F v) {
        _mm_storeu_ps(a, _mm256_castps256_ps128(v));
        _mm_storeu_ps(b, _mm256_extractf128_ps(v, 1));
    }
    // Under a mask: only the lanes whose mask is set are read (others 0) or written.
    TEQ_OP I MaskLoad(const uint32_t* p, I m) { return _mm256_maskload_epi32(reinterpret_cast<const int*>(p), m); }
    TEQ_OP F MaskLoadF(const float* p, I m) { return _mm256_maskload_ps(p, m); }
    TEQ_OP void MaskStore(uint32_t* p, I m, I v) { _mm256_maskstore_epi32(reinterpret_cast<int*>(p), m, v); }
    TEQ_OP void MaskStoreF(float* p, I m, F v) { _mm256_maskstore_ps(p, m, v); }
    // The lower half of the lanes at a, the upper half at b, under a mask.
    TEQ_OP I MaskLoadHalves(const uint32_t* a, const uint32_t* b, I m) {
        return _mm256_set_m128i(_mm_maskload_epi32(reinterpret_cast<const int*>(b), _mm256_extracti128_si256(m, 1)),
                                _mm_maskload_epi32(reinterpret_cast<const int*>(a), _mm256_castsi256_si128(m)));
    }
    TEQ_OP F MaskLoadHalvesF(const float* a, const float* b, I m) {
        return _mm256_set_m128(_mm_maskload_ps(b, _mm256_extracti128_si256(m, 1)),
                               _mm_maskload_ps(a, _mm256_castsi256_si128(m)));
    }
    TEQ_OP void MaskStoreHalves(uint32_t* a, uint32_t* b, I m, I v) {
        _mm_maskstore_epi32(reinterpret_cast<int*>(a), _mm256_castsi256_si128(m), _mm256_castsi256_si128(v));
        _mm_maskstore_epi32(reinterpret_cast<int*>(b), _mm256_extracti128_si256(m, 1), _mm256_extracti128_si256(v, 1));
    }
    TEQ_OP void MaskStoreHalvesF(float* a, float* b, I m, F v) {
        _mm_maskstore_ps(a, _mm256_castsi256_si128(m), _mm256_castps256_ps128(v));
        _mm_maskstore_ps(b, _mm256_extracti128_si256(m, 1), _mm256_extractf128_ps(v, 1));
    }
};

#undef TEQ_OP

const BandTable kTable = MakeBandTable<SimdLoop<Avx2>::Loop>(std::make_integer_sequence<int, 128>{});

}   // namespace

void DrawTriSimd(const Tri& tri, const DrawState& state, const Target& target, int bandY0, int bandY1) {
    DrawWithTable(kTable, tri, state, target, bandY0, bandY1);
}

int TransformVerticesSimd(const MeshVertex* vertices, int count, const Mat4& m, const Projection& pr, const Guard& g,
                          const VertexShading& shading, ClipVertex* out) {
    return TransformVertices<Avx2>(vertices, count, m, pr, g, shading, out);
}

#elif !defined(__wasm_simd128__)   // no AVX2 on this processor family (wasm: raster_wasm.cpp)

bool CpuHasSimd() { return false; }

void DrawTriSimd(const Tri& tri, const DrawState& state, const Target& target, int bandY0, int bandY1) {
    DrawTriPortable(tri, state, target, bandY0, bandY1);
}

int TransformVerticesSimd(const MeshVertex*, int, const Mat4&, const Projection&, const Guard&, const VertexShading&,
                          ClipVertex*) {
    return 0;
}

#endif

}   // namespace qor::render
