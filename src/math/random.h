// The demo's random numbers: the sequence that Microsoft's C runtime rand()
// gives without srand (a linear congruential generator, 15-bit results),
// computed here so that every platform draws the same numbers.
#pragma once

#include <cstdint>

int Random();   // 0..32767, the next number; randomState = 1 starts the sequence again

// The generator's state: the one piece of the demo's own state that frames
// inherit besides the engine's (handed to the engine to save and restore on
// a seek, engine/demo.h).
extern uint32_t randomState;
