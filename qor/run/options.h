// teq's command line.
#pragma once

#include <cstdint>
#include <string>

#include "run/frame_times.h"

namespace qor {

struct Options {
    std::string dataDir;       // --data DIR ("" until resolved)
    bool fullscreen = false;   // --fullscreen
    int scale = 0;             // --scale N (0: largest whole multiple that fits)
    double start = 0.0;        // --start T
    double length = -1.0;      // --length S (< 0: to the end)
    bool mute = false;         // --mute
    bool showFps = false;      // --show-fps
    std::string renderFile;    // --render FILE
    int fps = kReferenceFps;   // --fps N
    int width = 1280;          // --size WxH
    int height = 960;
    bool shot = false;   // --shot T FILE.png
    double shotTime = 0.0;
    std::string shotFile;
    bool bench = false;        // --bench
    int passes = 1;            // --passes N (for --bench)
    int resolution = 1;        // --resolution N: frames drawn at 320N x 240N
    bool levelFixed = false;   // --level L
    float level = 0.25f;
    bool version = false;   // --version
    bool calm = false;      // --calm: no strobing (calm/calm.h)
};

// The largest --size, in pixels: 3840x2160, where ffmpeg needs about 1 GB
// (measured: 1.0 GB encoding VP9, 0.7 GB H.264; 2.5 GB at 7680x4320).
inline constexpr int64_t kMaxVideoPixels = 3840 * 2160;

// Parses argv; demoSeconds is the length of the demo's timeline. On a bad
// option or value prints one line to stderr and returns false (the caller
// exits with code 2). --help prints usage and sets help.
bool ParseOptions(int argc, char** argv, double demoSeconds, Options& out, bool& help);
void PrintUsage(const char* music);   // music: the demo's module, named in --data's default

}   // namespace qor
