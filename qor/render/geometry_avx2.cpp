// DrawMesh's vertex loop, eight vertices at a time (AVX2). The arithmetic is
// that of the scalar loop in geometry.cpp, operation for operation, so both
// give the same bits; this file is compiled for AVX2 and called only when the
// CPU has it.
#include "render/simd.h"

#include <cstddef>

#include "render/geometry.h"

namespace qor::render {

#if TEQ_X86

namespace {

// Rows r[0..7] (one field over eight vertices) to columns (eight fields of
// one vertex each), stored at out[v * stride] for vertex v.
__attribute__((always_inline)) inline void StoreTransposed(const __m256 r[8], float* out, size_t stride) {
    const __m256 t0 = _mm256_unpacklo_ps(r[0], r[1]), t1 = _mm256_unpackhi_ps(r[0], r[1]);
    const __m256 t2 = _mm256_unpacklo_ps(r[2], r[3]), t3 = _mm256_unpackhi_ps(r[2], r[3]);
    const __m256 t4 = _mm256_unpacklo_ps(r[4], r[5]), t5 = _mm256_unpackhi_ps(r[4], r[5]);
    const __m256 t6 = _mm256_unpacklo_ps(r[6], r[7]), t7 = _mm256_unpackhi_ps(r[6], r[7]);
    const __m256 u0 = _mm256_shuffle_ps(t0, t2, 0x44), u1 = _mm256_shuffle_ps(t0, t2, 0xEE);
    const __m256 u2 = _mm256_shuffle_ps(t1, t3, 0x44), u3 = _mm256_shuffle_ps(t1, t3, 0xEE);
    const __m256 u4 = _mm256_shuffle_ps(t4, t6, 0x44), u5 = _mm256_shuffle_ps(t4, t6, 0xEE);
    const __m256 u6 = _mm256_shuffle_ps(t5, t7, 0x44), u7 = _mm256_shuffle_ps(t5, t7, 0xEE);
    _mm256_storeu_ps(out + 0 * stride, _mm256_permute2f128_ps(u0, u4, 0x20));
    _mm256_storeu_ps(out + 1 * stride, _mm256_permute2f128_ps(u1, u5, 0x20));
    _mm256_storeu_ps(out + 2 * stride, _mm256_permute2f128_ps(u2, u6, 0x20));
    _mm256_storeu_ps(out + 3 * stride, _mm256_permute2f128_ps(u3, u7, 0x20));
    _mm256_storeu_ps(out + 4 * stride, _mm256_permute2f128_ps(u0, u4, 0x31));
    _mm256_storeu_ps(out + 5 * stride, _mm256_permute2f128_ps(u1, u5, 0x31));
    _mm256_storeu_ps(out + 6 * stride, _mm256_permute2f128_ps(u2, u6, 0x31));
    _mm256_storeu_ps(out + 7 * stride, _mm256_permute2f128_ps(u3, u7, 0x31));
}

inline __m256 Bits(__m256i v) { return _mm256_castsi256_ps(v); }

}   // namespace

// A normal through a 3x3 normal matrix (rows n[0..2], n[3..5], n[6..8]) and
// made unit length where it has any.
__attribute__((always_inline)) inline void UnitNormal(const float* n, __m256 x, __m256 y, __m256 z, __m256& ox,
                                                      __m256& oy, __m256& oz) {
    auto at = [n](int k) { return _mm256_set1_ps(n[k]); };
    ox = _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(x, at(0)), _mm256_mul_ps(y, at(3))), _mm256_mul_ps(z, at(6)));
    oy = _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(x, at(1)), _mm256_mul_ps(y, at(4))), _mm256_mul_ps(z, at(7)));
    oz = _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(x, at(2)), _mm256_mul_ps(y, at(5))), _mm256_mul_ps(z, at(8)));
    const __m256 length = _mm256_sqrt_ps(
        _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(ox, ox), _mm256_mul_ps(oy, oy)), _mm256_mul_ps(oz, oz)));
    const __m256 inv = _mm256_div_ps(_mm256_set1_ps(1.0f), length);
    const __m256 some = _mm256_cmp_ps(length, _mm256_setzero_ps(), _CMP_GT_OQ);
    ox = _mm256_blendv_ps(ox, _mm256_mul_ps(ox, inv), some);
    oy = _mm256_blendv_ps(oy, _mm256_mul_ps(oy, inv), some);
    oz = _mm256_blendv_ps(oz, _mm256_mul_ps(oz, inv), some);
}

int TransformVerticesAvx2(const MeshVertex* vertices, int count, const Mat4& mat, const Projection& pr, const Guard& g,
                          const VertexShading& shading, ClipVertex* out) {
    static_assert(sizeof(MeshVertex) == 36, "nine words a vertex");
    const float* m = mat.m;
    __m256 mm[16];
    for (int k = 0; k < 16; ++k) mm[k] = _mm256_set1_ps(m[k]);
    const __m256i index = _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_epi32(9));
    const __m256 sx = _mm256_set1_ps(pr.sx), sy = _mm256_set1_ps(pr.sy);
    const __m256 cx = _mm256_set1_ps(pr.cx), cy = _mm256_set1_ps(pr.cy);
    const __m256 hw = _mm256_set1_ps(pr.hw), hh = _mm256_set1_ps(pr.hh);
    const __m256 one = _mm256_set1_ps(1.0f), nearPlane = _mm256_set1_ps(kNear), farPlane = _mm256_set1_ps(kFar);
    const __m256 depthScale = _mm256_set1_ps(kFar / (kFar - kNear));
    const __m256 sub = _mm256_set1_ps(float(kSubUnit));
    const __m256 clipX0 = _mm256_set1_ps(float(g.clipX0)), clipY0 = _mm256_set1_ps(float(g.clipY0));
    const __m256 clipX1 = _mm256_set1_ps(float(g.clipX1)), clipY1 = _mm256_set1_ps(float(g.clipY1));
    const __m256 gx0 = _mm256_set1_ps(g.x0), gy0 = _mm256_set1_ps(g.y0);
    const __m256 gx1 = _mm256_set1_ps(g.x1), gy1 = _mm256_set1_ps(g.y1);
    const __m256i byte = _mm256_set1_epi32(0xFF);
    auto bit = [](__m256 mask, uint32_t b) {
        return _mm256_and_si256(_mm256_castps_si256(mask), _mm256_set1_epi32(int(b)));
    };

    int i = 0;
    for (; i + 8 <= count; i += 8) {
        const float* base = reinterpret_cast<const float*>(vertices + i);
        const __m256 x = _mm256_i32gather_ps(base + 0, index, 4);
        const __m256 y = _mm256_i32gather_ps(base + 1, index, 4);
        const __m256 z = _mm256_i32gather_ps(base + 2, index, 4);
        const __m256i color = _mm256_i32gather_epi32(reinterpret_cast<const int*>(base + 6), index, 4);
        __m256 u = _mm256_setzero_ps(), v = u;   // set below on every path; GCC cannot always tell
        // (x * m0 + y * m4) + z * m8 + m12, as the scalar expression groups it.
        auto row = [&](int c) {
            return _mm256_add_ps(_mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(x, mm[c]), _mm256_mul_ps(y, mm[4 + c])),
                                               _mm256_mul_ps(z, mm[8 + c])),
                                 mm[12 + c]);
        };
        const __m256 px = _mm256_mul_ps(row(0), sx), py = _mm256_mul_ps(row(1), sy), w = row(2);
        __m256 r = _mm256_cvtepi32_ps(_mm256_and_si256(_mm256_srli_epi32(color, 16), byte));
        __m256 gr = _mm256_cvtepi32_ps(_mm256_and_si256(_mm256_srli_epi32(color, 8), byte));
        __m256 b = _mm256_cvtepi32_ps(_mm256_and_si256(color, byte));
        if (shading.lightN || shading.envN) {
            const __m256 nx = _mm256_i32gather_ps(base + 3, index, 4);
            const __m256 ny = _mm256_i32gather_ps(base + 4, index, 4);
            const __m256 nz = _mm256_i32gather_ps(base + 5, index, 4);
            if (shading.lightN) {   // no ambient term: without lights the vertex is black
                const float* o = shading.object->m;
                auto world = [&](int c) {
                    return _mm256_add_ps(_mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(x, _mm256_set1_ps(o[c])),
                                                                     _mm256_mul_ps(y, _mm256_set1_ps(o[4 + c]))),
                                                       _mm256_mul_ps(z, _mm256_set1_ps(o[8 + c]))),
                                         _mm256_set1_ps(o[12 + c]));
                };
                const __m256 wx = world(0), wy = world(1), wz = world(2);
                __m256 lx, ly, lz;
                UnitNormal(shading.lightN, nx, ny, nz, lx, ly, lz);
                __m256 lr = _mm256_setzero_ps(), lg = lr, lb = lr;
                for (int l = 0; l < shading.lightCount; ++l) {
                    const Light& L = *shading.lights[l];
                    if (!(L.range > 0)) continue;
                    const __m256 dx = _mm256_sub_ps(_mm256_set1_ps(L.x), wx);
                    const __m256 dy = _mm256_sub_ps(_mm256_set1_ps(L.y), wy);
                    const __m256 dz = _mm256_sub_ps(_mm256_set1_ps(L.z), wz);
                    const __m256 dist = _mm256_sqrt_ps(_mm256_add_ps(
                        _mm256_add_ps(_mm256_mul_ps(dx, dx), _mm256_mul_ps(dy, dy)), _mm256_mul_ps(dz, dz)));
                    const __m256 dot = _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(lx, dx), _mm256_mul_ps(ly, dy)),
                                                     _mm256_mul_ps(lz, dz));
                    // max(0, a) as std::max(0.0f, a) has it: NaN gives 0.
                    __m256 k =
                        _mm256_mul_ps(_mm256_max_ps(_mm256_div_ps(dot, dist), _mm256_setzero_ps()),
                                      _mm256_max_ps(_mm256_sub_ps(one, _mm256_div_ps(dist, _mm256_set1_ps(L.range))),
                                                    _mm256_setzero_ps()));
                    // A light at the vertex itself adds nothing.
                    k = _mm256_and_ps(k, _mm256_cmp_ps(dist, _mm256_setzero_ps(), _CMP_GT_OQ));
                    lr = _mm256_add_ps(lr, _mm256_mul_ps(_mm256_set1_ps(L.r), k));
                    lg = _mm256_add_ps(lg, _mm256_mul_ps(_mm256_set1_ps(L.g), k));
                    lb = _mm256_add_ps(lb, _mm256_mul_ps(_mm256_set1_ps(L.b), k));
                }
                // min(255, a) as std::min(255.0f, a) has it: NaN gives 255.
                const __m256 c255 = _mm256_set1_ps(255.0f);
                r = _mm256_min_ps(_mm256_div_ps(_mm256_mul_ps(r, lr), c255), c255);
                gr = _mm256_min_ps(_mm256_div_ps(_mm256_mul_ps(gr, lg), c255), c255);
                b = _mm256_min_ps(_mm256_div_ps(_mm256_mul_ps(b, lb), c255), c255);
            }
            if (shading.envN) {
                __m256 ex, ey, ez;
                UnitNormal(shading.envN, nx, ny, nz, ex, ey, ez);
                const __m256 half = _mm256_set1_ps(0.5f);
                u = _mm256_add_ps(half, _mm256_mul_ps(half, ex));
                v = _mm256_sub_ps(half, _mm256_mul_ps(half, ey));
            }
        }
        if (!shading.envN) {
            u = _mm256_i32gather_ps(base + 7, index, 4);
            v = _mm256_i32gather_ps(base + 8, index, 4);
        }
        // Code: 1 unless w >= near (so NaN gives 1), 2 if w > far.
        const __m256i code = _mm256_or_si256(bit(_mm256_cmp_ps(w, nearPlane, _CMP_NGE_UQ), 1u),
                                             bit(_mm256_cmp_ps(w, farPlane, _CMP_GT_OQ), 2u));
        // The projection, for every lane; only lanes with code 0 are read.
        const __m256 rhw = _mm256_div_ps(one, w);
        const __m256 screenX = _mm256_add_ps(cx, _mm256_mul_ps(_mm256_mul_ps(px, rhw), hw));
        const __m256 screenY = _mm256_sub_ps(cy, _mm256_mul_ps(_mm256_mul_ps(py, rhw), hh));
        const __m256 depth = _mm256_mul_ps(depthScale, _mm256_sub_ps(one, _mm256_mul_ps(nearPlane, rhw)));
        // Where the projection lies (OutCode), and not a number: x * 0 is NaN.
        const __m256 zx = _mm256_mul_ps(screenX, _mm256_setzero_ps());
        const __m256 zy = _mm256_mul_ps(screenY, _mm256_setzero_ps());
        __m256i outBits = _mm256_or_si256(_mm256_or_si256(bit(_mm256_cmp_ps(screenX, clipX0, _CMP_LT_OQ), kOutLeft),
                                                          bit(_mm256_cmp_ps(screenY, clipY0, _CMP_LT_OQ), kOutTop)),
                                          _mm256_or_si256(bit(_mm256_cmp_ps(screenX, clipX1, _CMP_GT_OQ), kOutRight),
                                                          bit(_mm256_cmp_ps(screenY, clipY1, _CMP_GT_OQ), kOutBottom)));
        outBits = _mm256_or_si256(outBits,
                                  _mm256_or_si256(_mm256_or_si256(bit(_mm256_cmp_ps(screenX, gx0, _CMP_LT_OQ), 4u),
                                                                  bit(_mm256_cmp_ps(screenY, gy0, _CMP_LT_OQ), 8u)),
                                                  _mm256_or_si256(bit(_mm256_cmp_ps(screenX, gx1, _CMP_GT_OQ), 64u),
                                                                  bit(_mm256_cmp_ps(screenY, gy1, _CMP_GT_OQ), 128u))));
        const __m256 notFinite = _mm256_cmp_ps(zx, zy, _CMP_UNORD_Q);
        outBits = _mm256_or_si256(outBits, bit(notFinite, kOutNotFinite));
        const __m256i fx = _mm256_cvtps_epi32(_mm256_mul_ps(screenX, sub));
        const __m256i fy = _mm256_cvtps_epi32(_mm256_mul_ps(screenY, sub));

        float* dst = reinterpret_cast<float*>(out + i);
        constexpr size_t kStride = sizeof(ClipVertex) / sizeof(float);
        const __m256 first[8] = {px, py, w, u, v, r, gr, b};
        const __m256 second[8] = {
            Bits(code),           screenX, screenY, depth, rhw, _mm256_mul_ps(u, rhw), _mm256_mul_ps(v, rhw),
            _mm256_mul_ps(r, rhw)};
        const __m256 zero = _mm256_setzero_ps();
        const __m256 third[8] = {
            _mm256_mul_ps(gr, rhw), _mm256_mul_ps(b, rhw), Bits(fx), Bits(fy), Bits(outBits), zero, zero, zero};
        StoreTransposed(first, dst, kStride);
        StoreTransposed(second, dst + 8, kStride);
        StoreTransposed(third, dst + 16, kStride);
    }
    return i;
}

#else   // no AVX2 on this processor family: the scalar loop does every vertex

int TransformVerticesAvx2(const MeshVertex*, int, const Mat4&, const Projection&, const Guard&, const VertexShading&,
                          ClipVertex*) {
    return 0;
}

#endif

}   // namespace qor::render
