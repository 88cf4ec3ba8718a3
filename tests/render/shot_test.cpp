// teq --shot from the outside: a picture for every window of the timeline that
// is neither black nor the same as its neighbour's, the same bytes on every
// run, placeholders when the data is missing, and an exit code when the file
// cannot be written.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <unistd.h>

#include "assets/images.h"

namespace {

// Per process: ctest runs these cases side by side.
const std::filesystem::path kWork =
    std::filesystem::temp_directory_path() / ("teq-shot-test-" + std::to_string(getpid()));

int Shot(const std::string& data, double t, const std::filesystem::path& out, bool quiet = true) {
    std::filesystem::create_directories(kWork);
    const std::string cmd = std::string(TEQ_EXE) + " --data '" + data + "' --shot " + std::to_string(t) + " '" +
                            out.string() + "'" + (quiet ? " 2>/dev/null" : "");
    return std::system(cmd.c_str());
}

qor::Picture Decode(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    qor::Picture p;
    std::string error;
    EXPECT_TRUE(qor::DecodePng(bytes.data(), bytes.size(), p, error)) << file << ": " << error;
    return p;
}

double LitShare(const qor::Picture& p) {
    size_t lit = 0;
    for (uint32_t c : p.argb) lit += (c & 0xFFFFFF) != 0;
    return p.argb.empty() ? 0.0 : double(lit) / double(p.argb.size());
}

TEST(Shot, EveryWindowGivesAPicture) {
    if (!std::filesystem::exists(std::string(TEQ_DATA) + "/geo.a3f")) GTEST_SKIP() << "no generated data";
    std::vector<uint32_t> previous;
    for (double t : {5.0, 25.0, 30.0, 40.0, 45.0, 54.0, 60.0, 79.0, 90.0, 105.0, 112.0, 120.0}) {
        const std::filesystem::path out = kWork / (std::to_string(int(t)) + "s.png");
        ASSERT_EQ(Shot(TEQ_DATA, t, out), 0) << t;
        const qor::Picture p = Decode(out);
        ASSERT_EQ(p.width, 320);
        ASSERT_EQ(p.height, 240);
        EXPECT_GT(LitShare(p), 0.02) << "t = " << t << " is (nearly) black";
        EXPECT_NE(p.argb, previous) << "t = " << t;
        previous = p.argb;
    }
}

TEST(Shot, SameTimeSameBytes) {
    if (!std::filesystem::exists(std::string(TEQ_DATA) + "/geo.a3f")) GTEST_SKIP() << "no generated data";
    ASSERT_EQ(Shot(TEQ_DATA, 62.5, kWork / "a.png"), 0);
    ASSERT_EQ(Shot(TEQ_DATA, 62.5, kWork / "b.png"), 0);
    EXPECT_EQ(Decode(kWork / "a.png").argb, Decode(kWork / "b.png").argb);
}

TEST(Shot, MissingDataStillGivesAPicture) {
    const std::filesystem::path empty = kWork / "no-data";
    std::filesystem::create_directories(empty);
    ASSERT_EQ(Shot(empty.string(), 30.0, kWork / "empty.png"), 0);
    const qor::Picture p = Decode(kWork / "empty.png");
    EXPECT_EQ(p.width, 320);
    EXPECT_GT(LitShare(p), 0.5);   // the grey placeholder on the cylinder wall
}

TEST(Shot, UnwritableFileIsAnError) {
    const int rc = Shot(TEQ_DATA, 1.0, "/nonexistent-dir/x.png");
    EXPECT_NE(rc, 0);
}

}   // namespace
