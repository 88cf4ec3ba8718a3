// DrawMesh's vertex loop on vectors, written once against the pixel loop's
// operations (raster_simd.h): eight vertices at a time with AVX2, four with
// SIMD128. The arithmetic is that of the scalar loop in geometry.cpp
// (ShadeVertex), operation for operation and grouped the same way, so both
// give the same bits. Comparisons are built from LeF alone, so NaN goes the
// way the scalar comparisons send it on every instruction set.
// This header is included by files compiled for different instruction sets:
// everything in it has internal linkage.
#pragma once

#include <cstdint>
#include <cstring>

#include "render/geometry.h"

namespace qor::render {
namespace {

// Every lane's fields of one batch of vertices, and what the loop makes of them.
template <class V>
struct VertexBatch {
    using F = typename V::F;
    using I = typename V::I;
    F x, y, z, nx, ny, nz, u, v;   // the vertex as stored
    I color;
    F px, py, w;   // camera space, x and y scaled for the projection
    F r, g, b;     // the colour, lit or the material's
    I code;        // 1: before the near plane (or NaN), 2: beyond the far plane
    F screenX, screenY, depth, rhw;
    I fx, fy, out;
};

// Masks (all bits or none) of a < b and of NOT m, from LeF: NaN gives false,
// as the scalar comparisons do.
template <class V>
__attribute__((always_inline)) inline typename V::I NotMask(typename V::I m) {
    return V::SubI32(V::SetI(-1), m);
}
template <class V>
__attribute__((always_inline)) inline typename V::I LtF(typename V::F a, typename V::F b) {
    return V::And(V::LeF(a, b), NotMask<V>(V::LeF(b, a)));
}
template <class V>
__attribute__((always_inline)) inline typename V::I Bit(typename V::I mask, uint32_t bit) {
    return V::And(mask, V::SetI(int(bit)));
}

// The vertices' nine words, lane by lane (a vertex is nine words: no load
// or gather reads them as fast).
template <class V>
__attribute__((always_inline)) inline void LoadBatch(const MeshVertex* vertices, VertexBatch<V>& b) {
    constexpr int kLanes = V::kLanes;
    alignas(32) float f[8][kLanes];
    alignas(32) uint32_t color[kLanes];
    for (int k = 0; k < kLanes; ++k) {
        const MeshVertex& m = vertices[k];
        f[0][k] = m.x, f[1][k] = m.y, f[2][k] = m.z;
        f[3][k] = m.nx, f[4][k] = m.ny, f[5][k] = m.nz;
        f[6][k] = m.u, f[7][k] = m.v;
        color[k] = m.color;
    }
    b.x = V::LoadF(f[0]), b.y = V::LoadF(f[1]), b.z = V::LoadF(f[2]);
    b.nx = V::LoadF(f[3]), b.ny = V::LoadF(f[4]), b.nz = V::LoadF(f[5]);
    b.u = V::LoadF(f[6]), b.v = V::LoadF(f[7]);
    b.color = V::Load(color);
}

// (x * m[c] + y * m[4 + c]) + z * m[8 + c] + m[12 + c], as the scalar
// expression groups it.
template <class V>
__attribute__((always_inline)) inline typename V::F Row(const VertexBatch<V>& b, const float* m, int c) {
    return V::AddF(
        V::AddF(V::AddF(V::MulF(b.x, V::SetF(m[c])), V::MulF(b.y, V::SetF(m[4 + c]))), V::MulF(b.z, V::SetF(m[8 + c]))),
        V::SetF(m[12 + c]));
}

// A normal through a 3x3 normal matrix (rows n[0..2], n[3..5], n[6..8]) and
// made unit length where it has any.
template <class V>
__attribute__((always_inline)) inline void UnitNormal(const float* n, const VertexBatch<V>& b, typename V::F& ox,
                                                      typename V::F& oy, typename V::F& oz) {
    using F = typename V::F;
    auto column = [&](int c) {
        return V::AddF(V::AddF(V::MulF(b.nx, V::SetF(n[c])), V::MulF(b.ny, V::SetF(n[3 + c]))),
                       V::MulF(b.nz, V::SetF(n[6 + c])));
    };
    ox = column(0), oy = column(1), oz = column(2);
    const F length = V::SqrtF(V::AddF(V::AddF(V::MulF(ox, ox), V::MulF(oy, oy)), V::MulF(oz, oz)));
    const F inv = V::DivF(V::SetF(1.0f), length);
    const typename V::I some = LtF<V>(V::SetF(0.0f), length);
    ox = V::SelectF(some, V::MulF(ox, inv), ox);
    oy = V::SelectF(some, V::MulF(oy, inv), oy);
    oz = V::SelectF(some, V::MulF(oz, inv), oz);
}

// The colour under the enabled lights; no ambient term, so without lights
// the vertex is black.
template <class V>
__attribute__((always_inline)) inline void LightBatch(const VertexShading& shading, VertexBatch<V>& b) {
    using F = typename V::F;
    const float* o = shading.object->m;
    const F wx = Row(b, o, 0), wy = Row(b, o, 1), wz = Row(b, o, 2);
    F lx, ly, lz;
    UnitNormal(shading.lightN, b, lx, ly, lz);
    const F zero = V::SetF(0.0f), one = V::SetF(1.0f);
    F lr = zero, lg = zero, lb = zero;
    for (int l = 0; l < shading.lightCount; ++l) {
        const Light& L = *shading.lights[l];
        if (!(L.range > 0)) continue;
        const F dx = V::SubF(V::SetF(L.x), wx), dy = V::SubF(V::SetF(L.y), wy), dz = V::SubF(V::SetF(L.z), wz);
        const F dist = V::SqrtF(V::AddF(V::AddF(V::MulF(dx, dx), V::MulF(dy, dy)), V::MulF(dz, dz)));
        const F dot = V::AddF(V::AddF(V::MulF(lx, dx), V::MulF(ly, dy)), V::MulF(lz, dz));
        F k = V::MulF(V::MaxZeroF(V::DivF(dot, dist)), V::MaxZeroF(V::SubF(one, V::DivF(dist, V::SetF(L.range)))));
        // A light at the vertex itself adds nothing.
        k = V::SelectF(LtF<V>(zero, dist), k, zero);
        lr = V::AddF(lr, V::MulF(V::SetF(L.r), k));
        lg = V::AddF(lg, V::MulF(V::SetF(L.g), k));
        lb = V::AddF(lb, V::MulF(V::SetF(L.b), k));
    }
    // min(255, c * l / 255) as std::min has it: NaN gives 255.
    const F c255 = V::SetF(255.0f);
    auto lit = [&](F c, F l) {
        const F x = V::DivF(V::MulF(c, l), c255);
        return V::SelectF(V::LeF(x, c255), x, c255);
    };
    b.r = lit(b.r, lr), b.g = lit(b.g, lg), b.b = lit(b.b, lb);
}

// The depth code, the projection (for every lane; only lanes with code 0
// are read), where it lies against scissor and guard band, and its snapped
// position.
template <class V>
__attribute__((always_inline)) inline void ProjectBatch(const Projection& pr, const Guard& g, VertexBatch<V>& b) {
    using F = typename V::F;
    using I = typename V::I;
    const F nearPlane = V::SetF(kNear), farPlane = V::SetF(kFar), one = V::SetF(1.0f);
    // 1 unless w >= near (so NaN gives 1), 2 if w > far.
    b.code = V::Or(Bit<V>(NotMask<V>(V::LeF(nearPlane, b.w)), 1u), Bit<V>(LtF<V>(farPlane, b.w), 2u));
    b.rhw = V::DivF(one, b.w);
    b.screenX = V::AddF(V::SetF(pr.cx), V::MulF(V::MulF(b.px, b.rhw), V::SetF(pr.hw)));
    b.screenY = V::SubF(V::SetF(pr.cy), V::MulF(V::MulF(b.py, b.rhw), V::SetF(pr.hh)));
    b.depth = V::MulF(V::SetF(kFar / (kFar - kNear)), V::SubF(one, V::MulF(nearPlane, b.rhw)));
    const F sx = b.screenX, sy = b.screenY;
    I out = V::Or(V::Or(Bit<V>(LtF<V>(sx, V::SetF(float(g.clipX0))), kOutLeft),
                        Bit<V>(LtF<V>(sy, V::SetF(float(g.clipY0))), kOutTop)),
                  V::Or(Bit<V>(LtF<V>(V::SetF(float(g.clipX1)), sx), kOutRight),
                        Bit<V>(LtF<V>(V::SetF(float(g.clipY1)), sy), kOutBottom)));
    out = V::Or(out, V::Or(V::Or(Bit<V>(LtF<V>(sx, V::SetF(g.x0)), 4u), Bit<V>(LtF<V>(sy, V::SetF(g.y0)), 8u)),
                           V::Or(Bit<V>(LtF<V>(V::SetF(g.x1), sx), 64u), Bit<V>(LtF<V>(V::SetF(g.y1), sy), 128u))));
    // Infinities and NaN give NaN times zero, which is not equal to itself.
    const F zx = V::MulF(sx, V::SetF(0.0f)), zy = V::MulF(sy, V::SetF(0.0f));
    b.out = V::Or(out, Bit<V>(NotMask<V>(V::And(V::LeF(zx, zx), V::LeF(zy, zy))), kOutNotFinite));
    const F sub = V::SetF(float(kSubUnit));
    b.fx = V::Round(V::MulF(sx, sub));
    b.fy = V::Round(V::MulF(sy, sub));
}

// The batch into the clip vertices, field by field.
template <class V>
__attribute__((always_inline)) inline void StoreBatch(const VertexBatch<V>& b, ClipVertex* out) {
    constexpr int kLanes = V::kLanes;
    enum { aX, aY, aW, aU, aV, aR, aG, aB, aSx, aSy, aDepth, aRhw, aFields };
    alignas(32) float f[aFields][kLanes];
    alignas(32) uint32_t code[kLanes], out0[kLanes];
    alignas(32) int32_t fx[kLanes], fy[kLanes];
    const typename V::F values[aFields] = {b.px, b.py, b.w,       b.u,       b.v,     b.r,
                                           b.g,  b.b,  b.screenX, b.screenY, b.depth, b.rhw};
    for (int k = 0; k < aFields; ++k) V::StoreF(f[k], values[k]);
    V::Store(code, b.code);
    V::Store(out0, b.out);
    V::Store(fx, b.fx);
    V::Store(fy, b.fy);
    for (int k = 0; k < kLanes; ++k) {
        ClipVertex& c = out[k];
        c.x = f[aX][k], c.y = f[aY][k], c.w = f[aW][k];
        c.u = f[aU][k], c.v = f[aV][k], c.r = f[aR][k], c.g = f[aG][k], c.b = f[aB][k];
        c.code = code[k];
        const float rhw = f[aRhw][k];
        c.s.x = f[aSx][k], c.s.y = f[aSy][k];
        c.s.a[kZ] = f[aDepth][k];
        c.s.a[kRhw] = rhw;
        c.s.a[kU] = c.u * rhw, c.s.a[kV] = c.v * rhw;
        c.s.a[kR] = c.r * rhw, c.s.a[kG] = c.g * rhw, c.s.a[kB] = c.b * rhw;
        c.fx = fx[k], c.fy = fy[k], c.out = out0[k];
        std::memset(c.pad, 0, sizeof c.pad);
    }
}

// The whole batches of `count` vertices; returns how many it did (a
// multiple of the lanes), leaving the rest to the scalar loop.
template <class V>
int TransformVertices(const MeshVertex* vertices, int count, const Mat4& mat, const Projection& pr, const Guard& g,
                      const VertexShading& shading, ClipVertex* out) {
    const float half = 0.5f;
    int i = 0;
    for (; i + V::kLanes <= count; i += V::kLanes) {
        VertexBatch<V> b;
        LoadBatch(vertices + i, b);
        b.px = V::MulF(Row(b, mat.m, 0), V::SetF(pr.sx));
        b.py = V::MulF(Row(b, mat.m, 1), V::SetF(pr.sy));
        b.w = Row(b, mat.m, 2);
        const typename V::I byte = V::SetI(0xFF);
        b.r = V::ToF(V::And(V::ShrU32(b.color, 16), byte));
        b.g = V::ToF(V::And(V::ShrU32(b.color, 8), byte));
        b.b = V::ToF(V::And(b.color, byte));
        if (shading.lightN) LightBatch(shading, b);
        if (shading.envN) {
            typename V::F ex, ey, ez;
            UnitNormal(shading.envN, b, ex, ey, ez);
            b.u = V::AddF(V::SetF(half), V::MulF(V::SetF(half), ex));
            b.v = V::SubF(V::SetF(half), V::MulF(V::SetF(half), ey));
        }
        ProjectBatch(pr, g, b);
        StoreBatch(b, out + i);
    }
    return i;
}

}   // namespace
}   // namespace qor::render
