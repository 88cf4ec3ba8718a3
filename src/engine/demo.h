// What the engine needs to know of the demo beyond the calls it makes, in one
// record that the demo defines and the engine's entry reads once, before it
// calls WinMain (engine/win.h). The engine reads nothing else of the demo's
// and writes only through the pointers given here.
#pragma once

#include <cstddef>

struct DemoFacts {
    const char* music;           // the module Initialize names; its folder is the default data folder
    double seconds;              // the timeline's length: a run without music, --bench's end
    const float* windowBounds;   // rising times (s) at which the set of drawing windows changes
    int windowBoundCount;        // (--bench reports its mean frame time between them)
    char* fpsFormat;             // the frame-rate format the demo formats with (n, then t as a
    size_t fpsFormatSize;        // double); the engine fills it for --show-fps
    void* inherited;             // the demo's own state that frames inherit besides the engine's:
    size_t inheritedSize;        // saved and restored with the engine's states on a seek
};

// Defined by the demo.
const DemoFacts& Demo();
