// Missing and short meshes: no "geo.a3f", "knot.a3f" or "sieni.a3f";
// "scene1.a3f" with one object; "tunnel.a3f" with two, the second empty.
// The whole timeline runs; scenes touch and draw only the objects a mesh has.
#include <gtest/gtest.h>

#include "scenes/geo.h"
#include "scenes/trio.h"
#include "scenes/tunnel.h"
#include "support.h"

TEST(SparseData, WholeTimelineDrawsWhatExists) {
    const std::string dir =
        WriteDataDir({{"scene1.a3f", {{Vertex(0, 0, 0), Vertex(1, 0, 0), Vertex(0, 1, 0)}}},
                      {"tunnel.a3f", {{Vertex(10, 0, 0), Vertex(0, 20, -25, 1), Vertex(5, 5, -50)}, {}}}});
    std::vector<float> times;
    for (int k = 0; k < 270; k++) times.push_back(k * 0.5f);
    const Lines log = RunDemo(dir, times);
    EXPECT_EQ(Count(log, "# frame "), 270);
    EXPECT_EQ(Count(log, "LoadMesh(\"knot.a3f\")"), 1);
    ASSERT_EQ(std::vector<uint32_t>(
                  {GeoScene.mesh.objectCount, TrioScene.mesh.objectCount, TunnelScene.workMesh.objectCount}),
              std::vector<uint32_t>({0, 1, 2}));
    // Trio at t = 50: object 0 only, three textures still selected per view.
    const Lines trio = Frame(log, 100);
    EXPECT_EQ(Count(trio, "RenderObject("), 3);
    EXPECT_EQ(Count(trio, "RenderObject("),
              Count(trio, "RenderObject(" + ArgText(trio[size_t(Find(trio, "RenderObject("))], 0)));
    EXPECT_EQ(Count(trio, "SetTexture(\"02.jpg\")"), 3);
    // Tunnel at t = 60: object 0 rewritten (3 vertices), empty object 1 drawn as is, no object 2.
    const Lines tunnel = Frame(log, 120);
    EXPECT_EQ(Count(tunnel, "RenderObject("), 35 + 35);
    EXPECT_EQ(Count(tunnel, "ARGB("), 35 * 3 + 1);   // + the frame-rate colour
    // Geo and sieni pass their empty handles on.
    EXPECT_EQ(Count(Frame(log, 0), "RenderMesh("), 95);
    EXPECT_EQ(Count(Frame(log, 240), "RenderMesh("), 20);
}
