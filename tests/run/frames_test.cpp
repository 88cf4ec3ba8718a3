// The frame driver (qor/run/frames.cpp) on the real renderer: frames run
// undrawn touch no pixel and leave drawing as it was, the frame drawn is the
// one handed back with its level and counted for GetFPS, and a seek of the
// music measures the same level as playing up to that point.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "../audio/test_module.h"
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
    const qor::FrameImage image = qor::DrawFrame(run, Frame, 0.5, 0.25f);
    EXPECT_EQ(image.width, 8);
    EXPECT_EQ(image.height, 6);
    EXPECT_EQ(image.argb[0], 0xFF808080u);
    EXPECT_EQ(image.argb[8 * 6 - 1], 0xFF808080u);
    EXPECT_EQ(gLevels.back(), 0.25f);
    EXPECT_EQ(GetFPS(0.5), 31);
}

TEST(FrameDriver, MusicSeekMeasuresWhatPlayingThereMeasures) {
    qor::RunState& run = FreshRun();
    const std::vector<uint8_t> module = MakeTestModule(32);
    ASSERT_TRUE(run.music.LoadMemory(module.data(), module.size(), "m.xm"));
    // Played from the start, in frames of 800 samples, the level at each
    // position; then a seek to each, from far away.
    std::vector<int64_t> positions = {0, 1, 500, 959, 960, 961, 20000, 48000 + 123};
    std::vector<float> played;
    run.music.Seek(0);
    run.meter.Reset(0);
    std::vector<float> buffer(2 * 800);
    for (int64_t p : positions) {
        while (run.music.Position() < p) {
            const size_t n = size_t(std::min<int64_t>(800, p - run.music.Position()));
            run.music.Render(buffer.data(), n);
            run.meter.Push(buffer.data(), n);
        }
        played.push_back(run.meter.LevelAt(p));
    }
    EXPECT_GT(played.back(), 0.0f);
    for (size_t i = positions.size(); i-- > 0;) {
        SCOPED_TRACE(positions[i]);
        qor::SeekMusic(run, positions[i]);
        EXPECT_EQ(run.music.Position(), positions[i]);
        EXPECT_EQ(run.meter.LevelAt(positions[i]), played[i]);
    }
}

}   // namespace
