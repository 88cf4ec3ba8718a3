// teq-look FRAMES_DIR FPS START [CREDITS.png]: the look figures of a folder
// of frames rendered by `teq --render FRAMES_DIR --fps FPS --start START
// --size 320x240`: per timeline window the mean luma, its lowest frame, the
// near-black, saturated and saturated red shares, the frames darker than 2 %
// (black frames) and, at 60 fps, the share of pixels that reverse (mean and
// 90th percentile over the window's frames); then every black frame outside
// the fixed fades; with the credits picture, the contrast of its letters in
// 101-110 s: per second the share of letters at 3:1 or more, and the first
// frame where a letter falls under it (with what its ink and the wall behind
// it show, and the text's grey then). tools/look-figures.sh makes the renders.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "look.h"
#include "timeline/timeline.h"

namespace {

struct Window {
    const char* name;
    float from, to;   // strict bounds, as the timeline tests them
};
constexpr Window kWindows[] = {
    {"swarm", -1.0f, kGridStart},
    {"cylinder", kGridStart, kSplitStart},
    {"knot+skater", kGridStart, kSkaterEnd},
    {"trio", kSplitStart, kTunnelStart},
    {"tunnel", kTunnelStart, 72.0f},   // until its fade to black
    {"tunnel end", 72.0f, kLatePairStart},
    {"second swarm", kLatePairStart, kCreditsStart},
    {"credits", kCreditsStart, kSieniStart},
    {"bare grid", kCreditsEnd, kSieniStart},
    {"closing field", kSieniStart + 1.0f, 128.0f},
    {"field end", 128.0f, 136.0f},
};

// Where the demo fades to black by its own arithmetic: the tunnel runs out
// of copies from about 76 s, the closing field's light after 129.3 s.
bool InFixedFade(float t) { return (t >= 76.0f && t < kLatePairStart) || t > 129.3f; }

bool Load(const std::string& path, qor::Picture& p) {
    std::string error;
    if (qor::LoadPicture(path, p, error)) return true;
    std::fprintf(stderr, "teq-look: %s: %s\n", path.c_str(), error.c_str());
    return false;
}

std::string FramePath(const std::string& dir, int i) {
    char name[32];
    std::snprintf(name, sizeof name, "/%06d.png", i);
    return dir + name;
}

}   // namespace

int main(int argc, char** argv) {
    if (argc < 4 || argc > 5) {
        std::fprintf(stderr, "usage: teq-look FRAMES_DIR FPS START [CREDITS.png]\n");
        return 2;
    }
    const std::string dir = argv[1];
    const int fps = std::atoi(argv[2]);
    const double start = std::atof(argv[3]);
    if (fps <= 0) {
        std::fprintf(stderr, "teq-look: bad frame rate %s\n", argv[2]);
        return 2;
    }
    const long first = std::lround(std::ceil(start * fps - 1e-9));

    std::vector<look::Letter> letters;
    if (argc == 5) {
        qor::Picture credits;
        if (!Load(argv[4], credits)) return 1;
        letters = look::FindLetters(credits);
    }

    struct Sum {
        int frames = 0;
        double luma = 0, lowest = 1e9, black = 0, saturated = 0, red = 0;
        int blackFrames = 0;
        std::vector<double> flips;   // reversal share of each middle frame
    };
    std::vector<Sum> sums(std::size(kWindows));
    std::vector<float> blackTimes;   // black frames outside the fixed fades
    double worstContrast = 1e9;
    long letterFrames = 0, readable = 0;
    struct Second {
        double worst = 1e9;
        long letters = 0, readable = 0;
    };
    std::vector<Second> seconds(16);   // 100..115 s
    double lastAllReadable = -1, firstFailure = -1;
    look::LetterLight failing;   // the worst letter of the first failing frame

    qor::Picture frames[3];
    int have = 0;
    for (int i = 0;; ++i) {
        qor::Picture p;
        std::string error;
        if (!qor::LoadPicture(FramePath(dir, i), p, error)) {
            if (i == 0) {
                std::fprintf(stderr, "teq-look: no frames in %s (%s)\n", dir.c_str(), error.c_str());
                return 1;
            }
            break;
        }
        const float t = float(double(first + i) / fps);
        const look::FrameStats s = look::Measure(p);
        for (size_t w = 0; w < std::size(kWindows); ++w) {
            if (!(kWindows[w].from < t && t < kWindows[w].to)) continue;
            Sum& sum = sums[w];
            ++sum.frames;
            sum.luma += s.meanLuma;
            sum.lowest = std::min(sum.lowest, s.meanLuma);
            sum.black += s.nearBlack;
            sum.saturated += s.saturated;
            sum.red += s.red;
            sum.blackFrames += s.meanLuma < look::kBlackFrame ? 1 : 0;
        }
        if (s.meanLuma < look::kBlackFrame && !InFixedFade(t)) blackTimes.push_back(t);
        if (!letters.empty() && t >= 101.0f && t <= 110.0f) {
            Second& second = seconds[size_t(int(t) - 100)];
            double worst = 1e9;
            look::LetterLight worstLight;
            for (const look::Letter& l : letters) {
                const look::LetterLight light = look::MeasureLetter(p, l);
                const double c = (light.ink + 1.0) / (light.ring + 1.0);
                if (c < worst) worst = c, worstLight = light;
                ++letterFrames, ++second.letters;
                readable += c >= 3.0 ? 1 : 0;
                second.readable += c >= 3.0 ? 1 : 0;
            }
            worstContrast = std::min(worstContrast, worst);
            second.worst = std::min(second.worst, worst);
            if (worst >= 3.0 && firstFailure < 0) lastAllReadable = t;
            if (worst < 3.0 && firstFailure < 0) firstFailure = t, failing = worstLight;
        }
        frames[0] = std::move(frames[1]);
        frames[1] = std::move(frames[2]);
        frames[2] = std::move(p);
        have = std::min(have + 1, 3);
        // The middle frame of three, all three inside the window.
        if (fps == 60 && have == 3) {
            const float before = float(double(first + i - 2) / fps);
            double share = -1;
            for (size_t w = 0; w < std::size(kWindows); ++w) {
                if (!(kWindows[w].from < before && t < kWindows[w].to)) continue;
                if (share < 0) share = look::ReversalShare(frames[0], frames[1], frames[2]);
                sums[w].flips.push_back(share);
            }
        }
    }

    std::printf("%-14s %6s %6s %7s %6s %6s %6s %6s %7s %6s\n", "window", "frames", "mean%", "lowest%", "black%",
                "satur%", "red%", "blackF", "revers%", "rev90%");
    for (size_t w = 0; w < std::size(kWindows); ++w) {
        Sum& s = sums[w];
        if (s.frames == 0) continue;
        const double n = s.frames;
        std::printf("%-14s %6d %6.1f %7.2f %6.1f %6.1f %6.1f %6d", kWindows[w].name, s.frames, s.luma / n / 2.55,
                    s.lowest / 2.55, s.black / n * 100, s.saturated / n * 100, s.red / n * 100, s.blackFrames);
        if (!s.flips.empty()) {
            double mean = 0;
            for (double f : s.flips) mean += f;
            const size_t k = s.flips.size() * 9 / 10;
            std::nth_element(s.flips.begin(), s.flips.begin() + long(k), s.flips.end());
            std::printf(" %7.1f %6.1f", mean / double(s.flips.size()) * 100, s.flips[k] * 100);
        }
        std::printf("\n");
    }
    std::printf(
        "(luma Rec. 709; black: luma under %d; satur: a channel over %d; red: saturated red; blackF: frames "
        "under 2 %% mean; revers: pixels that swing by more than %d levels and back within 3 frames, 60 fps "
        "only)\n",
        look::kNearBlack, look::kSaturated, look::kReversal);
    std::printf("black frames outside the fixed fades (76-80.3 s, after 129.3 s): %zu", blackTimes.size());
    for (size_t k = 0; k < blackTimes.size() && k < 48; ++k) std::printf("%s%.3f", k ? " " : ": ", blackTimes[k]);
    std::printf("%s\n", blackTimes.size() > 48 ? " ..." : "");
    if (letterFrames > 0) {
        std::printf(
            "credits 101-110 s: %zu letter strokes, worst contrast %.2f:1, %.1f %% of letter-frames at 3:1 or more\n",
            letters.size(), worstContrast, double(readable) / double(letterFrames) * 100);
        std::printf("  per second, share at 3:1 or more and worst contrast:");
        for (size_t s = 1; s <= 10; ++s)
            if (seconds[s].letters > 0)
                std::printf(" %zu: %.0f %% %.2f", 100 + s,
                            double(seconds[s].readable) / double(seconds[s].letters) * 100, seconds[s].worst);
        std::printf("\n");
        if (firstFailure < 0) {
            std::printf("  every letter at 3:1 or more in every frame of 101-110 s\n");
        } else {
            if (lastAllReadable >= 0)
                std::printf("  every letter at 3:1 or more in every frame of 101-%.1f s\n", lastAllReadable);
            std::printf(
                "  first frame with a letter under 3:1: %.1f s (its ink %.0f over %.0f behind it; the text's grey "
                "then %.0f to %.0f)\n",
                firstFailure, failing.ink, failing.ring, look::CreditsGreyLow(firstFailure),
                look::CreditsGreyHigh(firstFailure));
        }
    }
    return 0;
}
