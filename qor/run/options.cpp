// teq's command line: parsed strictly, every value checked, one line per fault.
#include "run/options.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

}   // namespace

int BenchFirstFrame(double start) { return int(start * kReferenceFps + 0.5); }

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
        "it without strobing, held towards the limits of WCAG 2.3.1 (no second of\n"
        "more than three flashes and no red flash in any part of the screen).\n"
        "\n"
        "  --data DIR       read the data files from DIR (default: PREFIX/share/games/teq\n"
        "                   when teq is PREFIX/games/teq, else the current folder if it\n"
        "                   holds %s, else the data folder next to teq)\n"
        "  --fullscreen     start in desktop fullscreen\n"
        "  --scale N        window size 320x240 times N (default: largest that fits)\n"
        "  --start T        start at T seconds, music seeked\n"
        "  --length S       stop after S seconds\n"
        "  --mute           no sound; time follows the clock\n"
        "  --show-fps       show the frame rate in the top-left corner\n"
        "  --render FILE    render offline: FILE.mp4/.mkv/.webm through ffmpeg, otherwise\n"
        "                   a folder of numbered PNG frames and a WAV\n"
        "  --fps N          frames per second for --render (default %d)\n"
        "  --size WxH       video size for --render (default 1280x960; at most\n"
        "                   3840x2160 pixels in all, where ffmpeg needs about 1 GB):\n"
        "                   whole multiples of the drawn size keep square pixels, any\n"
        "                   other size is scaled once with the Lanczos filter\n"
        "  --shot T FILE    write the frame at T seconds as a PNG picture\n"
        "  --level L        fixed sound level for --shot and --bench (default 0.25)\n"
        "  --bench          render every frame of the demo as fast as possible and\n"
        "                   print frame-time statistics\n"
        "  --passes N       --bench runs the timeline N times and also reports each\n"
        "                   frame's fastest time, which sets apart what the machine\n"
        "                   stole from what the frame costs (default 1)\n"
        "  --resolution N   draw every frame at 320N x 240N, N = 1 to 8 (default 1)\n"
        "  --calm           calm mode, in every mode: the music level that lights the\n"
        "                   pictures rises and falls more slowly, and any part of the\n"
        "                   picture that would flash more than three times a second\n"
        "                   (or flash red) is held back to a milder change\n"
        "  --version        print teq's version\n"
        "  --help           list the options and keys\n",
        music, kReferenceFps);
}

bool ParseOptions(int argc, char** argv, double demoSeconds, Options& o, bool& help) {
    help = false;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
            help = true;
        } else if (!std::strcmp(a, "--version")) {
            o.version = true;
        } else if (!std::strcmp(a, "--data")) {
            const char* v = value();
            if (!v || !*v) return Fail(a, v, "a folder");
            o.dataDir = v;
        } else if (!std::strcmp(a, "--fullscreen")) {
            o.fullscreen = true;
        } else if (!std::strcmp(a, "--scale")) {
            const char* v = value();
            if (!ParseInt(v, 1, 16, o.scale)) return Fail(a, v, "a whole number 1 to 16");
        } else if (!std::strcmp(a, "--start")) {
            const char* v = value();
            if (!ParseDouble(v, 0, 3600, o.start)) return Fail(a, v, "seconds, 0 or more");
        } else if (!std::strcmp(a, "--length")) {
            const char* v = value();
            if (!ParseDouble(v, 0, 3600, o.length) || o.length <= 0) return Fail(a, v, "seconds, more than 0");
        } else if (!std::strcmp(a, "--mute")) {
            o.mute = true;
        } else if (!std::strcmp(a, "--show-fps")) {
            o.showFps = true;
        } else if (!std::strcmp(a, "--render")) {
            const char* v = value();
            if (!v || !*v) return Fail(a, v, "a file or folder name");
            o.renderFile = v;
        } else if (!std::strcmp(a, "--fps")) {
            const char* v = value();
            if (!ParseInt(v, 1, 240, o.fps)) return Fail(a, v, "a whole number 1 to 240");
        } else if (!std::strcmp(a, "--size")) {
            const char* v = value();
            if (!ParseSize(v, o.width, o.height)) return Fail(a, v, "WxH, e.g. 1280x960, at most 3840x2160 pixels");
        } else if (!std::strcmp(a, "--shot")) {
            const char* t = value();
            if (!ParseDouble(t, -3600, 3600, o.shotTime)) return Fail(a, t, "a time in seconds, then a file");
            const char* f = value();
            if (!f || !*f) return Fail(a, f, "a time in seconds, then a .png file");
            o.shot = true;
            o.shotFile = f;
        } else if (!std::strcmp(a, "--level")) {
            const char* v = value();
            double level = 0;
            if (!ParseDouble(v, 0, 1, level)) return Fail(a, v, "a level from 0 to 1");
            o.level = float(level);
            o.levelFixed = true;
        } else if (!std::strcmp(a, "--calm")) {
            o.calm = true;
        } else if (!std::strcmp(a, "--bench")) {
            o.bench = true;
        } else if (!std::strcmp(a, "--resolution")) {
            const char* v = value();
            if (!ParseInt(v, 1, 8, o.resolution)) return Fail(a, v, "a whole number 1 to 8");
        } else if (!std::strcmp(a, "--passes")) {
            const char* v = value();
            if (!ParseInt(v, 1, 100, o.passes)) return Fail(a, v, "a whole number 1 to 100");
        } else {
            std::fprintf(stderr, "teq: unknown option '%s' (try --help)\n", a);
            return false;
        }
    }
    const int modes = int(o.shot) + int(o.bench) + int(!o.renderFile.empty());
    if (modes > 1) {
        std::fprintf(stderr, "teq: --shot, --bench and --render exclude each other\n");
        return false;
    }
    // Without --length, a start whose nearest frame is the end leaves none to time.
    if (o.bench && o.length < 0 && BenchFirstFrame(o.start) >= BenchFirstFrame(demoSeconds)) {
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
    if (KindOf(o.renderFile) != VideoKind::Folder && (o.width % 2 || o.height % 2)) {
        std::fprintf(stderr, "teq: --size %dx%d: a video needs an even width and height\n", o.width, o.height);
        return false;
    }
    return true;
}

}   // namespace qor
