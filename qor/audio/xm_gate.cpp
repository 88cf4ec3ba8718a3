// The walk follows the file the way FastTracker 2 lays it out: the header,
// then each pattern (header, packed cells), then each instrument (header,
// sample headers, sample data). Every offset is 64-bit and checked against the
// size before it is read.
#include "audio/xm_gate.h"

#include <cstring>

namespace qor::audio {

namespace {

struct Bytes {
    const uint8_t* data;
    uint64_t size;
    bool Has(uint64_t at, uint64_t n) const { return at <= size && n <= size - at; }
    uint32_t U16(uint64_t at) const { return uint32_t(data[at]) | uint32_t(data[at + 1]) << 8; }
    uint32_t U32(uint64_t at) const { return U16(at) | U16(at + 2) << 16; }
};

XmCheck Refuse(std::string problem) {
    XmCheck c;
    c.verdict = XmCheck::Refused;
    c.problem = std::move(problem);
    return c;
}

std::string OutOf(const char* what, uint32_t value, int lo, int hi) {
    return std::string(what) + " " + std::to_string(value) + " is outside " + std::to_string(lo) + ".." +
           std::to_string(hi);
}

std::string Nth(const char* what, uint32_t i, uint32_t n) {
    return std::string(what) + " " + std::to_string(i + 1) + " of " + std::to_string(n);
}

}   // namespace

XmCheck CheckXm(const uint8_t* data, size_t size) {
    const Bytes b{data, size};
    static const char kText[] = "Extended Module: ";
    if (!b.Has(0, 17) || std::memcmp(data, kText, 17) != 0)
        return Refuse(size == 0 ? "empty file" : "not an XM module (no \"Extended Module: \" header)");
    if (!b.Has(0, 80)) return Refuse("cut short inside its header (" + std::to_string(size) + " bytes)");
    const uint32_t headerSize = b.U32(60);
    // The fields up to the order table take 20 bytes; the table itself may be short.
    if (headerSize < 20 || headerSize > 4096) return Refuse(OutOf("header size", headerSize, 20, 4096));
    const uint32_t songLength = b.U16(64);
    const uint32_t channels = b.U16(68);
    const uint32_t patterns = b.U16(70);
    const uint32_t instruments = b.U16(72);
    const uint32_t speed = b.U16(76);
    const uint32_t bpm = b.U16(78);
    if (songLength < 1 || songLength > kXmMaxOrders) return Refuse(OutOf("song length", songLength, 1, kXmMaxOrders));
    if (channels < 1 || channels > kXmMaxChannels) return Refuse(OutOf("channel count", channels, 1, kXmMaxChannels));
    if (patterns > kXmMaxPatterns) return Refuse(OutOf("pattern count", patterns, 0, kXmMaxPatterns));
    if (instruments > kXmMaxInstruments) return Refuse(OutOf("instrument count", instruments, 0, kXmMaxInstruments));
    if (speed < 1 || speed > 31) return Refuse(OutOf("speed", speed, 1, 31));
    if (bpm < 32 || bpm > 255) return Refuse(OutOf("tempo", bpm, 32, 255));

    XmCheck c;
    c.verdict = XmCheck::Whole;
    auto cut = [&](std::string where) {
        c.verdict = XmCheck::Damaged;
        c.problem = "cut short in " + where;
        return c;
    };
    uint64_t at = 60 + uint64_t(headerSize);
    if (!b.Has(0, at)) return cut("its header");
    for (uint32_t p = 0; p < patterns; ++p) {
        if (!b.Has(at, 9)) return cut(Nth("pattern", p, patterns));
        const uint32_t length = b.U32(at);
        const uint32_t rows = b.U16(at + 5);
        const uint32_t packed = b.U16(at + 7);
        if (length < 9 || length > 4096)
            return Refuse(Nth("pattern", p, patterns) + ": " + OutOf("header size", length, 9, 4096));
        if (rows < 1 || rows > 256)
            return Refuse(Nth("pattern", p, patterns) + ": " + OutOf("row count", rows, 1, 256));
        c.patternCells += uint64_t(rows) * channels;
        at += length;
        if (!b.Has(at, packed)) return cut(Nth("pattern", p, patterns));
        at += packed;
    }
    for (uint32_t i = 0; i < instruments; ++i) {
        if (!b.Has(at, 29)) return cut(Nth("instrument", i, instruments));
        const uint32_t length = b.U32(at);
        const uint32_t samples = b.U16(at + 27);
        if (length < 29 || length > 4096)
            return Refuse(Nth("instrument", i, instruments) + ": " + OutOf("header size", length, 29, 4096));
        if (samples > kXmMaxSamples)
            return Refuse(Nth("instrument", i, instruments) + ": " + OutOf("sample count", samples, 0, kXmMaxSamples));
        if (samples == 0) {
            if (!b.Has(at, length)) return cut(Nth("instrument", i, instruments));
            at += length;
            continue;
        }
        if (length < 33)
            return Refuse(Nth("instrument", i, instruments) + ": " + OutOf("header size", length, 33, 4096) +
                          " for an instrument with samples");
        if (!b.Has(at, 33)) return cut(Nth("instrument", i, instruments));
        const uint32_t sampleHeader = b.U32(at + 29);
        if (sampleHeader < 40 || sampleHeader > 4096)
            return Refuse(Nth("instrument", i, instruments) + ": " +
                          OutOf("sample header size", sampleHeader, 40, 4096));
        at += length;
        uint64_t dataBytes = 0;
        for (uint32_t s = 0; s < samples; ++s) {
            if (!b.Has(at, sampleHeader)) return cut(Nth("instrument", i, instruments));
            dataBytes += b.U32(at);
            at += sampleHeader;
        }
        if (!b.Has(at, dataBytes)) {
            c.sampleBytes += size - at;
            return cut("the samples of " + Nth("instrument", i, instruments));
        }
        c.sampleBytes += dataBytes;
        at += dataBytes;
    }
    return c;
}

}   // namespace qor::audio
