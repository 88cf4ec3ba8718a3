// teq-flash [options] INPUT: the flashes a render shows, by the definitions of
// the web's accessibility rule (WCAG 2.3.1; qor/calm/flash.h measures them).
// INPUT is a folder of numbered PNG frames (`teq --render DIR`) or any video
// ffmpeg reads. Prints, for every second, the most general and red flashes
// that any 10-degree field shows in a one-second span ending in it, then the
// worst of the whole input.
//   --fps N        frames a second of a folder (default 60; a video says its own)
//   --start S      time of the first frame (default 0)
//   --windows LIST comma-separated times: a summary per stretch between them
//   --quiet        the summary lines only
//   --means FILE   write each frame's time and mean relative luminance to FILE
//   --check        exit code 1 when a span holds more than three general
//                  flashes or any red flash
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "assets/images.h"
#include "calm/flash.h"

#ifdef _WIN32
#define popen _popen
#define pclose _pclose
#endif

namespace {

constexpr int kGeneralLimit = 6;   // transitions in a span: three flashes
constexpr int kRedLimit = 1;       // one red transition is no flash yet

struct Frames {
    // A folder of frames, or a pipe from ffmpeg.
    std::vector<std::string> files;
    std::FILE* pipe = nullptr;
    int width = 0, height = 0;
    size_t next = 0;
};

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

bool OpenFolder(const std::string& dir, Frames& f, std::string& error) {
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
        const std::string name = e.path().filename().string();
        if (name.size() > 4 && name.substr(name.size() - 4) == ".png" &&
            std::all_of(name.begin(), name.end() - 4, [](char c) { return c >= '0' && c <= '9'; }))
            f.files.push_back(e.path().string());
    }
    if (ec) {
        error = ec.message();
        return false;
    }
    std::sort(f.files.begin(), f.files.end());
    if (f.files.empty()) {
        error = "no numbered PNG frames in it";
        return false;
    }
    return true;
}

// Width, height and frame rate of a video through ffprobe, then its frames
// through ffmpeg as 32-bit BGRA (0xAARRGGBB words on a little-endian machine).
bool OpenVideo(const std::string& path, Frames& f, double& fps, std::string& error) {
    const std::string probe =
        "ffprobe -v error -select_streams v:0 -show_entries stream=width,height,r_frame_rate "
        "-of csv=p=0 " +
        Quote(path);
    std::FILE* p = popen(probe.c_str(), "r");
    char line[256] = {};
    const bool read = p && std::fgets(line, sizeof line, p);
    if (p) pclose(p);
    int num = 0, den = 1;
    if (!read || std::sscanf(line, "%d,%d,%d/%d", &f.width, &f.height, &num, &den) < 3 || f.width <= 0 ||
        f.height <= 0 || num <= 0 || den <= 0) {
        error = "not a video ffprobe can read (is ffmpeg installed?)";
        return false;
    }
    fps = double(num) / den;
    const std::string cmd = "ffmpeg -v error -nostdin -i " + Quote(path) + " -f rawvideo -pix_fmt bgra -";
    f.pipe = popen(cmd.c_str(), "r");
    if (!f.pipe) {
        error = "cannot start ffmpeg";
        return false;
    }
    return true;
}

// The next frame; false at the end (error empty) or on a fault.
bool NextFrame(Frames& f, qor::Picture& pic, std::string& error) {
    if (f.pipe) {
        pic.width = f.width;
        pic.height = f.height;
        pic.argb.resize(size_t(f.width) * f.height);
        const size_t got = std::fread(pic.argb.data(), 4, pic.argb.size(), f.pipe);
        if (got == pic.argb.size()) return true;
        if (got) error = "a frame cut short";
        return false;
    }
    if (f.next >= f.files.size()) return false;
    const std::string& file = f.files[f.next++];
    if (!qor::LoadPicture(file, pic, error)) {
        error = file + ": " + error;
        return false;
    }
    if (f.width == 0) f.width = pic.width, f.height = pic.height;
    if (pic.width != f.width || pic.height != f.height) {
        error = file + ": a frame of another size";
        return false;
    }
    return true;
}

bool ParseList(const char* text, std::vector<double>& out) {
    const char* p = text;
    while (*p) {
        char* end = nullptr;
        const double v = std::strtod(p, &end);
        if (end == p || !std::isfinite(v) || (!out.empty() && v <= out.back())) return false;
        out.push_back(v);
        p = end;
        if (*p == ',')
            ++p;
        else if (*p)
            return false;
    }
    return out.size() >= 2;
}

int Usage() {
    std::fprintf(
        stderr,
        "usage: teq-flash [--fps N] [--start S] [--windows T0,T1,...] [--means FILE] [--quiet] [--check] INPUT\n");
    return 2;
}

}   // namespace

int main(int argc, char** argv) {
    double fps = 60, start = 0;
    bool quiet = false, check = false, fpsGiven = false;
    std::vector<double> windows;
    std::string input, meansFile;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        char* end = nullptr;
        if (a == "--fps" && i + 1 < argc) {
            fps = std::strtod(argv[++i], &end);
            fpsGiven = true;
            if (*end || !(fps > 0 && fps <= 1000)) return std::fprintf(stderr, "teq-flash: bad --fps\n"), 2;
        } else if (a == "--start" && i + 1 < argc) {
            start = std::strtod(argv[++i], &end);
            if (*end || !std::isfinite(start)) return std::fprintf(stderr, "teq-flash: bad --start\n"), 2;
        } else if (a == "--windows" && i + 1 < argc) {
            if (!ParseList(argv[++i], windows)) return std::fprintf(stderr, "teq-flash: bad --windows\n"), 2;
        } else if (a == "--means" && i + 1 < argc) {
            meansFile = argv[++i];
        } else if (a == "--quiet") {
            quiet = true;
        } else if (a == "--check") {
            check = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return Usage();
        } else if (input.empty()) {
            input = a;
        } else {
            return Usage();
        }
    }
    if (input.empty()) return Usage();

    Frames frames;
    std::string error;
    std::error_code ec;
    const bool folder = std::filesystem::is_directory(input, ec);
    double videoFps = fps;
    if (!(folder ? OpenFolder(input, frames, error) : OpenVideo(input, frames, videoFps, error))) {
        std::fprintf(stderr, "teq-flash: %s: %s\n", input.c_str(), error.c_str());
        return 1;
    }
    if (!folder && !fpsGiven) fps = videoFps;

    std::FILE* means = nullptr;
    if (!meansFile.empty() && !(means = std::fopen(meansFile.c_str(), "w"))) {
        std::fprintf(stderr, "teq-flash: cannot write %s\n", meansFile.c_str());
        return 1;
    }
    qor::flash::Analyser analyser;
    struct Frame {
        double t;
        int general, red;
    };
    std::vector<Frame> results;
    qor::Picture pic;
    int worstField = 0, worstGeneral = -1;
    while (NextFrame(frames, pic, error)) {
        if (pic.width < qor::flash::kGridX || pic.height < qor::flash::kGridY) {
            error = "frames under 96x72 pixels";
            break;
        }
        const double t = start + double(results.size()) / fps;
        const qor::flash::Analyser::Result r = analyser.Feed(t, pic.argb.data(), pic.width, pic.height);
        if (r.general > worstGeneral) worstGeneral = r.general, worstField = r.generalField;
        results.push_back({t, r.general, r.red});
        if (means) {
            double sum = 0;
            for (const uint32_t c : pic.argb)
                sum += 0.2126 * qor::flash::Linear(int(c >> 16) & 255) +
                       0.7152 * qor::flash::Linear(int(c >> 8) & 255) + 0.0722 * qor::flash::Linear(int(c) & 255);
            std::fprintf(means, "%.4f %.6f\n", t, sum / double(pic.argb.size()));
        }
    }
    if (means) std::fclose(means);
    if (frames.pipe && pclose(frames.pipe) != 0 && error.empty() && results.empty()) error = "ffmpeg failed";
    if (!error.empty()) {
        std::fprintf(stderr, "teq-flash: %s: %s\n", input.c_str(), error.c_str());
        return 1;
    }
    if (results.empty()) {
        std::fprintf(stderr, "teq-flash: %s: no frames\n", input.c_str());
        return 1;
    }

    const double fw = frames.width * 341.0 / 1024, fh = frames.height * 256.0 / 768;
    std::printf("%zu frames of %dx%d at %g fps; a 10-degree field is %.0fx%.0f pixels, a quarter of it flashes\n",
                results.size(), frames.width, frames.height, fps, fw, fh);
    // Per second: the worst span ending in it.
    if (!quiet) std::printf("second  general  red   (flashes: transitions / 2, worst field, span ending then)\n");
    int over = 0, redSeconds = 0;
    double worstG = 0, worstR = 0, worstAt = 0;
    for (size_t i = 0; i < results.size();) {
        const long second = long(std::floor(results[i].t + 1e-9));
        int g = 0, r = 0;
        for (; i < results.size() && long(std::floor(results[i].t + 1e-9)) == second; ++i)
            g = std::max(g, results[i].general), r = std::max(r, results[i].red);
        if (!quiet)
            std::printf("%6ld  %7.1f  %4.1f%s\n", second, g / 2.0, r / 2.0, g > kGeneralLimit ? "  over 3" : "");
        over += g > kGeneralLimit;
        redSeconds += r > kRedLimit;
        if (g / 2.0 > worstG) worstG = g / 2.0, worstAt = double(second);
        worstR = std::max(worstR, r / 2.0);
    }
    const int fieldX = worstField % qor::flash::FieldCounter::kPositionsX,
              fieldY = worstField / qor::flash::FieldCounter::kPositionsX;
    std::printf(
        "worst: %.1f general flashes (second %g, the field at %.0f,%.0f), %.1f red; seconds over 3: %d, "
        "with a red flash: %d\n",
        worstG, worstAt, fieldX * double(frames.width) / qor::flash::kGridX,
        fieldY * double(frames.height) / qor::flash::kGridY, worstR, over, redSeconds);
    for (size_t w = 0; w + 1 < windows.size(); ++w) {
        int g = 0, r = 0;
        std::vector<long> overSeconds, redS;
        for (const Frame& f : results) {
            if (f.t < windows[w] || f.t >= windows[w + 1]) continue;
            g = std::max(g, f.general), r = std::max(r, f.red);
            const long s = long(std::floor(f.t + 1e-9));
            if (f.general > kGeneralLimit && (overSeconds.empty() || overSeconds.back() != s)) overSeconds.push_back(s);
            if (f.red > kRedLimit && (redS.empty() || redS.back() != s)) redS.push_back(s);
        }
        std::printf(
            "window %g-%g: worst %.1f general flashes, seconds over 3: %zu, worst %.1f red, seconds with "
            "a red flash: %zu\n",
            windows[w], windows[w + 1], g / 2.0, overSeconds.size(), r / 2.0, redS.size());
    }
    return check && (over > 0 || redSeconds > 0) ? 1 : 0;
}
