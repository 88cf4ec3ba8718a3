// Fuzz target: the .a3f mesh reader on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "assets/a3f.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qor::A3fMesh mesh;
    std::string error;
    if (qor::ParseA3f(data, size, mesh, error)) {
        // Every accepted index addresses a vertex of its object.
        for (const qor::A3fObject& o : mesh.objects) {
            if (o.indices.size() % 3 != 0) __builtin_trap();
            for (uint32_t i : o.indices)
                if (i >= o.vertices.size()) __builtin_trap();
        }
    } else if (error.empty()) {
        __builtin_trap();
    }
    return 0;
}
