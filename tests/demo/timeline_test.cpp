// Loading sequence, timeline windows, split screen, pictures, inherited states.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>

#include "data.h"
#include "scenes/geo.h"
#include "scenes/grid.h"
#include "scenes/sieni.h"
#include "scenes/tunnel.h"
#include "support.h"

namespace {

std::vector<std::string> Loading() {
    std::vector<std::string> log = RunDemo(Data(), {});
    return std::vector<std::string>(log.begin(), log.begin() + Find(log, "Run("));
}

// What a frame draws, in order, recognised by each draw's opening calls.
std::vector<std::string> Draws(const std::vector<std::string>& f) {
    std::vector<std::string> out;
    for (size_t i = 0; i < f.size(); i++) {
        const std::string& l = f[i];
        if (l == "SetTexture(\"grid1.png\")" && i + 2 < f.size() && f[i + 1] == "UseZBuffer(0)")
            out.push_back(f[i + 2] == "UseAlphaBlend(1)" ? "background" : "geo");
        if (l == "RenderSV([4608], 1536, 0)") out.push_back("grid");
        if (l == "CamPoint(50, 50, 0)") out.push_back("trio");
        if (l == "Rotate(0, 0, 0, 1)") out.push_back("tunnel");
        if (l.rfind("PointLight(", 0) == 0) out.push_back("sieni");
        for (const char* p : {"iwish", "skater", "bitch", "cre"})
            if (l == "SetTexture(\"" + std::string(p) + ".png\")") out.push_back(p);
    }
    return out;
}

}  // namespace

TEST(Loading, StartUpThirtyStagesAndHandOver) {
    std::vector<std::string> log = RunDemo(Data(), {});
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[0], "Initialize(\"teq\", \"distortion.xm\", 320, 240, 1)");
    EXPECT_EQ(log[1], "ClearZBuffer()");
    EXPECT_EQ(log[2], "CreateNewFont(\"smfont.png\", 10, 12, 256)");
    EXPECT_EQ(log[3], "LoadTexture(\"wormhole.jpg\", 0)");
    EXPECT_EQ(log.back(), "Run(FrameCallback)");
    EXPECT_EQ(Count(log, "BeginScene()"), 30);
    EXPECT_EQ(Count(log, "ClearZBuffer()"), 1);
    for (const char* state : {"Use", "SetTextureWrapping", "SetViewPort"})
        EXPECT_EQ(Count(log, state), 0) << state;
    EXPECT_EQ(Count(log, "ShowCursor(0)"), 30);
    EXPECT_EQ(Count(log, "SetFocus(window)"), 30);
}

TEST(Loading, EveryStageFrameThenWorkThenCursorAndFocus) {
    const std::vector<std::string> log = Loading();
    const std::vector<std::string> frameOpen = {"ClearBackBuffer(0, 0, 0)", "BeginScene()",
                                                "SetTexture(\"wormhole.jpg\")", "RenderSV([4], 2, 1)"};
    const std::vector<std::string> end = {"ShowCursor(0)", "GetForegroundWindow() = window",
                                          "SetFocus(window)"};
    // First line of each stage's work; stages not listed have none.
    const std::map<int, std::string> work = {
        {1, "LoadTexture(\"grid1.png\", 1)"},  {5, "LoadMesh(\"geo.a3f\")"},
        {10, "LoadTexture(\"iwish.png\", 0)"}, {15, "LoadTexture(\"skater.png\", 0)"},
        {18, "LoadTexture(\"02.jpg\", 1)"},    {20, "LoadTexture(\"tunnel.jpg\", 1)"},
        {22, "LoadTexture(\"bitch.png\", 0)"}, {25, "LoadTexture(\"cre.png\", 0)"},
        {28, "LoadMesh(\"sieni.a3f\")"}};
    int at = 4;
    for (int s = 0; s < 30; s++) {
        ASSERT_EQ(FindRun(log, frameOpen, at), at) << "stage " << s;
        const int endScene = Find(log, "EndScene()", at);
        const std::vector<std::string> frame(log.begin() + at, log.begin() + endScene);
        EXPECT_EQ(Count(frame, "FontWrite("), s) << s;
        const int tail = FindRun(log, end, endScene);
        ASSERT_GT(tail, 0);
        if (work.count(s)) {
            EXPECT_EQ(log[size_t(endScene) + 1].rfind(work.at(s), 0), 0u) << "stage " << s;
        } else {
            EXPECT_EQ(tail, endScene + 1) << "stage " << s;
        }
        at = tail + 3;
    }
    EXPECT_EQ(size_t(at), log.size());
}

TEST(Loading, GlyphRowPositionsScalesColours) {
    const std::vector<std::string> log = Loading();
    const int last = Find(log, "BeginScene()", Find(log, "LoadMesh(\"sieni.a3f\")"));
    const std::vector<std::string> stage29(log.begin() + last, log.end());
    std::vector<std::string> glyphs, colours;
    for (size_t i = 0; i < stage29.size(); i++) {
        if (stage29[i].rfind("FontWrite(", 0) == 0) {
            glyphs.push_back(stage29[i]);
            colours.push_back(stage29[i - 1]);
        }
    }
    ASSERT_EQ(glyphs.size(), 29u);
    for (int i = 0; i < 29; i++) {
        const int y = i == 0 ? 210 : 209 - i / 5;   // one pixel up at i = 1 and every 5
        EXPECT_EQ(Arg(glyphs[i], 0), 80 + 5 * i);
        EXPECT_EQ(Arg(glyphs[i], 1), y) << "glyph " << i;
    }
    EXPECT_EQ(glyphs[0], "FontWrite(80, 210, 2, \"-\", \"smfont.png\", 0x003f0300)");
    EXPECT_EQ(colours[0], "ARGB(0, 63, 3, 0) = 0x003f0300");
    EXPECT_EQ(Parse(glyphs[5]).args[1], "208");
    EXPECT_EQ(Parse(glyphs[28]).args[5], "0x00013f00");
    EXPECT_NEAR(Arg(glyphs[28], 2), 2.9333333, 1e-6);
    EXPECT_EQ(colours[28], "ARGB(0, 1, 63, 0) = 0x00013f00");
}

TEST(Loading, QuadCoversDisplayWithConstantWhite) {
    const std::vector<std::string> log = RunDemo(Data(), {}, 0, true);
    const int at = Find(log, "RenderSV([4], 2, 1)");
    const std::vector<std::vector<double>> expect = {{0, 0, 1, 1, 0xffffff, 0, 0},
                                                     {320, 0, 1, 1, 0xffffff, 1, 0},
                                                     {0, 240, 1, 1, 0xffffff, 0, 1},
                                                     {320, 240, 1, 1, 0xffffff, 1, 1}};
    for (int k = 0; k < 4; k++) EXPECT_EQ(Fields(log[size_t(at + 1 + k)]), expect[size_t(k)]);
}

TEST(Timeline, WindowsAtAndAroundEveryBound) {
    struct Case { float t; std::vector<std::string> draws; };
    const std::vector<std::string> trio3 = {"trio", "trio", "trio"};
    auto with = [](std::vector<std::string> a, const std::vector<std::string>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    auto below = [](float b) { return std::nextafter(b, -1e9f); };
    auto above = [](float b) { return std::nextafter(b, 1e9f); };
    const std::vector<Case> cases = {
        {-5.0f, {"background", "geo", "iwish"}},
        {below(20.0f), {"background", "geo", "iwish"}},
        {20.0f, {"background", "geo"}},
        {below(27.5f), {"background", "geo"}},
        {27.5f, {}},
        {above(27.5f), {"grid", "skater"}},
        {below(37.0f), {"grid", "skater"}},
        {37.0f, {"grid"}},
        {below(42.5f), {"grid"}},
        {42.5f, {}},
        {above(42.5f), trio3},
        {53.0f, trio3},
        {above(53.0f), with(trio3, {"iwish"})},
        {below(55.0f), with(trio3, {"iwish"})},
        {55.0f, trio3},
        {above(55.0f), with(trio3, {"skater"})},
        {below(57.8f), with(trio3, {"skater"})},
        {57.8f, {}},
        {above(57.8f), {"tunnel"}},
        {77.8f, {"tunnel"}},
        {above(77.8f), {"tunnel", "bitch"}},
        {below(80.3f), {"tunnel", "bitch"}},
        {80.3f, {"tunnel"}},
        {above(80.3f), {"tunnel", "grid", "geo"}},
        {below(100.2f), {"tunnel", "grid", "geo"}},
        {100.2f, {"tunnel"}},
        {above(100.2f), {"tunnel", "grid", "cre"}},
        {below(110.2f), {"tunnel", "grid", "cre"}},
        {110.2f, {"tunnel", "grid"}},
        {below(115.5f), {"tunnel", "grid"}},
        {115.5f, {"tunnel"}},
        {above(115.5f), {"tunnel", "sieni"}},
    };
    std::vector<float> times;
    for (const Case& c : cases) times.push_back(c.t);
    const std::vector<std::string> log = RunDemo(Data(), times);
    for (size_t k = 0; k < cases.size(); k++) {
        const std::vector<std::string> f = Frame(log, k);
        EXPECT_EQ(Draws(f), cases[k].draws) << "t = " << cases[k].t;
        // Every frame: clear, begin; full viewport, frame rate, end.
        const std::vector<std::string> open = {"ClearBackBuffer(0, 0, 0)", "ClearZBuffer()",
                                               "BeginScene()"};
        EXPECT_EQ(FindRun(f, open), 0);
        ASSERT_GE(f.size(), 5u);
        EXPECT_EQ(f[f.size() - 5], "SetViewPort(0, 0, 320, 240)");
        EXPECT_EQ(Parse(f[f.size() - 4]).name, "GetFPS");
        EXPECT_EQ(float(Arg(f[f.size() - 4], 0)), cases[k].t);
        EXPECT_EQ(f[f.size() - 3], "ARGB(100, 100, 100, 100) = 0x64646464");
        EXPECT_EQ(f[f.size() - 2], "FontWrite(0, 0, 0.800000012, \"\", \"smfont.png\", 0x64646464)");
        EXPECT_EQ(f.back(), "EndScene()");
        EXPECT_EQ(Count(f, "GetFPS("), 1);
    }
}

TEST(Timeline, SceneLocalTimes) {
    EnsurePrepared();
    const std::vector<std::string> log = RunDemo(Data(), {0.0f, 27.4f, 50.0f, 90.0f, 200.0f});
    auto piece = [](std::function<void()> f) { return Capture(f); };
    EXPECT_GE(FindRun(Frame(log, 0), piece([] { GeoScene.Render(21.25f); })), 0);
    // 27.4 * 1.1 + 21.25, about 51.39: nothing drawn past 51.
    const std::vector<std::string> f1 = Frame(log, 1);
    EXPECT_EQ(Count(f1, "RenderMesh("), 0);

    const std::vector<std::string> f2 = Frame(log, 2);
    const std::vector<std::string> split = {"SetViewPort(160, 0, 160, 240)", "SetViewPort(0, 0, 160, 120)",
                                            "SetViewPort(0, 120, 160, 120)", "SetViewPort(0, 0, 320, 240)"};
    const double times[] = {7.5, 3.75, 2.5};
    int at = 0;
    for (int k = 0; k < 4; k++) {
        at = Find(f2, split[size_t(k)], at);
        ASSERT_GE(at, 0) << k;
        if (k < 3) {
            EXPECT_EQ(f2[size_t(at) + 1], "CamPoint(50, 50, 0)");
            EXPECT_EQ(Arg(f2[size_t(Find(f2, "Rotate(", at))], 0), times[k]);
        }
    }
    EXPECT_EQ(Count(f2, "ClearZBuffer()"), 1);

    // t = 90: tunnel, grid, geo in that order.
    const std::vector<std::string> f3 = Frame(log, 3);
    const int tunnel = FindRun(f3, piece([] { TunnelScene.Render(32.2f); }));
    const int grid = FindRun(f3, piece([] { GridScene.Render(90.0f); }));
    const int geo = FindRun(f3, piece([] { GeoScene.Render(9.69999695f); }));
    EXPECT_TRUE(0 < tunnel && tunnel < grid && grid < geo) << tunnel << " " << grid << " " << geo;

    const std::vector<std::string> f4 = Frame(log, 4);
    const int t200 = FindRun(f4, piece([] { TunnelScene.Render(142.2f); }));
    const int s200 = FindRun(f4, piece([] { SieniScene.Render(84.5f); }));
    EXPECT_TRUE(0 < t200 && t200 < s200);
}

TEST(Pictures, BrightnessRules) {
    // Level: x500, passed on unclamped (ARGB clamps).
    std::vector<std::string> f = Frame(RunDemo(Data(), {10.0f}, 0.2f), 0);
    EXPECT_GE(Find(f, "ARGB(0, 100, 100, 100) = 0x00646464"), 0);
    f = Frame(RunDemo(Data(), {10.0f}, 0.6f), 0);
    EXPECT_GE(Find(f, "ARGB(0, 300, 300, 300) = 0x00ffffff"), 0);

    // Flicker and fading flicker: one number of the unseeded generator each.
    std::srand(7);
    const int k1 = std::rand(), k2 = std::rand(), k3 = std::rand(), k4 = std::rand();
    std::srand(7);
    const std::vector<std::string> log =
        RunDemo(Data(), {54.0f, std::nextafter(100.2f, 200.0f), 105.2f, 110.19f}, 0.6f);
    auto grey = [&](size_t k, const char* texture) {
        const std::vector<std::string> fr = Frame(log, k);
        const int at = Find(fr, std::string("SetTexture(\"") + texture + "\")");
        return int(Arg(fr[size_t(at) - 1], 1));
    };
    EXPECT_EQ(grey(0, "iwish.png"), k1 % 128 + 128);
    EXPECT_EQ(grey(1, "cre.png"), k2 % 32 + 168 - 1);
    EXPECT_NEAR(grey(2, "cre.png"), (k3 % 32 + 168) / 2.0, 1.0);
    EXPECT_EQ(grey(3, "cre.png"), 0);
    (void)k4;
}

TEST(Pictures, QuadsAndTheirStates) {
    const std::vector<std::string> f = Frame(RunDemo(Data(), {10.0f}, 0.2f, true), 0);
    const int bg = Find(f, "SetTexture(\"grid1.png\")");
    const std::vector<std::string> background = {"SetTexture(\"grid1.png\")", "UseZBuffer(0)",
                                                 "UseAlphaBlend(1)", "RenderSV([4], 2, 1)"};
    EXPECT_EQ(FindRun(f, background), bg);
    EXPECT_EQ(f[size_t(bg) - 1], "ARGB(0, 128, 128, 128) = 0x00808080");
    EXPECT_EQ(Fields(f[size_t(bg) + 7]), (std::vector<double>{320, 240, 1, 1, 0x808080, 1, 1}));
    const std::vector<std::string> overlay = {"SetTexture(\"iwish.png\")", "UseZBuffer(0)",
                                              "UseAlphaBlend(1)", "UseEnvMap(0)", "RenderSV([4], 2, 1)"};
    const int ov = FindRun(f, overlay);
    ASSERT_GT(ov, bg);
    EXPECT_EQ(Fields(f[size_t(ov) + 5]), (std::vector<double>{50, 0, 1, 1, 0x646464, 0, 0}));
    EXPECT_EQ(Fields(f[size_t(ov) + 8]), (std::vector<double>{306, 240, 1, 1, 0x646464, 1, 1}));
}

TEST(Timeline, InheritedStates) {
    // Z-buffer, alpha blending, environment mapping at draws, tracked across frames.
    const std::vector<float> times = {19.9f, 22.0f, 29.9f, 30.0f, 57.7f, 60.0f, 89.9f, 90.0f,
                                      104.9f, 105.0f, 111.9f, 112.0f, 115.4f, 120.0f};
    const std::vector<std::string> log = RunDemo(Data(), times);
    struct Check { float t; std::string draw; int z, blend, env; };
    const std::vector<Check> checks = {
        {22.0f, "RenderSV([4], 2, 1)", 0, 1, 0},   // background: env off from "iwish.png"
        {30.0f, "RenderSV([4608]", 0, 1, 0},       // grid floor
        {60.0f, "RenderObject(", 0, 1, 0},         // tunnel
        {90.0f, "RenderSV([4608]", 0, 0, 0},
        {105.0f, "RenderSV([4608]", 0, 1, 0},
        {112.0f, "RenderSV([4608]", 0, 1, 0},
        {120.0f, "RenderMesh(", 1, 1, 0},           // sieni, after the tunnel
    };
    int z = 1, blend = 0, env = 0;   // the engine's initial states
    size_t frame = 0;
    std::vector<bool> done(checks.size());
    for (const std::string& l : log) {
        if (l.rfind("# frame ", 0) == 0) frame++;
        if (l.rfind("UseZBuffer(", 0) == 0) z = int(Arg(l, 0));
        if (l.rfind("UseAlphaBlend(", 0) == 0) blend = int(Arg(l, 0));
        if (l.rfind("UseEnvMap(", 0) == 0) env = int(Arg(l, 0));
        for (size_t c = 0; c < checks.size(); c++) {
            if (done[c] || frame == 0 || times[frame - 1] != checks[c].t ||
                l.rfind(checks[c].draw, 0) != 0)
                continue;
            done[c] = true;
            EXPECT_EQ((std::vector<int>{z, blend, env}),
                      (std::vector<int>{checks[c].z, checks[c].blend, checks[c].env}))
                << "t = " << checks[c].t << " " << checks[c].draw;
        }
    }
    for (size_t c = 0; c < checks.size(); c++) EXPECT_TRUE(done[c]) << checks[c].t;
}
