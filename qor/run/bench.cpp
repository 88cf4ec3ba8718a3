// teq --bench: every frame from 0 to 135 s at 60 frames a second, drawn and
// thrown away, as fast as the machine goes. Prints the total against real time
// and the distribution of frame times.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "render/render.h"
#include "run/modes.h"

namespace qor {

void RunBench(FrameFunction frame) {
    constexpr int kFps = 60;
    constexpr int kFrames = 135 * kFps;
    using Clock = std::chrono::steady_clock;
    std::vector<double> ms(kFrames);
    render::SetDrawing(true);
    const Clock::time_point start = Clock::now();
    for (int k = 0; k < kFrames; ++k) {
        const double t = double(k) / kFps;
        const Clock::time_point a = Clock::now();
        frame(float(t));
        ms[k] = std::chrono::duration<double, std::milli>(Clock::now() - a).count();
        NoteFrameShown(t);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

    const int worst = int(std::max_element(ms.begin(), ms.end()) - ms.begin());
    std::vector<double> sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted[sorted.size() / 2];
    const double p99 = sorted[size_t(double(sorted.size() - 1) * 0.99)];
    std::printf("frames %d\nseconds %.3f\nreal time ratio %.2fx\n", kFrames, seconds,
                double(kFrames) / kFps / seconds);
    std::printf("frame ms: median %.3f  p99 %.3f  worst %.3f at t = %.3f\n", median, p99,
                ms[worst], double(worst) / kFps);

    // Mean frame time per window of the timeline, to see where the time goes.
    static const double kBounds[] = {0, 20, 27.5, 37, 42.5, 57.8, 77.8, 80.3, 100.2, 115.5, 135};
    std::printf("mean ms by window:");
    for (size_t w = 0; w + 1 < std::size(kBounds); ++w) {
        double sum = 0;
        int n = 0;
        for (int k = 0; k < kFrames; ++k) {
            const double t = double(k) / kFps;
            if (t >= kBounds[w] && t < kBounds[w + 1]) sum += ms[k], ++n;
        }
        std::printf(" [%g,%g) %.3f", kBounds[w], kBounds[w + 1], n ? sum / n : 0.0);
    }
    std::printf("\n");
}

}  // namespace qor
