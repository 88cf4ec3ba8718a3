// The demo's music module, composed and written as an XM file in code.
#pragma once

#include <cstdint>
#include <vector>

// The complete bytes of "distortion.xm". Deterministic: same bytes every run.
std::vector<uint8_t> GenMusicXm();
