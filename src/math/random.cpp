#include "math/random.h"

#include <cstdint>

namespace {
uint32_t gRandomState = 1;
}

int Random() {
    gRandomState = gRandomState * 214013u + 2531011u;
    return int((gRandomState >> 16) & 0x7FFF);
}

void RestartRandom() { gRandomState = 1; }
