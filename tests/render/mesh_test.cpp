// Meshes through camera, projection and clipping, and the font, checked
// against positions and colours worked out here from the camera model.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "assets/a3f.h"
#include "assets/datadir.h"
#include "support.h"

namespace teqtest {
namespace {

constexpr float kSy = 1.7320508f;   // 1 / tan(30 degrees)

MeshVertex V(float x, float y, float z, uint32_t c = 0xFFFFFFFFu, float u = 0, float v = 0, float nx = 0, float ny = 0,
             float nz = -1) {
    return MeshVertex{x, y, z, nx, ny, nz, c, u, v};
}

// A data folder of this test process's own: ctest runs the cases of both
// rasterizers side by side, and they write files of the same names.
std::filesystem::path ScratchDir() {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("teq-render-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    return dir;
}

// Writes a one-object mesh into a scratch data folder and loads it.
MeshHandle Load(const std::string& name, std::vector<MeshVertex> vertices, std::vector<uint32_t> indices = {}) {
    const std::filesystem::path dir = ScratchDir();
    qor::SetDataDir(dir.string());
    qor::A3fMesh mesh;
    mesh.objects.push_back(qor::A3fObject{std::move(vertices), std::move(indices)});
    std::string error;
    EXPECT_TRUE(qor::WriteA3fFile((dir / name).string(), mesh, error)) << error;
    return LoadMesh(name.c_str());
}

class MeshTest : public testing::TestWithParam<Raster> {
protected:
    void SetUp() override {
        Fresh(GetParam(), 64, 48);
        SolidTexture("white", 0xFFFFFFFFu);
        SetTexture("white");
    }
};

TEST_P(MeshTest, ClockwiseOnScreenIsDrawnAndCounterClockwiseCulled) {
    // Seen from the camera at the origin looking along +z: top, bottom right,
    // bottom left is clockwise on screen.
    MeshHandle cw = Load("cw.a3f", {V(0, 1, 10), V(1, -1, 10), V(-1, -1, 10)});
    MeshHandle ccw = Load("ccw.a3f", {V(0, 1, 10), V(-1, -1, 10), V(1, -1, 10)});
    RenderMesh(ccw);
    EndScene();
    EXPECT_EQ(Pixel(32, 24), 0u);
    RenderMesh(cw);
    EndScene();
    EXPECT_EQ(Pixel(32, 24), 0xFFFFFFu);
}

// A floor under the eye that runs from behind the camera to z = 200: the part
// behind is clipped at the near plane, and the rest covers exactly the rows
// below the far edge's horizon line, with nothing above it.
TEST_P(MeshTest, TriangleCrossingTheNearPlaneIsClippedCleanly) {
    MeshHandle floor = Load("floor.a3f", {V(-1000, -2, -50), V(-1000, -2, 200), V(1000, -2, 200), V(-1000, -2, -50),
                                          V(1000, -2, 200), V(1000, -2, -50)});
    RenderMesh(floor);
    EndScene();
    const float horizon = 24.0f + 24.0f * 2.0f * kSy / 200.0f;   // 24.42
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) ASSERT_EQ(Pixel(x, y), y + 0.5f > horizon ? 0xFFFFFFu : 0u) << x << "," << y;
}

TEST_P(MeshTest, TextureCoordinatesArePerspectiveCorrect) {
    // Floor from z = 10 to 30 with v running 0 to 1 along it; the picture's top
    // half (v < 0.5) is red, the bottom half blue: the switch is at z = 20.
    const uint32_t texels[2] = {0xFFFF0000u, 0xFF0000FFu};
    qor::render::AddTexture("halves", texels, 1, 2);
    SetTexture("halves");
    UseFilters(0);
    MeshHandle floor =
        Load("near-floor.a3f", {V(-100, -2, 10, ~0u, 0, 0), V(-100, -2, 30, ~0u, 0, 1), V(100, -2, 30, ~0u, 0, 1),
                                V(-100, -2, 10, ~0u, 0, 0), V(100, -2, 30, ~0u, 0, 1), V(100, -2, 10, ~0u, 0, 0)});
    RenderMesh(floor);
    EndScene();
    for (int y = 0; y < 48; ++y) {
        const float dy = (y + 0.5f - 24.0f) / 24.0f / kSy;   // ray slope down
        const float z = dy > 0 ? 2.0f / dy : 1e9f;
        uint32_t expect = 0;
        if (z >= 10 && z <= 30) expect = z < 20 ? 0xFF0000u : 0x0000FFu;
        if (std::fabs(z - 10) < 0.3f || std::fabs(z - 30) < 0.3f) continue;   // rows on an edge
        EXPECT_EQ(Pixel(32, y), expect) << "row " << y << " z " << z;
    }
}

TEST_P(MeshTest, DepthTestKeepsTheNearerMesh) {
    MeshHandle nearQuad =
        Load("near.a3f", {V(-5, 5, 10, 0xFF0000FF), V(5, -5, 10, 0xFF0000FF), V(-5, -5, 10, 0xFF0000FF)});
    MeshHandle farQuad =
        Load("far.a3f", {V(-50, 50, 100, 0xFFFF0000), V(50, -50, 100, 0xFFFF0000), V(-50, -50, 100, 0xFFFF0000)});
    RenderMesh(nearQuad);
    RenderMesh(farQuad);
    EndScene();
    EXPECT_EQ(Pixel(28, 28), 0x0000FFu);
}

// Light straight in front of an upright triangle, every corner at distance d:
// each corner gets 255 * (h / d) * max(0, 1 - d / range).
TEST_P(MeshTest, PointLightFallsToZeroAtItsRange) {
    const float s = 0.8660254f;
    MeshHandle tri = Load("lit.a3f", {V(0, 1, 10), V(s, -0.5f, 10), V(-s, -0.5f, 10)});
    const float h = 3.0f, d = std::sqrt(1.0f + h * h);
    UseLighting(1);
    EnableLight(0, 1);
    for (float range : {2.0f * d, 4.0f * d, d, 0.5f * d}) {
        PointLight(0, 0, 0, 10 - h, range, 0x00FFFFFFu);
        RenderMesh(tri);
        EndScene();
        const double expect = 255.0 * (h / d) * std::max(0.0, 1.0 - d / range);
        EXPECT_NEAR(double(Pixel(32, 24) & 0xFF), expect, 1.0) << "range " << range;
    }
    // A light behind the surface adds nothing; so does a disabled one.
    PointLight(0, 0, 0, 10 + h, 100, 0x00FFFFFFu);
    RenderMesh(tri);
    EndScene();
    EXPECT_EQ(Pixel(32, 24), 0u);
    PointLight(0, 0, 0, 10 - h, 100, 0x00FFFFFFu);
    EnableLight(0, 0);
    RenderMesh(tri);
    EndScene();
    EXPECT_EQ(Pixel(32, 24), 0u);
}

// Sphere map: u = 0.5 + 0.5 nx, v = 0.5 - 0.5 ny of the camera-space normal,
// looked up in a 2x2 picture of four colours.
TEST_P(MeshTest, EnvironmentMapFollowsCameraSpaceNormals) {
    const uint32_t quadrants[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFF00u};
    qor::render::AddTexture("quadrants", quadrants, 2, 2);
    SetTexture("quadrants");
    UseFilters(0);
    UseEnvMap(1);
    auto tri = [](const char* name, float z, float nx, float ny, float nz) {
        return Load(name, {V(0, 1, z, ~0u, 0, 0, nx, ny, nz), V(1, -1, z, ~0u, 0, 0, nx, ny, nz),
                           V(-1, -1, z, ~0u, 0, 0, nx, ny, nz)});
    };
    // Normal up and right: u 0.8, v 0.2, the top-right texel.
    RenderMesh(tri("env1.a3f", 10, 0.6f, 0.6f, -0.52915f));
    EndScene();
    EXPECT_EQ(Pixel(32, 24), 0x00FF00u);
    // Down and left: the bottom-left texel.
    RenderMesh(tri("env2.a3f", 10, -0.6f, -0.6f, -0.52915f));
    EndScene();
    EXPECT_EQ(Pixel(32, 24), 0x0000FFu);
    // The camera turned to look along +x: world normal (0, 0.6, -0.8) is
    // camera-space (0.8, 0.6, 0): top-right again. The triangle stands at x = 10.
    CamLookAt(1, 0, 0);
    MeshHandle side =
        Load("env3.a3f", {V(10, 1, 0, ~0u, 0, 0, 0, 0.6f, -0.8f), V(10, -1, -1, ~0u, 0, 0, 0, 0.6f, -0.8f),
                          V(10, -1, 1, ~0u, 0, 0, 0, 0.6f, -0.8f)});
    RenderMesh(side);
    EndScene();
    EXPECT_EQ(Pixel(32, 24), 0x00FF00u);
}

// The object transform chain: the first call acts first on the vertex, and
// Rotate turns about X before Y.
TEST_P(MeshTest, TransformChainAppliesItsFirstCallFirst) {
    // A small double-sided triangle pair around (0, 3, 0) in the plane x = 0,
    // which the rotation below turns to face the camera.
    MeshHandle mark = Load("mark.a3f", {V(0, 3.5f, 0.5f), V(0, 2.5f, 0.5f), V(0, 2.5f, -0.5f), V(0, 3.5f, 0.5f),
                                        V(0, 2.5f, -0.5f), V(0, 2.5f, 0.5f)});
    // About X by 90 degrees takes (0, 3, 0) to (0, 0, 3); then about Y by 90
    // degrees to (3, 0, 0); then moved to (3, 0, 10): right of the centre.
    Rotate(1.5707964f, 1.5707964f, 0, 1);
    Translate(0, 0, 10, 0);
    RenderMesh(mark);
    EndScene();
    const int expectX = int(32 + 32 * 3 * (kSy * 48 / 64) / 10);   // about 44
    EXPECT_EQ(Pixel(expectX, 24), 0xFFFFFFu);
    EXPECT_EQ(Pixel(32, 24), 0u);
}

// Split screen: the right half as viewport. Everything is clipped to it, and a
// square facing the camera stays square (aspect from the viewport).
TEST(SplitScreen, ViewportClipsAndKeepsTheAspect) {
    Fresh(Raster{true, 2}, 320, 240);
    SolidTexture("white", 0xFFFFFFFFu);
    SetTexture("white");
    SetViewPort(160, 0, 160, 240);
    MeshHandle square =
        Load("square.a3f", {V(-1, 1, 10), V(1, -1, 10), V(-1, -1, 10), V(-1, 1, 10), V(1, 1, 10), V(1, -1, 10)});
    RenderMesh(square);
    EndScene();
    int minX = 1000, maxX = -1, minY = 1000, maxY = -1;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x)
            if (Pixel(x, y))
                minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y), maxY = std::max(maxY, y);
    // Half side on screen: 1 / 10 * sy * 120 = 20.8 pixels both ways.
    EXPECT_NEAR(maxX - minX + 1, 41.6, 1.0);
    EXPECT_NEAR(maxY - minY + 1, 41.6, 1.0);
    EXPECT_NEAR((minX + maxX + 1) / 2.0, 240.0, 1.0);
    EXPECT_NEAR((minY + maxY + 1) / 2.0, 120.0, 1.0);

    // A wall that fills the view reaches the viewport's edges and no further.
    ClearBackBuffer(0, 0, 0);
    ClearZBuffer();
    SetViewPort(0, 120, 160, 120);
    MeshHandle wall = Load("wall.a3f", {V(-100, 100, 10), V(100, -100, 10), V(-100, -100, 10), V(-100, 100, 10),
                                        V(100, 100, 10), V(100, -100, 10)});
    RenderMesh(wall);
    EndScene();
    for (int y = 0; y < 240; y += 7)
        for (int x = 0; x < 320; x += 3) ASSERT_EQ(Pixel(x, y) != 0, x < 160 && y >= 120) << x << "," << y;
}

// A lumpy shell of 1003 vertices (not a multiple of the eight the vector
// vertex stage takes at a time) around and behind the camera, with corners off
// screen, beyond the guard band and behind the near plane, some faces one
// colour and some shaded, drawn plain, lit by two lights (one inside) and
// environment mapped: the portable pipeline and the AVX2 one (vertices eight
// at a time, rows in vectors, two threads) give the same bytes.
TEST(MeshAgreement, VectorAndScalarPipelinesGiveIdenticalPixels) {
    std::vector<MeshVertex> vertices;
    std::vector<uint32_t> indices;
    constexpr int kRings = 17, kSegments = 59;   // 17 * 59 = 1003 vertices
    for (int i = 0; i < kRings; ++i)
        for (int j = 0; j < kSegments; ++j) {
            const float th = 3.1415927f * (i + 0.5f) / kRings, ph = 6.2831853f * j / kSegments;
            const float r = 30.0f + 9.0f * std::sin(float(i * 7 + j * 3));
            const uint32_t c =
                (i + j) % 3 ? 0xFFFFFFFFu : 0xFF000000u | uint32_t(j * 4) << 16 | uint32_t(i * 15) << 8 | 0x40u;
            const float nx = std::sin(th) * std::cos(ph), ny = std::cos(th), nz = std::sin(th) * std::sin(ph);
            // Some normals short (made unit length), some zero (left alone).
            const float nl = (i + j) % 11 == 0 ? 0.3f : (i + j) % 13 == 0 ? 0.0f : 1.0f;
            // Normals point inwards, to the lights inside the shell.
            vertices.push_back(
                V(r * nx, r * ny, r * nz + 8.0f, c, float(j) / 7.0f, float(i) / 5.0f, -nx * nl, -ny * nl, -nz * nl));
        }
    for (int i = 0; i + 1 < kRings; ++i)
        for (int j = 0; j < kSegments; ++j) {
            const uint32_t a = uint32_t(i * kSegments + j), b = uint32_t(i * kSegments + (j + 1) % kSegments);
            indices.insert(indices.end(), {a, a + kSegments, b, b, a + kSegments, b + kSegments});
        }
    std::vector<uint32_t> picture(64 * 64);
    for (size_t k = 0; k < picture.size(); ++k) picture[k] = uint32_t(k * 2654435761u) | 0x30000000u;
    std::vector<uint32_t> result[2];
    for (int pass = 0; pass < 2; ++pass) {
        Fresh(Raster{pass == 1, pass == 1 ? 2 : 1}, 160, 120);
        qor::render::AddTexture("noise", picture.data(), 64, 64);
        SetTexture("noise");
        MeshHandle shell = Load("shell.a3f", vertices, indices);
        PointLight(0, 10, 12, 0, 90, 0x00FFC080u);
        PointLight(1, -5, 0, 8, 40, 0x004080FFu);
        EnableLight(0, 1), EnableLight(1, 1);
        // A third light exactly at a vertex of the untransformed shell (drawn
        // last): that vertex gets nothing from it.
        PointLight(2, vertices[60].x, vertices[60].y, vertices[60].z, 50, 0x00FFFFFFu);
        for (int k = 0; k < 9; ++k) {
            UseZBuffer(k % 2), UseAlphaBlend(k >= 2), UseFilters(k % 3 != 0);
            UseLighting(k == 4 || k == 5 || k == 7 || k == 8), UseEnvMap(k == 6 || k == 7);
            EnableLight(2, k == 8);
            Rotate(0.3f * k, 0.7f * k, 0.1f * k, 1);
            Scale(1.0f + 0.2f * k, 1.0f, 1.0f, 0);
            Translate(float(k) - 3.0f, 0.5f * k, 0, 0);
            if (k == 8) Rotate(0, 0, 0, 1);
            // Each state on a fresh picture, so that no difference is lost in
            // saturation; the additive ones over a drawing in replace mode.
            ClearBackBuffer(0, 0, 0);
            ClearZBuffer();
            if (k >= 2) {
                UseAlphaBlend(0);
                RenderMesh(shell);
                UseAlphaBlend(1);
            }
            RenderMesh(shell);
            EndScene();
            const std::vector<uint32_t> picture = Pixels();
            result[pass].insert(result[pass].end(), picture.begin(), picture.end());
        }
        UseLighting(0), UseEnvMap(0), EnableLight(0, 0), EnableLight(1, 0), EnableLight(2, 0);
    }
    // Per state: the same bytes, and the shell really covers the view.
    const size_t size = 160 * 120;
    for (size_t k = 0; k < result[0].size() / size; ++k) {
        int differ = 0, lit = 0;
        for (size_t i = k * size; i < (k + 1) * size; ++i)
            differ += result[0][i] != result[1][i], lit += result[0][i] != 0;
        EXPECT_EQ(differ, 0) << "state " << k;
        EXPECT_GT(lit, int(size) / 3) << "state " << k;
    }
}

// The engine reads vertices at the call: a rewrite after a draw changes the
// next draw only (the tunnel rebuilds one array between draws).
TEST_P(MeshTest, VerticesRewrittenAfterADrawLeaveThatDrawAlone) {
    MeshHandle m = Load("moving.a3f", {V(-3, 1, 10), V(-2, -1, 10), V(-4, -1, 10)});
    RenderObject(m.objects[0]);
    for (int i = 0; i < 3; ++i) m.objects[0].vertices[i].x += 6;
    RenderObject(m.objects[0]);
    // A vertex count raised past the array reads no further than the indices go.
    MeshObject raised = m.objects[0];
    raised.vertexCount = 1 << 30;
    RenderObject(raised);
    // A vertex count lowered below the indices draws nothing and reads nothing.
    MeshObject shortened = m.objects[0];
    shortened.vertexCount = 2;
    for (int i = 0; i < 3; ++i) m.objects[0].vertices[i].y += 100;
    RenderObject(shortened);
    EndScene();
    const int left = int(32 - 32 * 3 * (kSy * 48 / 64) / 10), right = int(32 + 32 * 3 * (kSy * 48 / 64) / 10);
    EXPECT_EQ(Pixel(left, 25), 0xFFFFFFu);
    EXPECT_EQ(Pixel(right, 25), 0xFFFFFFu);
}

TEST_P(MeshTest, BadMeshFileGivesAnEmptyMeshAndAMessage) {
    const std::filesystem::path dir = ScratchDir();
    qor::SetDataDir(dir.string());
    // A file of its own per run: the store reports each bad file once.
    const std::string name = "broken-" + RasterName({GetParam(), 0}) + ".a3f";
    {
        std::FILE* f = std::fopen((dir / name).c_str(), "wb");
        std::fputs("A3F1garbage", f);
        std::fclose(f);
    }
    testing::internal::CaptureStderr();
    MeshHandle m = LoadMesh(name.c_str());
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(m.objectCount, 0u);
    EXPECT_NE(err.find(name), std::string::npos) << err;
    RenderMesh(m);   // draws nothing, no crash
    EndScene();
    EXPECT_EQ(Pixel(32, 24), 0u);
}

// Glyph cells of 2x2 in a 32x4 picture, 16 a row: glyph 1 is opaque white,
// every other cell transparent.
TEST_P(MeshTest, FontWritesGlyphCellsAndLeavesStatesAlone) {
    std::vector<uint32_t> font(32 * 4, 0x00FFFFFFu);
    for (int y = 0; y < 2; ++y)
        for (int x = 2; x < 4; ++x) font[y * 32 + x] = 0xFFFFFFFFu;
    qor::render::AddTexture("font.png", font.data(), 32, 4);
    CreateNewFont("font.png", 2, 2, 32);
    UseZBuffer(0);
    const char text[] = {2, 1, 1, 0};   // transparent, then two opaque glyphs
    FontWrite(4, 6, 1.0f, text, "font.png", 0x00FF8040u);
    EndScene();
    EXPECT_EQ(Pixel(4, 6), 0u);
    EXPECT_EQ(Pixel(5, 7), 0u);
    for (int x = 6; x < 10; ++x)
        for (int y = 6; y < 8; ++y) EXPECT_EQ(Pixel(x, y), 0xFF8040u) << x << "," << y;
    EXPECT_EQ(Pixel(10, 6), 0u);
    EXPECT_EQ(Pixel(6, 8), 0u);
    // Blending is still off and "white" still selected: this replaces.
    SolidTexture("white", 0xFF101010u);
    ScreenVertex q[4] = {SV(0, 0, 0xFFFFFF), SV(64, 0, 0xFFFFFF), SV(0, 48, 0xFFFFFF), SV(64, 48, 0xFFFFFF)};
    RenderSV(q, 2, 1);
    EndScene();
    EXPECT_EQ(Pixel(7, 7), 0x101010u);
}

INSTANTIATE_TEST_SUITE_P(Rasterizers, MeshTest, testing::ValuesIn(Rasters()), RasterName);

}   // namespace
}   // namespace teqtest
