// Initialize and Run: set the engine up from the demo's arguments and the
// command line, then drive the frame function in the chosen mode.
#include <algorithm>
#include <deque>

#include "assets/datadir.h"
#include "engine/qor.h"
#include "render/render.h"
#include "run/modes.h"
#include "run/options.h"

namespace qor {

namespace {
InitArgs gInit;
float gLevel = 0.0f;
std::deque<double> gShown;   // times of the frames shown in the last second
}  // namespace

const InitArgs& InitArguments() { return gInit; }

void SetSoundLevel(float level) { gLevel = level; }

void NoteFrameShown(double t) {
    gShown.push_back(t);
    while (!gShown.empty() && gShown.front() <= t - 1.0) gShown.pop_front();
}

}  // namespace qor

void Initialize(const char* name, const char* music, int width, int height, int flag) {
    const qor::Options& o = qor::CurrentOptions();
    qor::gInit = qor::InitArgs{name ? name : "", music ? music : "", width, height, flag};
    qor::SetDataDir(o.dataDir);
    qor::render::Init(width, height);
    if (o.shot || o.bench) qor::SetSoundLevel(o.level);
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
