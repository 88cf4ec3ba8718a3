// The five scenes, called directly and checked against the recorder's log.
#include <gtest/gtest.h>

#include <cmath>

#include "data.h"
#include "scenes/geo.h"
#include "scenes/grid.h"
#include "scenes/sieni.h"
#include "scenes/trio.h"
#include "scenes/tunnel.h"
#include "support.h"

namespace {

using Lines = std::vector<std::string>;

void ExpectCall(const std::string& line, const char* name, std::vector<double> args, double tol) {
    const Call call = Parse(line);
    EXPECT_EQ(call.name, name) << line;
    ASSERT_EQ(call.args.size(), args.size()) << line;
    for (size_t i = 0; i < args.size(); i++) EXPECT_NEAR(Arg(line, i), args[i], tol) << line;
}

// Grid record i as drawn: x y z rhw colour u v.
std::vector<double> GridRecord(const Lines& log, int i) {
    return Fields(log[size_t(Find(log, "RenderSV([4608]") + 1 + i)]);
}

}  // namespace

TEST(Grid, PrepareLayout) {
    RunDemo(Data(), {});
    const ScreenVertex* g = GridScene.grid;
    const float at[][3] = {{0, 0, 0}, {1, 10, 0}, {2, 0, 10}, {5, 10, 10}, {143, 10, 240},
                           {144, 10, 0}, {4607, 320, 240}};
    for (const auto& a : at) {
        const ScreenVertex& r = g[int(a[0])];
        EXPECT_EQ(r.x, a[1]) << a[0];
        EXPECT_EQ(r.y, a[2]) << a[0];
        EXPECT_EQ(r.z, 1.0f);
        EXPECT_EQ(r.rhw, 1.0f);
        EXPECT_EQ(r.color, 0x00FFFFFFu);
    }
}

TEST(Grid, RayCastRecords) {
    EnsurePrepared();
    auto dump = [](float t) { return Capture([t] { GridScene.Render(t); }, 0, true); };
    const Lines t30 = dump(30.0f), t35 = dump(35.0f), t0 = dump(0.0f), t90 = dump(90.0f);
    struct Rec { const Lines* log; int index; double u, v; uint32_t color; };
    const Rec recs[] = {{&t30, 0, -14.94864, 0.254689, 0xFFFFFFFF},      // (0, 0)
                        {&t30, 2376, -15.01451, 0.158460, 0xFFFFFFFF},   // (160, 120)
                        {&t30, 4607, -15.47601, 0.117967, 0xD9D9D9D9},   // (320, 240)
                        {&t35, 2940, -20.88980, 0.123362, 0x00000000}};  // (200, 100)
    for (const Rec& r : recs) {
        const std::vector<double> f = GridRecord(*r.log, r.index);
        EXPECT_EQ(uint32_t(f[4]), r.color) << r.index;
        EXPECT_NEAR(f[5], r.u, 2e-5) << r.index;
        EXPECT_NEAR(f[6], r.v, 2e-6) << r.index;
    }
    EXPECT_EQ(uint32_t(GridRecord(t0, 2376)[4]), 0u);   // axial ray: no hit
    for (int i = 0; i < TracedGridScene::kVertexCount; i += 97) EXPECT_NEAR(GridRecord(t90, i)[5], -45, 1);
    // One ARGB per record, then the grid drawn as a triangle list.
    EXPECT_EQ(Count(t30, "ARGB("), 4608);
    EXPECT_EQ(Count(t30, "RenderSV("), 1);
}

TEST(Grid, KnotLoadedOnceAndDrawnBelow100_2) {
    RunDemo(Data(), {});
    const bool loaded = GridScene.knotLoaded;
    const Lines a = RunDemo(Data(), {30.0f, 31.0f}), b = RunDemo(Data(), {32.0f});
    EXPECT_EQ(Count(a, "LoadMesh(\"knot.a3f\")") + Count(b, "LoadMesh(\"knot.a3f\")"), loaded ? 0 : 1);

    const Lines t30 = Capture([] { GridScene.Render(30.0f); });
    const int at = Find(t30, "RenderSV(");
    const Lines head = {"UseZBuffer(0)", "UseFilters(1)", "SetTexture(\"grid1.png\")",
                        "RenderSV([4608], 1536, 0)", "UseAlphaChannel(0)", "UseZBuffer(1)",
                        "UseFilters(1)", "SetTextureWrapping(0)", "SetTexture(\"tech.jpg\")",
                        "UseEnvMap(1)", "UseAlphaBlend(1)", "CamPoint(130, 0, 0)"};
    EXPECT_EQ(FindRun(t30, head), at - 3);
    ExpectCall(t30[size_t(at) + 9], "CamLookAt", {-49.401581, -15.193758, 0}, 1e-5);
    EXPECT_EQ(t30[size_t(at) + 10], "Rotate(30, 30, 30, 1)");
    EXPECT_EQ(Parse(t30[size_t(at) + 11]).name, "RenderMesh");
    EXPECT_EQ(t30[size_t(at) + 11], Frame(b, 0)[size_t(Find(Frame(b, 0), "RenderMesh("))]);
    EXPECT_EQ(t30.back(), "UseEnvMap(0)");
    EXPECT_EQ(t30.size(), size_t(at) + 13);

    const Lines below = Capture([] { GridScene.Render(std::nextafter(100.2f, 0.0f)); });
    EXPECT_EQ(Count(below, "RenderMesh("), 1);
    const Lines at100 = Capture([] { GridScene.Render(100.2f); });
    const Lines tail = {"Rotate(100.199997, 100.199997, 100.199997, 1)",
                        "CamPoint(0, 0.100000001, 0)", "CamLookAt(0, 0, 0)", "UseEnvMap(0)"};
    EXPECT_EQ(FindRun(at100, tail), int(at100.size()) - 4);
    EXPECT_EQ(Count(at100, "RenderMesh("), 0);
}

TEST(Geo, PrepareRewritesObjectZeroOnly) {
    RunDemo(Data(), {});
    ASSERT_EQ(GeoScene.mesh.objectCount, 2u);
    const MeshVertex* v = GeoScene.mesh.objects[0].vertices;
    EXPECT_EQ(v[0].u, 0.02f);
    EXPECT_NEAR(v[0].v, 0.1024164, 1e-7);
    EXPECT_EQ(v[0].color, 0x80646464u);
    EXPECT_EQ(v[1].u, 0.05f);
    EXPECT_NEAR(v[1].v, 0.8128330, 1e-7);
    EXPECT_EQ(v[1].x, -4.0f);
    const MeshVertex& other = GeoScene.mesh.objects[1].vertices[0];
    EXPECT_EQ(other.color, 0x11223344u);
    EXPECT_EQ(other.u, 0.5f);
    EXPECT_EQ(other.v, 0.25f);
}

TEST(Geo, RenderCopiesAndCallCounts) {
    EnsurePrepared();
    auto run = [](float lt) { return Capture([lt] { GeoScene.Render(lt); }); };
    const Lines l0 = run(0.0f), l10 = run(10.0f), l50 = run(50.0f), l50h = run(50.5f), l51 = run(51.0f);
    ExpectCall(l0[size_t(Find(l0, "Rotate("))], "Rotate", {81, 177.12, 162, 1}, 1e-4);
    EXPECT_EQ(l0[size_t(Find(l0, "Translate("))], "Translate(0, 15, 0, 0)");
    ExpectCall(l10[size_t(Find(l10, "Rotate("))], "Rotate", {85.545456, 187.05939, 171.09091, 1}, 1e-4);
    ExpectCall(l10[size_t(Find(l10, "Translate("))], "Translate",
               {-8.1603165, -6.9180579, -2.858521, 0}, 1e-6);
    Lines scales;
    for (const std::string& l : l0)
        if (l.rfind("Scale(", 0) == 0) scales.push_back(l);
    ASSERT_EQ(scales.size(), 95u);
    EXPECT_EQ(scales[0], "Scale(0.300000012, 0.300000012, 0.300000012, 0)");
    EXPECT_EQ(scales[1], "Scale(0.306666672, 0.306666672, 0.306666672, 0)");
    EXPECT_EQ(scales[94], "Scale(0.926666677, 0.926666677, 0.926666677, 0)");
    // Only the first copy with geo.jpg, blending and filtering off.
    const int first = Find(l0, "RenderMesh(");
    EXPECT_EQ(FindRun(l0, {"UseAlphaBlend(1)", "UseFilters(1)", "SetTexture(\"valo.png\")"}), first + 1);
    EXPECT_EQ(Count(l0, "SetTexture(\"valo.png\")"), 1);
    EXPECT_EQ(Count(l0, "RenderMesh("), 95);
    EXPECT_EQ(l0.size(), 392u);
    EXPECT_EQ(l50.size(), 392u);
    EXPECT_EQ(l50h.size(), 487u);
    EXPECT_EQ(Count(l50h, "Translate(0, 0, 65, 0)"), 95);
    EXPECT_EQ(l51, (Lines{"SetTexture(\"grid1.png\")", "UseZBuffer(0)", "UseAlphaBlend(0)"}));
    EXPECT_EQ(Lines(l0.end() - 2, l0.end()), (Lines{"UseAlphaBlend(0)", "UseZBuffer(1)"}));
}

TEST(Trio, CallsAndTranslations) {
    EnsurePrepared();
    const Lines l0 = Capture([] { TrioScene.Render(0.0f); });
    const std::string n = Parse(l0[8]).args.at(0).substr(0, Parse(l0[8]).args[0].size() - 2);
    const Lines expect = {"CamPoint(50, 50, 0)", "CamLookAt(0, 50, 0)", "Translate(0, -15, 0, 1)",
                          "Rotate(0, 0, 0, 0)", "Scale(1.5, 1.5, 1.5, 0)", "UseZBuffer(1)",
                          "UseAlphaBlend(1)", "SetTexture(\"05.jpg\")", "RenderObject(" + n + ".0)",
                          "SetTexture(\"04.jpg\")", "RenderObject(" + n + ".1)",
                          "SetTexture(\"02.jpg\")", "RenderObject(" + n + ".2)", "UseAlphaBlend(0)"};
    EXPECT_EQ(l0, expect);   // the fourth object is never drawn
    const Lines l2pi = Capture([] { TrioScene.Render(6.2831855f); });
    ExpectCall(l2pi[2], "Translate", {35.0, -37.5, 0.0, 1}, 1e-4);
    const Lines l10 = Capture([] { TrioScene.Render(10.0f); });
    ExpectCall(l10[2], "Translate", {20.9465, -44.7251, -14.3839, 1}, 1e-4);
    EXPECT_EQ(l10[3], "Rotate(10, 10, 10, 0)");
}

namespace {

struct Draw { int object, segment; };

// The copies a tunnel Render drew: object and segment, the segment found from
// the depth of each object's first vertex (z = 0 in the source) through v.
std::vector<Draw> TunnelDraws(float lt, const Lines& log) {
    const double flight = float((lt > 5.0f ? lt - 5.0 : double(lt)) * double(2.2f));
    std::vector<Draw> out;
    for (size_t i = 0; i < log.size(); i++) {
        if (log[i].rfind("RenderObject(", 0) != 0) continue;
        const double depth = -Fields(log[i + 1])[8] / double(0.014285714f);
        out.push_back({log[i][log[i].size() - 2] - '0', int(std::lround((depth - flight) / 50))});
    }
    return out;
}

std::vector<int> Segments(const std::vector<Draw>& draws, int object) {
    std::vector<int> out;
    for (const Draw& d : draws)
        if (d.object == object) out.push_back(d.segment);
    return out;
}

std::vector<int> Range(int from, int to, int step = 1) {
    std::vector<int> out;
    for (int j = from; j < to; j += step) out.push_back(j);
    return out;
}

Lines TunnelRun(float lt, float level = 0) {
    return Capture([lt] { TunnelScene.Render(lt); }, level, true);
}

}  // namespace

TEST(Tunnel, SegmentRanges) {
    EnsurePrepared();
    struct Case { float lt; int from, to, first9; };
    const Case cases[] = {{5.0f, 55, 90, 63}, {std::nextafter(5.0f, 6.0f), 0, 35, 0},
                          {2.0f, 22, 57, 27}, {17.0f, 132, 160, 135}, {19.6f, 0, 0, 0}};
    for (const Case& c : cases) {
        const Lines log = TunnelRun(c.lt);
        const std::vector<Draw> draws = TunnelDraws(c.lt, log);
        EXPECT_EQ(Segments(draws, 0), Range(c.from, c.to)) << c.lt;
        EXPECT_EQ(Segments(draws, 1), Range(c.from, c.to)) << c.lt;
        EXPECT_EQ(Segments(draws, 2), Range(c.first9, c.to, 9)) << c.lt;
        // Objects in order, nearest copies first; object 2 keeps darkgray.jpg.
        for (size_t k = 1; k < draws.size(); k++) EXPECT_LE(draws[k - 1].object, draws[k].object);
        EXPECT_EQ(Count(log, "SetTexture(\"tunnel.jpg\")"), c.to - c.from);
        EXPECT_EQ(Count(log, "SetTexture(\"darkgray.jpg\")"), c.to - c.from);
        EXPECT_EQ(log.front(), "Rotate(0, 0, 0, 1)");
        EXPECT_EQ(Parse(log[log.size() - 2]).name, "CamPoint");   // placed after the copies
        EXPECT_EQ(Parse(log.back()).name, "CamLookAt");
    }
}

TEST(Tunnel, RebuiltVertexValuesAndCamera) {
    EnsurePrepared();
    const Lines log = TunnelRun(2.0f);
    const int draw = Find(log, "RenderObject(");
    const Lines perVertex = {"GetSoundLevel() = 0", "GetSoundLevel() = 0", "GetSoundLevel() = 0",
                             "GetSoundLevel() = 0", "ARGB(163, 163, 163, 163) = 0xa3a3a3a3"};
    EXPECT_EQ(FindRun(log, perVertex), 1);
    EXPECT_EQ(log[size_t(draw) - 1], "SetTexture(\"tunnel.jpg\")");
    const std::vector<double> v0 = Fields(log[size_t(draw) + 1]), v1 = Fields(log[size_t(draw) + 2]);
    EXPECT_NEAR(v0[0], -153.640, 2e-3);
    EXPECT_NEAR(v0[1], -191.711, 2e-3);
    EXPECT_NEAR(v0[2], -1076.774, 2e-3);
    EXPECT_EQ(v0[4], 0);   // normal and u as copied
    EXPECT_EQ(v0[5], 1);
    EXPECT_EQ(v0[7], 0);
    EXPECT_NEAR(v0[8], -15.777143, 2e-6);
    EXPECT_EQ(v0[6], 0xa3a3a3a3);
    EXPECT_EQ(v1[6], 0);   // ny = 1: bracket below 0
    ExpectCall(log[log.size() - 2], "CamPoint", {-192.079, -219.469, -1061.347}, 2e-3);
    ExpectCall(log.back(), "CamLookAt", {-191.144, -220.933, -1066.394}, 2e-3);
    const Lines at5 = TunnelRun(5.0f);
    ExpectCall(at5[at5.size() - 2], "CamPoint", {795.137, -223.866, -2623.313}, 2e-3);
    // Every rewrite starts from the pristine copy: the same call twice logs the same.
    EXPECT_EQ(TunnelRun(2.0f), log);
    // Level 0.5 (S = 5062) drives every copy up to segment 150 to full brightness.
    const Lines loud = TunnelRun(2.0f, 0.5f);
    EXPECT_EQ(Count(loud, "ARGB("), Count(loud, "ARGB(255, 255, 255, 255)"));
    EXPECT_EQ(Count(loud, "ARGB("), 3 * (35 + 35 + 4));
}

TEST(Sieni, CameraLightAndCopies) {
    EnsurePrepared();
    const Lines l = Capture([] { SieniScene.Render(2.5f); });
    EXPECT_EQ(Lines(l.begin(), l.begin() + 4),
              (Lines{"CamPoint(100, 150, 50)", "CamLookAt(0, 0, 0)", "SetTexture(\"sieni.jpg\")",
                     "ARGB(0, 212, 212, 212) = 0x00d4d4d4"}));
    ExpectCall(l[4], "PointLight", {0, 100 * std::sin(2.5), 0, 0, 10000, 0x00d4d4d4}, 1e-5);
    EXPECT_EQ(Lines(l.begin() + 5, l.begin() + 7), (Lines{"EnableLight(0, 1)", "UseLighting(1)"}));
    ASSERT_EQ(l.size(), 7u + 60u);
    const double places[][2] = {{0, 250}, {39.514, 70.916}, {-78.236, -209.768}};
    for (int i = 0; i < 20; i++) {
        const std::string& tr = l[size_t(7 + 3 * i)];
        if (i < 3) ExpectCall(tr, "Translate", {places[i][0], 0, places[i][1], 1}, 1e-3);
        if (i == 19) ExpectCall(tr, "Translate", {122.126, 0, 182.543, 1}, 1e-3);
        EXPECT_EQ(l[size_t(8 + 3 * i)], "Rotate(2.5, 0, 0, 0)");
        EXPECT_EQ(Parse(l[size_t(9 + 3 * i)]).name, "RenderMesh");
    }
    struct Grey { float t; int level; };
    for (const Grey g : {Grey{0.03f, 254}, Grey{7.5f, 127}, Grey{14.9f, 1}, Grey{16.0f, -17}}) {
        const Lines k = Capture([g] { SieniScene.Render(g.t); });
        EXPECT_EQ(Arg(k[3], 1), g.level) << g.t;
    }
    EXPECT_EQ(Capture([] { SieniScene.Render(16.0f); })[3], "ARGB(0, -17, -17, -17) = 0x00000000");
    EXPECT_EQ(Capture([] { SieniScene.Render(7.0f); })[0], "CamPoint(200, 300, 100)");
    ExpectCall(Capture([] { SieniScene.Render(1.5707964f); })[4], "PointLight",
               {0, 100, 0, 0, 10000, 0x00e4e4e4}, 1e-4);
}
