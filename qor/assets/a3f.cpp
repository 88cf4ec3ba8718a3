// .a3f reader and writer. The reader checks every count against its limit and
// against the bytes that remain before reading, with 64-bit arithmetic, so a
// malformed file gives a message and never an overflow or an over-read.
#include "assets/a3f.h"

#include "assets/file.h"

#include <bit>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace qor {

// Vertex records are copied as they lie in the file.
static_assert(std::endian::native == std::endian::little, "the .a3f reader assumes a little-endian host");

namespace {

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;

    size_t Left() const { return size - pos; }
    uint32_t U32() {   // caller has checked Left() >= 4
        uint32_t v = uint32_t(data[pos]) | uint32_t(data[pos + 1]) << 8 |
                     uint32_t(data[pos + 2]) << 16 | uint32_t(data[pos + 3]) << 24;
        pos += 4;
        return v;
    }
};

std::string Format(const char* fmt, unsigned long long a, unsigned long long b = 0,
                   unsigned long long c = 0) {
    char buf[160];
    std::snprintf(buf, sizeof buf, fmt, a, b, c);
    return buf;
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v >> 16));
    out.push_back(uint8_t(v >> 24));
}

}  // namespace

bool ParseA3f(const uint8_t* data, size_t size, A3fMesh& out, std::string& error) {
    out.objects.clear();
    Reader r{data, size};
    if (size < 8) {
        error = Format("file is too short (%llu bytes) for the header", size);
        return false;
    }
    if (std::memcmp(data, "A3F1", 4) != 0) {
        error = "wrong magic (not an A3F1 mesh)";
        return false;
    }
    r.pos = 4;
    const uint32_t objectCount = r.U32();
    if (objectCount < 1 || objectCount > kA3fMaxObjects) {
        error = Format("object count %llu is out of range 1..%llu", objectCount, kA3fMaxObjects);
        return false;
    }
    std::vector<A3fObject> objects(objectCount);
    for (uint32_t i = 0; i < objectCount; ++i) {
        if (r.Left() < 8) {
            error = Format("object %llu: counts run past the end of the file", i);
            return false;
        }
        const uint32_t vertexCount = r.U32();
        const uint32_t indexCount = r.U32();
        if (vertexCount > kA3fMaxVertices) {
            error = Format("object %llu: vertex count %llu is out of range 0..%llu", i,
                           vertexCount, kA3fMaxVertices);
            return false;
        }
        if (indexCount > kA3fMaxIndices || indexCount % 3 != 0) {
            error = Format("object %llu: index count %llu is not a multiple of 3 in 0..%llu", i,
                           indexCount, kA3fMaxIndices);
            return false;
        }
        if (indexCount == 0 && vertexCount % 3 != 0) {
            error = Format("object %llu: %llu vertices without indices is not whole triangles",
                           i, vertexCount);
            return false;
        }
        const uint64_t need = uint64_t(vertexCount) * sizeof(MeshVertex) + uint64_t(indexCount) * 4;
        if (need > r.Left()) {
            error = Format("object %llu: %llu bytes of data run past the end of the file", i, need);
            return false;
        }
        A3fObject& o = objects[i];
        o.vertices.resize(vertexCount);
        if (vertexCount) std::memcpy(o.vertices.data(), data + r.pos, vertexCount * sizeof(MeshVertex));
        r.pos += vertexCount * sizeof(MeshVertex);
        o.indices.resize(indexCount);
        for (uint32_t k = 0; k < indexCount; ++k) {
            const uint32_t index = r.U32();
            if (index >= vertexCount) {
                error = Format("object %llu: index %llu (%llu) is out of range", i, k, index);
                return false;
            }
            o.indices[k] = index;
        }
    }
    if (r.Left() != 0) {
        error = Format("%llu trailing bytes after the last object", r.Left());
        return false;
    }
    out.objects = std::move(objects);
    return true;
}

bool ReadA3fFile(const std::string& path, A3fMesh& out, std::string& error) {
    std::vector<uint8_t> bytes;
    std::string fault;
    if (!ReadWholeFile(path, kA3fMaxFileBytes, bytes, fault) || !ParseA3f(bytes.data(), bytes.size(), out, fault)) {
        error = path + ": " + fault;
        return false;
    }
    return true;
}

std::vector<uint8_t> WriteA3f(const A3fMesh& mesh) {
    std::vector<uint8_t> out{'A', '3', 'F', '1'};
    PutU32(out, uint32_t(mesh.objects.size()));
    for (const A3fObject& o : mesh.objects) {
        PutU32(out, uint32_t(o.vertices.size()));
        PutU32(out, uint32_t(o.indices.size()));
        const size_t at = out.size();
        out.resize(at + o.vertices.size() * sizeof(MeshVertex));
        if (!o.vertices.empty()) std::memcpy(out.data() + at, o.vertices.data(), o.vertices.size() * sizeof(MeshVertex));
        for (uint32_t index : o.indices) PutU32(out, index);
    }
    return out;
}

bool WriteA3fFile(const std::string& path, const A3fMesh& mesh, std::string& error) {
    const std::vector<uint8_t> bytes = WriteA3f(mesh);
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    if (!f || !f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()))) {
        error = path + ": cannot write file";
        return false;
    }
    return true;
}

}  // namespace qor
