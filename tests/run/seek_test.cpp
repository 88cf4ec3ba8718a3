// The seek cache (qor/run/seek.cpp) with the demo on the call recorder: after
// a seek, the frame at t makes the same engine calls and inherits the same
// states as in a straight play from the start that draws every frame at
// 60 fps. The recorder keeps no renderer states
// of its own, so this file stands in for the renderer's: its states are the
// count and the time of the frames that left them, which a save or restore
// at the wrong frame would show.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <limits>
#include <map>

#include "engine/demo.h"
#include "math/random.h"
#include "run/seek.h"
#include "support.h"
#include "timeline/timeline.h"

namespace qor::render {
struct States {
    int64_t frames = 0;   // frames run since the start
    float last = -1.0f;   // the time of the last of them
    bool operator==(const States&) const = default;
};
}   // namespace qor::render

namespace {

qor::render::States gEngine;
bool gDrawing = true;
struct FrameRun {
    float t;
    bool drawing;
};
std::vector<FrameRun> gRuns;   // the frames run through Frame, in order
double gFrameCost = 0.0;       // processor s each frame takes at least (heavy data)

}   // namespace

namespace qor::render {
DrawingOff::DrawingOff() : was_(gDrawing) { gDrawing = false; }
DrawingOff::~DrawingOff() { gDrawing = was_; }
std::shared_ptr<const States> SaveStates() { return std::make_shared<const States>(gEngine); }
void RestoreStates(const States& saved) { gEngine = saved; }
}   // namespace qor::render

namespace {

constexpr double kEnd = 81.0;   // past two windows that draw random numbers

// The frame function the cache runs: the demo's, counted.
void Frame(float t) {
    if (gFrameCost > 0) {
        const std::clock_t began = std::clock();
        while (static_cast<double>(std::clock() - began) / CLOCKS_PER_SEC < gFrameCost) {
        }
    }
    gEngine.frames++;
    gEngine.last = t;
    gRuns.push_back({t, gDrawing});
    static std::FILE* const nowhere = std::fopen("/dev/null", "w");
    trace::SetOutput(nowhere);
    FrameCallback(t);
    trace::SetOutput(nullptr);
}

// The states at the start of the run (after the loading sequence).
void Start() {
    EnsurePrepared();
    static const uint32_t start = randomState;
    randomState = start;
    gEngine = {};
    gDrawing = true;
    gRuns.clear();
}

struct Reference {
    uint32_t random;
    qor::render::States engine;
    Lines frame;   // the calls of the frame drawn at t
};

// A straight play from the start, every frame at 60 fps drawn, up to each
// time: what the frame at t inherits there and the calls it makes.
std::map<double, Reference> StraightRun(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    Start();
    std::map<double, Reference> out;
    int64_t k = 0;
    for (double t : times) {
        for (; double(k) / 60 < t; ++k) Frame(static_cast<float>(double(k) / 60));
        const uint32_t random = randomState;
        const qor::render::States engine = gEngine;
        out[t] = {random, engine, Capture([&] { FrameCallback(static_cast<float>(t)); })};
        randomState = random;
        gEngine = engine;
    }
    return out;
}

// Times on a frame, or a hair off it, count that frame as the first at or
// after them; anything further after it counts it as before.
TEST(SeekCacheTest, FramesBeforeCountsTheFramesBefore) {
    EXPECT_EQ(qor::FramesBefore(0.0), 0);
    EXPECT_EQ(qor::FramesBefore(-3.0), 0);
    EXPECT_EQ(qor::FramesBefore(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(qor::FramesBefore(1e-9), 0);
    EXPECT_EQ(qor::FramesBefore(1e-5), 1);
    EXPECT_EQ(qor::FramesBefore(135.0), 8100);
    EXPECT_EQ(qor::FramesBefore(132.0000000000004), 7920);   // the song's length, a hair over 132 s
    for (int64_t k = 1; k <= 8100; ++k) {
        const double t = double(k) / qor::kReferenceFps;
        ASSERT_EQ(qor::FramesBefore(t), k) << "t = " << t;
        ASSERT_EQ(qor::FramesBefore(std::nextafter(t, 1e9)), k) << "just after " << t;
        ASSERT_EQ(qor::FramesBefore(t + 1e-6), k + 1) << "a microsecond after " << t;
        ASSERT_EQ(qor::FramesBefore(std::nextafter(t, 0.0)), k) << "just before " << t;
        ASSERT_EQ(qor::FramesBefore(t - 1e-6), k) << "a microsecond before " << t;
    }
}

// Seeks back and forth, before the pass got there (it runs ahead) and after,
// with the pass advancing between them as it does between frames of play.
TEST(SeekCacheTest, SeekLeavesWhatTheStraightRunLeaves) {
    const std::vector<double> times = {79.0, 0.5, 54.5, 56.1, 0.0, 1.0, 80.0, 53.99, 80.9, 54.5};
    const std::map<double, Reference> reference = StraightRun(times);
    // The times chosen must tell a wrong count of frames apart.
    EXPECT_NE(reference.at(54.5).random, reference.at(53.99).random);
    EXPECT_NE(reference.at(79.0).random, reference.at(80.0).random);

    Start();
    qor::SeekCache cache(Frame, Demo(), kEnd);
    for (double t : times) {
        SCOPED_TRACE(t);
        cache.Advance(0.002);
        ASSERT_TRUE(gDrawing);
        gRuns.clear();
        cache.StatesAt(t);
        EXPECT_TRUE(gDrawing);
        for (const FrameRun& run : gRuns) ASSERT_FALSE(run.drawing) << "frame " << run.t << " was drawn";
        const Reference& want = reference.at(t);
        EXPECT_EQ(randomState, want.random);
        EXPECT_EQ(gEngine, want.engine);
        EXPECT_EQ(Capture([&] { FrameCallback(static_cast<float>(t)); }), want.frame);
    }
}

// The pass runs the reference frames in order, undrawn, a few at a time, and
// puts back the states in force each time.
TEST(SeekCacheTest, AdvanceLeavesTheLiveStatesAlone) {
    Start();
    qor::SeekCache cache(Frame, Demo(), 20.0);
    const qor::render::States live{12345, 77.5f};
    int passes = 0;
    while (!cache.Complete()) {
        ASSERT_LT(++passes, 100000);
        randomState = 0xdeadbeef;
        gEngine = live;
        cache.Advance(0.0005);
        ASSERT_EQ(randomState, 0xdeadbeefu);
        ASSERT_EQ(gEngine, live);
        ASSERT_TRUE(gDrawing);
    }
    ASSERT_EQ(int64_t(gRuns.size()), qor::FramesBefore(20.0));
    for (size_t k = 0; k < gRuns.size(); ++k) {
        ASSERT_EQ(gRuns[k].t, static_cast<float>(double(k) / qor::kReferenceFps));
        ASSERT_FALSE(gRuns[k].drawing);
    }
    cache.Advance(1.0);   // complete: runs nothing
    EXPECT_EQ(int64_t(gRuns.size()), qor::FramesBefore(20.0));
}

// A frame dearer than the budget is paid for by the calls after it: however
// much one frame costs, the pass takes no more than its budget on average
// (it used to run four frames a call, whatever they cost).
TEST(SeekCacheTest, AdvanceKeepsToItsBudgetWhateverAFrameCosts) {
    Start();
    qor::SeekCache cache(Frame, Demo(), 20.0);
    gFrameCost = 0.005;
    for (int i = 0; i < 50; ++i) cache.Advance(0.001);
    gFrameCost = 0.0;
    // 50 budgets of 1 ms pay for at most 10 frames of 5 ms, besides the first.
    EXPECT_GE(gRuns.size(), 1u);
    EXPECT_LE(gRuns.size(), 11u);
    // Cheap frames again: the pass goes on where it was, in order.
    while (!cache.Complete()) cache.Advance(0.01);
    ASSERT_EQ(int64_t(gRuns.size()), qor::FramesBefore(20.0));
    for (size_t k = 0; k < gRuns.size(); ++k) ASSERT_EQ(gRuns[k].t, static_cast<float>(double(k) / qor::kReferenceFps));
}

// A frame so dear that it would show as a hitch in playback stops the pass
// for good; a seek past it still puts the right states in force, replaying
// from the states saved before it.
TEST(SeekCacheTest, ADearFrameStopsThePass) {
    Start();
    qor::SeekCache cache(Frame, Demo(), 20.0);
    while (gRuns.size() < 100) cache.Advance(0.001);
    gFrameCost = qor::SeekCache::kMaxFrameCost + 0.01;
    const size_t before = gRuns.size();
    for (int i = 0; i < 200; ++i) cache.Advance(0.01);
    gFrameCost = 0.0;
    EXPECT_EQ(gRuns.size(), before + 1) << "the pass went on after a dear frame";
    EXPECT_FALSE(cache.Complete());
    cache.StatesAt(10.0);
    EXPECT_EQ(gEngine.frames, qor::FramesBefore(10.0));
    EXPECT_EQ(gEngine.last, static_cast<float>(double(qor::FramesBefore(10.0) - 1) / qor::kReferenceFps));
}

// Once the pass is through, a seek replays only the frames since the states
// saved last before its target: at most a second's.
TEST(SeekCacheTest, SeekReplaysAtMostASecond) {
    Start();
    qor::SeekCache cache(Frame, Demo(), 20.0);
    while (!cache.Complete()) cache.Advance(0.01);
    for (double t : {19.99, 0.0, 7.0, 7.0 + 1.0 / 120, 12.5, 1.0 / 60}) {
        SCOPED_TRACE(t);
        gRuns.clear();
        cache.StatesAt(t);
        const int64_t k = qor::FramesBefore(t);
        const int64_t from = k / qor::SeekCache::kEvery * qor::SeekCache::kEvery;
        ASSERT_EQ(int64_t(gRuns.size()), k - from);
        for (size_t n = 0; n < gRuns.size(); ++n)
            EXPECT_EQ(gRuns[n].t, static_cast<float>(double(from + int64_t(n)) / qor::kReferenceFps));
        EXPECT_EQ(gEngine.frames, k);
    }
}

}   // namespace
