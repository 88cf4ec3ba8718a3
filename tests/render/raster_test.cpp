// Screen-space drawing: coverage and the fill rule, blending, depth, sampling
// and addressing, checked against pixels worked out here from first principles.
#include <algorithm>
#include <cmath>
#include <random>

#include "render/raster_setup.h"
#include "support.h"

namespace teqtest {
namespace {

class RasterTest : public testing::TestWithParam<Raster> {};

// Pixel (i, j) is covered by an axis-aligned rectangle when its centre lies in
// [x0, x1) x [y0, y1): left and top edges belong to it, right and bottom don't.
TEST_P(RasterTest, RectangleCoversExactlyThePixelsWhoseCentresItHolds) {
    std::mt19937 rng(7);
    // Corners on the sub-pixel grid (sixteenths), where the renderer keeps them.
    std::uniform_int_distribution<int> coordX(-40, 40 * 16), coordY(-40, 30 * 16);
    for (int round = 0; round < 40; ++round) {
        Fresh(GetParam(), 40, 30);
        UseZBuffer(0);
        SolidTexture("white", 0xFFFFFFFFu);
        SetTexture("white");
        float x0 = coordX(rng) / 16.0f, x1 = coordX(rng) / 16.0f;
        float y0 = coordY(rng) / 16.0f, y1 = coordY(rng) / 16.0f;
        if (x0 > x1) std::swap(x0, x1);
        if (y0 > y1) std::swap(y0, y1);
        Rect(x0, y0, x1, y1, 0x00FFFFFFu);
        EndScene();
        for (int j = 0; j < 30; ++j)
            for (int i = 0; i < 40; ++i) {
                const bool in = i + 0.5f >= x0 && i + 0.5f < x1 && j + 0.5f >= y0 && j + 0.5f < y1;
                ASSERT_EQ(Pixel(i, j), in ? 0xFFFFFFu : 0u)
                    << "pixel " << i << "," << j << " rect " << x0 << "," << y0 << " " << x1 << "," << y1;
            }
    }
}

// Triangles of a jittered mesh drawn additively with 1 per pixel: shared edges
// must neither gap nor overlap, so every pixel inside the mesh reads exactly 1.
TEST_P(RasterTest, SharedEdgesNeitherGapNorOverlapUnderAdditiveBlending) {
    Fresh(GetParam(), 64, 48);
    AdditiveWhite();
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> jitter(-2.2f, 2.2f);
    constexpr int kN = 9, kM = 7;
    float px[kN + 1][kM + 1], py[kN + 1][kM + 1];
    for (int i = 0; i <= kN; ++i)
        for (int j = 0; j <= kM; ++j) {
            const bool border = i == 0 || j == 0 || i == kN || j == kM;
            px[i][j] = 4.0f + i * 6.3f + (border ? 0 : jitter(rng));
            py[i][j] = 3.0f + j * 6.1f + (border ? 0 : jitter(rng));
        }
    std::vector<ScreenVertex> tris;
    const uint32_t one = 0x00010101u;
    for (int i = 0; i < kN; ++i)
        for (int j = 0; j < kM; ++j) {
            const ScreenVertex a = SV(px[i][j], py[i][j], one), b = SV(px[i + 1][j], py[i + 1][j], one),
                               c = SV(px[i][j + 1], py[i][j + 1], one), d = SV(px[i + 1][j + 1], py[i + 1][j + 1], one);
            // Alternate the diagonal and the winding.
            if ((i + j) % 2)
                tris.insert(tris.end(), {a, b, c, c, b, d});
            else
                tris.insert(tris.end(), {a, d, b, a, c, d});
        }
    RenderSV(tris.data(), int(tris.size() / 3), 0);
    EndScene();
    const float left = px[0][0], right = px[kN][0], top = py[0][0], bottom = py[0][kM];
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            const bool in = x + 0.5f >= left && x + 0.5f < right && y + 0.5f >= top && y + 0.5f < bottom;
            ASSERT_EQ(Pixel(x, y), in ? 0x010101u : 0u) << "pixel " << x << "," << y;
        }
}

TEST_P(RasterTest, AdditiveBlendSaturatesEachChannelOnItsOwn) {
    Fresh(GetParam(), 8, 8);
    UseZBuffer(0);
    SolidTexture("white", 0xFFFFFFFFu);
    SetTexture("white");
    Rect(0, 0, 8, 8, 0x00C81E64u);   // 200, 30, 100
    UseAlphaBlend(1);
    Rect(0, 0, 4, 8, 0x00641464u);   // 100, 20, 100
    EndScene();
    EXPECT_EQ(Pixel(1, 1), 0xFF32C8u);   // 255 (saturated), 50, 200
    EXPECT_EQ(Pixel(6, 1), 0xC81E64u);   // untouched half
}

// Additive light onto white changes no colour, but a depth-tested draw still
// writes its depth there (the AVX2 loop skips runs of white pixels only
// without the depth test).
TEST_P(RasterTest, AdditiveOntoWhiteKeepsWhiteAndStillWritesDepth) {
    Fresh(GetParam(), 32, 8);
    UseZBuffer(0);
    SolidTexture("white", 0xFFFFFFFFu);
    SetTexture("white");
    Rect(0, 0, 32, 8, 0x00FFFFFFu);
    Rect(16, 0, 32, 8, 0x00000000u);   // right half black
    UseAlphaBlend(1);
    Rect(0, 0, 32, 4, 0x00204080u);   // top rows: white stays white, black becomes the colour
    UseZBuffer(1);
    Rect(0, 4, 32, 8, 0x00102030u, 0.3f);
    UseAlphaBlend(0);
    Rect(0, 4, 32, 8, 0x00405060u, 0.5f);   // behind the depth just written: hidden
    EndScene();
    for (int x = 0; x < 32; ++x) {
        EXPECT_EQ(Pixel(x, 1), x < 16 ? 0xFFFFFFu : 0x204080u) << x;
        EXPECT_EQ(Pixel(x, 6), x < 16 ? 0xFFFFFFu : 0x102030u) << x;
    }
}

TEST_P(RasterTest, AlphaChannelWeighsTheSourceOnlyWhenOn) {
    Fresh(GetParam(), 8, 4);
    UseZBuffer(0);
    UseAlphaBlend(1);
    SolidTexture("half", 0x80FFFFFFu);   // alpha 128
    SetTexture("half");
    Rect(0, 0, 4, 4, 0x00C80000u);   // red 200; vertex alpha 0 must not matter
    UseAlphaChannel(0);
    Rect(4, 0, 8, 4, 0x00C80000u);
    EndScene();
    EXPECT_EQ(Pixel(1, 1), uint32_t(std::lround(200.0 * 128 / 255)) << 16);
    EXPECT_EQ(Pixel(5, 1), 200u << 16);
}

TEST_P(RasterTest, ReplaceModeIgnoresWhatWasThere) {
    Fresh(GetParam(), 8, 4);
    UseZBuffer(0);
    SolidTexture("grey", 0xFF404040u);
    SetTexture("grey");
    Rect(0, 0, 8, 4, 0x00FFFFFFu);
    Rect(0, 0, 8, 4, 0x00FF8000u);   // texture x colour: 64*255/255, 64*128/255, 0
    EndScene();
    EXPECT_EQ(Pixel(3, 2), uint32_t(64) << 16 | uint32_t(std::lround(64.0 * 128 / 255)) << 8);
}

TEST_P(RasterTest, DepthBufferKeepsTheNearerWhateverTheOrder) {
    Fresh(GetParam(), 8, 4);
    SolidTexture("white", 0xFFFFFFFFu);
    SetTexture("white");
    Rect(0, 0, 8, 4, 0x000000FFu, 0.3f);   // near, blue, drawn first
    Rect(0, 0, 8, 4, 0x00FF0000u, 0.6f);   // far, red
    Rect(0, 0, 4, 4, 0x0000FF00u, 0.3f);   // equal depth passes (less-or-equal)
    EndScene();
    EXPECT_EQ(Pixel(6, 1), 0x0000FFu);
    EXPECT_EQ(Pixel(1, 1), 0x00FF00u);

    Fresh(GetParam(), 8, 4);
    UseZBuffer(0);
    SetTexture("white");
    Rect(0, 0, 8, 4, 0x000000FFu, 0.3f);
    Rect(0, 0, 8, 4, 0x00FF0000u, 0.6f);   // no depth test: the last one wins
    EndScene();
    EXPECT_EQ(Pixel(6, 1), 0xFF0000u);
    // And nothing was written to depth meanwhile: with the test back on, a far
    // draw still passes against the cleared buffer.
    UseZBuffer(1);
    Rect(0, 0, 8, 4, 0x0000FF00u, 0.99f);
    EndScene();
    EXPECT_EQ(Pixel(6, 1), 0x00FF00u);
}

// A 4x2 picture with distinct texels, drawn one texel per pixel and scaled.
constexpr uint32_t kTexels[8] = {0xFF000000, 0xFF400000, 0xFF800000, 0xFFC00000,
                                 0xFF000010, 0xFF000020, 0xFF000030, 0xFF000040};

void DrawTexelQuad(float x0, float y0, float x1, float y1, float u0, float v0, float u1, float v1) {
    const ScreenVertex q[4] = {SV(x0, y0, 0xFFFFFFu, u0, v0), SV(x1, y0, 0xFFFFFFu, u1, v0),
                               SV(x0, y1, 0xFFFFFFu, u0, v1), SV(x1, y1, 0xFFFFFFu, u1, v1)};
    RenderSV(q, 2, 1);
}

TEST_P(RasterTest, NearestAndBilinearAgreeAtTexelCentres) {
    for (int filter = 0; filter < 2; ++filter) {
        Fresh(GetParam(), 4, 2);
        UseZBuffer(0);
        UseFilters(filter);
        qor::render::AddTexture("texels", kTexels, 4, 2);
        SetTexture("texels");
        DrawTexelQuad(0, 0, 4, 2, 0, 0, 1, 1);   // pixel centres fall on texel centres
        EndScene();
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 4; ++x) EXPECT_EQ(Pixel(x, y), kTexels[y * 4 + x] & 0xFFFFFF) << filter;
    }
}

TEST_P(RasterTest, BilinearBlendsNeighboursAndWrapsAtTheEdges) {
    Fresh(GetParam(), 8, 4);
    UseZBuffer(0);
    qor::render::AddTexture("texels", kTexels, 4, 2);
    SetTexture("texels");
    // Shifted by half a texel: every pixel centre lies on a texel edge.
    DrawTexelQuad(0, 0, 8, 4, 0.125f, 0.25f, 2.125f, 2.25f);
    EndScene();
    auto mix = [](uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
        uint32_t out = 0;
        for (int s = 0; s < 24; s += 8) {
            // Even weights: the midpoint, rounded half up; first along rows, then down.
            auto half = [](int p, int q) { return p + int(std::floor((q - p + 1) / 2.0)); };
            const int top = half(int(a >> s & 0xFF), int(b >> s & 0xFF));
            const int bottom = half(int(c >> s & 0xFF), int(d >> s & 0xFF));
            out |= uint32_t(half(top, bottom)) << s;
        }
        return out;
    };
    // Pixel x sits at u = 0.125 + (x + 0.5) * 0.25, texel position u * 4 - 0.5:
    // halfway between two texel centres, likewise down.
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) {
            const float tu = (0.125f + (x + 0.5f) * 0.25f) * 4 - 0.5f;
            const float tv = (0.25f + (y + 0.5f) * 0.5f) * 2 - 0.5f;
            const int ix = int(std::floor(tu)) & 3, iy = int(std::floor(tv)) & 1;
            ASSERT_FLOAT_EQ(tu - std::floor(tu), 0.5f);
            ASSERT_FLOAT_EQ(tv - std::floor(tv), 0.5f);
            const uint32_t expect = mix(kTexels[iy * 4 + ix], kTexels[iy * 4 + (ix + 1) % 4],
                                        kTexels[(iy + 1) % 2 * 4 + ix], kTexels[(iy + 1) % 2 * 4 + (ix + 1) % 4]);
            ASSERT_EQ(Pixel(x, y), expect & 0xFFFFFF) << x << "," << y;
        }
}

TEST_P(RasterTest, AddressingRepeatsFarOutsideZeroToOne) {
    for (int filter = 0; filter < 4; ++filter) {
        Fresh(GetParam(), 4, 2);
        UseZBuffer(0);
        UseFilters(filter & 1);
        // The same texels in a 4x3 picture (the last row unused): sides that
        // are not powers of two take the other addressing path.
        std::vector<uint32_t> tall(kTexels, kTexels + 8);
        tall.insert(tall.end(), 4, 0xFFFFFFFFu);
        if (filter < 2)
            qor::render::AddTexture("texels", kTexels, 4, 2);
        else
            qor::render::AddTexture("texels", tall.data(), 4, 3);
        SetTexture("texels");
        const float v0 = 17.0f, v1 = filter < 2 ? 18.0f : 17.0f + 2.0f / 3.0f;
        DrawTexelQuad(0, 0, 4, 2, -45.0f, v0, -44.0f, v1);
        EndScene();
        // Thirds are not exact in binary: the filtered odd picture may take
        // 1/256 of a neighbour.
        const int slack = filter == 3 ? 1 : 0;
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 4; ++x)
                for (int shift = 0; shift < 24; shift += 8)
                    EXPECT_NEAR(int(Pixel(x, y) >> shift & 255), int(kTexels[y * 4 + x] >> shift & 255), slack)
                        << filter << " " << x << "," << y;
    }
}

TEST_P(RasterTest, CylindricalWrappingTakesTheShortWayRoundTheSeam) {
    // u runs 0.875 -> 1.125 across 4 pixels (through the seam), given as 0.875 -> 0.125.
    Fresh(GetParam(), 4, 1);
    UseZBuffer(0);
    UseFilters(0);
    qor::render::AddTexture("texels", kTexels, 4, 2);
    SetTexture("texels");
    SetTextureWrapping(1);
    DrawTexelQuad(0, 0, 4, 1, 0.875f, 0.0f, 0.125f, 0.5f);
    EndScene();
    // Pixel centres at u = 0.90625, 0.96875, 1.03125, 1.09375: texels 3, 3, 0, 0.
    EXPECT_EQ(Pixel(0, 0), kTexels[3] & 0xFFFFFF);
    EXPECT_EQ(Pixel(1, 0), kTexels[3] & 0xFFFFFF);
    EXPECT_EQ(Pixel(2, 0), kTexels[0] & 0xFFFFFF);
    EXPECT_EQ(Pixel(3, 0), kTexels[0] & 0xFFFFFF);
    // Without wrapping the same corners run back across the whole picture.
    SetTextureWrapping(0);
    DrawTexelQuad(0, 0, 4, 1, 0.875f, 0.0f, 0.125f, 0.5f);
    EndScene();
    EXPECT_EQ(Pixel(1, 0), kTexels[2] & 0xFFFFFF);   // u = 0.6875
}

TEST_P(RasterTest, ViewportClipsScreenTrianglesAndClearsDoNot) {
    Fresh(GetParam(), 16, 12);
    UseZBuffer(0);
    SolidTexture("white", 0xFFFFFFFFu);
    SetTexture("white");
    SetViewPort(4, 3, 8, 6);
    Rect(-100, -100, 100, 100, 0x00FFFFFFu);
    EndScene();
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool in = x >= 4 && x < 12 && y >= 3 && y < 9;
            ASSERT_EQ(Pixel(x, y), in ? 0xFFFFFFu : 0u) << x << "," << y;
        }
    ClearBackBuffer(1, 2, 3);
    EndScene();
    EXPECT_EQ(Pixel(0, 0), 0x010203u);
    EXPECT_EQ(Pixel(15, 11), 0x010203u);
}

TEST_P(RasterTest, MissingTextureSamplesOpaqueMidGrey) {
    Fresh(GetParam(), 4, 4);
    UseZBuffer(0);
    SetTexture("never-loaded.png");
    Rect(0, 0, 4, 4, 0x00FFFFFFu);
    EndScene();
    EXPECT_EQ(Pixel(2, 2), 0x808080u);
}

// Random triangles in random states: the two rasterizers give the same bytes.
TEST(RasterAgreement, PortableAndAvx2GiveIdenticalPixels) {
    // One picture with power-of-two sides, one without: both addressing paths.
    std::vector<uint32_t> picture(64 * 32), odd(48 * 20);
    std::mt19937 rng(11);
    for (uint32_t& p : picture) p = uint32_t(rng());
    for (uint32_t& p : odd) p = uint32_t(rng()) & 0x7F7F7F7Fu;
    std::vector<uint32_t> result[2];
    for (int pass = 0; pass < 2; ++pass) {
        Fresh(Raster{pass == 1, pass == 1 ? 2 : 1}, 96, 64);
        qor::render::AddTexture("noise", picture.data(), 64, 32);
        qor::render::AddTexture("odd", odd.data(), 48, 20);
        std::mt19937 r(5);
        std::uniform_real_distribution<float> pos(-20, 116), uv(-3, 3), z(0, 1), rhw(0.05f, 2.0f);
        for (int i = 0; i < 300; ++i) {
            const uint32_t bits = r();
            UseZBuffer(bits & 1), UseAlphaBlend(bits >> 1 & 1), UseAlphaChannel(bits >> 2 & 1);
            UseFilters(bits >> 3 & 1);
            SetTexture(bits >> 4 & 1 ? "noise" : "odd");
            ScreenVertex t[3];
            for (ScreenVertex& v : t) v = ScreenVertex{pos(r), pos(r), z(r), rhw(r), uint32_t(r()), uv(r), uv(r)};
            RenderSV(t, 1, 0);
        }
        EndScene();
        result[pass] = Pixels();
    }
    int differ = 0;
    for (size_t i = 0; i < result[0].size(); ++i) differ += result[0][i] != result[1][i];
    EXPECT_EQ(differ, 0);
}

// Fans of triangles around pixel centres, spokes of every length and slope
// ending on pixel centres too, so that edges pass exactly through many pixel
// centres (where the fill rule decides), and long slivers: drawn with one unit
// each additively. Where each row's run starts and ends is worked out per row
// in the AVX2 loop and per pixel in the portable one; both give the same
// coverage, and inside a fan every pixel is covered exactly once.
TEST(RasterAgreement, EdgesThroughPixelCentresCoverTheSamePixels) {
    std::vector<uint32_t> result[2];
    for (int pass = 0; pass < 2; ++pass) {
        Fresh(Raster{pass == 1, pass == 1 ? 2 : 1}, 320, 240);
        AdditiveWhite();
        std::mt19937 r(17);
        std::uniform_int_distribution<int> px(-40, 360), py(-40, 280), spokes(5, 12), len(1, 300);
        std::uniform_real_distribution<float> angle(0.0f, 6.2831853f), width(0.02f, 3.0f);
        const uint32_t one = 0x00010101u;
        std::vector<ScreenVertex> tris;
        for (int f = 0; f < 60; ++f) {
            const float cx = px(r) + 0.5f, cy = py(r) + 0.5f;
            const int n = spokes(r);
            const float a0 = angle(r);
            std::vector<ScreenVertex> rim;
            for (int k = 0; k < n; ++k) {
                const float a = a0 + 6.2831853f * float(k) / float(n);
                const float l = float(len(r));
                rim.push_back(
                    SV(std::floor(cx + l * std::cos(a)) + 0.5f, std::floor(cy + l * std::sin(a)) + 0.5f, one));
            }
            for (int k = 0; k < n; ++k) tris.insert(tris.end(), {SV(cx, cy, one), rim[k], rim[(k + 1) % n]});
        }
        // Display-high triangles whose long edges run through pixel centres
        // far from their left end, where the estimate of a row's end is at its
        // least precise.
        for (int k = 0; k <= 330; k += 3) {
            const float x2 = float(k) + 0.5f;
            tris.insert(tris.end(), {SV(0.5f, -30.5f, one), SV(330.5f, -30.5f, one), SV(x2, 269.5f, one)});
            tris.insert(tris.end(), {SV(x2, -30.5f, one), SV(330.5f, 269.5f, one), SV(-9.5f, 269.5f, one)});
        }
        for (int i = 0; i < 2000; ++i) {
            const float x = px(r) + 0.5f, y = py(r) + 0.5f, a = angle(r), l = float(len(r)), w = width(r);
            const float dx = std::cos(a), dy = std::sin(a);
            tris.insert(tris.end(),
                        {SV(x, y, one), SV(std::floor(x + dx * l) + 0.5f, std::floor(y + dy * l) + 0.5f, one),
                         SV(x + dx * l - dy * w, y + dy * l + dx * w, one)});
        }
        RenderSV(tris.data(), int(tris.size() / 3), 0);
        EndScene();
        result[pass] = Pixels();
    }
    int differ = 0, covered = 0;
    for (size_t i = 0; i < result[0].size(); ++i) differ += result[0][i] != result[1][i], covered += result[0][i] != 0;
    EXPECT_EQ(differ, 0);
    EXPECT_GT(covered, 20000);
}

// A single fan around a pixel centre, spokes ending on pixel centres: inside
// it, every pixel is covered exactly once, on both rasterizers.
TEST_P(RasterTest, FanThroughPixelCentresCoversEachPixelOnce) {
    Fresh(GetParam(), 96, 64);
    AdditiveWhite();
    const uint32_t one = 0x00010101u;
    // A rectangle 4.5 .. 90.5 by 3.5 .. 60.5 cut into a fan around (40.5, 30.5)
    // whose rim points lie on its border at pixel centres.
    const float rim[][2] = {{4.5f, 3.5f},   {30.5f, 3.5f},  {31.5f, 3.5f}, {90.5f, 3.5f}, {90.5f, 17.5f},
                            {90.5f, 60.5f}, {61.5f, 60.5f}, {7.5f, 60.5f}, {4.5f, 60.5f}, {4.5f, 41.5f}};
    constexpr int kRim = sizeof rim / sizeof rim[0];
    std::vector<ScreenVertex> tris;
    for (int k = 0; k < kRim; ++k) {
        const auto& p = rim[k];
        const auto& q = rim[(k + 1) % kRim];
        tris.insert(tris.end(), {SV(40.5f, 30.5f, one), SV(p[0], p[1], one), SV(q[0], q[1], one)});
    }
    RenderSV(tris.data(), kRim, 0);
    EndScene();
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 96; ++x) {
            const bool in = x + 0.5f >= 4.5f && x + 0.5f < 90.5f && y + 0.5f >= 3.5f && y + 0.5f < 60.5f;
            ASSERT_EQ(Pixel(x, y), in ? 0x010101u : 0u) << x << "," << y;
        }
}

// Every combination of depth test, additive blend, alpha channel, filtering,
// perspective, flat or shaded colour and picture (sides powers of two or not,
// mostly black or transparent), with triangles from single pixels to wider
// than the display: the two rasterizers give the same bytes.
TEST(RasterAgreement, EveryStateCombinationGivesIdenticalPixels) {
    std::vector<uint32_t> dense(32 * 16), odd(24 * 10), sparse(64 * 64);
    std::mt19937 rng(29);
    for (uint32_t& p : dense) p = uint32_t(rng());
    for (uint32_t& p : odd) p = uint32_t(rng());
    // A texel in eight is there; some of those have no colour, some no alpha.
    for (uint32_t& p : sparse) p = rng() % 8 ? 0u : uint32_t(rng()) & (rng() % 2 ? 0xFF000000u : 0x00FFFFFFu);
    const char* names[] = {"dense", "odd", "sparse"};
    std::vector<uint32_t> result[2];
    for (int pass = 0; pass < 2; ++pass) {
        Fresh(Raster{pass == 1, pass == 1 ? 2 : 1}, 96, 64);
        qor::render::AddTexture("dense", dense.data(), 32, 16);
        qor::render::AddTexture("odd", odd.data(), 24, 10);
        qor::render::AddTexture("sparse", sparse.data(), 64, 64);
        std::mt19937 r(31);
        std::uniform_real_distribution<float> unit(0, 1), uv(-4, 4), rhw(0.1f, 3.0f);
        for (int combo = 0; combo < 64 * 3; ++combo) {
            const int bits = combo / 3;
            UseZBuffer(bits & 1), UseAlphaBlend(bits >> 1 & 1), UseAlphaChannel(bits >> 2 & 1);
            UseFilters(bits >> 3 & 1);
            const bool persp = bits >> 4 & 1, flat = bits >> 5 & 1;
            SetTexture(names[combo % 3]);
            for (int n = 0; n < 8; ++n) {
                // Sizes from a pixel to twice the display, anywhere on it or partly off it.
                const float size = std::pow(2.0f, unit(r) * 8.0f), cx = unit(r) * 110 - 7, cy = unit(r) * 78 - 7;
                // Flat: white, a grey or a colour; else a colour per corner.
                const uint32_t flatColor = n % 3 == 0 ? 0xFFFFFFu : n % 3 == 1 ? (r() & 0xFF) * 0x010101u : r();
                const float w = rhw(r);
                ScreenVertex t[3];
                for (ScreenVertex& v : t)
                    v = ScreenVertex{cx + (unit(r) - 0.5f) * size,
                                     cy + (unit(r) - 0.5f) * size,
                                     unit(r),
                                     persp ? rhw(r) : w,
                                     flat ? flatColor : uint32_t(r()),
                                     uv(r),
                                     uv(r)};
                RenderSV(t, 1, 0);
            }
        }
        EndScene();
        result[pass] = Pixels();
    }
    int differ = 0, lit = 0;
    for (size_t i = 0; i < result[0].size(); ++i) differ += result[0][i] != result[1][i], lit += result[0][i] != 0;
    EXPECT_EQ(differ, 0);
    EXPECT_GT(lit, 96 * 64 / 4);
}

// The pixels whose centres lie in the corners' box (28.4 fixed point), as the
// geometry stage boxes them, clipped to a w x h target; false when none.
bool BoxPixels(qor::render::Tri& t, const int32_t* x, const int32_t* y, int w, int h) {
    using namespace qor::render;
    t.minX = int16_t(std::max(0, (std::min({x[0], x[1], x[2]}) + kSubUnit / 2 - 1) >> kSubBits));
    t.maxX = int16_t(std::min(w - 1, (std::max({x[0], x[1], x[2]}) - kSubUnit / 2) >> kSubBits));
    t.minY = int16_t(std::max(0, (std::min({y[0], y[1], y[2]}) + kSubUnit / 2 - 1) >> kSubBits));
    t.maxY = int16_t(std::min(h - 1, (std::max({y[0], y[1], y[2]}) - kSubUnit / 2) >> kSubBits));
    return t.minX <= t.maxX && t.minY <= t.maxY;
}

// Triangles straight to each rasterizer, which finds each row's run of
// pixels from where the edges cross the row: the pixels covered are exactly
// those where all three edge functions are >= 0 (the fill rule is in their
// values). Corners on pixel centres or anywhere, slivers, triangles as large
// as the guard band allows, drawn a band of rows at a time.
TEST(RasterCoverage, RowRunsHoldExactlyThePixelsInsideAllThreeEdges) {
    using namespace qor::render;
    constexpr int kW = 80, kH = 60;
    std::vector<uint32_t> color(kW * kH + 16);
    std::vector<float> depth(kW * kH + 16);
    Texture white;
    const uint32_t texel = 0xFFFFFFFFu;
    FillTexture(white, &texel, 1, 1);
    const DrawState state{&white, 0, 0, 0, kW, kH};
    const Target target{color.data(), depth.data(), kW, kH};
    std::vector<DrawTriFn> rasters = {DrawTriPortable};
    if (CpuHasSimd()) rasters.push_back(DrawTriSimd);
    std::mt19937 r(41);
    std::uniform_int_distribution<int> scale(0, 3), coin(0, 1);
    int wrong = 0, covered = 0;
    for (int n = 0; n < 4000; ++n) {
        // Corners in 28.4 fixed point, within 32 pixels of the display.
        const int reach = (8 << (2 * scale(r))) * kSubUnit, snap = coin(r);
        const int cx = std::uniform_int_distribution<int>(0, kW * kSubUnit)(r);
        const int cy = std::uniform_int_distribution<int>(0, kH * kSubUnit)(r);
        std::uniform_int_distribution<int> off(-reach, reach);
        int32_t x[3], y[3];
        for (int k = 0; k < 3; ++k) {
            x[k] = std::clamp(cx + off(r), -32 * kSubUnit, (kW + 32) * kSubUnit);
            y[k] = std::clamp(cy + off(r), -32 * kSubUnit, (kH + 32) * kSubUnit);
            if (snap)
                x[k] = x[k] / kSubUnit * kSubUnit + kSubUnit / 2, y[k] = y[k] / kSubUnit * kSubUnit + kSubUnit / 2;
        }
        const int64_t area = int64_t(x[1] - x[0]) * (y[2] - y[0]) - int64_t(x[2] - x[0]) * (y[1] - y[0]);
        if (area == 0) continue;
        if (area < 0) std::swap(x[1], x[2]), std::swap(y[1], y[2]);
        Tri t{};
        if (!BoxPixels(t, x, y, kW, kH)) continue;
        t.flags = kFlatColor;
        float a[3][kAttrSlots] = {};
        for (auto& corner : a) corner[kRhw] = 1.0f, corner[kR] = corner[kG] = corner[kB] = 255.0f;
        MakeTri(t, x, y, a);
        for (DrawTriFn draw : rasters) {
            std::fill(color.begin(), color.end(), 0u);
            for (int band = 0; band < kH; band += kBandRows)
                draw(t, state, target, band, std::min(kH, band + kBandRows));
            for (int py = 0; py < kH; ++py)
                for (int px = 0; px < kW; ++px) {
                    bool in = px >= t.minX && px <= t.maxX && py >= t.minY && py <= t.maxY;
                    for (int k = 0; k < 3 && in; ++k)
                        in = int64_t(t.e[k]) + int64_t(t.stepX[k]) * (px - t.minX) +
                                 int64_t(t.stepY[k]) * (py - t.minY) >=
                             0;
                    const bool drawn = color[size_t(py) * kW + px] != 0;
                    wrong += drawn != in;
                    covered += in;
                }
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(covered, 100000);
}

// An additive draw through the alpha channel of a picture whose every texel
// is opaque multiplies each channel by 255/255, so it is drawn by the loop
// without the alpha channel: the bytes must be those of the full arithmetic,
// on every path and for every filter and addressing. A single transparent
// texel makes a picture not opaque.
TEST(RasterAgreement, OpaquePicturesThroughTheAlphaChannelKeepTheirBytes) {
    using namespace qor::render;
    constexpr int kW = 64, kH = 48;
    std::mt19937 r(43);
    std::vector<uint32_t> pow2(32 * 16), odd(24 * 10);
    for (uint32_t& p : pow2) p = uint32_t(r()) | 0xFF000000u;
    for (uint32_t& p : odd) p = uint32_t(r()) | 0xFF000000u;
    Texture pictures[2];
    FillTexture(pictures[0], pow2.data(), 32, 16);
    FillTexture(pictures[1], odd.data(), 24, 10);
    ASSERT_TRUE(pictures[0].opaque && pictures[1].opaque);
    Texture holed;
    pow2[77] &= 0xFEFFFFFFu;
    FillTexture(holed, pow2.data(), 32, 16);
    EXPECT_FALSE(holed.opaque);

    std::vector<DrawTriFn> rasters = {DrawTriPortable};
    if (CpuHasSimd()) rasters.push_back(DrawTriSimd);
    std::uniform_real_distribution<float> unit(0, 1), uv(-3, 3), rhw(0.2f, 2.0f), channel(0, 255);
    int differ = 0, lit = 0;
    for (int combo = 0; combo < 32; ++combo) {
        Texture& picture = pictures[combo & 1];
        const uint32_t bits = kBlend | kAlphaChannel | (combo & 2 ? kBilinear : 0u) | (combo & 4 ? kDepth : 0u);
        const bool persp = combo & 8, flat = combo & 16;
        // Triangles of all sizes over the display, drawn band by band.
        std::vector<Tri> tris;
        for (int n = 0; n < 12; ++n) {
            const float size = std::pow(2.0f, unit(r) * 7.0f), cx = unit(r) * kW, cy = unit(r) * kH;
            int32_t x[3], y[3];
            float a[3][kAttrSlots] = {};
            const float flatR = channel(r), flatG = channel(r), flatB = channel(r);
            for (int k = 0; k < 3; ++k) {
                x[k] = int32_t((cx + (unit(r) - 0.5f) * size) * kSubUnit);
                y[k] = int32_t((cy + (unit(r) - 0.5f) * size) * kSubUnit);
                const float w = persp ? rhw(r) : 1.0f;
                a[k][kZ] = unit(r), a[k][kRhw] = w, a[k][kU] = uv(r) * w, a[k][kV] = uv(r) * w;
                a[k][kR] = (flat ? flatR : channel(r)) * (persp ? w : 1.0f);
                a[k][kG] = (flat ? flatG : channel(r)) * (persp ? w : 1.0f);
                a[k][kB] = (flat ? flatB : channel(r)) * (persp ? w : 1.0f);
            }
            if (int64_t(x[1] - x[0]) * (y[2] - y[0]) - int64_t(x[2] - x[0]) * (y[1] - y[0]) < 0)
                std::swap(x[1], x[2]), std::swap(y[1], y[2]), std::swap(a[1], a[2]);
            Tri t{};
            if (!BoxPixels(t, x, y, kW, kH)) continue;
            t.flags = (persp ? kPerspective : 0u) | (flat ? kFlatColor : 0u);
            MakeTri(t, x, y, a);
            tris.push_back(t);
        }
        // The picture as it is (opaque) and as if some texel were not.
        std::vector<uint32_t> result[2];
        for (int asIs = 0; asIs < 2; ++asIs) {
            picture.opaque = asIs == 1;
            for (DrawTriFn draw : rasters) {
                std::vector<uint32_t> color(kW * kH + 16, 0xFF203040u);
                std::vector<float> depth(kW * kH + 16, 0.5f);
                const DrawState state{&picture, bits, 0, 0, kW, kH};
                const Target target{color.data(), depth.data(), kW, kH};
                for (const Tri& t : tris)
                    for (int band = 0; band < kH; band += kBandRows)
                        draw(t, state, target, band, std::min(kH, band + kBandRows));
                color.resize(kW * kH);
                if (result[0].empty()) result[0] = color;
                for (size_t i = 0; i < color.size(); ++i)
                    differ += color[i] != result[0][i], lit += asIs == 0 && color[i] != 0xFF203040u;
            }
        }
        picture.opaque = true;
    }
    EXPECT_EQ(differ, 0);
    EXPECT_GT(lit, kW * kH);
}

TEST(Argb, ClampsEachComponent) {
    EXPECT_EQ(ARGB(128, 100, 100, 100), 0x80646464u);
    EXPECT_EQ(ARGB(0, 300, 300, 300), 0x00FFFFFFu);
    EXPECT_EQ(ARGB(-17, 256, -1, 255), 0x00FF00FFu);
}

INSTANTIATE_TEST_SUITE_P(Rasterizers, RasterTest, testing::ValuesIn(Rasters()), RasterName);

}   // namespace
}   // namespace teqtest
