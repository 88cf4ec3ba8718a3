// The demo's random numbers: the sequence that Microsoft's C runtime rand()
// gives without srand (a linear congruential generator, 15-bit results),
// computed here so that every platform draws the same numbers.
#pragma once

int Random();   // 0..32767, the next number; randomState = 1 starts the sequence again
