// The run's state, held in one place: the command line as parsed and what the
// demo told of itself (both fixed from then on), the mode chosen once at Initialize, the music and its level meter,
// and what GetSoundLevel and GetFPS report. The modes get it by reference and
// return their faults as text to one place (FinishRun) that prints them and
// picks the exit code.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "audio/level.h"
#include "audio/music.h"
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

struct RunState {
    RunState(const Options& parsed, const DemoFacts& facts) : options(parsed), demo(facts), music(facts.seconds) {}

    const Options options;
    const DemoFacts demo;
    Mode mode = Mode::Play;
    std::string renderFile;   // Render: --render FILE, or teq.mp4 when no window opened
    audio::Music music;
    audio::LevelMeter meter;
    float level = 0.0f;         // what GetSoundLevel returns
    std::deque<double> shown;   // times of the frames shown in the last second (GetFPS)
    std::string error;          // why the run failed; empty when it did not
    int exitCode = 1;           // the process's exit code when it failed
};

// Makes the run's state from the parsed command line and the demo's facts
// (before WinMain); fills the demo's frame-rate format for --show-fps.
void StartRun(const Options& options, const DemoFacts& demo);

// The run's state (StartRun must have been called).
RunState& State();

// After the demo returns: prints the run's fault, if any, as one line and
// gives the process's exit code (exitCode then, else the demo's own).
int FinishRun(int demoCode);

// The modes. Each returns false with the reason in `error` when it fails.
bool RunPlay(RunState& run, FrameFunction frame, std::string& error);
bool RunRender(RunState& run, FrameFunction frame, std::string& error);
bool RunShot(RunState& run, FrameFunction frame, std::string& error);
bool RunBench(RunState& run, FrameFunction frame, std::string& error);

// The sound level for the frame heard at song frame `position`: the fixed
// --level if one was given, else the meter's.
float LevelFor(const RunState& run, int64_t position);

// Counts a shown frame at time t (seconds) for GetFPS.
void NoteFrameShown(RunState& run, double t);

}   // namespace qor
