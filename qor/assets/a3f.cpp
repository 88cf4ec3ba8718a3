// .a3f reader and writer. The reader checks every count against its limit and
// against the bytes that remain before reading, with 64-bit arithmetic, so a
// malformed file gives a message and never an overflow or an over-read.
#include "assets/a3f.h"

#include "assets/file.h"

#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <new>

namespace qor {

// Vertex records are copied as they lie in the file.
static_assert(std::endian::native == std::endian::little, "the .a3f reader assumes a little-endian host");

namespace {

// Bytes from memory.
struct MemorySource {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
    bool Read(void* to, size_t n) {   // caller has checked that n bytes remain
        std::memcpy(to, data + pos, n);
        pos += n;
        return true;
    }
};

// Bytes from an open file.
struct FileSource {
    int fd;
    bool Read(void* to, size_t n) { return ReadExactly(fd, to, n); }
};

std::string Format(const char* fmt, unsigned long long a, unsigned long long b = 0, unsigned long long c = 0) {
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

uint32_t U32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The parse, from any source of `size` bytes: every count is checked against
// its limit, the bytes that remain and the memory budget before it is used.
template <typename Source>
bool Parse(Source& in, uint64_t size, A3fMesh& out, std::string& error, const A3fLimits& limits) {
    out.objects.clear();
    const auto cut = [&] {
        error = errno != 0 ? std::string("cannot read (") + std::strerror(errno) + ")" : "the file ends early";
        return false;
    };
    if (size < 8) {
        error = Format("file is too short (%llu bytes) for the header", size);
        return false;
    }
    uint8_t header[8];
    if (!in.Read(header, 8)) return cut();
    if (std::memcmp(header, "A3F1", 4) != 0) {
        error = "wrong magic (not an A3F1 mesh)";
        return false;
    }
    uint64_t left = size - 8;
    const uint32_t objectCount = U32(header + 4);
    if (objectCount < 1 || objectCount > kA3fMaxObjects) {
        error = Format("object count %llu is out of range 1..%llu", objectCount, kA3fMaxObjects);
        return false;
    }
    if (uint64_t(objectCount) * 8 > left) {
        error = Format("%llu objects' counts run past the end of the file", objectCount);
        return false;
    }
    uint64_t bytes = 0, triangles = 0;   // memory and triangles taken so far
    std::vector<A3fObject> objects(objectCount);
    for (uint32_t i = 0; i < objectCount; ++i) {
        uint8_t counts[8];
        if (left < 8) {
            error = Format("object %llu: counts run past the end of the file", i);
            return false;
        }
        if (!in.Read(counts, 8)) return cut();
        left -= 8;
        const uint32_t vertexCount = U32(counts);
        const uint32_t indexCount = U32(counts + 4);
        if (vertexCount > kA3fMaxVertices) {
            error = Format("object %llu: vertex count %llu is out of range 0..%llu", i, vertexCount, kA3fMaxVertices);
            return false;
        }
        if (indexCount > kA3fMaxIndices || indexCount % 3 != 0) {
            error = Format("object %llu: index count %llu is not a multiple of 3 in 0..%llu", i, indexCount,
                           kA3fMaxIndices);
            return false;
        }
        if (indexCount == 0 && vertexCount % 3 != 0) {
            error = Format("object %llu: %llu vertices without indices is not whole triangles", i, vertexCount);
            return false;
        }
        const uint64_t need = uint64_t(vertexCount) * sizeof(MeshVertex) + uint64_t(indexCount) * 4;
        if (need > left) {
            error = Format("object %llu: %llu bytes of data run past the end of the file", i, need);
            return false;
        }
        bytes += A3fObjectBytes(vertexCount, indexCount, limits.vertexCopies);
        if (bytes > limits.bytes) {
            error = Format(
                "not loaded: needs more than %llu MiB by object %llu, over the %llu MiB left of the mesh memory budget",
                bytes >> 20, i, limits.bytes >> 20);
            limits.exceeded = true;
            return false;
        }
        triangles += (indexCount ? indexCount : vertexCount) / 3;
        if (triangles > limits.triangles) {
            error = Format("not loaded: more than %llu triangles by object %llu, over the limit of %llu for a mesh",
                           triangles, i, limits.triangles);
            limits.exceeded = true;
            return false;
        }
        A3fObject& o = objects[i];
        o.vertices.resize(vertexCount);
        if (vertexCount && !in.Read(o.vertices.data(), vertexCount * sizeof(MeshVertex))) return cut();
        o.indices.resize(indexCount);   // little-endian as in the file
        if (indexCount && !in.Read(o.indices.data(), size_t(indexCount) * 4)) return cut();
        left -= need;
        for (uint32_t k = 0; k < indexCount; ++k) {
            if (o.indices[k] >= vertexCount) {
                error = Format("object %llu: index %llu (%llu) is out of range", i, k, o.indices[k]);
                return false;
            }
        }
    }
    if (left != 0) {
        error = Format("%llu trailing bytes after the last object", left);
        return false;
    }
    out.objects = std::move(objects);
    return true;
}

}   // namespace

uint64_t A3fObjectBytes(uint32_t vertices, uint32_t indices, uint32_t vertexCopies) {
    return uint64_t(vertices) * sizeof(MeshVertex) * vertexCopies + uint64_t(indices ? indices : vertices) * 4;
}

bool ParseA3f(const uint8_t* data, size_t size, A3fMesh& out, std::string& error) {
    MemorySource in{data, size};
    return Parse(in, size, out, error, A3fLimits{});
}

bool ReadA3fFile(const std::string& path, A3fMesh& out, std::string& error, const A3fLimits& limits) {
    out.objects.clear();
    uint64_t size = 0;
    std::string fault;
    const int fd = OpenDataFile(path, kA3fMaxFileBytes, size, fault);
    bool ok = fd >= 0;
    if (ok) {
        FileSource in{fd};
        try {
            ok = Parse(in, size, out, fault, limits);
            // Nothing more: a file that grew since its size was taken is not whole.
            uint8_t more = 0;
            if (ok && ::read(fd, &more, 1) > 0) {
                ok = false;
                fault = "the file grew while it was read";
            }
        } catch (const std::bad_alloc&) {
            ok = false;
            fault = "out of memory while reading it";
        }
        ::close(fd);
    }
    if (!ok) {
        out.objects.clear();
        out.objects.shrink_to_fit();
        error = path + ": " + fault;
    }
    return ok;
}

std::vector<uint8_t> WriteA3f(const A3fMesh& mesh) {
    std::vector<uint8_t> out{'A', '3', 'F', '1'};
    PutU32(out, uint32_t(mesh.objects.size()));
    for (const A3fObject& o : mesh.objects) {
        PutU32(out, uint32_t(o.vertices.size()));
        PutU32(out, uint32_t(o.indices.size()));
        const size_t at = out.size();
        out.resize(at + o.vertices.size() * sizeof(MeshVertex));
        if (!o.vertices.empty())
            std::memcpy(out.data() + at, o.vertices.data(), o.vertices.size() * sizeof(MeshVertex));
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

}   // namespace qor
