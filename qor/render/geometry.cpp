// The geometry stage. Runs on the caller's thread at draw time, so the demo may
// rewrite a vertex array right after a draw call: what was drawn is already
// transformed and queued.
#include "render/geometry.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "render/simd.h"

#include "render/raster_setup.h"

namespace qor::render {

// >> matrices

Mat4 Identity() { return Mat4{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}; }

Mat4 Multiply(const Mat4& a, const Mat4& b) {
    Mat4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[4 * i + j] = a.m[4 * i] * b.m[j] + a.m[4 * i + 1] * b.m[4 + j] + a.m[4 * i + 2] * b.m[8 + j] +
                             a.m[4 * i + 3] * b.m[12 + j];
    return r;
}

Mat4 RotationMatrix(float x, float y, float z) {
    const float cz = std::cos(z), sz = std::sin(z);
    const float cx = std::cos(x), sx = std::sin(x);
    const float cy = std::cos(y), sy = std::sin(y);
    const Mat4 rz{{cz, sz, 0, 0, -sz, cz, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
    const Mat4 rx{{1, 0, 0, 0, 0, cx, sx, 0, 0, -sx, cx, 0, 0, 0, 0, 1}};
    const Mat4 ry{{cy, 0, -sy, 0, 0, 1, 0, 0, sy, 0, cy, 0, 0, 0, 0, 1}};
    return Multiply(Multiply(rz, rx), ry);
}

Mat4 ScaleMatrix(float x, float y, float z) { return Mat4{{x, 0, 0, 0, 0, y, 0, 0, 0, 0, z, 0, 0, 0, 0, 1}}; }

Mat4 TranslationMatrix(float x, float y, float z) { return Mat4{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1}}; }

namespace {

struct V3 {
    float x, y, z;
};
inline V3 Sub(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline V3 Cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline float Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline float Length(V3 a) { return std::sqrt(Dot(a, a)); }
inline V3 Scaled(V3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }

}   // namespace

Mat4 LookAt(const float eyeIn[3], const float targetIn[3]) {
    const V3 eye{eyeIn[0], eyeIn[1], eyeIn[2]};
    V3 z = Sub(V3{targetIn[0], targetIn[1], targetIn[2]}, eye);
    float len = Length(z);
    z = len > 1e-20f && std::isfinite(len) ? Scaled(z, 1.0f / len) : V3{0, 0, 1};
    V3 x = Cross(V3{0, 1, 0}, z);
    len = Length(x);
    if (len < 1e-6f) {
        x = V3{1, 0, 0};   // looking straight up or down: keep +x to the right
    } else {
        x = Scaled(x, 1.0f / len);
    }
    const V3 y = Cross(z, x);
    return Mat4{{x.x, y.x, z.x, 0, x.y, y.y, z.y, 0, x.z, y.z, z.z, 0, -Dot(x, eye), -Dot(y, eye), -Dot(z, eye), 1}};
}

namespace {

// >> screen stage

constexpr float kGuardPixels = 32.0f;

Guard MakeGuard(const Viewport& vp) {
    return Guard{float(vp.clipX0) - kGuardPixels,
                 float(vp.clipY0) - kGuardPixels,
                 float(vp.clipX1) + kGuardPixels,
                 float(vp.clipY1) + kGuardPixels,
                 vp.clipX0,
                 vp.clipY0,
                 vp.clipX1,
                 vp.clipY1};
}

// The point where the edge from `in` (inside) to `out` crosses a plane, given
// their signed distances. Always interpolated from the inside corner, so a
// shared edge is cut at the same point by both of its triangles.
inline ScreenCorner Cut(const ScreenCorner& in, const ScreenCorner& out, float dIn, float dOut) {
    const float t = dIn / (dIn - dOut);
    ScreenCorner r;
    r.x = in.x + (out.x - in.x) * t;
    r.y = in.y + (out.y - in.y) * t;
    for (int k = 0; k < kAttrCount; ++k) r.a[k] = in.a[k] + (out.a[k] - in.a[k]) * t;
    return r;
}

// Sutherland-Hodgman against one screen line: keep where sign * (coord - bound) <= 0.
int ClipScreen(const ScreenCorner* src, int n, ScreenCorner* dst, bool useY, float bound, float sign) {
    int m = 0;
    for (int i = 0; i < n; ++i) {
        const ScreenCorner& a = src[i];
        const ScreenCorner& b = src[(i + 1) % n];
        const float da = sign * ((useY ? a.y : a.x) - bound);
        const float db = sign * ((useY ? b.y : b.x) - bound);
        const bool ina = da <= 0, inb = db <= 0;
        if (ina) dst[m++] = a;
        if (ina != inb) dst[m++] = ina ? Cut(a, b, -da, -db) : Cut(b, a, -db, -da);
    }
    return m;
}

// How the Emit* functions queue the triangles of one draw.
struct EmitOptions {
    uint32_t state;   // the draw's queued state (QueueState)
    bool cull;        // drop triangles that wind counter-clockwise on screen
    bool flat;        // one colour for every corner: flatColor (r, g, b)
    float flatColor[3];
};

// A triangle whose corners are snapped to x, y (28.4 fixed point): culled,
// boxed, set up and queued.
void EmitSnapped(const ScreenCorner* p0, const ScreenCorner* p1, const ScreenCorner* p2, const int32_t sx[3],
                 const int32_t sy[3], const Guard& g, const EmitOptions& e) {
    const ScreenCorner* p[3] = {p0, p1, p2};
    int32_t x[3] = {sx[0], sx[1], sx[2]}, y[3] = {sy[0], sy[1], sy[2]};
    const int64_t area = int64_t(x[1] - x[0]) * (y[2] - y[0]) - int64_t(x[2] - x[0]) * (y[1] - y[0]);
    if (area == 0) return;
    if (area < 0) {
        if (e.cull) return;   // counter-clockwise on screen: a back face
        std::swap(p[1], p[2]);
        std::swap(x[1], x[2]);
        std::swap(y[1], y[2]);
    }
    const int32_t minx = std::min({x[0], x[1], x[2]}), maxx = std::max({x[0], x[1], x[2]});
    const int32_t miny = std::min({y[0], y[1], y[2]}), maxy = std::max({y[0], y[1], y[2]});
    // Pixels whose centres (16 i + 8) lie in the box.
    const int x0 = std::max(g.clipX0, (minx - kSubUnit / 2 + kSubUnit - 1) >> kSubBits);
    const int x1 = std::min(g.clipX1 - 1, (maxx - kSubUnit / 2) >> kSubBits);
    const int y0 = std::max(g.clipY0, (miny - kSubUnit / 2 + kSubUnit - 1) >> kSubBits);
    const int y1 = std::min(g.clipY1 - 1, (maxy - kSubUnit / 2) >> kSubBits);
    if (x0 > x1 || y0 > y1) return;
    Tri t;
    t.minX = int16_t(x0), t.maxX = int16_t(x1), t.minY = int16_t(y0), t.maxY = int16_t(y1);
    t.state = e.state;
    t.flags = 0;
    // Attributes per corner; with one rhw for all three corners the triangle
    // is affine and they are divided back.
    float a[3][kAttrSlots];
    const bool affine = p[0]->a[kRhw] == p[1]->a[kRhw] && p[0]->a[kRhw] == p[2]->a[kRhw];
    for (int i = 0; i < 3; ++i) {
        const float inv = affine ? 1.0f / p[i]->a[kRhw] : 1.0f;
        a[i][kZ] = p[i]->a[kZ];
        a[i][kRhw] = p[i]->a[kRhw];
        for (int k = kU; k < kAttrCount; ++k) a[i][k] = affine ? p[i]->a[k] * inv : p[i]->a[k];
        for (int k = kAttrCount; k < kAttrSlots; ++k) a[i][k] = 0.0f;
        if (e.flat) a[i][kR] = e.flatColor[0], a[i][kG] = e.flatColor[1], a[i][kB] = e.flatColor[2];
    }
    if (!affine) t.flags |= kPerspective;
    if (e.flat) t.flags |= kFlatColor;
    MakeTri(t, x, y, a);
    QueueTri(t);
}

void EmitTri(const ScreenCorner& p0, const ScreenCorner& p1, const ScreenCorner& p2, const Guard& g,
             const EmitOptions& e) {
    const ScreenCorner* p[3] = {&p0, &p1, &p2};
    int32_t x[3], y[3];
    for (int i = 0; i < 3; ++i) {
        x[i] = int32_t(std::lrintf(p[i]->x * kSubUnit));
        y[i] = int32_t(std::lrintf(p[i]->y * kSubUnit));
    }
    EmitSnapped(p[0], p[1], p[2], x, y, g, e);
}

// A convex polygon of n corners in screen space: guard-band clip, then a fan.
void EmitPolygon(ScreenCorner* poly, int n, const Guard& g, const EmitOptions& e) {
    float minx = poly[0].x, maxx = poly[0].x, miny = poly[0].y, maxy = poly[0].y;
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(poly[i].x) || !std::isfinite(poly[i].y)) return;
        minx = std::min(minx, poly[i].x), maxx = std::max(maxx, poly[i].x);
        miny = std::min(miny, poly[i].y), maxy = std::max(maxy, poly[i].y);
    }
    if (maxx < float(g.clipX0) || minx > float(g.clipX1) || maxy < float(g.clipY0) || miny > float(g.clipY1)) return;
    ScreenCorner bufA[16], bufB[16];
    ScreenCorner* cur = poly;
    if (minx < g.x0 || maxx > g.x1 || miny < g.y0 || maxy > g.y1) {
        n = ClipScreen(cur, n, bufA, false, g.x0, -1.0f);
        n = ClipScreen(bufA, n, bufB, false, g.x1, 1.0f);
        n = ClipScreen(bufB, n, bufA, true, g.y0, -1.0f);
        n = ClipScreen(bufA, n, bufB, true, g.y1, 1.0f);
        cur = bufB;
    }
    for (int i = 1; i + 1 < n; ++i) EmitTri(cur[0], cur[i], cur[i + 1], g, e);
}

inline void WrapShortWay(float& a1, float a0) { a1 -= std::nearbyint(a1 - a0); }

// >> mesh stage

inline uint32_t OutCode(float x, float y, const Guard& g) {
#if TEQ_X86
    const __m128 p = _mm_setr_ps(x, y, x, y);
    const __m128 lo = _mm_setr_ps(float(g.clipX0), float(g.clipY0), g.x0, g.y0);
    const __m128 hi = _mm_setr_ps(float(g.clipX1), float(g.clipY1), g.x1, g.y1);
    // Infinities and NaN give NaN times zero.
    const __m128 zero = _mm_mul_ps(p, _mm_setzero_ps());
    return uint32_t(_mm_movemask_ps(_mm_cmplt_ps(p, lo))) | uint32_t(_mm_movemask_ps(_mm_cmpgt_ps(p, hi))) << 4 |
           (_mm_movemask_ps(_mm_cmpunord_ps(zero, zero)) ? kOutNotFinite : 0u);
#else
    const float p[4] = {x, y, x, y};
    const float lo[4] = {float(g.clipX0), float(g.clipY0), g.x0, g.y0};
    const float hi[4] = {float(g.clipX1), float(g.clipY1), g.x1, g.y1};
    uint32_t code = std::isfinite(x) && std::isfinite(y) ? 0u : kOutNotFinite;
    for (int k = 0; k < 4; ++k) code |= uint32_t(p[k] < lo[k]) << k | uint32_t(p[k] > hi[k]) << (k + 4);
    return code;
#endif
}

inline void Project(ClipVertex& c, const Projection& pr) {
    const float rhw = 1.0f / c.w;
    c.s.x = pr.cx + c.x * rhw * pr.hw;
    c.s.y = pr.cy - c.y * rhw * pr.hh;
    c.s.a[kZ] = kFar / (kFar - kNear) * (1.0f - kNear * rhw);
    c.s.a[kRhw] = rhw;
    c.s.a[kU] = c.u * rhw;
    c.s.a[kV] = c.v * rhw;
    c.s.a[kR] = c.r * rhw;
    c.s.a[kG] = c.g * rhw;
    c.s.a[kB] = c.b * rhw;
}

// ClipVertex::code of camera depth w: 1 before the near plane (or not a number), 2 beyond the far plane.
inline uint32_t DepthCode(float w) { return (w >= kNear ? 0u : 1u) | (w > kFar ? 2u : 0u); }

ClipVertex CutClip(const ClipVertex& in, const ClipVertex& out, float dIn, float dOut) {
    const float t = dIn / (dIn - dOut);
    ClipVertex r;
    r.x = in.x + (out.x - in.x) * t;
    r.y = in.y + (out.y - in.y) * t;
    r.w = in.w + (out.w - in.w) * t;
    r.u = in.u + (out.u - in.u) * t;
    r.v = in.v + (out.v - in.v) * t;
    r.r = in.r + (out.r - in.r) * t;
    r.g = in.g + (out.g - in.g) * t;
    r.b = in.b + (out.b - in.b) * t;
    r.code = 0;
    return r;
}

// Keeps sign * (w - bound) <= 0.
int ClipW(const ClipVertex* src, int n, ClipVertex* dst, float bound, float sign) {
    int m = 0;
    for (int i = 0; i < n; ++i) {
        const ClipVertex& a = src[i];
        const ClipVertex& b = src[(i + 1) % n];
        const float da = sign * (a.w - bound), db = sign * (b.w - bound);
        const bool ina = da <= 0, inb = db <= 0;
        if (ina) dst[m++] = a;
        if (ina != inb) dst[m++] = ina ? CutClip(a, b, -da, -db) : CutClip(b, a, -db, -da);
    }
    return m;
}

// Cofactor rows of the upper 3x3 of m, signed by its determinant: the matrix
// that carries normals (up to length).
void NormalMatrix(const Mat4& m, float out[9]) {
    const V3 a0{m.m[0], m.m[1], m.m[2]}, a1{m.m[4], m.m[5], m.m[6]}, a2{m.m[8], m.m[9], m.m[10]};
    V3 c0 = Cross(a1, a2), c1 = Cross(a2, a0), c2 = Cross(a0, a1);
    if (Dot(a0, c0) < 0) c0 = Scaled(c0, -1), c1 = Scaled(c1, -1), c2 = Scaled(c2, -1);
    const float r[9] = {c0.x, c0.y, c0.z, c1.x, c1.y, c1.z, c2.x, c2.y, c2.z};
    std::memcpy(out, r, sizeof r);
}

inline V3 MulNormal(const float n[9], float x, float y, float z) {
    return {x * n[0] + y * n[3] + z * n[6], x * n[1] + y * n[4] + z * n[7], x * n[2] + y * n[5] + z * n[8]};
}

std::vector<ClipVertex> gScratch;

}   // namespace

namespace {

// The viewport's projection: vertical field of view kFovY, the viewport's aspect.
Projection MakeProjection(const Viewport& vp) {
    Projection pr;
    pr.sy = 1.0f / std::tan(kFovY * 0.5f);
    pr.sx = pr.sy * float(vp.height) / float(vp.width);
    pr.hw = vp.width * 0.5f;
    pr.hh = vp.height * 0.5f;
    pr.cx = vp.x + pr.hw;
    pr.cy = vp.y + pr.hh;
    return pr;
}

// What the vertex stage needs besides the vertices: the model-view matrix, the
// normal matrices and the enabled lights.
struct VertexStage {
    const MeshDraw* d;
    Mat4 mv;
    Projection pr;
    Guard guard;
    float envN[9], lightN[9];
    const Light* lights[kMaxLights];
    int lightCount = 0;
};

// One vertex: camera space, colour (lit or the material's), texture
// coordinates (sphere-mapped or the vertex's), and its screen position when
// it lies between the near and far planes.
void ShadeVertex(const VertexStage& st, const MeshVertex& v, ClipVertex& c) {
    const MeshDraw& d = *st.d;
    const float* m = st.mv.m;
    const float cxm = v.x * m[0] + v.y * m[4] + v.z * m[8] + m[12];
    const float cym = v.x * m[1] + v.y * m[5] + v.z * m[9] + m[13];
    const float czm = v.x * m[2] + v.y * m[6] + v.z * m[10] + m[14];
    c.x = cxm * st.pr.sx;
    c.y = cym * st.pr.sy;
    c.w = czm;
    float r = float((v.color >> 16) & 0xFF), g = float((v.color >> 8) & 0xFF), b = float(v.color & 0xFF);
    if (d.lighting) {   // no ambient term: without lights the vertex is black
        const float* o = d.object.m;
        const V3 wp{v.x * o[0] + v.y * o[4] + v.z * o[8] + o[12], v.x * o[1] + v.y * o[5] + v.z * o[9] + o[13],
                    v.x * o[2] + v.y * o[6] + v.z * o[10] + o[14]};
        V3 n = MulNormal(st.lightN, v.nx, v.ny, v.nz);
        const float nl = Length(n);
        n = nl > 0 ? Scaled(n, 1.0f / nl) : n;
        float lr = 0, lg = 0, lb = 0;
        for (int l = 0; l < st.lightCount; ++l) {
            const Light& L = *st.lights[l];
            const V3 dir = Sub(V3{L.x, L.y, L.z}, wp);
            const float dist = Length(dir);
            if (!(dist > 0) || !(L.range > 0)) continue;
            const float k = std::max(0.0f, Dot(n, dir) / dist) * std::max(0.0f, 1.0f - dist / L.range);
            lr += L.r * k, lg += L.g * k, lb += L.b * k;
        }
        r = std::min(255.0f, r * lr / 255.0f);
        g = std::min(255.0f, g * lg / 255.0f);
        b = std::min(255.0f, b * lb / 255.0f);
    }
    c.r = r, c.g = g, c.b = b;
    if (d.envMap) {
        V3 n = MulNormal(st.envN, v.nx, v.ny, v.nz);
        const float nl = Length(n);
        n = nl > 0 ? Scaled(n, 1.0f / nl) : n;
        c.u = 0.5f + 0.5f * n.x;
        c.v = 0.5f - 0.5f * n.y;
    } else {
        c.u = v.u;
        c.v = v.v;
    }
    c.code = DepthCode(c.w);
    if (c.code == 0) {
        Project(c, st.pr);
        c.out = OutCode(c.s.x, c.s.y, st.guard);
        c.fx = int32_t(std::lrintf(c.s.x * kSubUnit));
        c.fy = int32_t(std::lrintf(c.s.y * kSubUnit));
    }
}

// The vertex stage: every vertex once (the triangles share them), a batch at
// a time on the pixel loop's vector instructions, the rest one by one.
void ShadeVertices(const VertexStage& st, const MeshVertex* vertices, int count, ClipVertex* cv) {
    int first = 0;
    if (QueueSimd()) {
        VertexShading shading;
        if (st.d->envMap) shading.envN = st.envN;
        if (st.d->lighting) shading.lightN = st.lightN, shading.object = &st.d->object, shading.lights = st.lights;
        shading.lightCount = st.lightCount;
        first = TransformVerticesSimd(vertices, count, st.mv, st.pr, st.guard, shading, cv);
    }
    for (int i = first; i < count; ++i) ShadeVertex(st, vertices[i], cv[i]);
}

// The triangle stage: each indexed triangle culled, clipped and emitted.
// Triangles wholly between the near and far planes take a quick way that
// does what EmitPolygon would, from the corners' codes.
void DrawTriangles(const VertexStage& st, const ClipVertex* cv, int count, const uint32_t* indices,
                   uint32_t indexCount) {
    const MeshDraw& d = *st.d;
    const Guard& guard = st.guard;
    EmitOptions e{d.state, true, false, {0, 0, 0}};
    const bool wrap = d.wrapping && !d.envMap;
    for (uint32_t t = 0; t + 2 < indexCount; t += 3) {
        const uint32_t i0 = indices[t], i1 = indices[t + 1], i2 = indices[t + 2];
        if (i0 >= uint32_t(count) || i1 >= uint32_t(count) || i2 >= uint32_t(count)) continue;
        const ClipVertex* c[3] = {&cv[i0], &cv[i1], &cv[i2]};
        if (c[0]->code & c[1]->code & c[2]->code) continue;
        auto flat = [&] {
            e.flat = c[0]->r == c[1]->r && c[0]->r == c[2]->r && c[0]->g == c[1]->g && c[0]->g == c[2]->g &&
                     c[0]->b == c[1]->b && c[0]->b == c[2]->b;
            if (e.flat) e.flatColor[0] = c[0]->r, e.flatColor[1] = c[0]->g, e.flatColor[2] = c[0]->b;
        };
        if ((c[0]->code | c[1]->code | c[2]->code) == 0 && !wrap) {
            // Quick back-face test before the fixed-point one.
            const float ax = c[1]->s.x - c[0]->s.x, ay = c[1]->s.y - c[0]->s.y;
            const float bx = c[2]->s.x - c[0]->s.x, by = c[2]->s.y - c[0]->s.y;
            if (ax * by - bx * ay < -1e-3f) continue;
            // Drop corners that are not numbers or lie all beyond one side of
            // the scissor, clip what leaves the guard band, snap the rest directly.
            const uint32_t any = c[0]->out | c[1]->out | c[2]->out;
            if (any & kOutNotFinite) continue;
            if (c[0]->out & c[1]->out & c[2]->out & kOutSides) continue;
            flat();
            if (any & kOutGuard) {
                ScreenCorner poly[3] = {c[0]->s, c[1]->s, c[2]->s};
                EmitPolygon(poly, 3, guard, e);
            } else {
                const int32_t x[3] = {c[0]->fx, c[1]->fx, c[2]->fx}, y[3] = {c[0]->fy, c[1]->fy, c[2]->fy};
                EmitSnapped(&c[0]->s, &c[1]->s, &c[2]->s, x, y, guard, e);
            }
            continue;
        }
        flat();
        ClipVertex in[3] = {*c[0], *c[1], *c[2]};
        if (wrap) {
            WrapShortWay(in[1].u, in[0].u), WrapShortWay(in[2].u, in[0].u);
            WrapShortWay(in[1].v, in[0].v), WrapShortWay(in[2].v, in[0].v);
        }
        ClipVertex bufA[8], bufB[8];
        int n = 3;
        const ClipVertex* cur = in;
        if ((c[0]->code | c[1]->code | c[2]->code) & 1) {
            n = ClipW(cur, n, bufA, kNear, -1.0f);
            cur = bufA;
        }
        if ((c[0]->code | c[1]->code | c[2]->code) & 2) {
            n = ClipW(cur, n, bufB, kFar, 1.0f);
            cur = bufB;
        }
        if (n < 3) continue;
        ScreenCorner poly[8];
        for (int i = 0; i < n; ++i) {
            ClipVertex p = cur[i];
            Project(p, st.pr);
            poly[i] = p.s;
        }
        EmitPolygon(poly, n, guard, e);
    }
}

}   // namespace

void DrawMesh(const MeshDraw& d, const MeshVertex* vertices, int count, const uint32_t* indices, uint32_t indexCount) {
    if (!vertices || count <= 0 || !indices || indexCount < 3) return;
    const Viewport& vp = d.viewport;
    if (vp.width <= 0 || vp.height <= 0 || vp.clipX0 >= vp.clipX1 || vp.clipY0 >= vp.clipY1) return;
    VertexStage st;
    st.d = &d;
    st.mv = Multiply(d.object, d.view);
    st.pr = MakeProjection(vp);
    st.guard = MakeGuard(vp);
    if (d.envMap) NormalMatrix(st.mv, st.envN);
    if (d.lighting) {
        NormalMatrix(d.object, st.lightN);
        for (int i = 0; i < kMaxLights; ++i)
            if (d.lights[i].enabled) st.lights[st.lightCount++] = &d.lights[i];
    }

    // Only vertices that an index reaches are read: the demo may pass a vertex
    // count larger than the array it rewrote, but the engine's own indices
    // never exceed the real array.
    uint32_t highest = 0;
    for (uint32_t t = 0; t < indexCount; ++t) highest = std::max(highest, indices[t]);
    count = int(std::min<uint32_t>(uint32_t(count), highest + 1));
    if (gScratch.size() < size_t(count)) gScratch.resize(size_t(count));
    ShadeVertices(st, vertices, count, gScratch.data());
    DrawTriangles(st, gScratch.data(), count, indices, indexCount);
}

void DrawScreen(const ScreenVertex* vertices, int count, int kind, const Viewport& vp, uint32_t state, bool wrapping,
                float scale) {
    if (!vertices || count <= 0 || (kind != 0 && kind != 1)) return;
    if (vp.clipX0 >= vp.clipX1 || vp.clipY0 >= vp.clipY1) return;
    const Guard guard = MakeGuard(vp);
    EmitOptions e{state, false, false, {0, 0, 0}};
    auto corner = [scale](const ScreenVertex& v, float u, float vv) {
        ScreenCorner s;
        const float rhw = v.rhw > 0 && std::isfinite(v.rhw) ? v.rhw : 1.0f;
        s.x = v.x * scale;
        s.y = v.y * scale;
        s.a[kZ] = v.z;
        s.a[kRhw] = rhw;
        s.a[kU] = u * rhw;
        s.a[kV] = vv * rhw;
        s.a[kR] = float((v.color >> 16) & 0xFF) * rhw;
        s.a[kG] = float((v.color >> 8) & 0xFF) * rhw;
        s.a[kB] = float(v.color & 0xFF) * rhw;
        return s;
    };
    for (int t = 0; t < count; ++t) {
        const ScreenVertex* v[3];
        if (kind == 0) {
            v[0] = &vertices[3 * size_t(t)], v[1] = v[0] + 1, v[2] = v[0] + 2;
        } else {
            v[0] = &vertices[t], v[1] = v[0] + 1, v[2] = v[0] + 2;
        }
        float u[3] = {v[0]->u, v[1]->u, v[2]->u};
        float w[3] = {v[0]->v, v[1]->v, v[2]->v};
        if (wrapping) {
            WrapShortWay(u[1], u[0]), WrapShortWay(u[2], u[0]);
            WrapShortWay(w[1], w[0]), WrapShortWay(w[2], w[0]);
        }
        const uint32_t rgb0 = v[0]->color & 0xFFFFFF;
        e.flat = (v[1]->color & 0xFFFFFF) == rgb0 && (v[2]->color & 0xFFFFFF) == rgb0;
        if (e.flat) {
            e.flatColor[0] = float((rgb0 >> 16) & 0xFF);
            e.flatColor[1] = float((rgb0 >> 8) & 0xFF);
            e.flatColor[2] = float(rgb0 & 0xFF);
        }
        ScreenCorner poly[3] = {corner(*v[0], u[0], w[0]), corner(*v[1], u[1], w[1]), corner(*v[2], u[2], w[2])};
        EmitPolygon(poly, 3, guard, e);
    }
}

void ClearRows(int height, bool color, uint32_t argb, bool depth) {
    Tri t{};
    t.flags = (color ? kClearColor : 0u) | (depth ? kClearDepth : 0u);
    t.flatColor = argb;
    t.minY = 0;
    t.maxY = int16_t(height - 1);
    QueueTri(t);
}

}   // namespace qor::render
