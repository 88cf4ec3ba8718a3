// "distortion.xm": an electronic track in A minor, composed here row by row.
// The sections follow the demo's scenes (music_song.h): intro, build, groove,
// theme, break, riser, the drop under the tunnel flight, a stutter, a second
// theme, a breakdown under the credits, a short return and a fading outro.
// Instruments come from music_synth.h; the grid is cut into 64-row patterns,
// identical patterns are stored once, and music_xm.h writes the bytes.
#include "music.h"

#include "music_song.h"
#include "music_synth.h"
#include "music_xm.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <vector>

namespace {

using song::kChannels;

enum Channel {
  ChKick, ChKick2, ChSnare, ChHat, ChPerc, ChFx, ChBass,
  ChPad1, ChPad2, ChPad3, ChLead, ChEcho, ChArp, ChBell,
};

// Panning per channel (0 left .. 255 right).
constexpr std::array<int, kChannels> kPan = {
    128, 128, 136, 184, 88, 128, 128, 56, 128, 200, 112, 208, 48, 176,
};

enum Instrument {
  InKick = 1, InSnare, InClap, InHatC, InHatO, InCrash, InNoise,
  InBass, InPad, InLead, InPluck, InBell,
};

// MIDI note numbers.
enum : int {
  D1 = 26, E1 = 28, F1 = 29, G1 = 31, A1 = 33, C2 = 36, D2 = 38, E2 = 40,
  G3 = 55, A3 = 57, C4 = 60, E4 = 64, A4 = 69, C5 = 72, E5 = 76, A5 = 81,
};

struct Chord {
  int bass;                 // root, octave 1-2
  std::array<int, 3> pad;   // voicing around middle C
  std::array<int, 4> arp;   // tones for arpeggios, an octave above the pad
};

const Chord kAm = {A1, {57, 60, 64}, {69, 72, 76, 81}};
const Chord kF = {F1, {57, 60, 65}, {65, 69, 72, 77}};
const Chord kC = {C2, {55, 60, 64}, {67, 72, 76, 79}};
const Chord kG = {G1, {55, 59, 62}, {67, 71, 74, 79}};
const Chord kE = {E1, {56, 59, 64}, {64, 68, 71, 76}};
const Chord kDm = {D1, {57, 62, 65}, {62, 65, 69, 74}};
const Chord kEm = {E1, {55, 59, 64}, {64, 67, 71, 76}};

// A melody note: row within its phrase, MIDI note, length in rows.
struct Note {
  int row, midi, length;
};

// The theme: eight bars over Am F C G Am F C G.
const std::vector<Note> kTheme = {
    {0, 76, 3}, {3, 81, 3}, {6, 79, 2}, {8, 76, 4}, {12, 74, 2}, {14, 72, 2},
    {16, 72, 3}, {19, 77, 3}, {22, 76, 2}, {24, 72, 4}, {28, 69, 2}, {30, 72, 2},
    {32, 76, 3}, {35, 79, 3}, {38, 76, 2}, {40, 79, 4}, {44, 84, 2}, {46, 83, 2},
    {48, 79, 6}, {54, 74, 2}, {56, 71, 4}, {60, 74, 4},
    {64, 76, 3}, {67, 81, 3}, {70, 79, 2}, {72, 76, 4}, {76, 74, 2}, {78, 72, 2},
    {80, 72, 3}, {83, 77, 3}, {86, 81, 2}, {88, 79, 4}, {92, 77, 2}, {94, 76, 2},
    {96, 76, 3}, {99, 79, 3}, {102, 84, 2}, {104, 83, 4}, {108, 79, 2}, {110, 76, 2},
    {112, 74, 6}, {118, 71, 2}, {120, 74, 4}, {124, 76, 4},
};

// The second theme: eight bars over Dm F C G Dm F C E.
const std::vector<Note> kTheme2 = {
    {0, 81, 2}, {2, 77, 2}, {4, 74, 4}, {8, 77, 2}, {10, 81, 2}, {12, 79, 4},
    {16, 77, 2}, {18, 72, 2}, {20, 69, 4}, {24, 72, 2}, {26, 77, 2}, {28, 76, 4},
    {32, 76, 2}, {34, 79, 2}, {36, 84, 4}, {40, 83, 2}, {42, 79, 2}, {44, 76, 4},
    {48, 74, 8}, {56, 79, 4}, {60, 83, 4},
    {64, 81, 2}, {66, 77, 2}, {68, 74, 4}, {72, 77, 2}, {74, 81, 2}, {76, 84, 4},
    {80, 84, 2}, {82, 81, 2}, {84, 77, 4}, {88, 81, 2}, {90, 84, 2}, {92, 88, 4},
    {96, 88, 2}, {98, 84, 2}, {100, 79, 4}, {104, 83, 2}, {106, 84, 2}, {108, 83, 4},
    {112, 80, 8}, {120, 83, 4}, {124, 88, 4},
};

// The breakdown's bell line: five bars over F G Em Am Am.
const std::vector<Note> kBellLine = {
    {0, 77, 6}, {6, 76, 2}, {8, 72, 8},
    {16, 74, 6}, {22, 76, 2}, {24, 79, 8},
    {32, 79, 6}, {38, 76, 2}, {40, 71, 8},
    {48, 72, 6}, {54, 74, 2}, {56, 76, 8},
    {64, 81, 16},
};

class Composer {
public:
  explicit Composer(int rows) : rows_(rows), cells_(static_cast<size_t>(rows) * kChannels) {}

  int Rows() const { return rows_; }
  xm::Cell& At(int row, int ch) { return cells_[static_cast<size_t>(row) * kChannels + ch]; }
  const std::vector<xm::Cell>& Cells() const { return cells_; }

  // A note with its instrument and volume (0..64); the channel's panning is
  // set again with 8xx, since FT2 resets it to the sample's on every trigger.
  void Play(int row, int ch, int midi, int instrument, int volume, int fx = 0, int param = 0) {
    if (row < 0 || row >= rows_) return;
    xm::Cell& c = At(row, ch);
    c.note = static_cast<uint8_t>(midi - 11);
    c.instrument = static_cast<uint8_t>(instrument);
    c.volume = xm::VolSet(std::clamp(volume, 0, 64));
    c.effect = static_cast<uint8_t>(fx);
    c.param = static_cast<uint8_t>(param);
    if (!fx && !param && kPan[ch] != 128) {
      c.effect = xm::FxPanning;
      c.param = static_cast<uint8_t>(kPan[ch]);
    }
  }
  void Off(int row, int ch) {
    if (row < 0 || row >= rows_) return;
    xm::Cell& c = At(row, ch);
    if (!c.note) c.note = xm::kKeyOff;
  }
  void Volume(int row, int ch, int volume) {
    if (row < 0 || row >= rows_) return;
    At(row, ch).volume = xm::VolSet(std::clamp(volume, 0, 64));
  }
  void VolumeColumn(int row, int ch, uint8_t byte) {
    if (row < 0 || row >= rows_) return;
    At(row, ch).volume = byte;
  }
  void Effect(int row, int ch, int fx, int param) {
    if (row < 0 || row >= rows_) return;
    At(row, ch).effect = static_cast<uint8_t>(fx);
    At(row, ch).param = static_cast<uint8_t>(param);
  }
  // A control effect (tempo, global volume) on any channel whose effect
  // column is free in that row.
  void Control(int row, int fx, int param) {
    static constexpr int kOrder[] = {ChKick, ChKick2, ChFx, ChPerc, ChHat, ChSnare, ChBass, ChBell,
                                     ChArp, ChEcho, ChLead, ChPad3, ChPad2, ChPad1};
    for (int ch : kOrder) {
      xm::Cell& c = At(row, ch);
      if (!c.effect && !c.param) {
        c.effect = static_cast<uint8_t>(fx);
        c.param = static_cast<uint8_t>(param);
        return;
      }
    }
    throw std::logic_error("music: no free effect column for a control effect");
  }

private:
  int rows_;
  std::vector<xm::Cell> cells_;
};

// >> building blocks, each writing one bar (16 rows) or a span from `row`

void FourFloor(Composer& c, int row, int volume, int layer2 = 0) {
  for (int b = 0; b < 4; ++b) {
    c.Play(row + 4 * b, ChKick, C4, InKick, volume);
    if (layer2) c.Play(row + 4 * b, ChKick2, C4, InKick, layer2);
  }
}

void Backbeat(Composer& c, int row, int volume, bool snareLayer) {
  for (int r : {4, 12}) c.Play(row + r, ChSnare, C4, InClap, volume);
  if (snareLayer)
    for (int r : {4, 12}) c.Play(row + r, ChFx, C4, InSnare, volume / 2);
}

// Closed hats on 16ths with accents on the off-beat 8ths; open hats on the
// off-beats when `open`.
void Hats(Composer& c, int row, int volume, bool open) {
  for (int r = 0; r < 16; ++r) {
    if (open && r % 4 == 2) {
      c.Play(row + r, ChHat, C4, InHatO, volume + 4);
      continue;
    }
    const int v = r % 4 == 2 ? volume : r % 2 ? volume * 2 / 3 : volume * 5 / 6;
    c.Play(row + r, ChHat, C4, InHatC, v);
  }
}

void Crash(Composer& c, int row, int volume) { c.Play(row, ChPerc, C4, InCrash, volume); }

// Snare roll over `rows` rows ending at row + rows: 8ths, then 16ths in the
// last half, volume rising from v0 to v1.
void SnareRoll(Composer& c, int row, int rows, int v0, int v1) {
  for (int r = 0; r < rows; ++r) {
    const bool dense = r >= rows / 2;
    if (!dense && r % 2) continue;
    c.Play(row + r, ChSnare, C4, InSnare, v0 + (v1 - v0) * r / std::max(1, rows - 1));
  }
}

// Noise sweep: low-passed noise pitched up two octaves over `rows` rows, its
// volume climbing from v0 to about 50 by fine slides (once per row); cut at
// the end.
void Sweep(Composer& c, int row, int rows, int v0) {
  const int semis = 24, ticks = song::kSpeed - 1; // portamento acts on ticks 1..5
  const int perTick = (semis * 16 + rows * ticks - 1) / (rows * ticks); // xx/16 semitone a tick
  const int perRow = std::clamp((50 - v0 + rows - 2) / (rows - 1), 1, 15);
  c.Play(row, ChFx, 48, InNoise, v0);
  for (int r = 1; r < rows; ++r) {
    xm::Cell& cell = c.At(row + r, ChFx);
    if (r == 1) cell.note = static_cast<uint8_t>(48 + semis - 11);
    cell.effect = xm::FxTonePorta;
    cell.param = static_cast<uint8_t>(r == 1 ? perTick : 0);
    cell.volume = static_cast<uint8_t>(0x90 + perRow); // fine volume slide up
  }
  c.Off(row + rows, ChFx);
}

// Bass patterns over one bar.
void BassOffbeat(Composer& c, int row, int root, int volume) {
  for (int b = 0; b < 4; ++b) {
    c.Play(row + 4 * b + 2, ChBass, root, InBass, volume);
    c.Off(row + 4 * b + 3, ChBass);
  }
}

void BassRolling(Composer& c, int row, int root, int volume) {
  for (int b = 0; b < 4; ++b) {
    c.Play(row + 4 * b + 1, ChBass, root, InBass, volume - 10);
    c.Play(row + 4 * b + 2, ChBass, root + 12, InBass, volume);
    c.Play(row + 4 * b + 3, ChBass, root, InBass, volume - 4);
    c.Off(row + 4 * b + 4, ChBass);
  }
}

void BassLong(Composer& c, int row, int root, int volume, int rows) {
  c.Play(row, ChBass, root, InBass, volume);
  c.Off(row + rows - 1, ChBass);
}

// Pad chord: voices that keep their note are left to sound on.
class Pads {
public:
  void Chord(Composer& c, int row, const ::Chord& chord, int volume) {
    static constexpr int kCh[3] = {ChPad1, ChPad2, ChPad3};
    for (int v = 0; v < 3; ++v) {
      if (held_[v] == chord.pad[v]) {
        c.Volume(row, kCh[v], volume);
      } else {
        c.Play(row, kCh[v], chord.pad[v], InPad, volume);
        held_[v] = chord.pad[v];
      }
    }
  }
  // Gated chord: retriggered on every `step` rows, silent between.
  void Chop(Composer& c, int row, int rows, const ::Chord& chord, int volume, int step) {
    static constexpr int kCh[3] = {ChPad1, ChPad2, ChPad3};
    for (int r = 0; r < rows; r += step) {
      for (int v = 0; v < 3; ++v) {
        c.Play(row + r, kCh[v], chord.pad[v] + 12, InPluck, volume);
        held_[v] = -1;
      }
    }
  }
  // Side-chain pumping: each beat starts at a quarter of `volume`, slides up
  // over two rows (5 ticks each) and is back at `volume` on its last 16th,
  // so the pads breathe with the kick.
  void Pump(Composer& c, int row, int rows, int volume) {
    const int low = volume / 4, slide = std::clamp((volume - low) / 10, 1, 15);
    for (int ch : {ChPad1, ChPad2, ChPad3}) {
      for (int r = 0; r < rows; ++r) {
        const int phase = r % 4;
        c.VolumeColumn(row + r, ch, phase == 0   ? xm::VolSet(low)
                                    : phase == 3 ? xm::VolSet(volume)
                                                 : static_cast<uint8_t>(0x70 + slide));
      }
    }
  }
  void Release(Composer& c, int row) {
    for (int ch : {ChPad1, ChPad2, ChPad3}) c.Off(row, ch);
    held_ = {-1, -1, -1};
  }

private:
  std::array<int, 3> held_ = {-1, -1, -1};
};

// Pluck arpeggio in 16ths over one bar.
void Arp(Composer& c, int row, const Chord& chord, int volume, int rows = 16) {
  static constexpr int kOrder[16] = {0, 2, 1, 3, 2, 1, 3, 2, 0, 2, 1, 3, 2, 3, 1, 2};
  for (int r = 0; r < rows; ++r)
    c.Play(row + r, ChArp, chord.arp[kOrder[r]], InPluck, r % 4 == 0 ? volume : volume * 3 / 4);
}

// A melody on a channel, with an optional echo three rows later.
void Melody(Composer& c, int row, const std::vector<Note>& notes, int from, int to, int ch,
            int instrument, int volume, int echoVolume, int transpose = 0) {
  for (size_t i = 0; i < notes.size(); ++i) {
    const Note& n = notes[i];
    if (n.row < from || n.row >= to) continue;
    const int at = row + n.row - from;
    const bool legato = i + 1 < notes.size() && notes[i + 1].row == n.row + n.length;
    c.Play(at, ch, n.midi + transpose, instrument, volume);
    if (!legato) c.Off(at + n.length, ch);
    if (echoVolume) {
      c.Play(at + 3, ChEcho, n.midi + transpose, instrument, echoVolume);
      if (!legato) c.Off(at + n.length + 3, ChEcho);
    }
  }
}

// >> the sections

void Intro(Composer& c, Pads& pads, int s) {
  const Chord* bars[10] = {&kAm, &kAm, &kF, &kF, &kC, &kC, &kG, &kG, &kF, &kE};
  for (int b = 0; b < 10; ++b) {
    const int row = s + 16 * b;
    pads.Chord(c, row, *bars[b], 54 + b);
    if (b >= 2) Arp(c, row, *bars[b], 28 + 3 * b);
    if (b >= 4 && b < 9) {
      // Bell: a dotted line over the chord's upper tones.
      c.Play(row, ChBell, bars[b]->arp[3], InBell, 22);
      c.Play(row + 6, ChBell, bars[b]->arp[2], InBell, 16);
      c.Play(row + 12, ChBell, bars[b]->arp[1] + 12, InBell, 14);
    }
    if (b >= 5 && b < 9) {
      c.Play(row, ChKick, C4, InKick, 22 + 4 * (b - 5)); // a soft pulse
      c.Play(row + 8, ChKick, C4, InKick, 18 + 4 * (b - 5));
      c.Play(row, ChBass, bars[b]->bass, InBass, 24);
      c.Off(row + 14, ChBass);
    }
    if (b >= 7)
      for (int r = 2; r < 16; r += 4) c.Play(row + r, ChHat, C4, InHatC, 10 + 2 * (b - 7));
  }
  SnareRoll(c, s + 152, 8, 10, 30);
  Sweep(c, s + 144, 16, 6);
}

void Build(Composer& c, Pads& pads, int s) {
  const Chord* bars[4] = {&kAm, &kF, &kG, &kE};
  Crash(c, s, 44);
  for (int b = 0; b < 4; ++b) {
    const int row = s + 16 * b;
    pads.Chord(c, row, *bars[b], 32);
    FourFloor(c, row, 52);
    BassOffbeat(c, row, bars[b]->bass + 12, 44);
    Hats(c, row, 20, false);
    Arp(c, row, *bars[b], 28);
  }
  SnareRoll(c, s + 48, 16, 14, 44);
  Sweep(c, s + 48, 16, 8);
}

void Groove(Composer& c, Pads& pads, int s, const std::vector<const Chord*>& bars, int rows,
            bool lead) {
  Crash(c, s, 40);
  for (int row = s, b = 0; row < s + rows; row += 16, ++b) {
    const Chord& ch = *bars[b % bars.size()];
    const int len = std::min(16, s + rows - row);
    pads.Chord(c, row, ch, 30);
    pads.Pump(c, row, len, 30);
    FourFloor(c, row, 58);
    Backbeat(c, row, 44, false);
    Hats(c, row, 22, true);
    BassRolling(c, row, ch.bass + 12, 46);
    Arp(c, row, ch, 22, len);
    if (lead) {
      // Long lead notes on the chord's top tone.
      c.Play(row, ChLead, ch.arp[2], InLead, 30);
      c.Play(row + 8, ChLead, ch.arp[3], InLead, 26);
      c.Off(row + 15, ChLead);
    }
  }
}

void Theme(Composer& c, Pads& pads, int s) {
  const Chord* bars[6] = {&kAm, &kF, &kC, &kG, &kAm, &kE};
  Crash(c, s, 44);
  for (int b = 0; b < 6; ++b) {
    const int row = s + 16 * b;
    const int len = b == 5 ? 8 : 16;
    pads.Chord(c, row, *bars[b], 28);
    pads.Pump(c, row, len, 28);
    for (int r = 0; r < len; r += 4) c.Play(row + r, ChKick, C4, InKick, 58);
    Backbeat(c, row, 44, false);
    Hats(c, row, 20, true);
    if (b < 5) BassRolling(c, row, bars[b]->bass + 12, 44);
    Arp(c, row, *bars[b], 18, len);
  }
  Melody(c, s, kTheme, 0, 64, ChLead, InLead, 40, 16);
  c.Play(s + 64, ChLead, A4, InLead, 36);
  c.Off(s + 78, ChLead);
  SnareRoll(c, s + 80, 8, 24, 48);
}

void Break(Composer& c, Pads& pads, int s) {
  pads.Release(c, s);
  c.Play(s, ChKick, 48, InKick, 64); // an octave down: a long boom
  Crash(c, s, 40);
  pads.Chop(c, s, 16, kDm, 40, 2);
  c.Play(s, ChBass, D2, InBass, 40);
  c.Off(s + 15, ChBass);
  c.Play(s, ChLead, 81, InLead, 30);
  c.Play(s + 8, ChLead, 77, InLead, 28);
  c.Off(s + 15, ChLead);
}

void Riser(Composer& c, Pads& pads, int s) {
  pads.Chord(c, s, kE, 34);
  for (int r = 0; r < 24; r += 4) c.Play(s + r, ChKick, C4, InKick, 36 + r);
  SnareRoll(c, s, 26, 16, 56);
  Sweep(c, s, 26, 10);
  c.Play(s, ChBass, E2, InBass, 38);
  c.Off(s + 24, ChBass);
  // A breath before the drop.
  pads.Release(c, s + 26);
  c.Off(s + 26, ChLead);
}

void Drop(Composer& c, Pads& pads, int s) {
  const Chord* bars[11] = {&kAm, &kF, &kC, &kG, &kAm, &kF, &kC, &kG, &kF, &kG, &kE};
  for (int b = 0; b < 11; ++b) {
    const int row = s + 16 * b;
    if (b % 4 == 0) Crash(c, row, 48);
    pads.Chord(c, row, *bars[b], 30);
    pads.Pump(c, row, 16, 30);
    FourFloor(c, row, 64, 46);
    Backbeat(c, row, 48, true);
    Hats(c, row, 24, true);
    BassRolling(c, row, bars[b]->bass + 12, 48);
    Arp(c, row, *bars[b], 16);
  }
  c.Play(s, ChKick2, 48, InKick, 56); // the drop's first beat: a low boom
  Melody(c, s, kTheme, 0, 128, ChLead, InLead, 42, 16);
  // Bars 9-11: the lead climbs over F G E.
  Melody(c, s + 128, {{0, 77, 8}, {8, 81, 8}, {16, 79, 8}, {24, 83, 8}, {32, 80, 16}}, 0, 48,
         ChLead, InLead, 40, 16);
  SnareRoll(c, s + 160, 16, 20, 44);
}

void Stutter(Composer& c, Pads& pads, int s) {
  pads.Release(c, s);
  Crash(c, s, 44);
  // Kick on every beat, the last beat in 16ths.
  for (int r = 0; r < 16; r += 4) {
    c.Play(s + r, ChKick, C4, InKick, 64);
    c.Play(s + r, ChKick2, C4, InKick, r ? 40 : 30);
  }
  for (int r = 16; r < 20; ++r) c.Play(s + r, ChKick, C4, InKick, 50 + 3 * (r - 16));
  c.Play(s, ChSnare, C4, InClap, 42);
  // Chopped Am chord and a stuttering lead note.
  pads.Chop(c, s, 16, kAm, 38, 2);
  for (int r = 0; r < 16; r += 1) c.Play(s + r, ChLead, A5, InLead, 40 - 2 * r);
  c.Off(s + 16, ChLead);
  c.Play(s, ChBass, A1 + 12, InBass, 44);
  c.Off(s + 12, ChBass);
  SnareRoll(c, s + 16, 4, 30, 46);
}

void Drop2(Composer& c, Pads& pads, int s) {
  // The bell calls over the first four bars, the lead answers over the next
  // four; both follow the second theme's chords.
  const Chord* bars[11] = {&kDm, &kF, &kC, &kG, &kDm, &kF, &kC, &kE, &kAm, &kAm, &kE};
  for (int b = 0; b < 11; ++b) {
    const int row = s + 16 * b;
    const int len = b == 10 ? 8 : 16;
    if (b % 4 == 0) Crash(c, row, 42);
    pads.Chord(c, row, *bars[b], 28);
    pads.Pump(c, row, len, 28);
    for (int r = 0; r < len; r += 4) {
      c.Play(row + r, ChKick, C4, InKick, 60);
      c.Play(row + r, ChKick2, C4, InKick, 26);
    }
    Backbeat(c, row, 44, false);
    Hats(c, row, 20, b >= 4);
    if (b < 10) BassOffbeat(c, row, bars[b]->bass + 12, 48);
    Arp(c, row, *bars[b], b < 4 ? 30 : 22, len);
  }
  Melody(c, s, kTheme2, 0, 64, ChBell, InBell, 30, 0);
  Melody(c, s + 64, kTheme2, 64, 128, ChLead, InLead, 38, 15);
  Melody(c, s + 128, {{0, 81, 8}, {8, 76, 8}, {16, 72, 4}, {20, 76, 4}, {24, 81, 8}, {32, 76, 4}, {36, 80, 4}},
         0, 40, ChLead, InLead, 36, 14);
  SnareRoll(c, s + 160, 8, 24, 46);
}

void Breakdown(Composer& c, Pads& pads, int s) {
  const Chord* bars[5] = {&kF, &kG, &kEm, &kAm, &kAm};
  c.Play(s, ChKick, 48, InKick, 48);
  Crash(c, s, 34);
  for (int b = 0; b < 5; ++b) {
    const int row = s + 16 * b;
    pads.Chord(c, row, *bars[b], 36);
    BassLong(c, row, bars[b]->bass + 12, 30, 16);
    for (int r = 2; r < 16; r += 4) c.Play(row + r, ChHat, C4, InHatC, 10);
    if (b >= 2) Arp(c, row, *bars[b], 12 + 2 * b);
  }
  Melody(c, s, kBellLine, 0, 80, ChBell, InBell, 40, 0);
}

void Return(Composer& c, Pads& pads, int s) {
  const Chord* bars[3] = {&kF, &kG, &kE};
  for (int b = 0; b < 3; ++b) {
    const int row = s + 16 * b;
    const int len = b == 2 ? 12 : 16;
    pads.Chord(c, row, *bars[b], 32);
    for (int r = 0; r < len; r += 4) c.Play(row + r, ChKick, C4, InKick, 40 + 2 * (r + 16 * b) / 4);
    BassOffbeat(c, row, bars[b]->bass + 12, 40);
    Arp(c, row, *bars[b], 20 + 2 * b, len);
  }
  SnareRoll(c, s + 32, 12, 16, 46);
  Sweep(c, s + 28, 16, 6);
}

void Outro(Composer& c, Pads& pads, int s, int fadeFrom, int fadeTo) {
  // Four bars of groove, then the drums thin out bar by bar under the fade.
  const Chord* bars[8] = {&kAm, &kF, &kC, &kG, &kAm, &kF, &kC, &kAm};
  Crash(c, s, 44);
  for (int b = 0; b < 8; ++b) {
    const int row = s + 16 * b;
    pads.Chord(c, row, *bars[b], 32);
    if (b < 6) {
      pads.Pump(c, row, 16, 32);
      FourFloor(c, row, 56);
    }
    if (b < 5) Backbeat(c, row, 40, false);
    Hats(c, row, 18, b < 4);
    if (b < 7) BassOffbeat(c, row, bars[b]->bass + 12, 42);
    Arp(c, row, *bars[b], 18);
  }
  Melody(c, s, kTheme, 0, 112, ChBell, InBell, 30, 12);
  c.Play(s + 112, ChBell, A5, InBell, 30);
  // Global volume falls linearly to silence.
  for (int r = fadeFrom; r <= fadeTo; ++r)
    c.Control(r, xm::FxGlobalVolume, 64 * (fadeTo - r) / (fadeTo - fadeFrom));
  pads.Release(c, fadeTo);
  for (int ch = 0; ch < kChannels; ++ch) c.Off(fadeTo, ch);
}

std::vector<xm::Instrument> Instruments() {
  return {synth::Kick(),  synth::Snare(), synth::Clap(), synth::HatClosed(),
          synth::HatOpen(), synth::Crash(), synth::Noise(), synth::Bass(),
          synth::Pad(),   synth::Lead(),  synth::Pluck(), synth::Bell()};
}

} // namespace

std::vector<uint8_t> GenMusicXm() {
  const std::vector<int> bpm = song::TempoMap();
  const std::vector<int> start = song::SectionStartRows();
  Composer c(static_cast<int>(bpm.size()));
  Pads pads;

  Intro(c, pads, start[0]);
  Build(c, pads, start[1]);
  Groove(c, pads, start[2], {&kAm, &kF, &kC, &kG, &kAm}, 80, false);
  Groove(c, pads, start[3], {&kF, &kG, &kE}, 48, true);
  Theme(c, pads, start[4]);
  Break(c, pads, start[5]);
  Riser(c, pads, start[6]);
  Drop(c, pads, start[7]);
  Stutter(c, pads, start[8]);
  Drop2(c, pads, start[9]);
  Breakdown(c, pads, start[10]);
  Return(c, pads, start[11]);
  // Fade from 124 s to silence at about 131 s (rows of 0.125 s at 120 BPM).
  Outro(c, pads, start[12], start[12] + 68, start[12] + 124);

  // Tempo wherever it changes, global volume at the start.
  c.Control(0, xm::FxGlobalVolume, 64);
  for (int r = 1; r < c.Rows(); ++r)
    if (bpm[r] != bpm[r - 1]) c.Control(r, xm::FxSpeedBpm, bpm[r]);

  // Cut into patterns of at most 64 rows that never straddle a section start;
  // identical patterns are stored once.
  xm::Module m;
  m.name = "distortion";
  m.channels = kChannels;
  m.defaultSpeed = song::kSpeed;
  m.defaultBpm = bpm[0];
  m.instruments = Instruments();
  for (size_t i = 0; i + 1 < start.size(); ++i) {
    for (int row = start[i]; row < start[i + 1]; row += 64) {
      xm::Pattern p;
      p.rows = std::min(64, start[i + 1] - row);
      p.cells.assign(c.Cells().begin() + static_cast<ptrdiff_t>(row) * kChannels,
                     c.Cells().begin() + static_cast<ptrdiff_t>(row + p.rows) * kChannels);
      auto same = std::find(m.patterns.begin(), m.patterns.end(), p);
      if (same == m.patterns.end()) {
        m.patterns.push_back(std::move(p));
        same = m.patterns.end() - 1;
      }
      m.orders.push_back(static_cast<uint8_t>(same - m.patterns.begin()));
    }
  }
  return xm::Write(m);
}
