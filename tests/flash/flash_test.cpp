// The flash measure on made-up sequences whose counts are known, and the calm
// mode's shaped values and picture governor against it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "calm/calm.h"
#include "calm/flash.h"

namespace {

constexpr int W = 320, H = 240, kFps = 60;

uint32_t Rgb(int r, int g, int b) { return 0xFF000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b); }
uint32_t Grey(int v) { return Rgb(v, v, v); }

using Painter = std::function<void(int frame, std::vector<uint32_t>& pixels)>;

struct Worst {
    int general = 0, red = 0;   // most transitions in any field's one-second span
};

// Runs `frames` frames painted by `paint` through the analyser, optionally
// through the calm governor first.
Worst Analyse(int frames, const Painter& paint, qor::calm::PictureGovernor* governor = nullptr) {
    qor::flash::Analyser analyser;
    std::vector<uint32_t> pixels(W * H);
    Worst worst;
    for (int f = 0; f < frames; ++f) {
        paint(f, pixels);
        const double t = double(f) / kFps;
        const uint32_t* shown = governor ? governor->Apply(t, pixels.data(), W, H) : pixels.data();
        const qor::flash::Analyser::Result r = analyser.Feed(t, shown, W, H);
        worst.general = std::max(worst.general, r.general);
        worst.red = std::max(worst.red, r.red);
    }
    return worst;
}

// The whole frame one colour or the other, switching `hz` times a second each way.
Painter SquareWave(double hz, uint32_t a, uint32_t b) {
    return [=](int f, std::vector<uint32_t>& p) {
        const bool on = long(std::floor(f * 2.0 * hz / kFps)) % 2 == 1;
        std::fill(p.begin(), p.end(), on ? b : a);
    };
}

// A rectangle of w x h pixels at the middle switching at `hz`, black around it.
Painter Spot(double hz, int w, int h) {
    return [=](int f, std::vector<uint32_t>& p) {
        const bool on = long(std::floor(f * 2.0 * hz / kFps)) % 2 == 1;
        std::fill(p.begin(), p.end(), Grey(0));
        for (int y = (H - h) / 2; y < (H + h) / 2; ++y)
            for (int x = (W - w) / 2; x < (W + w) / 2; ++x) p[y * W + x] = Grey(on ? 255 : 0);
    };
}

TEST(FlashMeasure, FullScreenSquareWaveCountsItsFrequency) {
    for (const int hz : {2, 3, 4, 10}) {
        const Worst w = Analyse(3 * kFps, SquareWave(hz, Grey(0), Grey(255)));
        EXPECT_EQ(w.general, 2 * hz) << hz << " Hz";
        EXPECT_EQ(w.red, 0) << hz << " Hz: grey is no red";
    }
}

TEST(FlashMeasure, ChangesUnderTheThresholdOrAllBrightAreNoFlash) {
    // Grey 100 and 110: relative luminance 0.127 and 0.155, 0.03 apart.
    EXPECT_EQ(Analyse(2 * kFps, SquareWave(10, Grey(100), Grey(110))).general, 0);
    // 240 and 255: 0.87 and 1.0, the darker state over 0.8.
    EXPECT_EQ(Analyse(2 * kFps, SquareWave(10, Grey(240), Grey(255))).general, 0);
    // 220 and 255: 0.72 and 1.0, the darker under 0.8: flashes.
    EXPECT_EQ(Analyse(2 * kFps, SquareWave(10, Grey(220), Grey(255))).general, 20);
}

TEST(FlashMeasure, OnlyAQuarterOfAFieldFlashes) {
    // A 10-degree field of a 320x240 frame is about 107x80 pixels. A spot of
    // 36x27 (11 % of it) flashing at 10 Hz is no flash; one of 64x48 (36 %) is.
    EXPECT_EQ(Analyse(2 * kFps, Spot(10, 36, 27)).general, 0);
    EXPECT_EQ(Analyse(2 * kFps, Spot(10, 64, 48)).general, 20);
}

TEST(FlashMeasure, ARampCountsOnce) {
    // Black to white over 1.5 s and back: one transition in any second.
    const Painter fade = [](int f, std::vector<uint32_t>& p) {
        const int k = f % 180;
        const double v = k < 90 ? k / 90.0 : (180 - k) / 90.0;
        std::fill(p.begin(), p.end(), Grey(int(std::lround(v * 255))));
    };
    EXPECT_LE(Analyse(6 * kFps, fade).general, 1);
    // Up over five frames and down over five, twice a second: two flashes,
    // with little wobbles on the way counting for nothing.
    const Painter ramps = [](int f, std::vector<uint32_t>& p) {
        static const int kSteps[30] = {0,   60,  50,  150, 200, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
                                       255, 200, 210, 120, 60,  0,   0,   0,   0,   0,   0,   0,   0,   0,   0};
        std::fill(p.begin(), p.end(), Grey(kSteps[f % 30]));
    };
    EXPECT_EQ(Analyse(3 * kFps, ramps).general, 4);
}

TEST(FlashMeasure, MovingTextureIsNoFlash) {
    // Stripes 3 pixels wide, moving 1 and 3 pixels a frame: every pixel
    // flickers, the brightness of any area stays.
    for (const int speed : {1, 3}) {
        const Painter stripes = [speed](int f, std::vector<uint32_t>& p) {
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x) p[y * W + x] = Grey((x + f * speed) / 3 % 2 ? 255 : 0);
        };
        const Worst w = Analyse(2 * kFps, stripes);
        EXPECT_EQ(w.general, 0) << speed << " pixels a frame";
    }
}

TEST(FlashMeasure, RedFlashes) {
    // Saturated red against black at 3 Hz: three red flashes, and three general.
    Worst w = Analyse(2 * kFps, SquareWave(3, Grey(0), Rgb(255, 0, 0)));
    EXPECT_EQ(w.red, 6);
    EXPECT_EQ(w.general, 6);
    // A dim red: under the general threshold (luminance 0.027), a red flash still.
    w = Analyse(2 * kFps, SquareWave(3, Grey(0), Rgb(100, 0, 0)));
    EXPECT_EQ(w.red, 6);
    EXPECT_EQ(w.general, 0);
    // Pink is not a saturated red (R / (R + G + B) = 0.7): a general flash only.
    w = Analyse(2 * kFps, SquareWave(3, Grey(0), Rgb(255, 128, 128)));
    EXPECT_EQ(w.red, 0);
    EXPECT_EQ(w.general, 6);
}

TEST(FlashMeasure, SwingBandKeepsAValueFromTransitions) {
    const qor::flash::Limits limits;
    qor::flash::Swing s;
    EXPECT_EQ(qor::flash::StepSwing(s, 0.3f, false, 0.1f, true, limits), 0);
    EXPECT_EQ(qor::flash::StepSwing(s, 0.35f, false, 0.1f, true, limits), 0);
    float low, high;
    qor::flash::FreeBand(s, 0.1f, low, high);
    EXPECT_NEAR(low, 0.25f, 1e-6);   // a turn back from 0.35
    EXPECT_NEAR(high, 0.4f, 1e-6);   // 0.1 above the anchor
    EXPECT_EQ(qor::flash::StepSwing(s, 0.41f, false, 0.1f, true, limits), 1);
    EXPECT_EQ(qor::flash::StepSwing(s, 0.9f, false, 0.1f, true, limits), 0);   // the same swing
    EXPECT_EQ(qor::flash::StepSwing(s, 0.7f, false, 0.1f, true, limits), -1);
}

// >> the calm mode

// The turns (changes of direction) of a shaped series within any one-second span, at most.
int MostTurnsASecond(const std::vector<std::pair<double, float>>& out) {
    std::vector<double> turns;
    int dir = 0;
    for (size_t i = 1; i < out.size(); ++i) {
        const float d = out[i].second - out[i - 1].second;
        const int way = d > 0 ? 1 : d < 0 ? -1 : 0;
        if (way && way != dir) {
            if (dir) turns.push_back(out[i].first);
            dir = way;
        }
    }
    int most = 0;
    for (size_t i = 0, j = 0; j < turns.size(); ++j) {
        while (turns[j] - turns[i] >= 1.0) ++i;
        most = std::max(most, int(j - i + 1));
    }
    return most;
}

TEST(CalmShape, AStepSwingsAtMostTheAllowedAmountPerThirdOfASecond) {
    // 0.05 to 0.5 and back at 60 fps and at uneven frame times.
    const double swing = qor::calm::kLevelShape.swing;
    for (const bool uneven : {false, true}) {
        qor::calm::Shaper shaper(qor::calm::kLevelShape);
        std::vector<std::pair<double, float>> out;
        double t = 0;
        for (int f = 0; t < 4.0; ++f) {
            const float in = t >= 1.0 && t < 2.5 ? 0.5f : 0.05f;
            out.push_back({t, shaper.Shape(t, in)});
            t += uneven ? (f % 3 == 0 ? 0.031 : 0.007) : 1.0 / kFps;
        }
        for (size_t i = 0; i < out.size(); ++i)
            for (size_t j = i + 1; j < out.size() && out[j].first - out[i].first <= 1.0 / 3; ++j)
                ASSERT_LE(std::fabs(out[j].second - out[i].second), swing + 1e-6)
                    << "from " << out[i].first << " to " << out[j].first;
        // It still gets there, and back.
        const auto at = [&](double when) {
            return std::find_if(out.begin(), out.end(), [&](auto& p) { return p.first >= when; })->second;
        };
        EXPECT_NEAR(at(2.45), 0.5f, 0.01f);
        EXPECT_NEAR(at(3.95), 0.05f, 0.01f);
        EXPECT_GE(at(1.05), 0.05f + swing * 0.9);   // a beat is seen at once, as far as the swing goes
    }
}

TEST(CalmShape, TurnsStayWithinTheBudgetAndSlowBeatsAreAllFollowed) {
    // Kicks (a short peak) at 2 a second are followed one by one.
    qor::calm::Shaper kicks(qor::calm::kLevelShape);
    std::vector<std::pair<double, float>> out;
    int peaks = 0, dir = 0;
    for (int f = 0; f < 4 * kFps; ++f) {
        const double t = double(f) / kFps;
        const float in = std::fmod(t, 0.5) < 0.06 ? 0.3f : 0.08f;
        out.push_back({t, kicks.Shape(t, in)});
        const float d = f ? out[f].second - out[f - 1].second : 0.0f;
        if (d > 0) dir = 1;
        if (d < 0 && dir == 1) ++peaks, dir = -1;
    }
    EXPECT_EQ(peaks, 7);   // the first kick is where the shaper starts
    EXPECT_LE(MostTurnsASecond(out), qor::calm::kTurns);

    // A level strobing at 10 Hz, and one jumping at random, keep to the budget;
    // two shapers sharing a budget keep to it together.
    for (const int kind : {0, 1, 2}) {
        qor::calm::Turns shared;
        qor::calm::Shaper a(qor::calm::kLevelShape, kind == 2 ? &shared : nullptr);
        qor::calm::Shaper b(qor::calm::kColourShape, kind == 2 ? &shared : nullptr);
        std::vector<std::pair<double, float>> outA, outB;
        uint32_t seed = 7;
        for (int f = 0; f < 5 * kFps; ++f) {
            const double t = double(f) / kFps;
            seed = seed * 1103515245u + 12345u;
            const float in = kind == 0 ? (f / 3 % 2 ? 0.4f : 0.02f) : float(seed >> 16 & 255) / 255.0f;
            outA.push_back({t, a.Shape(t, in)});
            outB.push_back({t, b.Shape(t, 1.0f - in)});
        }
        EXPECT_LE(MostTurnsASecond(outA), qor::calm::kTurns) << kind;
        EXPECT_GE(MostTurnsASecond(outA), 2) << kind << ": it still moves";
        if (kind == 2) {
            // Together: every turn of either counts.
            std::vector<std::pair<double, float>> both;
            int turnsA = 0, turnsB = 0;
            for (const auto* o : {&outA, &outB}) {
                int dir = 0;
                for (size_t i = 1; i < o->size(); ++i) {
                    const float d = (*o)[i].second - (*o)[i - 1].second;
                    const int way = d > 0 ? 1 : d < 0 ? -1 : 0;
                    if (way && way != dir) {
                        (o == &outA ? turnsA : turnsB) += dir != 0;
                        dir = way;
                    }
                }
            }
            EXPECT_LE(turnsA + turnsB, qor::calm::kTurns * 5 + 2);
        }
    }
}

TEST(CalmShape, TimeJumpsStartAfresh) {
    qor::calm::Shaper shaper(qor::calm::kLevelShape);
    EXPECT_FLOAT_EQ(shaper.Shape(10.0, 0.1f), 0.1f);
    EXPECT_LE(shaper.Shape(10.0 + 1.0 / kFps, 0.9f), 0.1f + qor::calm::kLevelShape.swing + 1e-6);
    EXPECT_FLOAT_EQ(shaper.Shape(50.0, 0.9f), 0.9f);   // a seek
    EXPECT_FLOAT_EQ(shaper.Shape(20.0, 0.3f), 0.3f);   // back
}

TEST(CalmShape, AFlickeringPictureStaysUnderTheLimitsAndKeepsItsHue) {
    // A full-screen picture whose grey (and a brown tint) flickers at random
    // every frame, as an overlay's colour, through the calm mode's colours.
    qor::calm::SetOn(true);
    int key = 0;
    uint32_t seed = 1;
    const Worst w = Analyse(5 * kFps, [&](int f, std::vector<uint32_t>& p) {
        qor::calm::Level(double(f) / kFps, 0.1f);
        seed = seed * 1103515245u + 12345u;
        const int grey = int(seed >> 16) % 128 + 128;
        const uint32_t c = qor::calm::Colour(&key, 0x40000000u | (Rgb(grey, grey * 3 / 4, grey / 2) & 0xFFFFFFu));
        EXPECT_EQ(c >> 24, 0x40u);
        const int r = int(c >> 16 & 255), g = int(c >> 8 & 255);
        EXPECT_NEAR(g, r * 3 / 4, 2);
        std::fill(p.begin(), p.end(), c | 0xFF000000u);
    });
    qor::calm::SetOn(false);
    EXPECT_LE(w.general, 6);

    const Worst raw = Analyse(5 * kFps, [&](int, std::vector<uint32_t>& p) {
        seed = seed * 1103515245u + 12345u;
        std::fill(p.begin(), p.end(), Grey(int(seed >> 16) % 128 + 128));
    });
    EXPECT_GT(raw.general, 6);   // as it comes, it is over
}

TEST(CalmPicture, StrobingIsHeldUnderTheLimitsAndSlowFlashesPass) {
    for (const int hz : {4, 10, 30}) {
        qor::calm::PictureGovernor governor;
        const Worst w = Analyse(4 * kFps, SquareWave(hz, Grey(20), Grey(255)), &governor);
        EXPECT_LE(w.general, 6) << hz << " Hz";
        EXPECT_GE(w.general, 4) << hz << " Hz: some flashes are still shown";
    }
    // Two flashes a second are within the limits: shown as they are.
    qor::calm::PictureGovernor governor;
    std::vector<uint32_t> p(W * H);
    const Painter slow = SquareWave(2, Grey(0), Grey(255));
    for (int f = 0; f < 3 * kFps; ++f) {
        slow(f, p);
        ASSERT_EQ(governor.Apply(double(f) / kFps, p.data(), W, H), p.data()) << f;
    }
}

TEST(CalmPicture, NoRedFlashAndMovingTextureUntouched) {
    qor::calm::PictureGovernor red;
    const Worst w = Analyse(3 * kFps, SquareWave(3, Grey(0), Rgb(255, 0, 0)), &red);
    EXPECT_LE(w.red, 1);
    EXPECT_LE(w.general, 6);

    qor::calm::PictureGovernor governor;
    std::vector<uint32_t> p(W * H);
    for (int f = 0; f < 2 * kFps; ++f) {
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) p[y * W + x] = Grey((x + 3 * f) / 3 % 2 ? 255 : 0);
        ASSERT_EQ(governor.Apply(double(f) / kFps, p.data(), W, H), p.data()) << f;
    }
}

TEST(CalmPicture, HeldCellsShowTheMixInTheFlashingPartOnly) {
    // A big spot strobing at 10 Hz on the left, a still picture on the right.
    qor::calm::PictureGovernor governor;
    std::vector<uint32_t> p(W * H);
    int held = 0;
    for (int f = 0; f < 2 * kFps; ++f) {
        const bool on = f / 3 % 2 == 1;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) p[y * W + x] = x < 140 ? Grey(on ? 255 : 10) : Rgb(x % 256, 90, y % 256);
        const uint32_t* shown = governor.Apply(double(f) / kFps, p.data(), W, H);
        if (shown == p.data()) continue;
        ++held;
        for (int y = 0; y < H; y += 7)
            for (int x = 200; x < W; x += 5) ASSERT_EQ(shown[y * W + x], p[y * W + x]) << x << "," << y;
    }
    EXPECT_GT(held, kFps / 2);
}

}   // namespace
