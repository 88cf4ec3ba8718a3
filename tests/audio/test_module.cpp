#include "test_module.h"

#include <cstring>
#include <string>

namespace {

struct Bytes {
    std::vector<uint8_t> b;
    void u8(int v) { b.push_back(static_cast<uint8_t>(v)); }
    void u16(int v) {
        u8(v & 255);
        u8((v >> 8) & 255);
    }
    void u32(uint32_t v) {
        u16(static_cast<int>(v & 0xFFFF));
        u16(static_cast<int>(v >> 16));
    }
    void text(const std::string& s, size_t n, char pad) {
        for (size_t i = 0; i < n; ++i) u8(i < s.size() ? s[i] : pad);
    }
    void zeros(size_t n) { b.insert(b.end(), n, 0); }
};

}   // namespace

std::vector<uint8_t> MakeTestModule(int rows) {
    Bytes x;
    x.text("Extended Module: ", 17, ' ');
    x.text("run test", 20, ' ');
    x.u8(0x1A);
    x.text("FastTracker v2.00", 20, ' ');
    x.u16(0x0104);
    x.u32(276);
    x.u16(1);       // song length
    x.u16(0);       // restart
    x.u16(2);       // channels
    x.u16(1);       // patterns
    x.u16(1);       // instruments
    x.u16(1);       // linear frequencies
    x.u16(3);       // speed
    x.u16(125);     // BPM
    x.zeros(256);   // order table: pattern 0

    // Pattern: a note on channel 0 every row, rising, louder and softer.
    Bytes p;
    for (int r = 0; r < rows; ++r) {
        p.u8(37 + r % 48);                // note
        p.u8(1);                          // instrument
        p.u8(0x10 + 16 + (r * 7) % 49);   // volume 16..64
        p.u8(0);
        p.u8(0);
        p.u8(0x80);   // channel 1 empty
    }
    x.u32(9);
    x.u8(0);
    x.u16(rows);
    x.u16(static_cast<int>(p.b.size()));
    x.b.insert(x.b.end(), p.b.begin(), p.b.end());

    // Instrument with one looped 8-bit square wave of 32 samples.
    const int length = 32;
    x.u32(263);
    x.text("square", 22, ' ');
    x.u8(0);
    x.u16(1);
    x.u32(40);
    x.zeros(96);   // every note plays sample 0
    x.zeros(48 + 48 + 2 + 3 + 3 + 2 + 4);
    x.u16(0);   // fadeout
    x.zeros(22);
    x.u32(length);
    x.u32(0);        // loop start
    x.u32(length);   // loop length
    x.u8(64);        // volume
    x.u8(0);         // finetune
    x.u8(1);         // forward loop, 8-bit
    x.u8(128);       // panning
    x.u8(0);         // relative note
    x.u8(6);         // name length
    x.text("square", 22, ' ');
    int previous = 0;
    for (int i = 0; i < length; ++i) {
        const int s = i < length / 2 ? 60 : -60;
        x.u8((s - previous) & 255);
        previous = s;
    }
    return x.b;
}
