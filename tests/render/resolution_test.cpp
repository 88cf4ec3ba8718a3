// Drawing at a higher resolution: the frame buffer is N times the size given
// to Init while every coordinate the demo passes stays in that size. A scene
// drawn at N must be, byte for byte, the same scene drawn at N = 1 on a
// display N times larger with every coordinate multiplied by N (viewports,
// screen vertices, font positions); tiles and split-screen viewports must
// cover each pixel once; and the number of drawing threads must not change a
// byte.
#include <random>

#include "assets/a3f.h"
#include "assets/datadir.h"
#include "support.h"

#include <unistd.h>
#include <filesystem>

namespace teqtest {
namespace {

constexpr int kW = 40, kH = 30;   // the demo's display in these tests

// A picture with no symmetry: neighbouring texels differ, so a texel off by
// one or a flipped axis changes pixels.
std::vector<uint32_t> Picture(int w, int h) {
    std::vector<uint32_t> p(size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p[size_t(y) * w + x] = 0xFF000000u | uint32_t(40 + 13 * x) % 256 << 16 | uint32_t(20 + 29 * y) % 256 << 8 |
                                   uint32_t(7 * x * y + 3) % 256;
    return p;
}

MeshHandle Cube() {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("teq-resolution-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    qor::SetDataDir(dir.string());
    std::vector<MeshVertex> v;
    std::vector<uint32_t> idx;
    // Six faces of a unit cube, each two triangles, colours and u, v per corner.
    const float s[6][3][3] = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}},
                              {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}}, {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
                              {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}}, {{0, 0, -1}, {0, 1, 0}, {1, 0, 0}}};
    for (int f = 0; f < 6; ++f) {
        const uint32_t base = uint32_t(v.size());
        for (int c = 0; c < 4; ++c) {
            const float a = c & 1 ? 1.0f : -1.0f, b = c & 2 ? 1.0f : -1.0f;
            const float p[3] = {s[f][0][0] + a * s[f][1][0] + b * s[f][2][0],
                                s[f][0][1] + a * s[f][1][1] + b * s[f][2][1],
                                s[f][0][2] + a * s[f][1][2] + b * s[f][2][2]};
            v.push_back(MeshVertex{p[0], p[1], p[2], s[f][0][0], s[f][0][1], s[f][0][2],
                                   0xFF000000u | uint32_t(60 * f + 40 * c) % 256 << 16 | 0x8000u | uint32_t(30 * c),
                                   float(c & 1), float(c >> 1)});
        }
        for (uint32_t i : {0u, 1u, 2u, 1u, 3u, 2u}) idx.push_back(base + i);
    }
    qor::A3fMesh mesh;
    mesh.objects.push_back(qor::A3fObject{v, idx});
    std::string error;
    EXPECT_TRUE(qor::WriteA3fFile((dir / "cube.a3f").string(), mesh, error)) << error;
    return LoadMesh("cube.a3f");
}

// The scene, with every coordinate of the demo's display multiplied by k:
// a full-screen picture (bilinear), a nearest one in a corner, a split screen
// of three viewports with a cube each and a quad crossing each scissor, and a
// line of text.
void Scene(const MeshHandle& cube, int k) {
    const float f = float(k);
    ClearBackBuffer(10, 20, 30);
    ClearZBuffer();
    UseZBuffer(0);
    UseAlphaBlend(0);
    SetTexture("picture");
    UseFilters(1);
    Rect(0, 0, kW * f, kH * f, 0xFFFFFF);
    UseFilters(0);
    Rect(2.5f * f, 3.25f * f, 17.75f * f, 11.5f * f, 0xC0E0FF);
    UseFilters(1);
    const int split[4] = {0, 13, 27, kW};
    for (int i = 0; i < 3; ++i) {
        SetViewPort(split[i] * k, 12 * k, (split[i + 1] - split[i]) * k, (kH - 12) * k);
        UseZBuffer(1);
        CamPoint(0, 0, -5.0f - float(i));
        CamLookAt(0, 0, 0);
        Rotate(0.3f + 0.4f * float(i), 0.7f, 0.1f, 1);
        SetTexture("picture");
        RenderMesh(cube);
        UseZBuffer(0);
        UseAlphaBlend(1);
        Rect((float(split[i]) - 3.3f) * f, 20.6f * f, (float(split[i]) + 6.1f) * f, 40.0f * f, 0x306090);
        UseAlphaBlend(0);
    }
    SetViewPort(0, 0, kW * k, kH * k);
    FontWrite(1 * k, 1 * k, 1.0f * f, "\x01\x02\x01", "font.png", 0xFFE0A0);
    FontWrite(3 * k, 24 * k, 0.5f * f, "\x02\x01", "font.png", 0x80FF80);
    EndScene();
}

void Textures() {
    const std::vector<uint32_t> picture = Picture(16, 8);
    qor::render::AddTexture("picture", picture.data(), 16, 8);
    // Glyph cells of 4x4 in a 64x8 picture: glyphs 1 and 2 hold shapes with alpha.
    std::vector<uint32_t> font(64 * 8, 0x00FFFFFFu);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            font[y * 64 + 4 + x] = (x == y || x == 3 - y) ? 0xFFFFFFFFu : 0x40FFFFFFu;
            font[y * 64 + 8 + x] = x == 0 || y == 3 ? 0xFFFFFFFFu : 0x00FFFFFFu;
        }
    qor::render::AddTexture("font.png", font.data(), 64, 8);
    CreateNewFont("font.png", 4, 4, 32);
}

std::vector<uint32_t> DrawAt(const Raster& r, int n, bool scaled) {
    // Either the demo's display at resolution n, or a display n times larger
    // at resolution 1 with the coordinates multiplied by n.
    qor::render::SetResolution(scaled ? n : 1);
    Fresh(r, scaled ? kW : kW * n, scaled ? kH : kH * n);
    Textures();
    const MeshHandle cube = Cube();
    Scene(cube, scaled ? 1 : n);
    std::vector<uint32_t> out = Pixels();
    qor::render::SetResolution(1);
    return out;
}

class ResolutionTest : public testing::TestWithParam<Raster> {};

TEST_P(ResolutionTest, FrameBufferIsTheDisplayTimesNAndStatesSurviveAChange) {
    qor::render::SetResolution(3);
    Fresh(GetParam(), kW, kH);
    EXPECT_EQ(qor::render::Width(), 3 * kW);
    EXPECT_EQ(qor::render::Height(), 3 * kH);
    AdditiveWhite();
    SetViewPort(10, 5, 20, 10);
    qor::render::SetResolution(2);   // keeps the states, clears the pictures
    EXPECT_EQ(qor::render::Resolution(), 2);
    EXPECT_EQ(qor::render::Width(), 2 * kW);
    EXPECT_EQ(Pixel(0, 0), 0u);
    Rect(0, 0, kW, kH, 0x010203);   // additive, clipped to the viewport at twice its size
    EndScene();
    for (int y = 0; y < 2 * kH; ++y)
        for (int x = 0; x < 2 * kW; ++x) {
            const bool in = x >= 20 && x < 60 && y >= 10 && y < 30;
            ASSERT_EQ(Pixel(x, y), in ? 0x010203u : 0u) << x << "," << y;
        }
    qor::render::SetResolution(99);
    EXPECT_EQ(qor::render::Resolution(), qor::render::kMaxResolution);
    qor::render::SetResolution(1);
    EXPECT_EQ(qor::render::Width(), kW);
    // No side beyond 4096 pixels: a wide display gets the largest scale that fits.
    qor::render::SetResolution(8);
    qor::render::Init(1000, 100);
    EXPECT_EQ(qor::render::Width(), 4000);
    EXPECT_EQ(qor::render::Height(), 400);
    qor::render::SetResolution(1);
}

TEST_P(ResolutionTest, SceneAtNIsTheSceneScaledUpDrawnAtOne) {
    for (int n : {2, 3, 4}) {
        const std::vector<uint32_t> scaled = DrawAt(GetParam(), n, true);
        const std::vector<uint32_t> plain = DrawAt(GetParam(), n, false);
        ASSERT_EQ(scaled.size(), plain.size());
        size_t differ = 0, lit = 0;
        for (size_t i = 0; i < scaled.size(); ++i) differ += scaled[i] != plain[i], lit += scaled[i] != 0x0A141Eu;
        EXPECT_EQ(differ, 0u) << "n = " << n;
        EXPECT_GT(lit, scaled.size() / 2) << "n = " << n;
    }
}

// The screen grid's way: a display tiled by cells of fractional size, and a
// split screen whose quads overshoot their viewports. Additive 1 per draw:
// every pixel must be hit exactly once, at every resolution.
TEST_P(ResolutionTest, TilesAndSplitScreensCoverEachPixelOnceAtEveryN) {
    for (int n = 1; n <= qor::render::kMaxResolution; ++n) {
        qor::render::SetResolution(n);
        Fresh(GetParam(), kW, kH);
        AdditiveWhite();
        const float cw = kW / 7.0f, ch = kH / 9.0f;
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 7; ++x)
                Rect(float(x) * cw, float(y) * ch, float(x + 1) * cw, float(y + 1) * ch, 0x000001);
        const int split[4] = {0, 13, 26, kW};
        for (int i = 0; i < 3; ++i) {
            SetViewPort(split[i], 0, split[i + 1] - split[i], kH);
            Rect(-5, -5, kW + 5, kH + 5, 0x000100);
        }
        SetViewPort(0, 0, kW, kH);
        EndScene();
        const std::vector<uint32_t> p = Pixels();
        size_t wrong = 0;
        for (uint32_t c : p) wrong += c != 0x000101u;
        EXPECT_EQ(wrong, 0u) << "n = " << n;
    }
    qor::render::SetResolution(1);
}

INSTANTIATE_TEST_SUITE_P(Rasterizers, ResolutionTest, testing::ValuesIn(Rasters()), RasterName);

// The same frame at 1, 2, 3, 4 and 8 drawing threads (more than this
// machine's cores: threads then wait on each other), on both pixel loops.
TEST(RenderThreads, AnyNumberOfThreadsGivesTheSameBytes) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> px(-10.0f, 2 * kW + 10.0f), py(-10.0f, 2 * kH + 10.0f), unit(0, 1);
    std::vector<ScreenVertex> tris(3 * 3000);
    for (ScreenVertex& v : tris)
        v = SV(px(rng), py(rng), uint32_t(rng()) & 0xFFFFFF, unit(rng) * 3, unit(rng) * 3, unit(rng));
    for (bool simd : {false, true}) {
        std::vector<uint32_t> first;
        for (int threads : {1, 2, 3, 4, 8}) {
            qor::render::SetResolution(3);
            Fresh(Raster{simd, threads}, 2 * kW, 2 * kH);
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
            EXPECT_EQ(qor::render::Threads(), 1);   // a browser build without shared memory
#else
            EXPECT_EQ(qor::render::Threads(), threads);
#endif
            Textures();
            SetTexture("picture");
            // Blended and depth-tested triangles in turns: the order within
            // each band decides every pixel.
            for (size_t t = 0; t < tris.size() / 3; ++t) {
                UseAlphaBlend(t % 3 == 0);
                UseZBuffer(t % 3 != 0);
                UseFilters(t % 2 == 0);
                RenderSV(&tris[3 * t], 1, 0);
            }
            EndScene();
            const std::vector<uint32_t> p = Pixels();
            if (first.empty()) first = p;
            EXPECT_EQ(p, first) << (simd ? "simd " : "portable ") << threads << " threads";
        }
    }
    qor::render::SetResolution(1);
}

}   // namespace
}   // namespace teqtest
