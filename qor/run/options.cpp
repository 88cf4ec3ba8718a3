// teq's command line: parsed strictly, every value checked, one line per fault.
#include "run/options.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "render/render.h"
#include "run/video.h"

namespace qor {

namespace {

bool ParseDouble(const char* text, double lo, double hi, double& out) {
    if (!text || !*text) return false;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text, &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v) || v < lo || v > hi) return false;
    out = v;
    return true;
}

bool ParseInt(const char* text, int lo, int hi, int& out) {
    double v = 0;
    if (!ParseDouble(text, lo, hi, v) || v != std::floor(v)) return false;
    out = int(v);
    return true;
}

bool ParseSize(const char* text, int& w, int& h) {
    const char* x = text ? std::strchr(text, 'x') : nullptr;
    if (!x) return false;
    std::string left(text, x);
    int width = 0, height = 0;
    if (!ParseInt(left.c_str(), 16, 7680, width) || !ParseInt(x + 1, 16, 4320, height) ||
        int64_t(width) * height > kMaxVideoPixels)
        return false;
    w = width, h = height;
    return true;
}

bool EndsWithPng(const std::string& file) {
    if (file.size() < 4) return false;
    std::string end = file.substr(file.size() - 4);
    for (char& c : end) c = char(std::tolower(static_cast<unsigned char>(c)));
    return end == ".png";
}

bool Fail(const char* option, const char* value, const char* expected) {
    if (value)
        std::fprintf(stderr, "teq: bad value '%s' for %s (expected %s)\n", value, option, expected);
    else
        std::fprintf(stderr, "teq: %s needs a value (%s)\n", option, expected);
    return false;
}

// Each option once: its name, what follows it, its lines of --help ("{module}"
// and "{fps}" filled in), and what it sets. A setter returns "" when the
// values were good, else what they should have been.
struct OptionRow {
    const char* name;
    const char* value;   // "" for a switch
    const char* help;
    int values;   // how many arguments follow it
    std::string (*set)(Options& o, const char* const* v);
};

std::string Range(int lo, int hi) { return "a whole number " + std::to_string(lo) + " to " + std::to_string(hi); }

const OptionRow kOptions[] = {
    {"--data", "DIR",
     "read the data files from DIR (default: PREFIX/share/games/teq\n"
     "when teq is PREFIX/games/teq, else the current folder if it\n"
     "holds {module}, else the data folder next to teq)",
     1,
     [](Options& o, const char* const* v) -> std::string {
         if (!*v[0]) return "a folder";
         o.dataDir = v[0];
         return "";
     }},
    {"--fullscreen", "", "start in desktop fullscreen", 0,
     [](Options& o, const char* const*) -> std::string {
         o.fullscreen = true;
         return "";
     }},
    {"--scale", "N", "window size 320x240 times N (default: largest that fits)", 1,
     [](Options& o, const char* const* v) { return ParseInt(v[0], 1, 16, o.scale) ? "" : Range(1, 16); }},
    {"--start", "T", "start at T seconds, music seeked", 1,
     [](Options& o, const char* const* v) -> std::string {
         return ParseDouble(v[0], 0, 3600, o.start) ? "" : "seconds, 0 or more";
     }},
    {"--length", "S", "stop after S seconds", 1,
     [](Options& o, const char* const* v) -> std::string {
         return ParseDouble(v[0], 0, 3600, o.length) && o.length > 0 ? "" : "seconds, more than 0";
     }},
    {"--mute", "", "no sound; time follows the clock", 0,
     [](Options& o, const char* const*) -> std::string {
         o.mute = true;
         return "";
     }},
    {"--show-fps", "", "show the frame rate in the top-left corner", 0,
     [](Options& o, const char* const*) -> std::string {
         o.showFps = true;
         return "";
     }},
    {"--render", "FILE",
     "render offline: FILE.mp4/.mkv/.webm through ffmpeg, otherwise\n"
     "a folder of numbered PNG frames and a WAV",
     1,
     [](Options& o, const char* const* v) -> std::string {
         if (!*v[0]) return "a file or folder name";
         o.renderFile = v[0];
         return "";
     }},
    {"--fps", "N", "frames per second for --render (default {fps})", 1,
     [](Options& o, const char* const* v) { return ParseInt(v[0], 1, 240, o.fps) ? "" : Range(1, 240); }},
    {"--size", "WxH",
     "video size for --render (default 1280x960; at most\n"
     "3840x2160 pixels in all, where ffmpeg needs about 1 GB):\n"
     "whole multiples of the drawn size keep square pixels, any\n"
     "other size is scaled once with the Lanczos filter",
     1,
     [](Options& o, const char* const* v) -> std::string {
         return ParseSize(v[0], o.width, o.height) ? "" : "WxH, e.g. 1280x960, at most 3840x2160 pixels";
     }},
    {"--shot", "T FILE", "write the frame at T seconds as a PNG picture", 2,
     [](Options& o, const char* const* v) -> std::string {
         if (!ParseDouble(v[0], -3600, 3600, o.shotTime)) return "a time in seconds, then a file";
         if (!*v[1]) return "a time in seconds, then a .png file";
         o.shot = true;
         o.shotFile = v[1];
         return "";
     }},
    {"--level", "L", "fixed sound level for --shot and --bench (default 0.25)", 1,
     [](Options& o, const char* const* v) -> std::string {
         double level = 0;
         if (!ParseDouble(v[0], 0, 1, level)) return "a level from 0 to 1";
         o.level = float(level);
         o.levelFixed = true;
         return "";
     }},
    {"--calm", "",
     "calm mode, in every mode: the music level and the strobing\n"
     "pictures' brightness follow an envelope that turns at most\n"
     "five times a second, and any part of the picture that would\n"
     "still flash more than three times a second (or flash red)\n"
     "is held back to a milder change",
     0,
     [](Options& o, const char* const*) -> std::string {
         o.calm = true;
         return "";
     }},
    {"--bench", "",
     "render every frame of the demo as fast as possible and\n"
     "print frame-time statistics",
     0,
     [](Options& o, const char* const*) -> std::string {
         o.bench = true;
         return "";
     }},
    {"--passes", "N",
     "--bench runs the timeline N times and also reports each\n"
     "frame's fastest time, which sets apart what the machine\n"
     "stole from what the frame costs (default 1)",
     1, [](Options& o, const char* const* v) { return ParseInt(v[0], 1, 100, o.passes) ? "" : Range(1, 100); }},
    {"--resolution", "N", "draw every frame at 320N x 240N, N = 1 to {maxres} (default 1)", 1,
     [](Options& o, const char* const* v) {
         return ParseInt(v[0], 1, render::kMaxResolution, o.resolution) ? "" : Range(1, render::kMaxResolution);
     }},
    {"--version", "", "print teq's version", 0,
     [](Options& o, const char* const*) -> std::string {
         o.version = true;
         return "";
     }},
    {"--help", "", "list the options and keys", 0, nullptr},
};

void Replace(std::string& text, const std::string& what, const std::string& with) {
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
}

}   // namespace

void PrintUsage(const char* music) {
    std::printf(
        "usage: teq [options]\n"
        "Plays the demo in a window with its music. Keys: Esc or Q quits, F11 or\n"
        "Alt+Enter toggles fullscreen, Space pauses and resumes, Left and Right seek\n"
        "5 s back and forward, Home restarts, R steps the drawing resolution up to\n"
        "the window's scale and back to 1, C turns the calm mode on and off; the\n"
        "title shows the time while paused or seeking, the resolution after R and\n"
        "the mode after C.\n"
        "\n"
        "The demo flashes with the beat and three of its pictures strobe. --calm plays\n"
        "it without strobing: no second of more than three flashes and no red flash\n"
        "in any part of the screen (the limits of WCAG 2.3.1).\n"
        "\n");
    for (const OptionRow& row : kOptions) {
        std::string head = std::string(row.name) + (*row.value ? " " : "") + row.value;
        head.resize(std::max<size_t>(head.size() + 1, 17), ' ');
        std::string help = row.help;
        Replace(help, "{module}", music);
        Replace(help, "{fps}", std::to_string(kReferenceFps));
        Replace(help, "{maxres}", std::to_string(render::kMaxResolution));
        Replace(help, "\n", "\n                   ");
        std::printf("  %s%s\n", head.c_str(), help.c_str());
    }
}

bool ParseOptions(int argc, char** argv, double demoSeconds, Options& o, bool& help) {
    help = false;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
            help = true;
            continue;
        }
        const OptionRow* row = nullptr;
        for (const OptionRow& s : kOptions)
            if (!std::strcmp(a, s.name) && s.set) row = &s;
        if (!row) {
            std::fprintf(stderr, "teq: unknown option '%s' (try --help)\n", a);
            return false;
        }
        // Missing values are given as "" to the setter, which then says what
        // they should have been; the parse fails either way.
        const char* values[2] = {"", ""};
        bool missing = false;
        std::string given;
        for (int n = 0; n < row->values; ++n) {
            missing = missing || i + 1 >= argc;
            if (missing) break;
            values[n] = argv[++i];
            if (n) given += ' ';
            given += values[n];
        }
        const std::string expected = row->set(o, values);
        if (missing) return Fail(a, nullptr, expected.empty() ? "a value" : expected.c_str());
        if (!expected.empty()) return Fail(a, given.c_str(), expected.c_str());
    }
    const int modes = int(o.shot) + int(o.bench) + int(!o.renderFile.empty());
    if (modes > 1) {
        std::fprintf(stderr, "teq: --shot, --bench and --render exclude each other\n");
        return false;
    }
    // Without --length, a start at or past the end leaves no frame to time.
    if (o.bench && o.length < 0 && FirstFrameAt(o.start, kReferenceFps) >= FirstFrameAt(demoSeconds, kReferenceFps)) {
        std::fprintf(stderr, "teq: --start %g: --bench's timeline ends at %g s (add --length to time frames past it)\n",
                     o.start, demoSeconds);
        return false;
    }
    // --shot writes PNG; any other name would hold bytes that its ending belies.
    if (o.shot && !EndsWithPng(o.shotFile)) {
        std::fprintf(stderr, "teq: --shot %s: pictures are written as PNG, name the file .png\n", o.shotFile.c_str());
        return false;
    }
    // Videos are encoded as 4:2:0, which needs even sides.
    if (VideoKindOf(o.renderFile) != VideoKind::Folder && (o.width % 2 || o.height % 2)) {
        std::fprintf(stderr, "teq: --size %dx%d: a video needs an even width and height\n", o.width, o.height);
        return false;
    }
    return true;
}

}   // namespace qor
