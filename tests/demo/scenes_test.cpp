// The five scenes, called directly and checked against the recorder's log.
#include <gtest/gtest.h>

#include <cmath>

#include "scenes/geo.h"
#include "scenes/grid.h"
#include "scenes/sieni.h"
#include "scenes/trio.h"
#include "scenes/tunnel.h"
#include "support.h"

namespace {

void ExpectArgs(const std::string& line, const std::vector<double>& args, double tol) {
    for (size_t i = 0; i < args.size(); i++) EXPECT_NEAR(Arg(line, i), args[i], tol) << line;
}

}   // namespace

TEST(Grid, LayoutAndRayCast) {
    RunDemo(Data(), {});
    for (const auto& [i, x, y] : std::vector<std::tuple<int, float, float>>{
             {0, 0, 0}, {1, 10, 0}, {2, 0, 10}, {5, 10, 10}, {143, 10, 240}, {144, 10, 0}, {4607, 320, 240}}) {
        const ScreenVertex& r = GridScene.grid[i];
        EXPECT_EQ(std::vector<float>({r.x, r.y, r.z, r.rhw}), std::vector<float>({x, y, 1, 1})) << i;
        EXPECT_EQ(r.color, 0x00FFFFFFu);
    }
    EnsurePrepared();
    auto record = [](float t, int i) {
        const Lines l = Capture([t] { GridScene.Render(t); }, 0, true);
        EXPECT_EQ(Count(l, "ARGB("), 4608);
        return Fields(l[size_t(Find(l, "RenderSV([4608], 1536, 0)") + 1 + i)]);
    };
    // Records at (0, 0), (160, 120), (320, 240) at t = 30 and (200, 100) at t = 35:
    // x y z rhw colour u v.
    const std::vector<std::tuple<float, int, uint32_t, double, double>> recs = {
        {30.0f, 0, 0xFFFFFFFF, -14.94864, 0.254689},
        {30.0f, 2376, 0xFFFFFFFF, -15.01451, 0.158460},
        {30.0f, 4607, 0xD9D9D9D9, -15.47601, 0.117967},
        {35.0f, 2940, 0x00000000, -20.88980, 0.123362}};
    for (const auto& [t, i, color, u, v] : recs) {
        const std::vector<double> f = record(t, i);
        EXPECT_EQ(uint32_t(f[4]), color) << i;
        EXPECT_NEAR(f[5], u, 2e-5) << i;
        EXPECT_NEAR(f[6], v, 2e-6) << i;
    }
    EXPECT_EQ(record(0.0f, 2376)[4], 0);   // the axial ray has no hit
    EXPECT_NEAR(record(90.0f, 1234)[5], -45, 1);
}

TEST(Grid, KnotLoadedOnceDrawnBelow100_2) {
    RunDemo(Data(), {});
    const bool loaded = GridScene.knotLoaded;
    const Lines a = RunDemo(Data(), {30.0f, 31.0f}), b = RunDemo(Data(), {32.0f});
    EXPECT_EQ(Count(a, "LoadMesh(\"knot.a3f\")") + Count(b, "LoadMesh(\"knot.a3f\")"), loaded ? 0 : 1);
    const Lines l = Capture([] { GridScene.Render(30.0f); });
    const int at = Find(l, "UseZBuffer(0)");
    EXPECT_EQ(Lines(l.begin() + at, l.end()),
              (Lines{"UseZBuffer(0)", "UseFilters(1)", "SetTexture(\"grid1.png\")", "RenderSV([4608], 1536, 0)",
                     "UseAlphaChannel(0)", "UseZBuffer(1)", "UseFilters(1)", "SetTextureWrapping(0)",
                     "SetTexture(\"tech.jpg\")", "UseEnvMap(1)", "UseAlphaBlend(1)", "CamPoint(130, 0, 0)",
                     l[size_t(at) + 12], "Rotate(30, 30, 30, 1)", b[size_t(Find(b, "RenderMesh("))], "UseEnvMap(0)"}));
    ExpectArgs(l[size_t(at) + 12], {-49.401581, -15.193758, 0}, 1e-5);
    EXPECT_EQ(Count(Capture([] { GridScene.Render(std::nextafter(100.2f, 0.0f)); }), "RenderMesh("), 1);
    const Lines at100 = Capture([] { GridScene.Render(100.2f); });
    EXPECT_EQ(Lines(at100.end() - 4, at100.end()),
              (Lines{"Rotate(100.199997, 100.199997, 100.199997, 1)", "CamPoint(0, 0.100000001, 0)",
                     "CamLookAt(0, 0, 0)", "UseEnvMap(0)"}));
}

TEST(Geo, PrepareMappingAndRenderCalls) {
    RunDemo(Data(), {});
    const MeshVertex* v = GeoScene.mesh.objects[0].vertices;
    EXPECT_EQ(std::vector<float>({v[0].u, v[1].u, v[1].x}), std::vector<float>({0.02f, 0.05f, -4.0f}));
    EXPECT_NEAR(v[0].v, 0.1024164, 1e-7);
    EXPECT_NEAR(v[1].v, 0.8128330, 1e-7);
    EXPECT_EQ(v[0].color, 0x80646464u);
    const MeshVertex& other = GeoScene.mesh.objects[1].vertices[0];   // object 1 as loaded
    EXPECT_EQ(std::vector<float>({float(other.color == 0x11223344u), other.u, other.v}),
              std::vector<float>({1.0f, 0.5f, 0.25f}));

    auto run = [](float lt) { return Capture([lt] { GeoScene.Render(lt); }); };
    const Lines l0 = run(0.0f), l10 = run(10.0f);
    ExpectArgs(l0[size_t(Find(l0, "Rotate("))], {81, 177.12, 162, 1}, 1e-4);
    EXPECT_EQ(l0[size_t(Find(l0, "Translate("))], "Translate(0, 15, 0, 0)");
    ExpectArgs(l10[size_t(Find(l10, "Rotate("))], {85.545456, 187.05939, 171.09091, 1}, 1e-4);
    ExpectArgs(l10[size_t(Find(l10, "Translate("))], {-8.1603165, -6.9180579, -2.858521, 0}, 1e-6);
    EXPECT_EQ(l0[size_t(Find(l0, "Scale("))], "Scale(0.300000012, 0.300000012, 0.300000012, 0)");
    EXPECT_EQ(l0[size_t(Find(l0, "Scale(", Find(l0, "SetTexture(\"valo.png\")")))],
              "Scale(0.306666672, 0.306666672, 0.306666672, 0)");
    EXPECT_EQ(l0[l0.size() - 5], "Scale(0.926666677, 0.926666677, 0.926666677, 0)");
    // The first copy alone with geo.jpg, blending and filtering off.
    EXPECT_EQ(FindRun(l0, {"UseAlphaBlend(1)", "UseFilters(1)", "SetTexture(\"valo.png\")"}),
              Find(l0, "RenderMesh(") + 1);
    EXPECT_EQ(Count(l0, "SetTexture(\"valo.png\")"), 1);
    EXPECT_EQ(Count(l0, "RenderMesh("), 95);
    EXPECT_EQ(Lines(l0.end() - 2, l0.end()), (Lines{"UseAlphaBlend(0)", "UseZBuffer(1)"}));
    EXPECT_EQ(l0.size(), 392u);
    EXPECT_EQ(run(50.0f).size(), 392u);
    EXPECT_EQ(Count(run(50.5f), "Translate(0, 0, 65, 0)"), 95);
    EXPECT_EQ(run(50.5f).size(), 487u);
    EXPECT_EQ(run(51.0f), (Lines{"SetTexture(\"grid1.png\")", "UseZBuffer(0)", "UseAlphaBlend(0)"}));
}

TEST(Trio, CallsAndTranslations) {
    EnsurePrepared();
    const Lines l0 = Capture([] { TrioScene.Render(0.0f); });
    const std::string mesh = ArgText(l0[8], 0).substr(0, ArgText(l0[8], 0).size() - 2);
    EXPECT_EQ(l0,
              (Lines{"CamPoint(50, 50, 0)", "CamLookAt(0, 50, 0)", "Translate(0, -15, 0, 1)", "Rotate(0, 0, 0, 0)",
                     "Scale(1.5, 1.5, 1.5, 0)", "UseZBuffer(1)", "UseAlphaBlend(1)", "SetTexture(\"05.jpg\")",
                     "RenderObject(" + mesh + ".0)", "SetTexture(\"04.jpg\")", "RenderObject(" + mesh + ".1)",
                     "SetTexture(\"02.jpg\")", "RenderObject(" + mesh + ".2)", "UseAlphaBlend(0)"}));   // not object 3
    ExpectArgs(Capture([] { TrioScene.Render(6.2831855f); })[2], {35.0, -37.5, 0.0, 1}, 1e-4);
    ExpectArgs(Capture([] { TrioScene.Render(10.0f); })[2], {20.9465, -44.7251, -14.3839, 1}, 1e-4);
}

namespace {

// Object and segment of each copy a tunnel Render drew; the segment comes from
// the depth of the object's first vertex (z = 0 in the source) through its v.
std::vector<std::vector<int>> TunnelSegments(float lt, const Lines& log) {
    const double flight = float((lt > 5.0f ? lt - 5.0 : double(lt)) * double(2.2f));
    std::vector<std::vector<int>> out(3);
    for (size_t i = 0; i < log.size(); i++) {
        if (!Starts(log[i], "RenderObject(")) continue;
        const double depth = -Fields(log[i + 1])[8] / double(0.014285714f);
        out[size_t(log[i][log[i].size() - 2] - '0')].push_back(int(std::lround((depth - flight) / 50)));
    }
    return out;
}

std::vector<int> Range(int from, int to, int step = 1) {
    std::vector<int> out;
    for (int j = from; j < to; j += step) out.push_back(j);
    return out;
}

Lines Tunnel(float lt, float level = 0) {
    return Capture([lt] { TunnelScene.Render(lt); }, level, true);
}

}   // namespace

TEST(Tunnel, SegmentRangesAndOrder) {
    EnsurePrepared();
    const std::vector<std::tuple<float, int, int, int>> cases = {{5.0f, 55, 90, 63},
                                                                 {std::nextafter(5.0f, 6.0f), 0, 35, 0},
                                                                 {2.0f, 22, 57, 27},
                                                                 {17.0f, 132, 160, 135},
                                                                 {19.6f, 0, 0, 0}};
    for (const auto& [lt, from, to, first9] : cases) {
        const Lines log = Tunnel(lt);
        EXPECT_EQ(TunnelSegments(lt, log),
                  (std::vector<std::vector<int>>{Range(from, to), Range(from, to), Range(first9, to, 9)}))
            << lt;
        // Object 2 keeps darkgray.jpg; the camera comes after every copy.
        EXPECT_EQ(Count(log, "SetTexture(\"tunnel.jpg\")"), to - from);
        EXPECT_EQ(Count(log, "SetTexture(\"darkgray.jpg\")"), to - from);
        EXPECT_EQ(log.front(), "Rotate(0, 0, 0, 1)");
        EXPECT_TRUE(Starts(log[log.size() - 2], "CamPoint(") && Starts(log.back(), "CamLookAt(")) << lt;
    }
}

TEST(Tunnel, RebuiltVerticesAndCamera) {
    EnsurePrepared();
    const Lines log = Tunnel(2.0f);
    const Lines perVertex = {"GetSoundLevel() = 0", "GetSoundLevel() = 0", "GetSoundLevel() = 0", "GetSoundLevel() = 0",
                             "ARGB(163, 163, 163, 163) = 0xa3a3a3a3"};
    EXPECT_EQ(FindRun(log, perVertex), 1);
    const int draw = Find(log, "RenderObject(");
    EXPECT_EQ(log[size_t(draw) - 1], "SetTexture(\"tunnel.jpg\")");
    // Segment 22: (10, 0, 0) moved, bent and lit; normal and u as copied.
    const std::vector<double> v0 = Fields(log[size_t(draw) + 1]), v1 = Fields(log[size_t(draw) + 2]);
    for (size_t i = 0; i < 3; i++) EXPECT_NEAR(v0[i], std::vector<double>({-153.640, -191.711, -1076.774})[i], 2e-3);
    EXPECT_EQ(std::vector<double>(v0.begin() + 3, v0.begin() + 8), (std::vector<double>{0, 0, 1, 0xa3a3a3a3, 0}));
    EXPECT_NEAR(v0[8], -15.777143, 2e-6);
    EXPECT_EQ(v1[6], 0);   // ny = 1 in a dark band: below 0, clamped
    ExpectArgs(log[log.size() - 2], {-192.079, -219.469, -1061.347}, 2e-3);
    ExpectArgs(log.back(), {-191.144, -220.933, -1066.394}, 2e-3);
    const Lines at5 = Tunnel(5.0f);
    ExpectArgs(at5[at5.size() - 2], {795.137, -223.866, -2623.313}, 2e-3);
    EXPECT_EQ(Tunnel(2.0f), log);   // every rewrite starts from the pristine copy
    // Level 0.5 (music term 5062) makes every copy up to segment 150 full white.
    const Lines loud = Tunnel(2.0f, 0.5f);
    EXPECT_EQ(Count(loud, "ARGB(255, 255, 255, 255)"), 3 * (35 + 35 + 4));
    EXPECT_EQ(Count(loud, "ARGB("), 3 * (35 + 35 + 4));
}

TEST(Sieni, CameraLightAndCopies) {
    EnsurePrepared();
    const Lines l = Capture([] { SieniScene.Render(2.5f); });
    ASSERT_EQ(l.size(), 7u + 60u);
    EXPECT_EQ(Lines(l.begin(), l.begin() + 4),
              (Lines{"CamPoint(100, 150, 50)", "CamLookAt(0, 0, 0)", "SetTexture(\"sieni.jpg\")",
                     "ARGB(0, 212, 212, 212) = 0x00d4d4d4"}));
    ExpectArgs(l[4], {0, 100 * std::sin(2.5), 0, 0, 10000, 0x00d4d4d4}, 1e-5);
    EXPECT_EQ(Lines(l.begin() + 5, l.begin() + 7), (Lines{"EnableLight(0, 1)", "UseLighting(1)"}));
    const std::map<int, std::pair<double, double>> places = {
        {0, {0, 250}}, {1, {39.514, 70.916}}, {2, {-78.236, -209.768}}, {19, {122.126, 182.543}}};
    for (int i = 0; i < 20; i++) {
        if (places.count(i)) ExpectArgs(l[size_t(7 + 3 * i)], {places.at(i).first, 0, places.at(i).second, 1}, 1e-3);
        EXPECT_EQ(l[size_t(8 + 3 * i)], "Rotate(2.5, 0, 0, 0)");
        EXPECT_TRUE(Starts(l[size_t(9 + 3 * i)], "RenderMesh("));
    }
    for (const auto& [t, grey] :
         std::vector<std::pair<float, int>>{{0.03f, 254}, {7.5f, 127}, {14.9f, 1}, {16.0f, -17}})
        EXPECT_EQ(Arg(Capture([t] { SieniScene.Render(t); })[3], 1), grey) << t;
    EXPECT_EQ(Capture([] { SieniScene.Render(16.0f); })[3], "ARGB(0, -17, -17, -17) = 0x00000000");
    EXPECT_EQ(Capture([] { SieniScene.Render(7.0f); })[0], "CamPoint(200, 300, 100)");
    ExpectArgs(Capture([] { SieniScene.Render(1.5707964f); })[4], {0, 100, 0, 0}, 1e-4);
}
