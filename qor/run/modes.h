// The ways Run can drive the frame function; chosen from the command line.
#pragma once

#include <string>

#include "engine/qor.h"

namespace qor {

void RunPlay(FrameFunction frame);     // window + music, real time (play.cpp)
void RunRender(FrameFunction frame);   // offline video or PNG frames + WAV (video.cpp)
void RunShot(FrameFunction frame);     // --shot T FILE.png (shot.cpp)
void RunBench(FrameFunction frame);    // --bench (bench.cpp)

// Sound level that GetSoundLevel returns while a mode drives the frames.
void SetSoundLevel(float level);

// Counts a shown frame at time t (seconds) for GetFPS.
void NoteFrameShown(double t);

// Runs the frames before `until` at 60 fps with drawing off and nothing shown,
// so that a run starting at `until` inherits the states, camera, transforms and
// random numbers that playback from 0 would have left.
void FastForward(FrameFunction frame, double until);

}  // namespace qor

namespace qor {

// What the demo passed to Initialize.
struct InitArgs {
    std::string name;
    std::string music;
    int width = 320;
    int height = 240;
    int flag = 0;   // 1: vertical sync
};
const InitArgs& InitArguments();

}  // namespace qor
