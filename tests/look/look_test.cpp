// The look figures (tools/look) on small pictures, and on renders of the
// real demo with its music: the whole run at 1 frame a second and one second
// of the tunnel at 60, checked against the targets each window is drawn for.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "look.h"

namespace fs = std::filesystem;

namespace {

qor::Picture Flat(int w, int h, uint32_t argb) {
    qor::Picture p;
    p.width = w, p.height = h;
    p.argb.assign(size_t(w) * h, argb);
    return p;
}

uint32_t Grey(int v) { return 0xFF000000u | uint32_t(v) << 16 | uint32_t(v) << 8 | uint32_t(v); }

// Renders a stretch of the demo at 320x240 into a fresh folder and loads the frames.
std::vector<qor::Picture> Render(const std::string& tag, int fps, double start, double length) {
    const fs::path dir = fs::temp_directory_path() / ("teq-look-" + tag + "-" + std::to_string(getpid()));
    fs::remove_all(dir);
    char args[256];
    std::snprintf(args, sizeof args, " --fps %d --start %g --length %g --size 320x240", fps, start, length);
    const std::string cmd = std::string("\"") + TEQ_BINARY + "\" --data \"" + TEQ_DATA + "\" --render \"" +
                            dir.string() + "\"" + args + " 2>/dev/null";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::vector<qor::Picture> frames;
    for (int i = 0;; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%06d.png", i);
        qor::Picture p;
        std::string error;
        if (!qor::LoadPicture((dir / name).string(), p, error)) break;
        frames.push_back(std::move(p));
    }
    fs::remove_all(dir);
    return frames;
}

// The whole run at 1 fps: frame n is t = n seconds. (Not the tunnel: it
// places its camera for the next frame, so at 1 fps it looks from a second
// behind; it is measured at 60 fps.)
const std::vector<qor::Picture>& Whole() {
    static const std::vector<qor::Picture> frames = Render("whole", 1, 0, 135);
    return frames;
}

struct Window {
    double luma = 0, lowest = 1e9, black = 0, saturated = 0, red = 0;   // luma in % of 255, shares in %
};
Window Figures(int from, int to) {   // seconds from..to, both inside the window
    Window w;
    int n = 0;
    for (int t = from; t <= to && t < int(Whole().size()); ++t, ++n) {
        const look::FrameStats s = look::Measure(Whole()[size_t(t)]);
        w.luma += s.meanLuma / 2.55;
        w.lowest = std::min(w.lowest, s.meanLuma / 2.55);
        w.black += s.nearBlack * 100;
        w.saturated += s.saturated * 100;
        w.red += s.red * 100;
    }
    EXPECT_GT(n, 0);
    if (n > 0) w.luma /= n, w.black /= n, w.saturated /= n, w.red /= n;
    return w;
}

}   // namespace

TEST(LookFigures, MeasureLumaNearBlackAndSaturation) {
    qor::Picture p = Flat(4, 1, Grey(0));
    p.argb[1] = 0xFF00C800u;   // green 200: luma 0.7152 * 200
    p.argb[2] = 0xFFF6F6F6u;   // 246: saturated
    p.argb[3] = Grey(9);       // near-black
    const look::FrameStats s = look::Measure(p);
    EXPECT_NEAR(s.meanLuma, (0.7152 * 200 + 246 + 9) / 4, 1e-9);
    EXPECT_DOUBLE_EQ(s.nearBlack, 0.5);
    EXPECT_DOUBLE_EQ(s.saturated, 0.25);
    EXPECT_DOUBLE_EQ(s.red, 0.0);
    // Saturated red: red at least 80 % of the sum and at least 64.
    EXPECT_TRUE(look::SaturatedRed(0xFFC81010u));
    EXPECT_TRUE(look::SaturatedRed(0xFF500000u));
    EXPECT_FALSE(look::SaturatedRed(0xFF300000u)) << "too dark to flash";
    EXPECT_FALSE(look::SaturatedRed(0xFFF0A040u)) << "amber";
    EXPECT_FALSE(look::SaturatedRed(0xFFFFFFFFu));
    p.argb[0] = 0xFFC81010u;
    EXPECT_DOUBLE_EQ(look::Measure(p).red, 0.25);
}

TEST(LookFigures, ReversalCountsOnlyPeaksAndDipsBeyondTheStep) {
    // Pixels: a peak of 30, a peak of 20 (too small), a ramp, a dip of 30.
    const int a[4] = {0, 0, 0, 100}, b[4] = {30, 20, 50, 70}, c[4] = {0, 0, 100, 100};
    qor::Picture fa = Flat(4, 1, 0), fb = Flat(4, 1, 0), fc = Flat(4, 1, 0);
    for (int i = 0; i < 4; ++i)
        fa.argb[size_t(i)] = Grey(a[i]), fb.argb[size_t(i)] = Grey(b[i]), fc.argb[size_t(i)] = Grey(c[i]);
    EXPECT_DOUBLE_EQ(look::ReversalShare(fa, fb, fc), 0.5);
}

TEST(LookFigures, CreditLettersAreFoundWithARingOfBackground) {
    qor::Picture credits;
    std::string error;
    ASSERT_TRUE(qor::LoadPicture(std::string(TEQ_DATA) + "/cre.png", credits, error)) << error;
    const std::vector<look::Letter> letters = look::FindLetters(credits);
    EXPECT_GE(letters.size(), 30u) << "teq, distortion and three lines of credits";
    // A white letter over black has the top contrast; over its own grey, 1.
    qor::Picture frame = Flat(320, 240, Grey(0));
    for (int p : letters[0].ink) frame.argb[size_t(p)] = Grey(200);
    EXPECT_NEAR(look::LetterContrast(frame, letters[0]), 201.0, 1e-9);
    frame = Flat(320, 240, Grey(80));
    EXPECT_NEAR(look::LetterContrast(frame, letters[0]), 1.0, 1e-9);
    // The ring's brightest tenth counts: a bright line over a fifth of it
    // sets what the letter is measured against.
    for (size_t k = 0; k < letters[0].ring.size() / 5; ++k) frame.argb[size_t(letters[0].ring[k])] = Grey(150);
    for (int p : letters[0].ink) frame.argb[size_t(p)] = Grey(200);
    const look::LetterLight l = look::MeasureLetter(frame, letters[0]);
    EXPECT_DOUBLE_EQ(l.ink, 200.0);
    EXPECT_DOUBLE_EQ(l.ring, 150.0);
    EXPECT_NEAR(look::LetterContrast(frame, letters[0]), 201.0 / 151.0, 1e-9);
    EXPECT_EQ(look::LetterContrast(Flat(16, 16, Grey(0)), letters[0]), 0.0) << "a frame of the wrong size";
}

TEST(LookFigures, CreditsGreyFadesFromItsRandomStart) {
    EXPECT_DOUBLE_EQ(look::CreditsGreyLow(100.2), 168.0);
    EXPECT_DOUBLE_EQ(look::CreditsGreyHigh(100.2), 199.0);
    EXPECT_NEAR(look::CreditsGreyLow(105.2), 84.0, 1e-5);
    EXPECT_EQ(look::CreditsGreyHigh(111.0), 0.0);
}

// Targets of the look, from the real run (frames at whole seconds).
TEST(LookOfTheRun, EveryWindowReads) {
    ASSERT_GE(Whole().size(), 130u);
    // The split screen: three filled viewports of one hall, not a red wall.
    const Window trio = Figures(43, 57);
    EXPECT_GE(trio.luma, 20.0);
    EXPECT_LE(trio.black, 30.0);
    EXPECT_LE(trio.red, 10.0) << "trio";
    // Additive highlights keep colour: few saturated pixels.
    EXPECT_LE(Figures(1, 27).saturated, 8.0) << "swarm";
    EXPECT_LE(Figures(28, 42).saturated, 8.0) << "cylinder and knot";
    EXPECT_LE(Figures(81, 100).saturated, 8.0) << "second swarm";
    // The busy windows are bright, the credits' wall lit.
    EXPECT_GE(Figures(1, 27).luma, 19.0) << "swarm";
    EXPECT_GE(Figures(28, 36).luma, 19.0) << "knot";
    EXPECT_GE(Figures(81, 100).luma, 20.0) << "second swarm";
    EXPECT_GE(Figures(101, 115).luma, 10.0) << "credits";
    // The closing field stands on lit ground while its light fades, and
    // its lit tops stay below white.
    const Window field = Figures(117, 128);
    EXPECT_GE(field.luma, 10.0) << "closing field";
    EXPECT_LE(field.black, 50.0) << "closing field";
    EXPECT_LE(field.saturated, 1.5) << "closing field";
    // ... in every frame: the copies seen from their dark side glow too.
    EXPECT_GE(Figures(117, 127).lowest, 3.0) << "closing field";
}

// The credits' letters stand out while the text is bright (it fades out by
// 110 s): every letter at 3:1 or more against the wall behind it up to 104 s,
// whatever the random start grey (168..199 at 100.2 s).
TEST(LookOfTheRun, CreditsReadWhileBright) {
    qor::Picture credits;
    std::string error;
    ASSERT_TRUE(qor::LoadPicture(std::string(TEQ_DATA) + "/cre.png", credits, error)) << error;
    const std::vector<look::Letter> letters = look::FindLetters(credits);
    ASSERT_GE(letters.size(), 30u);
    for (int t = 101; t <= 104; ++t)
        for (size_t i = 0; i < letters.size(); ++i) {
            const look::LetterLight l = look::MeasureLetter(Whole()[size_t(t)], letters[i]);
            EXPECT_GE(look::LetterContrast(Whole()[size_t(t)], letters[i]), 3.0)
                << "letter " << i << " at " << t << " s: ink " << l.ink << " over " << l.ring;
        }
}

// The tunnel's walls hold still at flight speed and stay lit: one second at 60 fps.
TEST(LookOfTheRun, TunnelDoesNotStrobe) {
    const std::vector<qor::Picture> frames = Render("tunnel", 60, 64, 1);
    ASSERT_GE(frames.size(), 60u);
    double flips = 0, luma = 0;
    for (size_t i = 1; i + 1 < frames.size(); ++i) {
        flips += look::ReversalShare(frames[i - 1], frames[i], frames[i + 1]);
        luma += look::Measure(frames[i]).meanLuma / 2.55;
    }
    EXPECT_LE(flips / double(frames.size() - 2), 0.12);
    EXPECT_GE(luma / double(frames.size() - 2), 10.0);
}
