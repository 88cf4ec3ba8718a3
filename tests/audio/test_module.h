// A small XM module made in code for the music tests: one square-wave
// instrument, one pattern of `rows` rows at speed 3 and 125 BPM (0.06 s a
// row), a rising note on every row so that every moment of the song sounds
// different.
#pragma once

#include <cstdint>
#include <vector>

std::vector<uint8_t> MakeTestModule(int rows);

constexpr double kTestRowSeconds = 0.06;
