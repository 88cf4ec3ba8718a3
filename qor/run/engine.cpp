// Initialize and Run: set the engine up from the demo's arguments and the
// command line, then drive the frame function in the chosen mode.
// Initialize loads the music and, to play, opens the window; when no window
// can be opened the run renders the demo to "teq.mp4" instead.
#include <algorithm>
#include <cstdio>
#include <deque>
#include <string>

#include "assets/datadir.h"
#include "engine/qor.h"
#include "platform/window.h"
#include "render/render.h"
#include "run/modes.h"
#include "run/options.h"
#include "run/session.h"

namespace qor {

void PresentToWindow(const uint32_t* argb, int width, int height, void* user);   // play.cpp

namespace {
InitArgs gInit;
float gLevel = 0.0f;
std::deque<double> gShown;   // times of the frames shown in the last second
}  // namespace

const InitArgs& InitArguments() { return gInit; }

Session& CurrentSession() {
    static Session session;
    return session;
}

float LevelFor(const Session& session, int64_t position) {
    const Options& o = CurrentOptions();
    return o.levelFixed ? o.level : session.meter.LevelAt(position);
}

void SetSoundLevel(float level) { gLevel = level; }

void NoteFrameShown(double t) {
    // Time going back (a new --bench pass) starts the count again.
    if (!gShown.empty() && gShown.back() > t) gShown.clear();
    gShown.push_back(t);
    while (!gShown.empty() && gShown.front() <= t - 1.0) gShown.pop_front();
}

void FastForward(FrameFunction frame, double until) {
    constexpr int kFps = 60;
    render::SetDrawing(false);
    for (long k = 0; double(k) / kFps < until; ++k) {
        const double t = double(k) / kFps;
        frame(float(t));
        NoteFrameShown(t);
    }
    render::SetDrawing(true);
}

}  // namespace qor

void Initialize(const char* name, const char* music, int width, int height, int flag) {
    qor::Options& o = qor::CurrentOptions();
    qor::gInit = qor::InitArgs{name ? name : "", music ? music : "", width, height, flag};
    qor::SetDataDir(o.dataDir);
    qor::render::Init(width, height);
    if (o.shot || o.bench) {
        qor::SetSoundLevel(o.level);
        return;
    }
    qor::Session& s = qor::CurrentSession();
    if (music && *music) s.music.Load(qor::DataPath(music));
    if (!o.renderFile.empty()) {
        qor::render::SetDrawing(false);   // the loading screen is not part of a video
        return;
    }

    qor::platform::WindowSettings w;
    w.title = name && *name ? name : "teq";
    w.width = width;
    w.height = height;
    w.scale = o.scale;
    w.fullscreen = o.fullscreen;
    w.vsync = flag == 1;
    std::string why;
    if (qor::platform::OpenWindow(w, &why)) {
        qor::render::SetPresenter(qor::PresentToWindow, nullptr);
    } else {
        std::fprintf(stderr, "teq: no display (%s); rendering the demo to teq.mp4 instead\n",
                     why.empty() ? "no window" : why.c_str());
        o.renderFile = "teq.mp4";
        qor::render::SetDrawing(false);
    }
}

void Run(FrameFunction frame) {
    const qor::Options& o = qor::CurrentOptions();
    if (o.bench)
        qor::RunBench(frame);
    else if (o.shot)
        qor::RunShot(frame);
    else if (!o.renderFile.empty())
        qor::RunRender(frame);
    else
        qor::RunPlay(frame);
}

float GetSoundLevel() { return qor::gLevel; }

int GetFPS(double t) {
    int n = 0;
    for (double shown : qor::gShown)
        if (shown > t - 1.0 && shown <= t) ++n;
    return n;
}
