// Missing and short meshes: no "geo.a3f", "knot.a3f" or "sieni.a3f";
// "scene1.a3f" with one object; "tunnel.a3f" with two, the second empty.
// Scenes touch and draw only the objects a mesh has.
#include <gtest/gtest.h>

#include "scenes/geo.h"
#include "scenes/trio.h"
#include "scenes/tunnel.h"
#include "support.h"

namespace {

const std::string& SparseData() {
    static const std::string dir = WriteDataDir({
        {"scene1.a3f", {{Vertex(0, 0, 0), Vertex(1, 0, 0), Vertex(0, 1, 0)}}},
        {"tunnel.a3f", {{Vertex(10, 0, 0), Vertex(0, 20, -25, 1), Vertex(5, 5, -50)}, {}}},
    });
    return dir;
}

}  // namespace

TEST(SparseData, WholeTimelineRunsAndDrawsWhatExists) {
    std::vector<float> times;
    for (float t = 0.0f; t < 135.0f; t += 0.5f) times.push_back(t);
    const std::vector<std::string> log = RunDemo(SparseData(), times);
    EXPECT_EQ(Count(log, "Run(FrameCallback)"), 1);
    EXPECT_EQ(Count(log, "# frame "), int(times.size()));
    EXPECT_EQ(GeoScene.mesh.objectCount, 0u);
    EXPECT_EQ(TrioScene.mesh.objectCount, 1u);
    ASSERT_EQ(TunnelScene.workMesh.objectCount, 2u);
    // Trio: object 0 only, with all three textures still selected.
    const std::vector<std::string> trio = Frame(log, size_t(50.0f / 0.5f));
    EXPECT_EQ(Count(trio, "RenderObject("), 3);
    EXPECT_EQ(Count(trio, "SetTexture(\"02.jpg\")"), 3);
    for (const std::string& l : trio) {
        if (l.rfind("RenderObject(", 0) == 0) {
            EXPECT_EQ(l.substr(l.size() - 3), ".0)");
        }
    }
    // Tunnel at local time 2: object 0 rewritten, empty object 1 drawn as it is, no object 2.
    const std::vector<std::string> tunnel = Frame(log, size_t(60.0f / 0.5f));
    EXPECT_EQ(Count(tunnel, "RenderObject("), 35 + 35 + 0);
    EXPECT_EQ(Count(tunnel, "ARGB("), 35 * 3 + 1);   // + the frame-rate colour
    // Geo and sieni draw their empty handles; the knot stays unloaded but named.
    EXPECT_EQ(Count(Frame(log, 0), "RenderMesh("), 95);
    EXPECT_EQ(Count(Frame(log, size_t(120.0f / 0.5f)), "RenderMesh("), 20);
    EXPECT_EQ(Count(log, "LoadMesh(\"knot.a3f\")"), 1);
}
