// The frame driver (qor/run/frames.cpp) on the real renderer: frames run
// undrawn touch no pixel and leave drawing as it was, the frame drawn is the
// one handed back, counted for GetFPS, and sees the level of the music heard
// at its time; calm mode shapes the level and the screen pictures' colours,
// and switched off leaves every frame as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "../audio/test_module.h"
#include "calm/calm.h"
#include "engine/qor.h"
#include "run/frames.h"
#include "run/state.h"

namespace {

std::vector<double> gTimes;   // t of every frame run, in order
std::vector<float> gLevels;   // GetSoundLevel in each
std::vector<int> gFps;        // GetFPS(t) in each

// Clears to a grey from t (t = 0.5 gives 128) and ends the scene.
void Frame(float t) {
    gTimes.push_back(t);
    gLevels.push_back(GetSoundLevel());
    gFps.push_back(GetFPS(t));
    const int grey = int(t * 255.0f + 0.5f) & 0xFF;
    ClearBackBuffer(grey, grey, grey);
    EndScene();
}

qor::RunState& FreshRun() {
    static const DemoFacts demo{"m.xm", 10.0, nullptr, 0, nullptr, 0, nullptr, 0};
    qor::StartRun(qor::Options{}, demo);
    qor::render::Init(8, 6);
    gTimes.clear();
    gLevels.clear();
    gFps.clear();
    return qor::State();
}

uint32_t Pixel() { return qor::render::Frame()[0]; }

TEST(FrameDriver, UndrawnFramesTouchNoPixelAndNest) {
    FreshRun();
    ClearBackBuffer(1, 2, 3);
    {
        const qor::render::DrawingOff outer;
        {
            const qor::render::DrawingOff inner;
            ClearBackBuffer(200, 0, 0);
        }
        ClearBackBuffer(0, 200, 0);   // the outer one still holds
    }
    EXPECT_EQ(Pixel(), 0xFF010203u);
    ClearBackBuffer(0, 0, 200);
    EXPECT_EQ(Pixel(), 0xFF0000C8u);
}

TEST(FrameDriver, FastForwardRunsTheReferenceFramesUndrawn) {
    qor::RunState& run = FreshRun();
    ClearBackBuffer(9, 9, 9);
    qor::FastForward(run, Frame, 0.5);   // frames 0 .. 29
    ASSERT_EQ(gTimes.size(), 30u);
    for (size_t k = 0; k < gTimes.size(); ++k) ASSERT_EQ(gTimes[k], float(double(k) / 60)) << k;
    EXPECT_EQ(Pixel(), 0xFF090909u);
    // Each counted as shown: the one at 29/60 sees the 29 before it (and not itself yet).
    EXPECT_EQ(gFps.back(), 29);

    // Then the frame at 0.5 is drawn, with its level, and handed back.
    run.soundtrack.FixLevel(0.25f);
    const qor::FrameImage image = qor::DrawFrame(run, Frame, 0.5);
    EXPECT_EQ(image.width, 8);
    EXPECT_EQ(image.height, 6);
    EXPECT_EQ(image.argb[0], 0xFF808080u);
    EXPECT_EQ(image.argb[8 * 6 - 1], 0xFF808080u);
    EXPECT_EQ(gLevels.back(), 0.25f);
    EXPECT_EQ(GetFPS(0.5), 31);
}

// GetSoundLevel in the frame at t is the level of the music heard at t: at a
// render's frame times, the RMS of the 1/50 s before floor(n * rate / fps),
// measured here from a straight play of the song.
TEST(FrameDriver, FrameSeesTheLevelHeardAtItsTime) {
    qor::RunState& run = FreshRun();
    const std::vector<uint8_t> module = MakeTestModule(32);
    ASSERT_TRUE(run.soundtrack.LoadMemory(module.data(), module.size(), "m.xm"));
    qor::audio::Music straight(10.0);
    ASSERT_TRUE(straight.LoadMemory(module.data(), module.size(), "m.xm"));
    std::vector<float> song(2 * 2 * qor::audio::kRate);
    straight.Render(song.data(), song.size() / 2);

    constexpr int kFps = 24;
    const int64_t first = 7;
    run.soundtrack.Seek(first * qor::audio::kRate / kFps);
    bool loud = false;
    for (int64_t n = first; n < 40; ++n) {
        const double t = double(n) / kFps;
        run.soundtrack.RenderTo(qor::audio::SongFrame(t));
        qor::DrawFrame(run, Frame, t);
        const int64_t heard = n * qor::audio::kRate / kFps;
        double sum = 0.0;
        for (int64_t p = heard - qor::audio::LevelMeter::kWindow; p < heard; ++p) {
            const double mono = 0.5f * (song[size_t(2 * p)] + song[size_t(2 * p + 1)]);
            sum += mono * mono;
        }
        ASSERT_EQ(gLevels.back(), float(std::sqrt(sum / qor::audio::LevelMeter::kWindow))) << "frame " << n;
        loud = loud || gLevels.back() > 0.01f;
    }
    EXPECT_TRUE(loud);

    // A fixed level (--level) stands in for it.
    run.soundtrack.FixLevel(0.4f);
    qor::DrawFrame(run, Frame, 1.0);
    EXPECT_EQ(gLevels.back(), 0.4f);
}

// A screen quad over the whole frame in a grey that jumps every frame, and
// the level as the frame sees it.
int gGrey = 0;
bool gShaded = false;   // the corners each their own grey
void QuadFrame(float) {
    gLevels.push_back(GetSoundLevel());
    ClearBackBuffer(0, 0, 0);
    const uint32_t c = ARGB(255, gGrey, gGrey, gGrey), d = gShaded ? ARGB(255, 0, 0, 0) : c;
    const ScreenVertex quad[4] = {
        {0, 0, 1, 1, c, 0, 0}, {8, 0, 1, 1, d, 1, 0}, {0, 6, 1, 1, c, 0, 1}, {8, 6, 1, 1, d, 1, 1}};
    SetTexture(nullptr);
    RenderSV(quad, 2, 1);
    EndScene();
}

// Changes of direction of a series within any one-second span of 60 frames, at most.
int MostTurnsASecond(const std::vector<int>& v) {
    std::vector<int> turns;
    int dir = 0;
    for (size_t i = 1; i < v.size(); ++i) {
        const int way = v[i] > v[i - 1] ? 1 : v[i] < v[i - 1] ? -1 : 0;
        if (way && way != dir) {
            if (dir) turns.push_back(int(i));
            dir = way;
        }
    }
    int most = 0;
    for (size_t i = 0, j = 0; j < turns.size(); ++j) {
        while (turns[j] - turns[i] >= 60) ++i;
        most = std::max(most, int(j - i + 1));
    }
    return most;
}

TEST(FrameDriver, CalmShapesLevelAndScreenColoursAndOffLeavesNoTrace) {
    qor::RunState& run = FreshRun();
    // The level and the quad's grey strobe at 30 Hz; what the frames show as made.
    auto play = [&](int from, std::vector<int>& greys) {
        for (int n = from; n < from + 180; ++n) {
            run.soundtrack.FixLevel(n % 2 ? 0.4f : 0.05f);
            gGrey = n % 2 ? 240 : 30;
            qor::DrawFrame(run, QuadFrame, n / 60.0);
            greys.push_back(int(qor::render::Frame()[3 * 8 + 4] & 0xFF));
        }
    };
    std::vector<int> made, calm, after;
    play(0, made);
    const std::vector<float> madeLevels = gLevels;
    EXPECT_GT(MostTurnsASecond(made), 50);

    qor::SetCalm(true);
    gLevels.clear();
    play(180, calm);
    std::vector<int> levels;
    for (float l : gLevels) levels.push_back(int(std::lround(l * 1000)));
    EXPECT_LE(MostTurnsASecond(levels), qor::calm::kTurns);
    EXPECT_LE(MostTurnsASecond(calm), qor::calm::kTurns);
    EXPECT_GT(*std::max_element(calm.begin(), calm.end()), *std::min_element(calm.begin(), calm.end()));

    // Corners lit each their own way (as the grid's) are drawn as given.
    gShaded = true;
    std::vector<int> shadedCalm, shadedMade;
    play(360, shadedCalm);
    qor::SetCalm(false);
    play(360, shadedMade);
    gShaded = false;
    EXPECT_EQ(shadedCalm, shadedMade);

    gLevels.clear();
    play(0, after);
    EXPECT_EQ(after, made);
    EXPECT_EQ(gLevels, madeLevels);
}

}   // namespace
