// Mesh storage. A file is read and checked once; every LoadMeshCopy then gives
// a fresh copy of its vertex arrays (the demo rewrites them in place) while the
// triangle lists are shared. Copies live for the whole run, within a budget.
#include "assets/meshes.h"

#include <cstdio>
#include <map>
#include <memory>
#include <new>
#include <numeric>
#include <vector>

#include "assets/a3f.h"
#include "assets/datadir.h"
#include "assets/file.h"

namespace qor {

namespace {

struct FileMesh {   // one parsed file, shared by its copies
    std::vector<std::vector<MeshVertex>> vertices;
    std::vector<std::vector<uint32_t>> triangles;   // always explicit indices
    uint64_t bytes = 0;                             // size of one copy's vertices
    uint64_t held = 0;                              // the file's own memory: vertices and triangles
};

struct MeshCopy {
    std::shared_ptr<const FileMesh> file;
    std::vector<std::vector<MeshVertex>> vertices;
    std::vector<MeshObject> objects;
};

std::map<std::string, std::shared_ptr<const FileMesh>> gFiles;   // by path; null: file was bad
std::vector<std::unique_ptr<MeshCopy>> gCopies;                  // index meshId - 1
uint32_t gLoads = 0;
uint64_t gBytesHeld = 0;
uint64_t gBudget = kMeshMemoryBudget;
uint64_t gFrameTrianglesLeft = kMeshFrameTriangles;
bool gFrameCutSaid = false;

// Reads a file once; its memory is held against the budget, with room for
// the first copy checked from the file's counts before anything is allocated.
std::shared_ptr<const FileMesh> ReadOnce(const char* name) {
    const std::string path = DataPath(name);
    auto found = gFiles.find(path);
    if (found != gFiles.end()) return found->second;
    A3fMesh parsed;
    std::string error;
    std::shared_ptr<FileMesh> file;
    A3fLimits limits;
    limits.bytes = gBudget > gBytesHeld ? gBudget - gBytesHeld : 0;
    limits.vertexCopies = 2;   // the file's and the first copy's
    limits.triangles = kMeshFileTriangles;
    if (ReadA3fFile(path, parsed, error, limits)) {
        try {
            file = std::make_shared<FileMesh>();
            for (A3fObject& o : parsed.objects) {
                if (o.indices.empty()) {
                    o.indices.resize(o.vertices.size());
                    std::iota(o.indices.begin(), o.indices.end(), 0u);
                }
                file->bytes += o.vertices.size() * sizeof(MeshVertex);
                file->held += A3fObjectBytes(uint32_t(o.vertices.size()), uint32_t(o.indices.size()), 1);
                file->vertices.push_back(std::move(o.vertices));
                file->triangles.push_back(std::move(o.indices));
            }
            gBytesHeld += file->held;
        } catch (const std::bad_alloc&) {
            file.reset();
            error = path + ": out of memory while reading it";
        }
    }
    if (!file && !DataDirReported()) std::fprintf(stderr, "teq: mesh %s\n", Printable(error).c_str());
    // A file refused for the budget is read again by a later load, which
    // finds the budget as it is then; a faulty one is not.
    if (file || !limits.exceeded) gFiles.emplace(path, file);
    return file;
}

}   // namespace

MeshHandle LoadMeshCopy(const char* name) {
    const uint32_t meshId = ++gLoads;
    gCopies.resize(meshId);   // keeps meshId - 1 the copy's slot, empty for a failed load
    std::shared_ptr<const FileMesh> file = ReadOnce(name);
    if (!file) return MeshHandle{nullptr, 0};
    if (gBytesHeld + file->bytes > gBudget) {
        std::fprintf(stderr, "teq: mesh %s: not loaded, mesh memory budget of %llu MiB is used up\n",
                     Printable(DataPath(name)).c_str(), (unsigned long long)(gBudget >> 20));
        return MeshHandle{nullptr, 0};
    }
    auto copy = std::make_unique<MeshCopy>();
    copy->file = file;
    try {
        copy->vertices = file->vertices;
        copy->objects.resize(copy->vertices.size());
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "teq: mesh %s: not loaded, out of memory\n", Printable(DataPath(name)).c_str());
        return MeshHandle{nullptr, 0};
    }
    for (size_t i = 0; i < copy->objects.size(); ++i) {
        std::vector<MeshVertex>& v = copy->vertices[i];
        copy->objects[i] = MeshObject{v.empty() ? nullptr : v.data(), int32_t(v.size()), meshId, uint32_t(i)};
    }
    gBytesHeld += file->bytes;
    MeshHandle handle{copy->objects.data(), uint32_t(copy->objects.size())};
    gCopies[meshId - 1] = std::move(copy);
    return handle;
}

TriangleList MeshTriangles(const MeshObject& object) {
    if (object.meshId == 0 || object.meshId > gCopies.size()) return {nullptr, 0};
    const MeshCopy* copy = gCopies[object.meshId - 1].get();
    if (!copy || object.objectIndex >= copy->file->triangles.size()) return {nullptr, 0};
    const std::vector<uint32_t>& t = copy->file->triangles[object.objectIndex];
    return {t.data(), uint32_t(t.size())};
}

TriangleList MeshTrianglesToDraw(const MeshObject& object) {
    TriangleList list = MeshTriangles(object);
    if (list.count > gFrameTrianglesLeft * 3) {
        if (!gFrameCutSaid)
            std::fprintf(
                stderr,
                "teq: meshes: more than %u triangles in one frame; the rest of the frame's meshes are not drawn\n",
                kMeshFrameTriangles);
        gFrameCutSaid = true;
        list.count = uint32_t(gFrameTrianglesLeft * 3);
    }
    gFrameTrianglesLeft -= list.count / 3;
    return list;
}

void StartMeshFrame() { gFrameTrianglesLeft = kMeshFrameTriangles; }

uint32_t LoadedMeshCount() { return gLoads; }

void SetMeshMemoryBudget(uint64_t bytes) { gBudget = bytes; }

}   // namespace qor
