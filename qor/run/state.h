// The run's state, held in one place: the command line as parsed and what the
// demo told of itself (both fixed from then on), the mode chosen once at
// Initialize, the soundtrack, and what GetSoundLevel and GetFPS report. The
// modes get it by reference and return how they ended (Outcome), which Run
// keeps for FinishRun to print and turn into the exit code.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <utility>

#include "audio/soundtrack.h"
#include "engine/demo.h"
#include "engine/qor.h"
#include "run/options.h"

namespace qor {

enum class Mode {
    Play,     // window + music, real time (play.cpp)
    Render,   // offline video or PNG frames + WAV (video.cpp)
    Shot,     // --shot T FILE.png (shot.cpp)
    Bench,    // --bench (bench.cpp)
};

// How a mode ended: nothing to say, or why it failed and the exit code.
struct Outcome {
    std::string error;   // empty when the mode did its work
    int exitCode = 1;    // the process's exit code when it failed

    static Outcome Ok() { return {}; }
    static Outcome Failed(std::string why, int code = 1) { return {std::move(why), code}; }
};

struct RunState {
    RunState(const Options& parsed, const DemoFacts& facts) : options(parsed), demo(facts), soundtrack(facts.seconds) {}

    const Options options;
    const DemoFacts demo;
    Mode mode = Mode::Play;
    std::string renderFile;         // Render: --render FILE, or teq.mp4 when no window opened
    audio::Soundtrack soundtrack;   // the music and its level, or the fixed level
    float level = 0.0f;             // what GetSoundLevel returns: the drawn frame's level
    std::deque<double> shown;       // times of the frames shown in the last second (GetFPS)
    Outcome outcome;                // how the mode ended
};

// Makes the run's state from the parsed command line and the demo's facts
// (before WinMain); fills the demo's frame-rate format for --show-fps.
void StartRun(const Options& options, const DemoFacts& demo);

// The run's state (StartRun must have been called).
RunState& State();

// After the demo returns: prints the mode's fault, if any, as one line and
// gives the process's exit code (the outcome's then, else the demo's own).
int FinishRun(int demoCode);

// The modes.
Outcome RunPlay(RunState& run, FrameFunction frame);
Outcome RunRender(RunState& run, FrameFunction frame);
Outcome RunShot(RunState& run, FrameFunction frame);
Outcome RunBench(RunState& run, FrameFunction frame);

// Counts a shown frame at time t (seconds) for GetFPS.
void NoteFrameShown(RunState& run, double t);

}   // namespace qor
