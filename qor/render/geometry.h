// The geometry stage: from vertices to binned triangles. Matrices, camera,
// projection, lighting, environment mapping, near/far and guard-band clipping,
// culling and snapping to the sub-pixel grid.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/records.h"
#include "render/internal.h"

namespace qor::render {

// Row-major 4x4 for row vectors: p' = p * M; element (row i, column j) is m[4i + j].
struct Mat4 {
    float m[16];
};
Mat4 Identity();
Mat4 Multiply(const Mat4& a, const Mat4& b);      // a first, then b
Mat4 RotationMatrix(float x, float y, float z);   // about Z by z, then X by x, then Y by y
Mat4 ScaleMatrix(float x, float y, float z);
Mat4 TranslationMatrix(float x, float y, float z);
// Left-handed view from eye towards target, up +y (another axis when looking
// straight up or down, +z look direction when eye == target).
Mat4 LookAt(const float eye[3], const float target[3]);

inline constexpr float kNear = 1.0f;
inline constexpr float kFar = 10000.0f;
inline constexpr float kFovY = 1.04719755f;   // 60 degrees

struct Light {
    bool enabled = false;
    float x = 0, y = 0, z = 0, range = 0;
    float r = 0, g = 0, b = 0;   // 0..255
};
inline constexpr int kMaxLights = 8;

// Where a draw lands: the viewport (projection) and the scissor (viewport
// within the display).
struct Viewport {
    int x, y, width, height;
    int clipX0, clipY0, clipX1, clipY1;
};

struct MeshDraw {
    Mat4 object;
    Mat4 view;
    Viewport viewport;
    uint32_t state;   // queued DrawState index
    bool envMap;
    bool lighting;
    bool wrapping;
    const Light* lights;   // kMaxLights
};

// Draws a triangle list; indices at or above count are skipped.
void DrawMesh(const MeshDraw& draw, const MeshVertex* vertices, int count, const uint32_t* indices,
              uint32_t indexCount);

// kind 0: count triangles; kind 1: a strip of count + 2 vertices. Never culled.
// Positions are multiplied by scale (the demo's pixels to the frame buffer's).
void DrawScreen(const ScreenVertex* vertices, int count, int kind, const Viewport& viewport, uint32_t state,
                bool wrapping, float scale = 1.0f);

// Queues a clear of the whole display.
void ClearRows(int height, bool color, uint32_t argb, bool depth);

// >> inside the geometry stage

// A corner in screen space: attributes linear across the screen (texture
// coordinates and colour premultiplied by rhw).
struct ScreenCorner {
    float x, y;
    float a[kAttrCount];
};

struct Guard {
    float x0, y0, x1, y1;   // clip polygons to this before snapping
    int clipX0, clipY0, clipX1, clipY1;
};

// A transformed vertex: clip-space position (x, y scaled by the projection,
// w = camera z), raw attributes, and its projection when in front of the near plane.
struct ClipVertex {
    float x, y, w;
    float u, v, r, g, b;
    uint32_t code;   // 1: before the near plane (or not a number), 2: beyond the far plane
    ScreenCorner s;
    // With code 0: the projection snapped to 28.4 fixed point, and where it
    // lies (kOut* bits).
    int32_t fx, fy;
    uint32_t out;
    uint32_t pad[3];   // 24 words: written as three rows of eight
};
static_assert(sizeof(ClipVertex) == 96, "ClipVertex is written as three rows of eight words");

// Bits in the order of OutCode's two comparisons of (x, y, x, y).
enum OutBits : uint32_t {
    kOutLeft = 1,
    kOutTop = 2,
    kOutRight = 16,
    kOutBottom = 32,                // of the scissor
    kOutGuard = 4 | 8 | 64 | 128,   // of the guard band
    kOutSides = kOutLeft | kOutTop | kOutRight | kOutBottom,
    kOutNotFinite = 256,
};

struct Projection {
    float sx, sy;           // clip-space scale
    float cx, cy, hw, hh;   // screen centre and half size
};

// What DrawMesh's vertex loop needs beyond the matrices.
struct VertexShading {
    const float* envN = nullptr;     // environment mapping on: the normal matrix to camera space
    const float* lightN = nullptr;   // lighting on: the normal matrix to world space
    const Mat4* object = nullptr;    // with lighting: object to world
    const Light* const* lights = nullptr;
    int lightCount = 0;
};

// DrawMesh's vertex loop on the vector instructions the pixel loop uses
// (vertex_simd.h), with the scalar loop's arithmetic; m is the
// object-to-camera matrix. Returns how many vertices it did (a multiple of
// the lanes; 0 without vector instructions), leaving the rest to the caller.
int TransformVerticesSimd(const MeshVertex* vertices, int count, const Mat4& m, const Projection& pr, const Guard& g,
                          const VertexShading& shading, ClipVertex* out);

}   // namespace qor::render
