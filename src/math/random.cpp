#include "math/random.h"

uint32_t randomState = 1;

int Random() {
    randomState = randomState * 214013u + 2531011u;
    return int((randomState >> 16) & 0x7FFF);
}
