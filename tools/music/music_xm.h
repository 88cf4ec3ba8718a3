// XM module writer. Owns the in-memory form of an extended module (patterns,
// instruments, samples) and serialises it byte for byte the way FastTracker 2
// saves a file, so players recognise it and apply FT2's playback rules.
// Does not compose or synthesise anything; see music.cpp and music_synth.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace xm {

// Note values of a cell: 1..96 = C-0..B-7, 97 = key off.
constexpr uint8_t kKeyOff = 97;
constexpr int kMaxRows = 256;

// Effect numbers (effect column), as FT2 shows them.
enum Fx : uint8_t {
    FxArpeggio = 0x0,          // 0xy
    FxPortaUp = 0x1,           // 1xx
    FxPortaDown = 0x2,         // 2xx
    FxTonePorta = 0x3,         // 3xx
    FxVibrato = 0x4,           // 4xy
    FxPanning = 0x8,           // 8xx, 0..255
    FxSampleOffset = 0x9,      // 9xx, xx * 256 sample frames
    FxVolSlide = 0xA,          // Axy
    FxVolume = 0xC,            // Cxx, 0..64
    FxExtended = 0xE,          // Exy
    FxSpeedBpm = 0xF,          // Fxx: xx < 0x20 speed (ticks/row), else BPM
    FxGlobalVolume = 0x10,     // Gxx, 0..64
    FxGlobalVolSlide = 0x11,   // Hxy
    FxKeyOff = 0x14,           // Kxx, key off at tick xx
    FxRetrig = 0x1B,           // Rxy
};

// Volume column: 0x10 + v sets volume v (0..64); 0xC0 + p sets panning p*17.
inline uint8_t VolSet(int v) { return static_cast<uint8_t>(0x10 + v); }

struct Cell {
    uint8_t note = 0;         // 0 none, 1..96, 97 key off
    uint8_t instrument = 0;   // 0 none, 1..128
    uint8_t volume = 0;       // volume column byte, 0 none
    uint8_t effect = 0;
    uint8_t param = 0;
    bool operator==(const Cell&) const = default;
};

struct Pattern {
    int rows = 64;             // 1..256
    std::vector<Cell> cells;   // rows * channels, row-major
    bool operator==(const Pattern&) const = default;
};

struct Sample {
    std::string name;            // up to 22 characters
    std::vector<int16_t> data;   // 16-bit sample frames
    uint32_t loopStart = 0;      // frames
    uint32_t loopLength = 0;     // frames; 0 = no loop
    bool pingPong = false;
    uint8_t volume = 64;       // 0..64
    int8_t finetune = 0;       // 1/128 semitone
    uint8_t panning = 128;     // 0..255
    int8_t relativeNote = 0;   // semitones
};

struct EnvelopePoint {
    uint16_t tick;    // x, ticks from note start
    uint16_t value;   // y, 0..64
};

struct Envelope {
    std::vector<EnvelopePoint> points;   // at most 12; empty = off
    int sustain = -1;                    // point index or -1
    int loopStart = -1, loopEnd = -1;    // point indices or -1
};

struct Instrument {
    std::string name;   // up to 22 characters
    Sample sample;      // one sample for every note
    Envelope volumeEnvelope;
    Envelope panningEnvelope;
    uint8_t vibratoType = 0, vibratoSweep = 0, vibratoDepth = 0, vibratoRate = 0;
    uint16_t fadeout = 0;   // subtracted from 32768 per tick after key off
};

struct Module {
    std::string name;   // up to 20 characters
    int channels = 8;   // even, 2..32
    int defaultSpeed = 6;
    int defaultBpm = 125;
    uint16_t restartPosition = 0;
    std::vector<uint8_t> orders;   // pattern index per song position, 1..256 entries
    std::vector<Pattern> patterns;
    std::vector<Instrument> instruments;
};

// Serialises the module. Throws std::invalid_argument on values the format
// cannot hold (too many channels, rows, orders, points, bad pattern sizes).
std::vector<uint8_t> Write(const Module& module);

}   // namespace xm
