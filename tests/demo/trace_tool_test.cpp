// teq-trace's command line: frames as asked, bad options refused with exit 2.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "support.h"

namespace {

std::pair<int, std::string> RunTool(const std::string& args) {
    FILE* p = popen((std::string(TEQ_TRACE) + " " + args + " 2>&1").c_str(), "r");
    if (!p) return {-1, ""};
    std::string out;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, p)) > 0;) out.append(buffer, n);
    const int status = pclose(p);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

}   // namespace

TEST(TraceTool, FramesInOrderAndBadOptions) {
    const auto [status, out] = RunTool("--data " + Data() + " --level 0.2 90 10");
    ASSERT_EQ(status, 0) << out;
    EXPECT_NE(out.find("\nFontWrite(105, 208, 2.16666675, \"-\", \"smfont.png\", 0x"), std::string::npos);
    const size_t f90 = out.find("\n# frame 90\n"), f10 = out.find("\n# frame 10\n");
    EXPECT_TRUE(out.find("\nRun(FrameCallback)\n") < f90 && f90 < f10 && f10 != std::string::npos);
    EXPECT_NE(out.find("\nGetFPS(90) = 60\n", f90), std::string::npos);
    EXPECT_NE(out.find("\nARGB(0, 100, 100, 100) = 0x00646464\n", f10), std::string::npos);
    for (const char* args : {"--bogus", "--level", "--level loud 1", "abc", "--data /nonexistent/dir 1"}) {
        const auto [code, message] = RunTool(args);
        EXPECT_EQ(code, 2) << args;
        EXPECT_EQ(message.find('\n'), message.size() - 1) << args << ": " << message;
    }
    EXPECT_EQ(RunTool("--help").first, 0);
}
