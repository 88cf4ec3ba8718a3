// The operating-system helpers: processor time, the executable's path,
// finding programs, and a child fed through a pipe (how ffmpeg is run).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/system.h"

namespace platform = qor::platform;

TEST(System, CpuTimeGrowsWithWorkAndThePathIsOurs) {
    const double began = platform::CpuSeconds();
    EXPECT_GT(began, 0.0);
    volatile double sink = 0;
    for (long i = 0; platform::CpuSeconds() - began < 0.02 && i < 2000000000L; ++i) sink = sink + 1e-9 * double(i);
    EXPECT_GE(platform::CpuSeconds() - began, 0.02);
    EXPECT_EQ(std::filesystem::path(platform::ExecutablePath()).filename(), "system_test");
    EXPECT_TRUE(platform::FindProgram("sh"));
    EXPECT_FALSE(platform::FindProgram("teq-no-such-program"));
    EXPECT_NE(platform::HowToGetProgram("ffmpeg").find("ffmpeg"), std::string::npos);
}

TEST(System, PipedChildGetsEveryByteAndReportsItsExit) {
    const std::string out = testing::TempDir() + "teq-system-" + std::to_string(getpid());
    std::vector<char> data(3 << 20);
    for (size_t i = 0; i < data.size(); ++i) data[i] = char(i * 7 + i / 4096);
    {
        platform::PipedChild child;
        std::string why;
        ASSERT_TRUE(child.Start({"sh", "-c", "cat > '" + out + "'"}, &why)) << why;
        EXPECT_TRUE(child.Running());
        ASSERT_TRUE(child.Write(data.data(), data.size(), &why)) << why;
        EXPECT_TRUE(child.Finish());
        EXPECT_FALSE(child.Running());
    }
    std::ifstream in(out, std::ios::binary);
    const std::vector<char> got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(got == data) << got.size() << " of " << data.size() << " bytes";
    std::remove(out.c_str());

    // A child that fails, or stops reading: a failed Finish or Write, and we live on.
    platform::PipedChild failing;
    std::string why;
    ASSERT_TRUE(failing.Start({"sh", "-c", "exit 3"}, &why)) << why;
    EXPECT_FALSE(failing.Write(data.data(), data.size(), &why));
    EXPECT_FALSE(why.empty());
    EXPECT_FALSE(failing.Finish());
    platform::PipedChild missing;
    if (missing.Start({"teq-no-such-program"}, &why)) {
        EXPECT_FALSE(missing.Finish());
    }
    EXPECT_TRUE(platform::PipedChild().Finish());
}
