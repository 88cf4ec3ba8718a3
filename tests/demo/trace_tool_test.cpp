// teq-trace's command line: frames as asked, bad options refused with exit 2.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "data.h"

namespace {

struct Result {
    int status;
    std::string out;
};

Result RunTool(const std::string& args) {
    const std::string command = std::string(TEQ_TRACE) + " " + args + " 2>&1";
    FILE* p = popen(command.c_str(), "r");
    Result r{-1, ""};
    if (!p) return r;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) r.out.append(buffer, n);
    const int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

}  // namespace

TEST(TraceTool, FramesAndFigures) {
    const Result r = RunTool("--data " + Data() + " --level 0.2 90 10");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("FontWrite(105, 208, 2.16666675, \"-\", \"smfont.png\", 0x"), std::string::npos);
    const size_t f90 = r.out.find("\n# frame 90\n"), f10 = r.out.find("\n# frame 10\n");
    EXPECT_TRUE(r.out.find("\nRun(FrameCallback)\n") < f90 && f90 < f10);
    EXPECT_NE(r.out.find("ARGB(0, 100, 100, 100) = 0x00646464", f10), std::string::npos);
    EXPECT_NE(r.out.find("GetFPS(90) = 60", f90), std::string::npos);
}

TEST(TraceTool, BadOptionsExitTwoWithOneLine) {
    for (const char* args : {"--bogus", "--level", "--level loud 1", "abc", "--data /nonexistent/dir 1"}) {
        const Result r = RunTool(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << args << ": " << r.out;
    }
    EXPECT_EQ(RunTool("--help").status, 0);
}
