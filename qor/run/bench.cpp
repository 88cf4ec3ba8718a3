// teq --bench: every frame from 0 to 135 s at 60 frames a second, drawn and
// thrown away, as fast as the machine goes. Prints the total against real time
// and the distribution of frame times. --start and --length pick a part of the
// timeline (its frames then inherit no state from the frames before it).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include <sys/resource.h>

#include "render/render.h"
#include "run/modes.h"
#include "run/options.h"

namespace qor {

namespace {
double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + 1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}
}  // namespace

void RunBench(FrameFunction frame) {
    constexpr int kFps = 60;
    const Options& o = CurrentOptions();
    const int first = int(o.start * kFps + 0.5);
    const int kFrames = o.length > 0 ? std::max(1, int(o.length * kFps + 0.5)) : 135 * kFps - first;
    if (kFrames <= 0) return;
    using Clock = std::chrono::steady_clock;
    std::vector<double> ms(kFrames);
    render::SetDrawing(true);
    const double cpu0 = CpuSeconds();
    const Clock::time_point start = Clock::now();
    for (int k = 0; k < kFrames; ++k) {
        const double t = double(first + k) / kFps;
        const Clock::time_point a = Clock::now();
        frame(float(t));
        ms[k] = std::chrono::duration<double, std::milli>(Clock::now() - a).count();
        NoteFrameShown(t);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = CpuSeconds() - cpu0;

    const int worst = int(std::max_element(ms.begin(), ms.end()) - ms.begin());
    std::vector<double> sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted[sorted.size() / 2];
    const double p99 = sorted[size_t(double(sorted.size() - 1) * 0.99)];
    std::printf("frames %d (t = %.3f to %.3f)\nseconds %.3f (cpu %.3f on both threads)\n"
                "real time ratio %.2fx\n",
                kFrames, double(first) / kFps, double(first + kFrames - 1) / kFps, seconds, cpu,
                double(kFrames) / kFps / seconds);
    std::printf("frame ms: median %.3f  p99 %.3f  worst %.3f at t = %.3f\n", median, p99,
                ms[worst], double(first + worst) / kFps);

    // Mean frame time per window of the timeline, to see where the time goes.
    static const double kBounds[] = {0, 20, 27.5, 37, 42.5, 57.8, 77.8, 80.3, 100.2, 115.5, 135};
    std::printf("mean ms by window:");
    for (size_t w = 0; w + 1 < std::size(kBounds); ++w) {
        double sum = 0;
        int n = 0;
        for (int k = 0; k < kFrames; ++k) {
            const double t = double(first + k) / kFps;
            if (t >= kBounds[w] && t < kBounds[w + 1]) sum += ms[k], ++n;
        }
        if (n) std::printf(" [%g,%g) %.3f", kBounds[w], kBounds[w + 1], sum / n);
    }
    std::printf("\n");
}

}  // namespace qor
