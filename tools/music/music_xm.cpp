// XM writer: the byte layout FastTracker 2 saves (header size 276, instrument
// header size 263, 40-byte sample headers, space-padded names, the sample
// name's length in each sample header's reserved byte, delta-coded data).
#include "music_xm.h"

#include <stdexcept>

namespace xm {
namespace {

class Out {
public:
    explicit Out(std::vector<uint8_t>& bytes) : b_(bytes) {}
    void U8(unsigned v) { b_.push_back(static_cast<uint8_t>(v)); }
    void U16(unsigned v) {
        U8(v & 0xFF);
        U8((v >> 8) & 0xFF);
    }
    void U32(uint32_t v) {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
    void Text(const std::string& s, size_t width) {   // padded with spaces
        for (size_t i = 0; i < width; ++i) U8(i < s.size() ? static_cast<uint8_t>(s[i]) : ' ');
    }
    void Zeros(size_t n) { b_.insert(b_.end(), n, 0); }
    size_t Size() const { return b_.size(); }

private:
    std::vector<uint8_t>& b_;
};

void Check(bool ok, const char* what) {
    if (!ok) throw std::invalid_argument(std::string("xm: ") + what);
}

// FT2 packing: a cell with all five fields is stored raw, any other cell as a
// mask byte (bit 7 set, bits 0..4 = which fields follow) and those fields.
void PackCell(const Cell& c, std::vector<uint8_t>& out) {
    if (c.note && c.instrument && c.volume && c.effect && c.param) {
        out.insert(out.end(), {c.note, c.instrument, c.volume, c.effect, c.param});
        return;
    }
    uint8_t mask = 0x80;
    if (c.note) mask |= 1;
    if (c.instrument) mask |= 2;
    if (c.volume) mask |= 4;
    if (c.effect) mask |= 8;
    if (c.param) mask |= 16;
    out.push_back(mask);
    if (c.note) out.push_back(c.note);
    if (c.instrument) out.push_back(c.instrument);
    if (c.volume) out.push_back(c.volume);
    if (c.effect) out.push_back(c.effect);
    if (c.param) out.push_back(c.param);
}

void WriteEnvelopePoints(Out& o, const Envelope& e) {
    Check(e.points.size() <= 12, "envelope has more than 12 points");
    for (size_t i = 0; i < 12; ++i) {
        o.U16(i < e.points.size() ? e.points[i].tick : 0);
        o.U16(i < e.points.size() ? e.points[i].value : 0);
    }
}

uint8_t EnvelopeType(const Envelope& e) {
    if (e.points.empty()) return 0;
    return static_cast<uint8_t>(1 | (e.sustain >= 0 ? 2 : 0) | (e.loopStart >= 0 ? 4 : 0));
}

void WriteInstrument(Out& o, const Instrument& ins) {
    const Sample& s = ins.sample;
    Check(ins.name.size() <= 22 && s.name.size() <= 22, "name longer than 22");
    Check(!s.data.empty(), "instrument without sample data");
    Check(s.loopStart + s.loopLength <= s.data.size(), "loop beyond the sample");
    const size_t start = o.Size();
    o.U32(263);
    o.Text(ins.name, 22);
    o.U8(0);       // type
    o.U16(1);      // samples
    o.U32(40);     // sample header size
    o.Zeros(96);   // every note plays sample 0
    WriteEnvelopePoints(o, ins.volumeEnvelope);
    WriteEnvelopePoints(o, ins.panningEnvelope);
    o.U8(static_cast<unsigned>(ins.volumeEnvelope.points.size()));
    o.U8(static_cast<unsigned>(ins.panningEnvelope.points.size()));
    for (const Envelope* e : {&ins.volumeEnvelope, &ins.panningEnvelope}) {
        o.U8(e->sustain >= 0 ? e->sustain : 0);
        o.U8(e->loopStart >= 0 ? e->loopStart : 0);
        o.U8(e->loopEnd >= 0 ? e->loopEnd : 0);
    }
    o.U8(EnvelopeType(ins.volumeEnvelope));
    o.U8(EnvelopeType(ins.panningEnvelope));
    o.U8(ins.vibratoType);
    o.U8(ins.vibratoSweep);
    o.U8(ins.vibratoDepth);
    o.U8(ins.vibratoRate);
    o.U16(ins.fadeout);
    o.Zeros(22);
    Check(o.Size() - start == 263, "instrument header size");

    // Sample header; lengths in bytes for 16-bit data.
    const bool looped = s.loopLength > 0;
    o.U32(static_cast<uint32_t>(s.data.size() * 2));
    o.U32(looped ? s.loopStart * 2 : 0);
    o.U32(looped ? s.loopLength * 2 : 0);
    o.U8(s.volume);
    o.U8(static_cast<uint8_t>(s.finetune));
    o.U8((looped ? (s.pingPong ? 2 : 1) : 0) | 0x10);
    o.U8(s.panning);
    o.U8(static_cast<uint8_t>(s.relativeNote));
    o.U8(static_cast<unsigned>(s.name.size()));   // never 0xAD: names are <= 22
    o.Text(s.name, 22);

    int16_t prev = 0;
    for (int16_t v : s.data) {
        o.U16(static_cast<uint16_t>(static_cast<uint16_t>(v) - static_cast<uint16_t>(prev)));
        prev = v;
    }
}

}   // namespace

std::vector<uint8_t> Write(const Module& m) {
    Check(m.channels >= 2 && m.channels <= 32 && m.channels % 2 == 0, "channel count");
    Check(!m.orders.empty() && m.orders.size() <= 256, "order count");
    Check(m.patterns.size() <= 256 && m.instruments.size() <= 128, "too many patterns or instruments");
    Check(m.name.size() <= 20, "module name longer than 20");
    Check(m.restartPosition < m.orders.size(), "restart position");
    for (uint8_t p : m.orders) Check(p < m.patterns.size(), "order names a missing pattern");

    std::vector<uint8_t> bytes;
    Out o(bytes);
    o.Text("Extended Module: ", 17);
    o.Text(m.name, 20);
    o.U8(0x1A);
    o.Text("FastTracker v2.00", 20);
    o.U16(0x0104);
    o.U32(276);
    o.U16(static_cast<unsigned>(m.orders.size()));
    o.U16(m.restartPosition);
    o.U16(static_cast<unsigned>(m.channels));
    o.U16(static_cast<unsigned>(m.patterns.size()));
    o.U16(static_cast<unsigned>(m.instruments.size()));
    o.U16(1);   // linear frequency table
    o.U16(static_cast<unsigned>(m.defaultSpeed));
    o.U16(static_cast<unsigned>(m.defaultBpm));
    for (size_t i = 0; i < 256; ++i) o.U8(i < m.orders.size() ? m.orders[i] : 0);

    for (const Pattern& p : m.patterns) {
        Check(p.rows >= 1 && p.rows <= kMaxRows, "pattern row count");
        Check(p.cells.size() == static_cast<size_t>(p.rows * m.channels), "pattern cell count");
        std::vector<uint8_t> packed;
        for (const Cell& c : p.cells) PackCell(c, packed);
        Check(packed.size() <= 0xFFFF, "packed pattern too large");
        o.U32(9);
        o.U8(0);
        o.U16(static_cast<unsigned>(p.rows));
        o.U16(static_cast<unsigned>(packed.size()));
        bytes.insert(bytes.end(), packed.begin(), packed.end());
    }
    for (const Instrument& ins : m.instruments) WriteInstrument(o, ins);
    return bytes;
}

}   // namespace xm
