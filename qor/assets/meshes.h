// Engine-owned mesh storage shared by both engines (the real renderer and the
// call recorder). Every load gives a separate copy; memory is bounded.
#pragma once

#include <cstdint>
#include <string>

#include "engine/records.h"

namespace qor {

// Loads "name" from the data folder into a new engine-owned copy. A missing or
// bad file, or a load past the memory budget, prints one line on stderr and
// gives an empty mesh (objects == nullptr, objectCount == 0). Never fails hard.
MeshHandle LoadMeshCopy(const char* name);

// The triangle list of an object, found from its engine words: indices into
// its vertex array, three a triangle. count is 0 for an unknown object.
struct TriangleList {
    const uint32_t* indices;
    uint32_t count;
};
TriangleList MeshTriangles(const MeshObject& object);

// The same list for drawing, cut to what is left of this frame's triangle
// budget (kMeshFrameTriangles), which it then uses; the first cut of the run
// says so in one line. StartMeshFrame gives the budget back (each EndScene).
TriangleList MeshTrianglesToDraw(const MeshObject& object);
void StartMeshFrame();
// Mesh triangles drawn in one frame, all meshes together: the demo's frames
// draw at most about 12,000.
inline constexpr uint32_t kMeshFrameTriangles = 1u << 20;
// Triangles of one mesh file; a larger one is refused before it is read.
inline constexpr uint64_t kMeshFileTriangles = 1u << 20;

// Number of meshes loaded so far (the last meshId handed out).
uint32_t LoadedMeshCount();

// Total bytes of meshes that may be held (each file's vertices and triangle
// lists once, and every copy's vertices); loads beyond it give empty meshes.
inline constexpr uint64_t kMeshMemoryBudget = 512ull << 20;
void SetMeshMemoryBudget(uint64_t bytes);   // for tests

}   // namespace qor
