// Mesh storage. A file is read and checked once; every LoadMeshCopy then gives
// a fresh copy of its vertex arrays (the demo rewrites them in place) while the
// triangle lists are shared. Copies live for the whole run, within a budget.
#include "assets/meshes.h"

#include <cstdio>
#include <map>
#include <memory>
#include <numeric>
#include <vector>

#include "assets/a3f.h"
#include "assets/datadir.h"

namespace qor {

namespace {

struct FileMesh {                       // one parsed file, shared by its copies
    std::vector<std::vector<MeshVertex>> vertices;
    std::vector<std::vector<uint32_t>> triangles;   // always explicit indices
    uint64_t bytes = 0;                             // size of one copy's vertices
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

std::shared_ptr<const FileMesh> ReadOnce(const char* name) {
    const std::string path = DataPath(name);
    auto found = gFiles.find(path);
    if (found != gFiles.end()) return found->second;
    A3fMesh parsed;
    std::string error;
    std::shared_ptr<FileMesh> file;
    if (ReadA3fFile(path, parsed, error)) {
        file = std::make_shared<FileMesh>();
        for (A3fObject& o : parsed.objects) {
            if (o.indices.empty()) {
                o.indices.resize(o.vertices.size());
                std::iota(o.indices.begin(), o.indices.end(), 0u);
            }
            file->bytes += o.vertices.size() * sizeof(MeshVertex);
            file->vertices.push_back(std::move(o.vertices));
            file->triangles.push_back(std::move(o.indices));
        }
    } else {
        if (!DataDirReported()) std::fprintf(stderr, "teq: mesh %s\n", error.c_str());
    }
    gFiles.emplace(path, file);
    return file;
}

}  // namespace

MeshHandle LoadMeshCopy(const char* name) {
    const uint32_t meshId = ++gLoads;
    gCopies.resize(meshId);   // keeps meshId - 1 the copy's slot, empty for a failed load
    std::shared_ptr<const FileMesh> file = ReadOnce(name);
    if (!file) return MeshHandle{nullptr, 0};
    if (gBytesHeld + file->bytes > gBudget) {
        std::fprintf(stderr, "teq: mesh %s: not loaded, mesh memory budget of %llu MiB is used up\n",
                     name, (unsigned long long)(gBudget >> 20));
        return MeshHandle{nullptr, 0};
    }
    auto copy = std::make_unique<MeshCopy>();
    copy->file = file;
    copy->vertices = file->vertices;
    copy->objects.resize(copy->vertices.size());
    for (size_t i = 0; i < copy->objects.size(); ++i) {
        std::vector<MeshVertex>& v = copy->vertices[i];
        copy->objects[i] = MeshObject{v.empty() ? nullptr : v.data(), int32_t(v.size()), meshId,
                                      uint32_t(i)};
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

uint32_t LoadedMeshCount() { return gLoads; }

void SetMeshMemoryBudget(uint64_t bytes) { gBudget = bytes; }

}  // namespace qor
