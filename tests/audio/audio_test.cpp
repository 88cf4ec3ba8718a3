// Music loading and playback, the level meter, the soundtrack that moves
// both, the playback clock and WAV output.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "audio/clock.h"
#include "audio/level.h"
#include "audio/music.h"
#include "audio/soundtrack.h"
#include "audio/wav.h"
#include "test_module.h"

using qor::audio::kRate;
using qor::audio::LevelMeter;
using qor::audio::Music;
using qor::audio::PlaybackClock;
using qor::audio::Soundtrack;

namespace {

constexpr double kDemoSeconds = 135.0;   // the length a run without music gets

std::string TempPath(const std::string& name) {
    return testing::TempDir() + "/teq_audio_" + std::to_string(getpid()) + "_" + name;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<float> RenderAll(Music& music, size_t frames) {
    std::vector<float> out(2 * frames);
    music.Render(out.data(), frames);
    return out;
}

int CountLines(const std::string& text) {
    int n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

// Loads `path`, expecting the silent fallback and one line on stderr naming the file.
void ExpectSilentFallback(const std::string& path) {
    Music music(kDemoSeconds);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(music.Load(path));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(CountLines(err), 1) << err;
    EXPECT_NE(err.find(path), std::string::npos) << err;
    EXPECT_FALSE(music.Loaded());
    EXPECT_DOUBLE_EQ(music.Duration(), 135.0);
    std::vector<float> out(2 * 4800, 1.0f);
    EXPECT_EQ(music.Render(out.data(), 4800), 0u);
    for (float s : out) ASSERT_EQ(s, 0.0f);
    music.Seek(60 * kRate);   // seeking a silent song is harmless
    EXPECT_EQ(music.Position(), 60 * kRate);
}

}   // namespace

// >> loading

TEST(MusicFile, BadFilesGiveOneLineAndSilence) {
    ExpectSilentFallback(TempPath("does_not_exist.xm"));

    const std::string empty = TempPath("empty.xm");
    WriteFile(empty, {});
    ExpectSilentFallback(empty);

    // Another tracker's module, or any other data: never handed to the player.
    const std::string other = TempPath("other.xm");
    WriteFile(other, std::vector<uint8_t>{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1});
    ExpectSilentFallback(other);

    // The header and then garbage or a cut-off file.
    std::vector<uint8_t> module = MakeTestModule(16);
    std::vector<uint8_t> cut(module.begin(), module.begin() + 40);
    const std::string truncated = TempPath("truncated.xm");
    WriteFile(truncated, cut);
    ExpectSilentFallback(truncated);

    std::vector<uint8_t> garbage(module.begin(), module.begin() + 17);
    std::mt19937 random(7);
    for (int i = 0; i < 5000; ++i) garbage.push_back(static_cast<uint8_t>(random()));
    const std::string noisy = TempPath("garbage.xm");
    WriteFile(noisy, garbage);
    ExpectSilentFallback(noisy);

    const std::string folder = testing::TempDir();
    ExpectSilentFallback(folder);
}

TEST(MusicFile, HeaderCheck) {
    const char good[] = "Extended Module: name";
    EXPECT_TRUE(qor::audio::HasXmHeader(good, sizeof good - 1));
    EXPECT_FALSE(qor::audio::HasXmHeader(good, 16));   // too short to hold it
    const char lower[] = "extended module: name";
    EXPECT_FALSE(qor::audio::HasXmHeader(lower, sizeof lower - 1));
}

// >> playback

TEST(MusicPlayback, PlaysOnceToTheSongEnd) {
    const std::vector<uint8_t> module = MakeTestModule(32);
    Music music(kDemoSeconds);
    ASSERT_TRUE(music.LoadMemory(module.data(), module.size(), "test.xm"));
    EXPECT_NEAR(music.Duration(), 32 * kTestRowSeconds, 1e-6);
    const size_t songFrames = static_cast<size_t>(std::llround(32 * kTestRowSeconds * kRate));
    // Ask for a second more than the song: the rest is silence, nothing repeats.
    std::vector<float> out(2 * (songFrames + kRate));
    const size_t got = music.Render(out.data(), songFrames + kRate);
    EXPECT_NEAR(static_cast<double>(got), static_cast<double>(songFrames), kRate * 0.01);
    EXPECT_TRUE(music.Ended());
    double heard = 0.0;
    for (size_t i = 0; i < 2 * songFrames; ++i) heard += std::fabs(out[i]);
    EXPECT_GT(heard / (2.0 * songFrames), 0.01);
    for (size_t i = 2 * got; i < out.size(); ++i) ASSERT_EQ(out[i], 0.0f) << "sample " << i;
}

TEST(MusicPlayback, SameBytesEveryTime) {
    const std::vector<uint8_t> module = MakeTestModule(24);
    Music a(kDemoSeconds), b(kDemoSeconds);
    ASSERT_TRUE(a.LoadMemory(module.data(), module.size(), "a.xm"));
    ASSERT_TRUE(b.LoadMemory(module.data(), module.size(), "b.xm"));
    // Rendered in different chunk sizes, the samples are the same.
    std::vector<float> whole = RenderAll(a, kRate);
    std::vector<float> pieces;
    for (size_t chunk : {1u, 799u, 800u, 1024u, 4096u}) {
        std::vector<float> part = RenderAll(b, chunk);
        pieces.insert(pieces.end(), part.begin(), part.end());
    }
    pieces.resize(whole.size(), 0.0f);
    std::vector<float> rest = RenderAll(b, kRate - (1 + 799 + 800 + 1024 + 4096));
    std::copy(rest.begin(), rest.end(), pieces.end() - static_cast<long>(rest.size()));
    EXPECT_EQ(whole, pieces);
}

TEST(MusicPlayback, SeekLandsOnTheSongPosition) {
    const std::vector<uint8_t> module = MakeTestModule(32);
    Music straight(kDemoSeconds);
    ASSERT_TRUE(straight.LoadMemory(module.data(), module.size(), "test.xm"));
    const std::vector<float> reference = RenderAll(straight, static_cast<size_t>(2 * kRate));

    const size_t span = kRate / 5;   // compare 0.2 s after the seek
    // On a row start, between rows, and back to an earlier point after playing on.
    for (int64_t target : {int64_t{0}, int64_t{28800}, int64_t{28800 + 1234}, int64_t{61111}, int64_t{9000}}) {
        Music music(kDemoSeconds);
        ASSERT_TRUE(music.LoadMemory(module.data(), module.size(), "test.xm"));
        RenderAll(music, 30000);
        music.Seek(target);
        EXPECT_EQ(music.Position(), target);
        const std::vector<float> got = RenderAll(music, span);
        // The best alignment of the two is at lag 0, and there they agree.
        auto difference = [&](int64_t lag) {
            double d = 0.0;
            for (size_t i = 0; i < 2 * span; ++i) {
                const int64_t j = 2 * (target + lag) + static_cast<int64_t>(i);
                const double r = j >= 0 && j < static_cast<int64_t>(reference.size()) ? reference[j] : 0.0;
                d += std::fabs(got[i] - r);
            }
            return d / (2.0 * span);
        };
        const double atZero = difference(0);
        EXPECT_LT(atZero, 0.01) << "target " << target;
        for (int64_t lag : {-97, -31, -7, -1, 1, 7, 31, 97})
            EXPECT_LT(atZero, difference(lag)) << "target " << target << " lag " << lag;
    }
}

// >> level

TEST(Level, KnownSignals) {
    LevelMeter meter;
    meter.Reset(0);
    // A 440 Hz sine of amplitude 0.5 in both channels: RMS 0.5 / sqrt 2.
    std::vector<float> sine(2 * 9600);
    for (size_t i = 0; i < 9600; ++i)
        sine[2 * i] = sine[2 * i + 1] = 0.5f * static_cast<float>(std::sin(2 * M_PI * 440.0 * i / kRate));
    meter.Push(sine.data(), 9600);
    EXPECT_NEAR(meter.LevelAt(4800), 0.5 / std::sqrt(2.0), 0.01);
    EXPECT_NEAR(meter.LevelAt(9600), 0.5 / std::sqrt(2.0), 0.01);

    // Opposite channels cancel in the mono mix.
    std::vector<float> opposite(sine);
    for (size_t i = 0; i < 9600; ++i) opposite[2 * i + 1] = -opposite[2 * i];
    meter.Push(opposite.data(), 9600);
    EXPECT_NEAR(meter.LevelAt(19200), 0.0, 1e-6);

    // Exactly the last 960 frames count: a step from silence to a constant 0.8.
    LevelMeter step;
    step.Reset(1000);
    std::vector<float> quiet(2 * 2000, 0.0f), loud(2 * 2000, 0.8f);
    step.Push(quiet.data(), 2000);
    step.Push(loud.data(), 2000);
    EXPECT_FLOAT_EQ(step.LevelAt(3000), 0.0f);                           // window ends at the step
    EXPECT_NEAR(step.LevelAt(3000 + 480), 0.8 * std::sqrt(0.5), 1e-5);   // half the window loud
    EXPECT_NEAR(step.LevelAt(3000 + 960), 0.8, 1e-5);
    // Before the start and beyond what was rendered count as silence.
    EXPECT_FLOAT_EQ(step.LevelAt(1000), 0.0f);
    EXPECT_NEAR(step.LevelAt(5000 + 480), 0.8 * std::sqrt(0.5), 1e-5);
    EXPECT_FLOAT_EQ(step.LevelAt(100000), 0.0f);
}

TEST(Level, HistoryWrapsAround) {
    LevelMeter meter;
    meter.Reset(0);
    std::vector<float> block(2 * 1000);
    // Many times the ring's size, each block with its own constant value.
    for (int b = 0; b < 1000; ++b) {
        std::fill(block.begin(), block.end(), 0.001f * static_cast<float>(b % 500));
        meter.Push(block.data(), 1000);
    }
    const int64_t end = 1000 * 1000;
    EXPECT_EQ(meter.End(), end);
    EXPECT_NEAR(meter.LevelAt(end), 0.001 * (999 % 500), 1e-6);
    EXPECT_NEAR(meter.LevelAt(end - 1000), 0.001 * (998 % 500), 1e-6);
    // Far older than the ring: only what is still kept, never stale values.
    EXPECT_FLOAT_EQ(meter.LevelAt(5000), 0.0f);
}

// >> soundtrack

namespace {

// RMS of the mono mix of the 960 frames before `position`, from a straight
// play of the song from its start.
float LevelByHand(const std::vector<float>& song, int64_t position) {
    double sum = 0.0;
    for (int64_t p = std::max<int64_t>(0, position - LevelMeter::kWindow); p < position; ++p) {
        const double mono = 0.5f * (song[size_t(2 * p)] + song[size_t(2 * p + 1)]);
        sum += mono * mono;
    }
    return static_cast<float>(std::sqrt(sum / LevelMeter::kWindow));
}

}   // namespace

// The level at a position is that of the samples there, whichever way the
// soundtrack got there: played in pieces, rendered to a position, or seeked
// from far away (backwards too).
TEST(Soundtrack, LevelIsThatOfTheSamplesHeardThere) {
    const std::vector<uint8_t> module = MakeTestModule(32);
    Music straight(kDemoSeconds);
    ASSERT_TRUE(straight.LoadMemory(module.data(), module.size(), "m.xm"));
    const std::vector<float> song = RenderAll(straight, 3 * kRate);

    const std::vector<int64_t> positions = {0, 1, 500, 959, 960, 961, 20000, kRate + 123, 2 * kRate + 7};
    Soundtrack played(kDemoSeconds), rendered(kDemoSeconds), seeked(kDemoSeconds);
    for (Soundtrack* track : {&played, &rendered, &seeked})
        ASSERT_TRUE(track->LoadMemory(module.data(), module.size(), "m.xm"));
    played.Seek(0);
    rendered.Seek(0);
    std::vector<float> buffer(2 * 800);
    bool loud = false;
    for (int64_t p : positions) {
        SCOPED_TRACE(p);
        while (played.Position() < p) {
            const size_t n = size_t(std::min<int64_t>(800, p - played.Position()));
            played.Render(buffer.data(), n);
        }
        rendered.RenderTo(p);
        const float want = LevelByHand(song, p);
        loud = loud || want > 0.01f;
        EXPECT_EQ(played.LevelAt(p), want);
        EXPECT_EQ(rendered.Position(), p);
        EXPECT_EQ(rendered.LevelAt(p), want);
    }
    EXPECT_TRUE(loud) << "the song must be heard at some of these positions";
    for (size_t i = positions.size(); i-- > 0;) {
        SCOPED_TRACE(positions[i]);
        seeked.Seek(positions[i]);
        EXPECT_EQ(seeked.Position(), positions[i]);
        EXPECT_EQ(seeked.LevelAt(positions[i]), LevelByHand(song, positions[i]));
    }
    // Rendering for a device hands out what a straight play gives.
    seeked.Seek(kRate);
    std::vector<float> out(2 * 4800);
    seeked.Render(out.data(), 4800);
    for (size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], song[2 * kRate + i]) << i;
}

TEST(Soundtrack, FixedLevelStandsInForTheMeasuredOne) {
    Soundtrack silent(kDemoSeconds);   // no music loaded
    silent.Seek(kRate);
    silent.RenderTo(2 * kRate);
    EXPECT_EQ(silent.LevelAt(2 * kRate), 0.0f);
    silent.FixLevel(0.25f);
    EXPECT_EQ(silent.LevelAt(0), 0.25f);
    EXPECT_EQ(silent.LevelAt(2 * kRate), 0.25f);
}

// Frame n at fps frames a second is heard from floor(n * rate / fps), though
// n / fps * rate may round just under a whole number.
TEST(Soundtrack, SongFrameOfAFrameTime) {
    EXPECT_EQ(qor::audio::SongFrame(0.0), 0);
    EXPECT_EQ(qor::audio::SongFrame(0.5 / kRate), 0);
    for (int fps : {1, 7, 24, 25, 30, 60, 144, 240})
        for (int64_t n = 0; n < 200 * fps; ++n)
            ASSERT_EQ(qor::audio::SongFrame(double(n) / fps), n * kRate / fps) << n << " at " << fps;
}

// >> clock

namespace {

// A device that plays at `deviceRate` frames per real second (its crystal is
// off from ours), asks for `buffer` frames per callback with some jitter and
// holds `latency` frames queued. Returns the largest gap between the clock
// and what is really heard, checking that the clock never runs backwards.
struct ClockRun {
    double worstError = 0.0;
    double meanError = 0.0;
    double finalError = 0.0;
};

ClockRun SimulateDevice(double seconds, double deviceRate, int buffer, int latency, double jitter, int64_t startFrame) {
    PlaybackClock clock(kRate, latency);
    clock.Start(startFrame);
    std::mt19937 random(42);
    std::uniform_real_distribution<double> noise(0.0, jitter);
    const double t0 = 1000.0;
    int64_t delivered = 0;
    double nextCallback = t0;
    double previous = -1.0;
    ClockRun run;
    int samples = 0;
    // Frames (picture) every 1/60 s, with callbacks in between as they come due.
    for (double now = t0; now < t0 + seconds; now += 1.0 / 60.0) {
        while (nextCallback <= now) {
            // Played so far at the callback: what was given less the queue.
            clock.OnCallback(delivered, buffer, nextCallback + noise(random));
            delivered += buffer;
            nextCallback = t0 + static_cast<double>(delivered) / deviceRate;
        }
        const double t = clock.Seconds(now);
        EXPECT_GE(t, previous) << "ran backwards at " << now - t0;
        previous = t;
        const double truth = static_cast<double>(startFrame) / kRate +
                             std::max(0.0, (now - t0) * deviceRate - latency) / kRate;   // song seconds heard
        const double error = std::fabs(t - truth);
        run.worstError = std::max(run.worstError, error);
        if (now - t0 > 1.0) {
            run.meanError += error;
            ++samples;
        }
        run.finalError = error;
    }
    run.meanError /= std::max(samples, 1);
    return run;
}

}   // namespace

TEST(Clock, FollowsTheDeviceWithinAFrame) {
    const ClockRun run = SimulateDevice(60.0, kRate, 1024, 1024, 0.004, 0);
    EXPECT_LT(run.worstError, 1.0 / 60.0);
    EXPECT_LT(run.meanError, 0.004);
}

TEST(Clock, NoDriftWhenTheDeviceCrystalIsOff) {
    // 0.3 % fast and slow devices over ten minutes: the clock stays with the sound.
    for (double skew : {1.003, 0.997}) {
        const ClockRun run = SimulateDevice(600.0, kRate * skew, 512, 2048, 0.002, 0);
        EXPECT_LT(run.finalError, 0.005) << "skew " << skew;
        EXPECT_LT(run.worstError, 1.0 / 60.0) << "skew " << skew;
    }
}

TEST(Clock, StartsAtTheSeekPosition) {
    const int64_t start = 90 * kRate + 17;
    PlaybackClock clock(kRate, 1024);
    clock.Start(start);
    EXPECT_DOUBLE_EQ(clock.Seconds(5.0), static_cast<double>(start) / kRate);   // no callback yet
    const ClockRun run = SimulateDevice(5.0, kRate, 1024, 1024, 0.001, start);
    EXPECT_LT(run.worstError, 1.0 / 60.0);
}

TEST(Clock, StopsWhenTheDeviceStops) {
    PlaybackClock clock(kRate, 1000);
    clock.Start(0);
    int64_t delivered = 0;
    for (int i = 0; i < 50; ++i) {
        clock.OnCallback(delivered, 1000, i * 1000.0 / kRate);
        delivered += 1000;
    }
    // No callback after the 50th: the clock never passes the frames given.
    const double ceiling = (50000.0 - 1000.0) / kRate;
    double previous = 0.0;
    for (double now = 49000.0 / kRate; now < 10.0; now += 0.01) {
        const double t = clock.Seconds(now);
        EXPECT_GE(t, previous);
        EXPECT_LE(t, ceiling + 1e-9);
        previous = t;
    }
    EXPECT_NEAR(previous, ceiling, 1e-9);
}

TEST(Clock, LateCallbackAfterJumpDoesNotGoBack) {
    // A burst of callbacks (the device filling its queue) then a long pause:
    // the measured position jumps around; the result only ever rises.
    PlaybackClock clock(kRate, 2048);
    clock.Start(0);
    clock.OnCallback(0, 1024, 10.0);
    clock.OnCallback(1024, 1024, 10.0001);
    clock.OnCallback(2048, 1024, 10.0002);
    double previous = 0.0;
    for (double now = 10.0; now < 10.3; now += 0.001) {
        if (std::fabs(now - 10.2) < 0.0005) clock.OnCallback(3072, 1024, now);
        const double t = clock.Seconds(now);
        EXPECT_GE(t, previous);
        previous = t;
    }
}

// >> WAV

TEST(Wav, HeaderSizesAndSamples) {
    const std::string path = TempPath("out.wav");
    qor::audio::WavWriter wav;
    ASSERT_TRUE(wav.Open(path, kRate));
    const float frames[] = {0.0f, 1.0f, -1.0f, 0.5f, 2.0f, -3.0f};   // last two clamp
    ASSERT_TRUE(wav.Write(frames, 3));
    ASSERT_TRUE(wav.Close());
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(b.size(), 44u + 12u);
    auto u32 = [&](size_t o) { return b[o] | b[o + 1] << 8 | b[o + 2] << 16 | uint32_t(b[o + 3]) << 24; };
    auto s16 = [&](size_t o) { return static_cast<int16_t>(b[o] | b[o + 1] << 8); };
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    EXPECT_EQ(u32(4), 36u + 12u);
    EXPECT_EQ(u32(24), static_cast<uint32_t>(kRate));
    EXPECT_EQ(u32(40), 12u);
    EXPECT_EQ(s16(44), 0);
    EXPECT_EQ(s16(46), 32767);
    EXPECT_EQ(s16(48), -32767);
    EXPECT_EQ(s16(50), 16384);
    EXPECT_EQ(s16(52), 32767);
    EXPECT_EQ(s16(54), -32767);
    EXPECT_FALSE(wav.Open(testing::TempDir() + "/no/such/folder/x.wav", kRate));
}
