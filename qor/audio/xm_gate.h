// The module gate: reads an XM file's header, pattern and instrument headers
// before the player sees it, so that absurd counts are refused before they
// cost memory and a damaged file is named as damaged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qor::audio {

struct XmCheck {
    enum Verdict {
        Whole,     // every header in range, every byte the headers claim is there
        Damaged,   // headers in range but the data is cut short: playable as far as it goes
        Refused,   // not given to the player
    };
    Verdict verdict = Refused;
    std::string problem;         // what is wrong (empty when Whole), e.g. "pattern 3 of 40 is cut short"
    uint64_t patternCells = 0;   // rows x channels over all patterns
    uint64_t sampleBytes = 0;    // sample data present in the file
};

inline constexpr int kXmMaxChannels = 32;
inline constexpr int kXmMaxPatterns = 256;
inline constexpr int kXmMaxInstruments = 128;
inline constexpr int kXmMaxSamples = 16;   // per instrument
inline constexpr int kXmMaxOrders = 256;

XmCheck CheckXm(const uint8_t* data, size_t size);

}   // namespace qor::audio
