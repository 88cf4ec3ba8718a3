// Tests of the music module: the bytes follow FastTracker 2's layout, the
// player reads it as FT2 with the intended length, every section starts on
// its cue, the mix never clips and its level stays where the pictures need
// it, the instruments are in tune, and the bytes are the same on every run.
#include "music.h"
#include "music_song.h"
#include "music_synth.h"
#include "music_xm.h"

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 48000;
constexpr double kCues[] = {20, 27.5, 37, 42.5, 53, 55, 57.8, 77.8, 80.3, 100.2, 110.2, 115.5};

const std::vector<uint8_t>& Module() {
  static const std::vector<uint8_t> bytes = GenMusicXm();
  return bytes;
}

struct ModDeleter {
  void operator()(openmpt_module* m) const { openmpt_module_destroy(m); }
};
using ModPtr = std::unique_ptr<openmpt_module, ModDeleter>;

ModPtr Open(const std::vector<uint8_t>& bytes) {
  ModPtr m(openmpt_module_create_from_memory2(bytes.data(), bytes.size(), nullptr, nullptr, nullptr,
                                              nullptr, nullptr, nullptr, nullptr));
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
std::vector<float> Render(openmpt_module* m) {
  std::vector<float> out, buf(2 * 4800);
  for (;;) {
    const size_t n = openmpt_module_read_interleaved_float_stereo(m, kRate, 4800, buf.data());
    if (n == 0) break;
    out.insert(out.end(), buf.begin(), buf.begin() + 2 * static_cast<ptrdiff_t>(n));
  }
  return out;
}

// RMS of the mono mix over the 1/50 s before `frame`.
double LevelAt(const std::vector<float>& stereo, long frame) {
  const long w = kRate / 50;
  if (frame < w || 2 * frame > static_cast<long>(stereo.size())) return 0;
  double sum = 0;
  for (long i = frame - w; i < frame; ++i) {
    const double m = 0.5 * (stereo[2 * i] + stereo[2 * i + 1]);
    sum += m * m;
  }
  return std::sqrt(sum / w);
}

uint32_t U16(const std::vector<uint8_t>& b, size_t at) { return b[at] | b[at + 1] << 8; }
uint32_t U32(const std::vector<uint8_t>& b, size_t at) { return U16(b, at) | U16(b, at + 2) << 16; }

// Start time in seconds of every row the song plays, by walking the tempo map.
std::vector<double> RowTimes() {
  std::vector<double> t{0.0};
  for (int bpm : song::TempoMap())
    t.push_back(t.back() + double(song::kSpeed * song::TickFrames(bpm)) / kRate);
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
  const uint32_t orders = U16(b, 64), channels = U16(b, 68), patterns = U16(b, 70),
                 instruments = U16(b, 72);
  EXPECT_EQ(U16(b, 74) & 1, 1u) << "linear frequency table";
  EXPECT_GE(channels, 8u);
  EXPECT_LE(channels, 16u);
  EXPECT_EQ(channels % 2, 0u);
  EXPECT_GE(instruments, 6u);
  for (uint32_t i = 0; i < 256; ++i) {
    if (i < orders) EXPECT_LT(b[80 + i], patterns) << "order " << i;
    else EXPECT_EQ(b[80 + i], 0) << "unused order entries are zero";
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
  EXPECT_NE(Meta(m.get(), "type_long").find("FastTracker 2"), std::string::npos)
      << Meta(m.get(), "type_long");
  EXPECT_EQ(Meta(m.get(), "tracker"), "FastTracker 2 or compatible");
  const double duration = openmpt_module_get_duration_seconds(m.get());
  EXPECT_NEAR(duration, song::kEndTenths / 10.0, 0.001);
  EXPECT_GT(duration, 130.5 + 1.0) << "the music outlasts the closing fade";
  EXPECT_EQ(openmpt_module_get_num_subsongs(m.get()), 1);
}

TEST(MusicPlayback, EverySectionStartsOnItsCue) {
  // The tempo map itself adds up to the cue times, frame-exact at 48 kHz...
  const std::vector<double> rowTimes = RowTimes();
  const std::vector<int> starts = song::SectionStartRows();
  const auto& sections = song::Sections();
  ASSERT_EQ(sections.size(), std::size(kCues) + 1);
  for (size_t i = 1; i < sections.size(); ++i) {
    EXPECT_EQ(sections[i].cueTenths, std::lround(kCues[i - 1] * 10));
    EXPECT_NEAR(rowTimes[starts[i]], kCues[i - 1], 1e-9) << sections[i].name;
  }
  EXPECT_NEAR(rowTimes.back(), song::kEndTenths / 10.0, 1e-9);

  // ...and the player agrees: each section starts an order, at its cue.
  ModPtr m = Open(Module());
  ASSERT_TRUE(m);
  std::vector<int> orderStartRow{0};
  const int orders = openmpt_module_get_num_orders(m.get());
  for (int o = 0; o < orders; ++o)
    orderStartRow.push_back(orderStartRow.back() +
                            openmpt_module_get_pattern_num_rows(m.get(), openmpt_module_get_order_pattern(m.get(), o)));
  EXPECT_EQ(orderStartRow.back(), starts.back()) << "the orders play every row once";
  for (size_t i = 1; i + 1 < starts.size(); ++i) {
    const auto it = std::find(orderStartRow.begin(), orderStartRow.end(), starts[i]);
    ASSERT_NE(it, orderStartRow.end()) << sections[i].name << " does not start a pattern";
    const int order = static_cast<int>(it - orderStartRow.begin());
    const double t = openmpt_module_set_position_order_row(m.get(), order, 0);
    EXPECT_NEAR(t, kCues[i - 1], 0.0005) << sections[i].name << " at order " << order;
  }
}

TEST(MusicPlayback, NeverClipsAndTheLevelFollowsTheSections) {
  ModPtr m = Open(Module());
  ASSERT_TRUE(m);
  const std::vector<float> audio = Render(m.get());
  const long frames = static_cast<long>(audio.size() / 2);
  EXPECT_NEAR(frames, song::kEndTenths * kRate / 10, kRate / 100);

  float peak = 0;
  for (float v : audio) peak = std::max(peak, std::fabs(v));
  EXPECT_LE(peak, 1.0f) << "the mix clips";

  // Level every 1/50 s, as the pictures read it; a table per section.
  const long step = kRate / 50;
  const auto& sections = song::Sections();
  const double fadeStart = 124.0; // the outro fades out from here
  long inRange = 0, counted = 0;
  std::printf("%-10s %7s %7s  %6s %6s %6s %6s %6s\n", "section", "from", "to", "min", "p10",
              "median", "p90", "max");
  for (size_t i = 0; i < sections.size(); ++i) {
    const double from = sections[i].cueTenths / 10.0;
    const double to = (i + 1 < sections.size() ? sections[i + 1].cueTenths : song::kEndTenths) / 10.0;
    std::vector<double> levels;
    for (long f = std::lround(from * kRate) + step; f <= std::lround(to * kRate); f += step) {
      const double l = LevelAt(audio, f);
      levels.push_back(l);
      ++counted;
      if (l >= 0.05 && l <= 0.4) ++inRange;
    }
    std::vector<double> sorted = levels;
    std::sort(sorted.begin(), sorted.end());
    auto q = [&](double p) { return sorted[static_cast<size_t>(p * (sorted.size() - 1))]; };
    std::printf("%-10s %7.1f %7.1f  %6.3f %6.3f %6.3f %6.3f %6.3f\n", sections[i].name, from, to,
                sorted.front(), q(0.1), q(0.5), q(0.9), sorted.back());
    if (to <= fadeStart) {
      EXPECT_GE(q(0.5), 0.08) << sections[i].name;
      EXPECT_LE(q(0.5), 0.3) << sections[i].name;
      EXPECT_GE(q(0.1), 0.04) << sections[i].name << " has long near-silent stretches";
    }
    EXPECT_LE(q(0.9), 0.4) << sections[i].name;
  }
  EXPECT_GE(double(inRange) / counted, 0.9) << "the level lies mostly within 0.05..0.4";
  EXPECT_LT(LevelAt(audio, frames), 0.005) << "the song ends faded out";

  // The tunnel flight beats hard: every beat's kick lifts the level to about
  // 0.3 or more, and it falls back well below before the next beat.
  const std::vector<double> rowTimes = RowTimes();
  const std::vector<int> starts = song::SectionStartRows();
  int beats = 0, strong = 0, contrast = 0;
  for (int r = starts[7]; r + 4 <= starts[9]; r += 4, ++beats) {
    const double t = rowTimes[r], next = rowTimes[r + 4];
    double top = 0;
    for (double d = 0.01; d <= 0.06; d += 0.002) top = std::max(top, LevelAt(audio, std::lround((t + d) * kRate)));
    const double between = LevelAt(audio, std::lround((t + 0.8 * (next - t)) * kRate));
    if (top >= 0.3) ++strong;
    if (between <= 0.6 * top) ++contrast;
  }
  std::printf("tunnel: %d beats, %d reach 0.3, %d fall below 60%% before the next\n", beats, strong,
              contrast);
  EXPECT_GE(beats, 40);
  EXPECT_GE(strong, beats * 85 / 100);
  EXPECT_GE(contrast, beats * 85 / 100);
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
      {"bass", synth::Bass(), 45},  // A-2, 110 Hz
      {"pad", synth::Pad(), 57},    // A-3, 220 Hz
      {"lead", synth::Lead(), 69},  // A-4, 440 Hz
      {"pluck", synth::Pluck(), 81} // A-5, 880 Hz
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
  ASSERT_EQ(static_cast<int>(map.size()), starts.back());
  for (size_t i = 0; i + 1 < starts.size(); ++i)
    for (int r = starts[i]; r < starts[i + 1]; ++r)
      EXPECT_NEAR(map[r], song::Sections()[i].targetBpm, 9) << song::Sections()[i].name;
}

} // namespace
