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

// Number of meshes loaded so far (the last meshId handed out).
uint32_t LoadedMeshCount();

// Total bytes of mesh copies that may be held; loads beyond it give empty meshes.
inline constexpr uint64_t kMeshMemoryBudget = 512ull << 20;
void SetMeshMemoryBudget(uint64_t bytes);   // for tests

}  // namespace qor
