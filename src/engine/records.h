// Records that cross between the demo and the engine: screen-space vertices,
// mesh vertices and the mesh handles that LoadMesh returns.
// All fields are 32 bits, little-endian, packed; pointer fields are pointer-sized.
#pragma once

#include <cstdint>

// A vertex already in screen space (whole-display pixels).
struct ScreenVertex {
    float x;          // 0..320
    float y;          // 0..240; v = 0 goes with y = 0
    float z;          // depth (the demo writes 1.0)
    float rhw;        // reciprocal homogeneous w (the demo writes 1.0)
    uint32_t color;   // ARGB, alpha in bits 24-31
    float u;
    float v;
};
static_assert(sizeof(ScreenVertex) == 28, "ScreenVertex must stay 28 bytes");

// Four vertices of an axis-aligned rectangle in triangle-strip order:
// top-left, top-right, bottom-left, bottom-right. Drawn with RenderSV(quad, 2, 1).
using ScreenQuad = ScreenVertex[4];

// A vertex of a loaded mesh, in model space.
struct MeshVertex {
    float x, y, z;
    float nx, ny, nz;   // unit normal as loaded
    uint32_t color;     // ARGB
    float u, v;
};
static_assert(sizeof(MeshVertex) == 36, "MeshVertex must stay 36 bytes");

// One drawable object of a loaded mesh. The vertex array is engine-owned;
// the demo may read and rewrite every vertex before a draw.
struct MeshObject {
    MeshVertex* vertices;
    int32_t vertexCount;
    uint32_t meshId;        // engine word: which LoadMesh call made it (1, 2, ...)
    uint32_t objectIndex;   // engine word: the object's place in its mesh
};

// What LoadMesh returns: the mesh's objects in file order.
struct MeshHandle {
    MeshObject* objects;
    uint32_t objectCount;   // engine word: number of objects (0 for a missing mesh)
};
