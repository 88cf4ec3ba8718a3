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
Mat4 Multiply(const Mat4& a, const Mat4& b);   // a first, then b
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
void DrawScreen(const ScreenVertex* vertices, int count, int kind, const Viewport& viewport,
                uint32_t state, bool wrapping);

// Queues a clear of the whole display.
void ClearRows(int height, bool color, uint32_t argb, bool depth);

}  // namespace qor::render
