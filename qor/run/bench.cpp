// teq --bench: every frame of the demo's timeline at 60 frames a second, drawn and
// thrown away, as fast as the machine goes. Prints the total against real time
// and the distribution of frame times. --start and --length pick a part of the
// timeline (its frames then inherit no state from the frames before it).
// --passes N runs it N times and adds each frame's fastest time.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "platform/system.h"
#include "render/render.h"
#include "run/frames.h"
#include "run/state.h"

namespace qor {

namespace {
struct Spread {
    double median, p99, worst;
    int worstAt;
};

Spread SpreadOf(const std::vector<double>& ms) {
    std::vector<double> sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    const int worst = int(std::max_element(ms.begin(), ms.end()) - ms.begin());
    return {sorted[sorted.size() / 2], sorted[size_t(double(sorted.size() - 1) * 0.99)], ms[worst], worst};
}

// Mean frame time per window of the timeline, to see where the time goes.
void PrintWindowMeans(const std::vector<double>& ms, int first, int frames, int fps,
                      const std::vector<double>& bounds) {
    std::printf("mean ms by window:");
    for (size_t w = 0; w + 1 < bounds.size(); ++w) {
        double sum = 0;
        int n = 0;
        for (size_t i = 0; i < ms.size(); ++i) {
            const double t = double(first + int(i % size_t(frames))) / fps;
            if (t >= bounds[w] && t < bounds[w + 1]) sum += ms[i], ++n;
        }
        if (n) std::printf(" [%g,%g) %.3f", bounds[w], bounds[w + 1], sum / n);
    }
    std::printf("\n");
}

// Each frame's fastest time, mean and 99th percentile per window of the timeline.
void PrintWindowFastest(const std::vector<double>& fastest, int first, int fps, const std::vector<double>& bounds,
                        int passes) {
    std::printf("fastest of %d passes by window, mean/p99 ms:", passes);
    for (size_t w = 0; w + 1 < bounds.size(); ++w) {
        std::vector<double> in;
        for (size_t i = 0; i < fastest.size(); ++i) {
            const double t = double(first + int(i)) / fps;
            if (t >= bounds[w] && t < bounds[w + 1]) in.push_back(fastest[i]);
        }
        if (in.empty()) continue;
        double sum = 0;
        for (double m : in) sum += m;
        const Spread s = SpreadOf(in);
        std::printf(" [%g,%g) %.3f/%.3f", bounds[w], bounds[w + 1], sum / double(in.size()), s.p99);
    }
    std::printf("\n");
}

// 0, the demo's window bounds, its end: the stretches the means are taken over.
std::vector<double> WindowEdges(const DemoFacts& demo) {
    std::vector<double> edges = {0.0};
    for (int i = 0; i < demo.windowBoundCount; ++i) edges.push_back(double(demo.windowBounds[i]));
    edges.push_back(demo.seconds);
    return edges;
}

}   // namespace

Outcome RunBench(RunState& run, FrameFunction frame) {
    constexpr int kFps = kReferenceFps;
    constexpr double kBudgetMs = 8.3;   // half a frame at 60 fps (16.7 ms): frames over it are counted
    const Options& o = run.options;
    const int first = int(FirstFrameAt(o.start, kFps));
    const int kFrames = o.length > 0 ? std::max(1, int(o.length * kFps + 0.5)) : int(run.demo.seconds * kFps) - first;
    if (kFrames <= 0) return Outcome::Ok();
    const int passes = std::max(1, o.passes);
    using Clock = std::chrono::steady_clock;
    // ms: every timing of every pass, in order; fastest: per frame, over passes.
    std::vector<double> ms(size_t(kFrames) * passes), fastest(kFrames, 1e300);
    const double cpu0 = platform::CpuSeconds();
    const Clock::time_point start = Clock::now();
    for (int pass = 0; pass < passes; ++pass) {
        for (int k = 0; k < kFrames; ++k) {
            const double t = double(first + k) / kFps;
            const Clock::time_point a = Clock::now();
            DrawFrame(run, frame, t);   // the frame is thrown away
            const double took = std::chrono::duration<double, std::milli>(Clock::now() - a).count();
            ms[size_t(pass) * kFrames + k] = took;
            fastest[k] = std::min(fastest[k], took);
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = platform::CpuSeconds() - cpu0;

    const Spread all = SpreadOf(ms);
    const long over = std::count_if(ms.begin(), ms.end(), [&](double m) { return m > kBudgetMs; });
    std::printf("frames %d (t = %.3f to %.3f)", kFrames, double(first) / kFps, double(first + kFrames - 1) / kFps);
    if (passes > 1) std::printf(" x %d passes", passes);
    if (cpu0 >= 0)
        std::printf("\nseconds %.3f (cpu %.3f on all threads)", seconds, cpu);
    else
        std::printf("\nseconds %.3f (processor time not known here)", seconds);
    std::printf("\ndrawn at %dx%d on %d thread%s", render::Width(), render::Height(), render::Threads(),
                render::Threads() > 1 ? "s" : "");
    std::printf("\nreal time ratio %.2fx\n", double(kFrames) * passes / kFps / seconds);
    std::printf("frame ms: median %.3f  p99 %.3f  worst %.3f at t = %.3f\n", all.median, all.p99, all.worst,
                double(first + all.worstAt % kFrames) / kFps);
    std::printf("frames over %.1f ms: %ld of %zu\n", kBudgetMs, over, ms.size());
    if (passes > 1) {
        // A frame's fastest pass is its own cost; the slower ones add whatever
        // else the machine did meanwhile.
        const Spread best = SpreadOf(fastest);
        std::printf("fastest of %d passes per frame, ms: median %.3f  p99 %.3f  worst %.3f at t = %.3f\n", passes,
                    best.median, best.p99, best.worst, double(first + best.worstAt) / kFps);
    }

    const std::vector<double> edges = WindowEdges(run.demo);
    PrintWindowMeans(ms, first, kFrames, kFps, edges);
    if (passes > 1) PrintWindowFastest(fastest, first, kFps, edges, passes);
    return Outcome::Ok();
}

}   // namespace qor
