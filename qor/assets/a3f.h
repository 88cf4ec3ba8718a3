// The .a3f mesh file: reader with full validation, and writer.
//
// Little-endian, no padding:
//   "A3F1" | objectCount (1..4096) | per object: vertexCount (0..1048576),
//   indexCount (multiple of 3, 0..3145728), vertexCount x 36-byte MeshVertex,
//   indexCount x uint32 index (< vertexCount).
// indexCount 0 means the vertices are taken three by three. Nothing may follow
// the last object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/records.h"

namespace qor {

struct A3fObject {
    std::vector<MeshVertex> vertices;
    std::vector<uint32_t> indices;   // empty: vertices three by three
};

struct A3fMesh {
    std::vector<A3fObject> objects;
};

inline constexpr uint32_t kA3fMaxObjects = 4096;
inline constexpr uint32_t kA3fMaxVertices = 1048576;
inline constexpr uint32_t kA3fMaxIndices = 3145728;
// Largest file ReadA3fFile takes in (far beyond what the engine's mesh memory
// budget could hold), so a huge file is refused before it is read.
inline constexpr size_t kA3fMaxFileBytes = size_t(1) << 30;

// Memory that one object of these counts holds once read: `vertexCopies`
// copies of its vertices and its triangle list (an object without indices
// gets one index per vertex).
uint64_t A3fObjectBytes(uint32_t vertices, uint32_t indices, uint32_t vertexCopies);

// Parses a whole file image. On failure returns false and sets error to the
// fault (without the file name), e.g. "index 7 of object 0 is out of range".
bool ParseA3f(const uint8_t* data, size_t size, A3fMesh& out, std::string& error);

// What a file may cost its reader: memory (A3fObjectBytes with vertexCopies)
// and triangles, all objects together.
struct A3fLimits {
    uint64_t bytes = UINT64_MAX;
    uint32_t vertexCopies = 1;
    uint64_t triangles = UINT64_MAX;
    mutable bool exceeded = false;   // set when a file was refused for one of these
};

// Reads and parses a file object by object, straight into `out` (no copy of
// the file is held). Before anything is allocated for an object, the counts
// read so far are held against the limits and the file's size; a file beyond
// them is refused with what it would need. Running out of memory is a fault
// like any other. error is "<path>: <fault>".
bool ReadA3fFile(const std::string& path, A3fMesh& out, std::string& error, const A3fLimits& limits = {});

// Serialises a mesh. The caller keeps counts within the limits above.
std::vector<uint8_t> WriteA3f(const A3fMesh& mesh);
bool WriteA3fFile(const std::string& path, const A3fMesh& mesh, std::string& error);

}   // namespace qor
