// Placeholder until the composition lands: no module bytes.
#include "music.h"

std::vector<uint8_t> GenMusicXm() { return {}; }
