// The command line and the planning of offline renders.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run/options.h"
#include "run/video.h"
#include "timeline/timeline.h"

namespace {

struct Parsed {
    bool ok = false;
    bool help = false;
    qor::Options options;
    std::string err;
};

Parsed Parse(std::vector<std::string> args) {
    args.insert(args.begin(), "teq");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    Parsed p;
    testing::internal::CaptureStderr();
    p.ok = qor::ParseOptions(static_cast<int>(argv.size()), argv.data(), 135.0, p.options, p.help);
    p.err = testing::internal::GetCapturedStderr();
    return p;
}

int Lines(const std::string& text) {
    int n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

}   // namespace

// >> command line

TEST(Options, EveryOptionAndItsValue) {
    const Parsed p = Parse({"--data", "/tmp/d", "--fullscreen", "--scale", "3", "--start", "42.5", "--length", "10",
                            "--mute", "--show-fps", "--render", "out", "--fps", "30", "--size", "640x480"});
    ASSERT_TRUE(p.ok) << p.err;
    EXPECT_TRUE(p.err.empty());
    const qor::Options& o = p.options;
    EXPECT_EQ(o.dataDir, "/tmp/d");
    EXPECT_TRUE(o.fullscreen);
    EXPECT_EQ(o.scale, 3);
    EXPECT_DOUBLE_EQ(o.start, 42.5);
    EXPECT_DOUBLE_EQ(o.length, 10.0);
    EXPECT_TRUE(o.mute);
    EXPECT_TRUE(o.showFps);
    EXPECT_EQ(o.renderFile, "out");
    EXPECT_EQ(o.fps, 30);
    EXPECT_EQ(o.width, 640);
    EXPECT_EQ(o.height, 480);

    const Parsed none = Parse({});
    ASSERT_TRUE(none.ok);
    EXPECT_EQ(none.options.fps, 60);
    EXPECT_EQ(none.options.width, 1280);
    EXPECT_EQ(none.options.height, 960);
    EXPECT_LT(none.options.length, 0.0);
    EXPECT_FALSE(none.help);

    EXPECT_TRUE(Parse({"--help"}).help);
    EXPECT_TRUE(Parse({"--version"}).options.version);
    EXPECT_FALSE(none.options.version);
}

TEST(Options, BadOptionsAndValuesSayOneLine) {
    const std::vector<std::vector<std::string>> bad = {
        {"--bogus"},
        {"play"},
        {"--scale"},
        {"--scale", "0"},
        {"--scale", "2.5"},
        {"--scale", "x"},
        {"--fps", "0"},
        {"--fps", "1000"},
        {"--fps", "30fps"},
        {"--start", "-1"},
        {"--start", "nan"},
        {"--length", "0"},
        {"--length", "-3"},
        {"--size", "1280"},
        {"--size", "1280x"},
        {"--size", "x960"},
        {"--size", "0x0"},
        {"--size", "axb"},
        {"--render"},
        {"--render", ""},
        {"--data"},
        {"--shot", "1"},
        {"--level", "2"},
        {"--render", "a.mp4", "--size", "641x480"},   // 4:2:0 video needs even sides
        {"--render", "a", "--bench"},
        {"--passes", "0"},
        {"--passes", "1.5"},
        {"--bench", "--start", "200"},
        {"--bench", "--start", "135"},      // nothing left to time
        {"--bench", "--start", "134.99"},   // its first frame at or after is the end
        {"--size", "7680x4320"},
        {"--size", "3840x2162"},   // more than ffmpeg encodes in about 1 GB
        {"--shot", "5", "x.jpg"},
        {"--shot", "5", "png"},   // only PNG is written
    };
    for (const auto& args : bad) {
        const Parsed p = Parse(args);
        std::string joined;
        for (const auto& a : args) joined += a + " ";
        EXPECT_FALSE(p.ok) << joined;
        EXPECT_EQ(Lines(p.err), 1) << joined << ": " << p.err;
    }
    EXPECT_TRUE(Parse({"--bench", "--start", "200", "--length", "1"}).ok);   // past the timeline on purpose
    EXPECT_TRUE(Parse({"--bench", "--start", "134.98"}).ok);                 // one frame, at 134.983
    EXPECT_TRUE(Parse({"--size", "3840x2160"}).ok);
    EXPECT_TRUE(Parse({"--size", "7680x1080"}).ok);
    EXPECT_TRUE(Parse({"--shot", "5", "X.PNG"}).ok);
    // Odd sizes are fine for PNG frames.
    EXPECT_TRUE(Parse({"--render", "frames", "--size", "641x481"}).ok);
}

TEST(Options, ResolutionOneToEight) {
    EXPECT_EQ(Parse({}).options.resolution, 1);
    EXPECT_EQ(Parse({"--resolution", "4"}).options.resolution, 4);
    EXPECT_EQ(Parse({"--shot", "5", "a.png", "--resolution", "8"}).options.resolution, 8);
    for (const char* bad : {"0", "9", "2.5", "-1", "x", ""}) {
        const Parsed p = Parse({"--resolution", bad});
        EXPECT_FALSE(p.ok) << bad;
        EXPECT_EQ(Lines(p.err), 1) << bad << ": " << p.err;
    }
    EXPECT_FALSE(Parse({"--resolution"}).ok);
}

// >> offline render plan

TEST(VideoPlan, AudioBoundariesAreFloorOfFrameTimesRate) {
    EXPECT_EQ(qor::AudioBoundary(0, 60, 48000), 0);
    EXPECT_EQ(qor::AudioBoundary(1, 60, 48000), 800);
    EXPECT_EQ(qor::AudioBoundary(8100, 60, 48000), 6480000);
    // 48000 / 7 is not whole: floor, and the frames' shares add up exactly.
    EXPECT_EQ(qor::AudioBoundary(1, 7, 48000), 6857);
    EXPECT_EQ(qor::AudioBoundary(2, 7, 48000), 13714);
    EXPECT_EQ(qor::AudioBoundary(3, 7, 48000), 20571);
    EXPECT_EQ(qor::AudioBoundary(7, 7, 48000), 48000);
    int64_t sum = 0;
    for (int64_t n = 0; n < 7 * 135; ++n) sum += qor::AudioBoundary(n + 1, 7, 48000) - qor::AudioBoundary(n, 7, 48000);
    EXPECT_EQ(sum, 135 * 48000);
    // 24 fps at 44.1 kHz style fractions, and a frame far into a long run.
    EXPECT_EQ(qor::AudioBoundary(1, 24, 44100), 1837);
    EXPECT_EQ(qor::AudioBoundary(1000001, 59, 48000), 813560135);
    EXPECT_EQ(qor::AudioBoundary(-1, 7, 48000), -6858);
}

// A render never hands the demo one of its window bounds (it would draw
// neither window), and every other frame keeps t = n / fps exactly.
TEST(VideoPlan, RenderFramesStepOffTheWindowBounds) {
    const int count = int(std::size(kWindowBounds));
    for (int fps : {60, 50, 30, 25, 24, 7}) {
        int nudged = 0;
        for (int64_t n = 0; n <= 135 * fps; ++n) {
            const double exact = double(n) / fps;
            const double t = qor::RenderFrameTime(n, fps, kWindowBounds, count);
            const float shown = float(t);
            bool onBound = false;
            for (float b : kWindowBounds) {
                EXPECT_NE(shown, b) << fps << " fps, frame " << n;
                onBound = onBound || float(exact) == b;
            }
            if (!onBound) {
                EXPECT_EQ(t, exact) << fps << " fps, frame " << n;
                continue;
            }
            ++nudged;
            EXPECT_GT(shown, float(exact));
            EXPECT_LT(t, double(n + 1) / fps);
        }
        // At 60 and 30 fps every bound (tenths and halves of seconds) is a frame time.
        if (fps == 60 || fps == 30) {
            EXPECT_EQ(nudged, count) << fps << " fps";
        }
    }
}

TEST(VideoPlan, FramesCoverTheSong) {
    EXPECT_EQ(qor::FirstFrameAt(0.0, 60), 0);
    EXPECT_EQ(qor::FirstFrameAt(1.0, 60), 60);
    EXPECT_EQ(qor::FirstFrameAt(135.0, 60), 8100);   // frames 0..8099 have t < 135
    EXPECT_EQ(qor::FirstFrameAt(0.1, 30), 3);        // 0.1 * 30 is 3.0000000000000004
    EXPECT_EQ(qor::FirstFrameAt(1.01, 60), 61);
    EXPECT_EQ(qor::FirstFrameAt(57.8, 60), 3468);
}

TEST(VideoPlan, OutputKindAndEncoder) {
    EXPECT_EQ(qor::VideoKindOf("demo.mp4"), qor::VideoKind::Mp4);
    EXPECT_EQ(qor::VideoKindOf("DEMO.MP4"), qor::VideoKind::Mp4);
    EXPECT_EQ(qor::VideoKindOf("a/b.mkv"), qor::VideoKind::Mkv);
    EXPECT_EQ(qor::VideoKindOf("x.webm"), qor::VideoKind::Webm);
    EXPECT_EQ(qor::VideoKindOf("frames"), qor::VideoKind::Folder);
    EXPECT_EQ(qor::VideoKindOf("mp4"), qor::VideoKind::Folder);
    EXPECT_EQ(qor::VideoKindOf("clip.mp4/"), qor::VideoKind::Folder);

    const auto args = qor::FfmpegArguments(qor::VideoKind::Mp4, "a.wav", "out file.mp4", 320, 240, 60, 1280, 960);
    auto has = [&](const std::string& what, const std::string& next) {
        for (size_t i = 0; i + 1 < args.size(); ++i)
            if (args[i] == what && args[i + 1] == next) return true;
        return false;
    };
    EXPECT_TRUE(has("-video_size", "320x240"));
    EXPECT_TRUE(has("-framerate", "60"));
    EXPECT_TRUE(has("-i", "a.wav"));
    EXPECT_TRUE(has("-vf", "scale=1280:960:flags=neighbor"));
    EXPECT_TRUE(has("-c:v", "libx264"));
    EXPECT_TRUE(has("-pix_fmt", "yuv420p"));
    EXPECT_EQ(args.back(), "out file.mp4");   // one argument, no shell in between
    EXPECT_TRUE(has("-f", "mp4"));            // the container does not depend on the (temporary) name
}

// Whole multiples of the drawn frame keep square pixels; any other size,
// larger or smaller, is filtered once.
TEST(VideoPlan, WholeMultiplesStaySharpOtherSizesAreFiltered) {
    const auto filter = [](int w, int h, int ow, int oh) {
        const auto args = qor::FfmpegArguments(qor::VideoKind::Mp4, "a.wav", "o.mp4", w, h, 60, ow, oh);
        for (size_t i = 0; i + 1 < args.size(); ++i)
            if (args[i] == "-vf") return args[i + 1];
        return std::string();
    };
    EXPECT_EQ(filter(1280, 960, 1280, 960), "scale=1280:960:flags=neighbor");
    EXPECT_EQ(filter(640, 480, 1920, 1440), "scale=1920:1440:flags=neighbor");
    EXPECT_EQ(filter(640, 480, 1920, 1080), "scale=1920:1080:flags=lanczos");
    EXPECT_EQ(filter(1280, 960, 640, 480), "scale=640:480:flags=lanczos");
    EXPECT_EQ(filter(320, 240, 1000, 750), "scale=1000:750:flags=lanczos");
}

TEST(VideoPlan, ProgressLine) {
    const std::string line = qor::ProgressLine(2025, 8100, 45.0, 60);
    EXPECT_NE(line.find("2025/8100 frames"), std::string::npos) << line;
    EXPECT_NE(line.find("25.0%"), std::string::npos) << line;
    EXPECT_NE(line.find("45.0 fps"), std::string::npos) << line;
    EXPECT_NE(line.find("0.75x"), std::string::npos) << line;
    EXPECT_NE(line.find("2:15 left"), std::string::npos) << line;   // 6075 frames at 45 per second
    EXPECT_NE(qor::ProgressLine(0, 100, 0.0, 60).find("--:-- left"), std::string::npos);
}
