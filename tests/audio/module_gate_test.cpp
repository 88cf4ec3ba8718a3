// Damaged modules: the gate refuses absurd headers before the player sees
// them, names a cut-off file as damaged, and every such module gets exactly one
// line; the run keeps a sane length whatever the module claims.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "audio/music.h"
#include "audio/xm_gate.h"
#include "test_module.h"

using qor::audio::CheckXm;
using qor::audio::Music;
using qor::audio::XmCheck;

namespace {

constexpr double kDemoSeconds = 135.0;   // the length a run without music gets

void Put16(std::vector<uint8_t>& m, size_t at, uint32_t v) {
    m[at] = uint8_t(v);
    m[at + 1] = uint8_t(v >> 8);
}

struct Loaded {
    bool ok;
    std::string err;
    double duration;
    bool loaded;
};

Loaded Load(const std::vector<uint8_t>& bytes) {
    Music music(kDemoSeconds);
    testing::internal::CaptureStderr();
    const bool ok = music.LoadMemory(bytes.data(), bytes.size(), "m.xm");
    return {ok, testing::internal::GetCapturedStderr(), music.Duration(), music.Loaded()};
}

int Lines(const std::string& s) { return int(std::count(s.begin(), s.end(), '\n')); }

TEST(ModuleGate, TheTestModuleIsWhole) {
    const std::vector<uint8_t> m = MakeTestModule(64);
    const XmCheck c = CheckXm(m.data(), m.size());
    EXPECT_EQ(c.verdict, XmCheck::Whole) << c.problem;
    EXPECT_EQ(c.patternCells, 64u * 2);
    EXPECT_GT(c.sampleBytes, 0u);
}

TEST(ModuleGate, AbsurdHeadersAreRefusedWithOneLineAndSilence) {
    struct Case {
        size_t at;
        uint32_t value;
        bool wide;
        const char* says;
    };
    const Case cases[] = {
        {60, 0xFFFFFFFF, true, "header size"},
        {60, 4, true, "header size"},
        {64, 0, false, "song length 0"},
        {64, 65535, false, "song length 65535"},
        {68, 0, false, "channel count 0"},
        {68, 255, false, "channel count"},
        {70, 65535, false, "pattern count 65535"},
        {72, 65535, false, "instrument count"},
        {76, 0, false, "speed 0"},
        {78, 0, false, "tempo 0"},
        {336 + 5, 0, false, "row count 0"},
        {336 + 5, 1000, false, "row count 1000"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> m = MakeTestModule(64);
        if (c.wide) {
            Put16(m, c.at, c.value & 0xFFFF);
            Put16(m, c.at + 2, c.value >> 16);
        } else {
            Put16(m, c.at, c.value);
        }
        const XmCheck check = CheckXm(m.data(), m.size());
        EXPECT_EQ(check.verdict, XmCheck::Refused) << c.says;
        const Loaded l = Load(m);
        EXPECT_FALSE(l.ok) << c.says;
        EXPECT_FALSE(l.loaded) << c.says;
        EXPECT_EQ(Lines(l.err), 1) << l.err;
        EXPECT_NE(l.err.find("teq: music m.xm: damaged: "), std::string::npos) << l.err;
        EXPECT_NE(l.err.find(c.says), std::string::npos) << l.err;
        EXPECT_DOUBLE_EQ(l.duration, kDemoSeconds) << c.says;
    }
}

TEST(ModuleGate, ACutOffModuleIsNamedDamagedOnce) {
    const std::vector<uint8_t> whole = MakeTestModule(64);
    // Cut inside the sample data: the player gets what there is.
    std::vector<uint8_t> m(whole.begin(), whole.end() - 10);   // 22 of the 32 samples left
    XmCheck c = CheckXm(m.data(), m.size());
    EXPECT_EQ(c.verdict, XmCheck::Damaged);
    EXPECT_NE(c.problem.find("samples of instrument 1 of 1"), std::string::npos) << c.problem;
    Loaded l = Load(m);
    EXPECT_TRUE(l.ok);
    EXPECT_EQ(Lines(l.err), 1) << l.err;
    EXPECT_NE(l.err.find("damaged: cut short in the samples of instrument 1 of 1; plays as far as it goes"),
              std::string::npos)
        << l.err;

    // Cut after the header or in the patterns: no sound could come, so silence.
    for (size_t keep : {size_t(336), size_t(340), whole.size() / 3}) {
        m.assign(whole.begin(), whole.begin() + long(keep));
        c = CheckXm(m.data(), m.size());
        EXPECT_EQ(c.verdict, XmCheck::Damaged) << keep;
        l = Load(m);
        EXPECT_FALSE(l.ok) << keep;
        EXPECT_EQ(Lines(l.err), 1) << l.err;
        EXPECT_NE(l.err.find("damaged: cut short in"), std::string::npos) << l.err;
        EXPECT_NE(l.err.find("the run is silent (135 s)"), std::string::npos) << l.err;
    }
}

TEST(ModuleGate, TheRunKeepsASaneLength) {
    // 256 orders of one 64-row pattern: 983 s of song.
    std::vector<uint8_t> m = MakeTestModule(64);
    Put16(m, 64, 256);
    std::fill(m.begin() + 80, m.begin() + 336, 0);
    Loaded l = Load(m);
    EXPECT_TRUE(l.ok);
    EXPECT_DOUBLE_EQ(l.duration, kDemoSeconds);
    EXPECT_EQ(Lines(l.err), 1) << l.err;
    EXPECT_NE(l.err.find("far more than the demo's 135 s; the run stops at the demo's end"), std::string::npos)
        << l.err;

    // A short song ends the run, and says so.
    l = Load(MakeTestModule(64));
    EXPECT_TRUE(l.ok);
    EXPECT_NEAR(l.duration, 64 * kTestRowSeconds, 1e-6);
    EXPECT_EQ(Lines(l.err), 1) << l.err;
    EXPECT_NE(l.err.find("the song lasts 3.8 s, far less than the demo's 135 s; the run ends with it"),
              std::string::npos)
        << l.err;
}

}   // namespace
