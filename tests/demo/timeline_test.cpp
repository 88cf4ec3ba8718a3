// Loading sequence, timeline windows, split screen, pictures, inherited states.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "engine/qor.h"
#include "math/random.h"
#include "scenes/geo.h"
#include "scenes/grid.h"
#include "scenes/sieni.h"
#include "scenes/tunnel.h"
#include "support.h"
#include "timeline/timeline.h"

namespace {

// What a frame draws, in order, recognised by each draw's opening calls.
Lines Draws(const Lines& f) {
    Lines out;
    for (size_t i = 0; i + 2 < f.size(); i++) {
        if (f[i] == "SetTexture(\"grid1.png\")" && f[i + 1] == "UseZBuffer(0)")
            out.push_back(f[i + 2] == "UseAlphaBlend(1)" ? "background" : "geo");
        if (f[i] == "RenderSV([4608], 1536, 0)") out.push_back("grid");
        if (f[i] == "CamPoint(50, 50, 0)") out.push_back("trio");
        if (f[i] == "Rotate(0, 0, 0, 1)") out.push_back("tunnel");
        if (Starts(f[i], "PointLight(")) out.push_back("sieni");
        for (const char* p : {"iwish", "skater", "bitch", "cre"})
            if (f[i] == "SetTexture(\"" + std::string(p) + ".png\")") out.push_back(p);
    }
    return out;
}

}   // namespace

TEST(Loading, StagesScheduleAndGlyphs) {
    const Lines log = RunDemo(Data(), {}, 0, true);
    EXPECT_EQ(Lines(log.begin(), log.begin() + 4),
              (Lines{"Initialize(\"teq\", \"distortion.xm\", 320, 240, 1)", "ClearZBuffer()",
                     "CreateNewFont(\"smfont.png\", 10, 12, 256)", "LoadTexture(\"wormhole.jpg\", 0)"}));
    EXPECT_EQ(log.back(), "Run(FrameCallback)");
    for (const char* state : {"Use", "SetTextureWrapping", "SetViewPort", "ClearZBuffer"})
        EXPECT_EQ(Count(log, state), state[0] == 'C' ? 1 : 0) << state;
    // The loading quad: whole display, constant white with alpha 0.
    EXPECT_EQ(Fields(log[size_t(Find(log, "RenderSV(")) + 4]), (std::vector<double>{320, 240, 1, 1, 0xffffff, 1, 1}));

    // Stage s: frame with s glyphs, the stage's work (first call), cursor and focus.
    const std::map<int, std::string> work = {
        {1, "LoadTexture(\"grid1.png\", 1)"},  {5, "LoadMesh(\"geo.a3f\")"},
        {10, "LoadTexture(\"iwish.png\", 0)"}, {15, "LoadTexture(\"skater.png\", 0)"},
        {18, "LoadTexture(\"02.jpg\", 1)"},    {20, "LoadTexture(\"tunnel.jpg\", 1)"},
        {22, "LoadTexture(\"bitch.png\", 0)"}, {25, "LoadTexture(\"cre.png\", 0)"},
        {28, "LoadMesh(\"sieni.a3f\")"}};
    const Lines open = {"ClearBackBuffer(0, 0, 0)", "BeginScene()", "SetTexture(\"wormhole.jpg\")",
                        "RenderSV([4], 2, 1)"};
    const Lines end = {"ShowCursor(0)", "GetForegroundWindow() = window", "SetFocus(window)"};
    int at = 4;
    Lines glyphs;
    for (int s = 0; s < 30; s++) {
        ASSERT_EQ(FindRun(log, open, at), at) << "stage " << s;
        const int shown = Find(log, "EndScene()", at), tail = FindRun(log, end, shown);
        const Lines frame(log.begin() + at, log.begin() + shown);
        EXPECT_EQ(Count(frame, "FontWrite("), s);
        if (work.count(s)) {
            EXPECT_TRUE(Starts(log[size_t(shown) + 1], work.at(s))) << "stage " << s;
        } else {
            EXPECT_EQ(tail, shown + 1) << "stage " << s;
        }
        at = tail + 3;
        if (s == 29) {
            for (size_t i = 0; i < frame.size(); i++)
                if (Starts(frame[i], "FontWrite(")) glyphs.push_back(frame[i - 1] + " " + frame[i]);
        }
    }
    EXPECT_EQ(log[size_t(at)], "Run(FrameCallback)");
    ASSERT_EQ(glyphs.size(), 29u);
    for (int i = 0; i < 29; i++) {
        const std::string fw = glyphs[size_t(i)].substr(glyphs[size_t(i)].find("FontWrite("));
        EXPECT_EQ(Arg(fw, 0), 80 + 5 * i);
        EXPECT_EQ(Arg(fw, 1), i == 0 ? 210 : 209 - i / 5) << i;   // up at 1, then every 5
    }
    EXPECT_EQ(glyphs[0], "ARGB(0, 63, 3, 0) = 0x003f0300 FontWrite(80, 210, 2, \"-\", \"smfont.png\", 0x003f0300)");
    EXPECT_TRUE(Starts(glyphs[28], "ARGB(0, 1, 63, 0) = 0x00013f00 FontWrite(220, 204, 2.9333334"));
}

TEST(Timeline, WindowsAtAndAroundEveryBound) {
    auto below = [](float b) { return std::nextafter(b, -1e9f); };
    auto above = [](float b) { return std::nextafter(b, 1e9f); };
    const Lines trio = {"trio", "trio", "trio"};
    auto plus = [&](const char* p) {
        Lines l = trio;
        l.push_back(p);
        return l;
    };
    const std::vector<std::pair<float, Lines>> cases = {{-5.0f, {"background", "geo", "iwish"}},
                                                        {below(20.0f), {"background", "geo", "iwish"}},
                                                        {20.0f, {"background", "geo"}},
                                                        {below(27.5f), {"background", "geo"}},
                                                        {27.5f, {}},
                                                        {above(27.5f), {"grid", "skater"}},
                                                        {below(37.0f), {"grid", "skater"}},
                                                        {37.0f, {"grid"}},
                                                        {below(42.5f), {"grid"}},
                                                        {42.5f, {}},
                                                        {above(42.5f), trio},
                                                        {53.0f, trio},
                                                        {above(53.0f), plus("iwish")},
                                                        {below(55.0f), plus("iwish")},
                                                        {55.0f, trio},
                                                        {above(55.0f), plus("skater")},
                                                        {below(57.8f), plus("skater")},
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
                                                        {above(115.5f), {"tunnel", "sieni"}}};
    std::vector<float> times;
    for (const auto& c : cases) times.push_back(c.first);
    const Lines log = RunDemo(Data(), times);
    for (size_t k = 0; k < cases.size(); k++) {
        const Lines f = Frame(log, k);
        EXPECT_EQ(Draws(f), cases[k].second) << "t = " << cases[k].first;
        // Every frame: clear, begin ... full viewport, frame rate, end.
        ASSERT_GE(f.size(), 8u);
        EXPECT_EQ(Lines(f.begin(), f.begin() + 3),
                  (Lines{"ClearBackBuffer(0, 0, 0)", "ClearZBuffer()", "BeginScene()"}));
        EXPECT_EQ(f[f.size() - 5], "SetViewPort(0, 0, 320, 240)");
        EXPECT_EQ(float(Arg(f[f.size() - 4], 0)), cases[k].first);
        EXPECT_EQ(Lines(f.end() - 3, f.end()),
                  (Lines{"ARGB(100, 100, 100, 100) = 0x64646464",
                         "FontWrite(0, 0, 0.800000012, \"\", \"smfont.png\", 0x64646464)", "EndScene()"}));
        EXPECT_EQ(Count(f, "GetFPS("), 1);
    }
}

// The bounds that --bench reports by are where the drawing changes: the same
// draws just after a bound, midway and just before the next, and other draws
// on the two sides of every bound.
TEST(Timeline, WindowBoundsListEveryChange) {
    std::vector<float> bounds = {0.0f};
    bounds.insert(bounds.end(), std::begin(kWindowBounds), std::end(kWindowBounds));
    bounds.push_back(135.0f);
    std::vector<float> times;
    for (size_t w = 0; w + 1 < bounds.size(); w++) {
        const float lo = bounds[w], hi = bounds[w + 1];
        times.insert(times.end(), {std::nextafter(lo, hi), (lo + hi) / 2, std::nextafter(hi, lo)});
    }
    const Lines log = RunDemo(Data(), times);
    for (size_t w = 0; w + 1 < bounds.size(); w++) {
        const Lines first = Draws(Frame(log, 3 * w));
        EXPECT_EQ(Draws(Frame(log, 3 * w + 1)), first) << "midway in window " << w;
        EXPECT_EQ(Draws(Frame(log, 3 * w + 2)), first) << "end of window " << w;
        if (w > 0) {
            EXPECT_NE(Draws(Frame(log, 3 * w - 1)), first) << "no change at " << bounds[w];
        }
    }
}

TEST(Timeline, SplitScreenAndLocalTimes) {
    EnsurePrepared();
    const Lines log = RunDemo(Data(), {0.0f, 50.0f, 90.0f, 200.0f});
    auto at = [&](size_t frame, std::function<void()> f, int from = 0) {
        return FindRun(Frame(log, frame), Capture(f), from);
    };
    EXPECT_GT(at(0, [] { GeoScene.Render(21.25f); }), 0);
    // t = 50: right half 7.5, top-left 3.75, bottom-left 2.5; whole display after.
    const Lines f = Frame(log, 1);
    int pos = 0;
    const char* views[] = {"(160, 0, 160, 240)", "(0, 0, 160, 120)", "(0, 120, 160, 120)", "(0, 0, 320, 240)"};
    for (int k = 0; k < 4; k++) {
        pos = Find(f, std::string("SetViewPort") + views[k], pos);
        ASSERT_GE(pos, 0) << k;
        if (k < 3) {
            EXPECT_EQ(Arg(f[size_t(Find(f, "Rotate(", pos))], 0), 7.5 / (k + 1));
        }
    }
    EXPECT_EQ(Count(f, "ClearZBuffer()"), 1);
    // t = 90: tunnel 32.2, grid 90, geo about 9.7; t = 200: tunnel 142.2, sieni 84.5.
    const int tunnel = at(2, [] { TunnelScene.Render(32.2f); });
    const int grid = at(
        2, [] { GridScene.Render(90.0f); }, tunnel);
    EXPECT_GT(at(
                  2, [] { GeoScene.Render(9.69999695f); }, grid),
              grid);
    EXPECT_GT(grid, tunnel);
    EXPECT_GT(at(
                  3, [] { SieniScene.Render(84.5f); }, at(3, [] { TunnelScene.Render(142.2f); })),
              0);
}

TEST(Random, SameSequenceAsTheWindowsRuntime) {
    // The first numbers of rand() without srand in Microsoft's C runtime (as a
    // mingw-w64 build prints them under wine).
    randomState = 1;
    for (int expected : {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464})
        EXPECT_EQ(Random(), expected);
    randomState = 1;
    EXPECT_EQ(Random(), 41);
    // Every residue the flicker's reductions ask for comes up, within range.
    std::vector<int> hits(128);
    for (int i = 0; i < 100000; i++) {
        const int r = Random();
        ASSERT_TRUE(r >= 0 && r <= 32767) << r;
        hits[size_t(r % 128)]++;
    }
    EXPECT_GT(*std::min_element(hits.begin(), hits.end()), 600);
}

TEST(Pictures, BrightnessRulesAndQuads) {
    Lines f = Frame(RunDemo(Data(), {10.0f}, 0.2f, true), 0);
    const Lines background = {"ARGB(0, 128, 128, 128) = 0x00808080", "SetTexture(\"grid1.png\")", "UseZBuffer(0)",
                              "UseAlphaBlend(1)", "RenderSV([4], 2, 1)"};
    const Lines overlay = {"ARGB(0, 100, 100, 100) = 0x00646464",
                           "SetTexture(\"iwish.png\")",
                           "UseZBuffer(0)",
                           "UseAlphaBlend(1)",
                           "UseEnvMap(0)",
                           "RenderSV([4], 2, 1)"};
    const int bg = FindRun(f, background), ov = FindRun(f, overlay);
    ASSERT_TRUE(bg > 0 && ov > bg);
    EXPECT_EQ(Fields(f[size_t(ov) + 6]), (std::vector<double>{50, 0, 1, 1, 0x646464, 0, 0}));
    EXPECT_EQ(Fields(f[size_t(ov) + 9]), (std::vector<double>{306, 240, 1, 1, 0x646464, 1, 1}));
    f = Frame(RunDemo(Data(), {10.0f}, 0.6f), 0);
    EXPECT_GE(Find(f, "ARGB(0, 300, 300, 300) = 0x00ffffff"), 0);   // unclamped, then clamped

    // Flicker and fading flicker: one number of the demo's generator each,
    // the first three of its sequence in a fresh process.
    const int k0 = 41, k1 = 18467, k2 = 6334;
    randomState = 1;
    const Lines log = RunDemo(Data(), {54.0f, std::nextafter(100.2f, 200.0f), 105.2f, 110.19f}, 0.6f);
    auto grey = [&](size_t k, const std::string& texture) {
        const Lines fr = Frame(log, k);
        return int(Arg(fr[size_t(Find(fr, "SetTexture(\"" + texture)) - 1], 1));
    };
    EXPECT_EQ(grey(0, "iwish"), k0 % 128 + 128);
    EXPECT_EQ(grey(1, "cre"), k1 % 32 + 168 - 1);
    EXPECT_NEAR(grey(2, "cre"), (k2 % 32 + 168) / 2.0, 1.0);
    EXPECT_EQ(grey(3, "cre"), 0);
}

TEST(Timeline, InheritedStates) {
    // Z-buffer, alpha blending, environment mapping at a draw, tracked across frames.
    const std::vector<float> times = {19.9f, 22.0f,  29.9f,  30.0f,  57.7f,  60.0f,  89.9f,
                                      90.0f, 104.9f, 105.0f, 111.9f, 112.0f, 115.4f, 120.0f};
    const std::map<float, std::pair<std::string, std::vector<int>>> checks = {
        {22.0f, {"RenderSV([4], 2, 1)", {0, 1, 0}}},   // background
        {30.0f, {"RenderSV([4608]", {0, 1, 0}}},       // grid floor
        {60.0f, {"RenderObject(", {0, 1, 0}}},         // tunnel
        {90.0f, {"RenderSV([4608]", {0, 0, 0}}},     {105.0f, {"RenderSV([4608]", {0, 1, 0}}},
        {112.0f, {"RenderSV([4608]", {0, 1, 0}}},    {120.0f, {"RenderMesh(", {1, 1, 0}}}};   // sieni
    std::vector<int> state = {1, 0, 0};   // the engine's initial states
    const char* names[] = {"UseZBuffer(", "UseAlphaBlend(", "UseEnvMap("};
    size_t frame = 0, checked = 0;
    float t = 0;
    for (const std::string& l : RunDemo(Data(), times)) {
        if (Starts(l, "# frame ")) t = times[frame++];
        for (int s = 0; s < 3; s++)
            if (Starts(l, names[s])) state[size_t(s)] = int(Arg(l, 0));
        auto c = checks.find(t);
        if (c != checks.end() && Starts(l, c->second.first)) {
            EXPECT_EQ(state, c->second.second) << "t = " << t;
            t = -1;   // first draw of the frame only
            checked++;
        }
    }
    EXPECT_EQ(checked, checks.size());
}
