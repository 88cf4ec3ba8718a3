// Initialize and Run: set the engine up from the demo's arguments and the
// command line, then drive the frame function in the mode chosen once here.
// Initialize loads the music and, to play, opens the window; when no window
// can be opened the run renders the demo to "teq.mp4" instead. The loading
// screen, which the demo draws before Run, is shown from here (EndScene's
// presenter); Run's frames go through the frame driver (frames.h).
#include <cstdio>
#include <optional>
#include <string>

#include "assets/datadir.h"
#include "engine/qor.h"
#include "platform/system.h"
#include "platform/window.h"
#include "render/render.h"
#include "run/frames.h"
#include "run/state.h"

namespace qor {

namespace {

std::optional<RunState> gRun;   // the one run of this process

// Drawing off for the rest of the loading screen, until Run: in a render (the
// loading screen is not part of a video) and after Esc during it.
std::optional<render::DrawingOff> gLoadingUndrawn;

// The loading screen's presenter (its frames are drawn before Run). Esc
// during it: the rest runs through undrawn at once and Run returns straight away.
void PresentLoading(const uint32_t* argb, int width, int height, void*) {
    platform::Present(argb, width, height);
    if (platform::QuitRequested() && !gLoadingUndrawn) {
        gLoadingUndrawn.emplace();
        platform::HideWindow();
    }
}

// Play when a window opens; without one, render the demo to teq.mp4.
Mode OpenWindowOrRender(RunState& run, const char* name, int width, int height, int flag) {
    platform::WindowSettings w;
    w.title = name && *name ? name : "teq";
    w.width = width;
    w.height = height;
    w.scale = run.options.scale;
    w.fullscreen = run.options.fullscreen;
    w.vsync = flag == 1;
    std::string why;
    if (platform::OpenWindow(w, &why)) {
        render::SetPresenter(PresentLoading, nullptr);
        return Mode::Play;
    }
    std::fprintf(stderr, "teq: no display (%s); rendering the demo to teq.mp4 instead\n",
                 why.empty() ? "no window" : why.c_str());
    run.renderFile = "teq.mp4";
    return Mode::Render;
}

}   // namespace

void StartRun(const Options& options, const DemoFacts& demo) {
    gRun.emplace(options, demo);
    SetCalm(options.calm);
    if (options.showFps && demo.fpsFormat) std::snprintf(demo.fpsFormat, demo.fpsFormatSize, "%s", "%d fps");
}

RunState& State() { return *gRun; }

int FinishRun(int demoCode) {
    const Outcome& end = State().outcome;
    if (end.error.empty()) return demoCode;
    std::fprintf(stderr, "teq: %s\n", end.error.c_str());
    return end.exitCode;
}

void NoteFrameShown(RunState& run, double t) {
    // Time going back (a new --bench pass) starts the count again.
    if (!run.shown.empty() && run.shown.back() > t) run.shown.clear();
    run.shown.push_back(t);
    while (!run.shown.empty() && run.shown.front() <= t - 1.0) run.shown.pop_front();
}

}   // namespace qor

void Initialize(const char* name, const char* music, int width, int height, int flag) {
    qor::RunState& run = qor::State();
    const qor::Options& o = run.options;
    qor::SetDataDir(o.dataDir);
    qor::render::SetResolution(o.resolution);
    qor::render::Init(width, height);
    // --shot and --bench draw with a fixed level (0.25 unless --level says),
    // and load no music.
    if (o.bench || o.shot || o.levelFixed) run.soundtrack.FixLevel(o.level);
    if (o.bench || o.shot) {
        run.mode = o.bench ? qor::Mode::Bench : qor::Mode::Shot;
        return;
    }
    // A render takes Ctrl+C (and the other stop signals) from here on, so a
    // stop during the loading screen ends it with its one line too.
    if (!o.renderFile.empty()) qor::platform::CatchStopSignals();
    if (music && *music) run.soundtrack.Load(qor::DataPath(music));
    if (!o.renderFile.empty()) {
        run.mode = qor::Mode::Render;
        run.renderFile = o.renderFile;
    } else {
        run.mode = qor::OpenWindowOrRender(run, name, width, height, flag);
    }
    if (run.mode == qor::Mode::Render) {
        if (o.renderFile.empty()) qor::platform::CatchStopSignals();   // no display: rendering after all
        qor::gLoadingUndrawn.emplace();
    }
}

void Run(FrameFunction frame) {
    qor::RunState& run = qor::State();
    // The loading screen is over: drawing on, and each mode takes its frames
    // from the frame driver.
    qor::gLoadingUndrawn.reset();
    qor::render::SetPresenter(nullptr, nullptr);
    switch (run.mode) {
        case qor::Mode::Play:
            run.outcome = qor::RunPlay(run, frame);
            break;
        case qor::Mode::Render:
            run.outcome = qor::RunRender(run, frame);
            break;
        case qor::Mode::Shot:
            run.outcome = qor::RunShot(run, frame);
            break;
        case qor::Mode::Bench:
            run.outcome = qor::RunBench(run, frame);
            break;
    }
}

float GetSoundLevel() { return qor::State().level; }

int GetFPS(double t) {
    int n = 0;
    for (double shown : qor::State().shown)
        if (shown > t - 1.0 && shown <= t) ++n;
    return n;
}
