// "distortion.xm": an electronic track in A minor, composed here row by row.
// The sections follow the demo's scenes (music_song.h): intro, build, groove,
// theme, break, riser, the drop under the tunnel flight, a stutter, a second
// theme, a breakdown under the credits, a short return and a fading outro.
// Instruments come from music_synth.h; the grid is cut into 64-row patterns,
// identical patterns are stored once, and music_xm.h writes the bytes.
//
// Harmony: Am F C G is home (the intro, the theme and the drop's first half);
// the build, the grooves, the drop's second half and the outro move away
// from it (a borrowed Bb, a fall to E, a turn to C major), and the theme's
// third statement, in the outro, takes a new ending. Drums, bass, arpeggio
// and stabs vary bar by bar (ghost notes, drags, syncopation, inversions).
//
// The mix: the kick on top (a click layer on it where the beat is full), the
// lead and its ping-pong echo over a bass that sits about 6 dB under them,
// pads in two detuned layers panned apart, reverb tails in the one-shots.
// The energy rises from a quiet intro through the build to the drop, the
// only section with the lead doubled an octave up on both sides, a stab
// pair heard only in the side signal, a sub under the bass, open hats, ride
// and shaker; the breakdown drops well below it. Between the kicks of the
// drop the mono mix stays low, so the level the pictures read swings hard.
// Tonal samples are limited in the synth (loud at their peak) and every
// section is set near one true-peak ceiling.
#include "music.h"

#include "music_song.h"
#include "music_synth.h"
#include "music_xm.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>
#include <stdexcept>
#include <vector>

namespace {

using song::kChannels;

enum Channel {
    ChKick,
    ChKick2,
    ChSnare,
    ChHat,
    ChPerc,
    ChFx,
    ChBass,
    ChSub,
    ChPad1,
    ChPad2,
    ChPad3,
    ChWide1,
    ChWide2,
    ChWide3,
    ChLead,
    ChLead2,
    ChEchoL,
    ChEchoR,
    ChArp,
    ChArpEcho,
    ChBell,
    ChTom,
    ChLead3,
    ChStabL,
    ChStabR,
    ChRide,
    ChShaker,
    ChAir,
};
static_assert(ChAir + 1 == kChannels);

// Panning per channel (0 left .. 255 right): the pad layers, the lead's
// octave double, the stabs and the echoes wide apart (different material on
// each side, nothing that cancels in a mono fold-down), the beat and the
// bass in the middle, the cymbals and shaker spread around it.
constexpr std::array<int, kChannels> kPan = {
    128, 128, 144, 208, 48, 128, 128, 128, 24,  40, 56,  232, 216, 200,
    124, 12,  8,   248, 64, 208, 180, 96,  244, 16, 240, 64,  224, 32,
};

enum Instrument {
    InKick = 1,
    InSnare,
    InClap,
    InHatC,
    InHatO,
    InCrash,
    InNoise,
    InBass,
    InPad,
    InLead,
    InPluck,
    InBell,
    InPadWide,
    InClick,
    InSub,
    InPluckDark,
    InPluckBright,
    InTom,
    InKickSub,
    InRide,
    InShaker,
    InStab,
    InStabWide,
    InLeadWide,
    InKickDrop,
};

// Global volume where nothing fades.
constexpr int kMaster = 64;

// MIDI note numbers.
enum : int {
    D1 = 26,
    E1 = 28,
    F1 = 29,
    G1 = 31,
    A1 = 33,
    C2 = 36,
    D2 = 38,
    E2 = 40,
    G3 = 55,
    A3 = 57,
    C4 = 60,
    E4 = 64,
    A4 = 69,
    C5 = 72,
    E5 = 76,
    A5 = 81,
};

struct Chord {
    const char* name;
    int bass;                 // root, octave 1-2
    std::array<int, 3> pad;   // voicing around middle C
    std::array<int, 4> arp;   // tones for arpeggios, an octave above the pad
};

const Chord kAm = {"Am", A1, {57, 60, 64}, {69, 72, 76, 81}};
const Chord kF = {"F", F1, {57, 60, 65}, {65, 69, 72, 77}};
const Chord kC = {"C", C2, {55, 60, 64}, {67, 72, 76, 79}};
const Chord kG = {"G", G1, {55, 59, 62}, {67, 71, 74, 79}};
const Chord kE = {"E", E1, {56, 59, 64}, {64, 68, 71, 76}};
const Chord kDm = {"Dm", D1, {57, 62, 65}, {62, 65, 69, 74}};
const Chord kEm = {"Em", E1, {55, 59, 64}, {64, 67, 71, 76}};
const Chord kBb = {"Bb", 34, {58, 62, 65}, {65, 70, 74, 77}};   // borrowed from A Phrygian

// A melody note: row within its phrase, MIDI note, length in rows.
struct Note {
    int row, midi, length;
};

// The theme: eight bars over Am F C G Am F C G.
const std::vector<Note> kTheme = {
    {0, 76, 3},   {3, 81, 3},   {6, 79, 2},   {8, 76, 4},   {12, 74, 2},  {14, 72, 2},  {16, 72, 3},  {19, 77, 3},
    {22, 76, 2},  {24, 72, 4},  {28, 69, 2},  {30, 72, 2},  {32, 76, 3},  {35, 79, 3},  {38, 76, 2},  {40, 79, 4},
    {44, 84, 2},  {46, 83, 2},  {48, 79, 6},  {54, 74, 2},  {56, 71, 4},  {60, 74, 4},  {64, 76, 3},  {67, 81, 3},
    {70, 79, 2},  {72, 76, 4},  {76, 74, 2},  {78, 72, 2},  {80, 72, 3},  {83, 77, 3},  {86, 81, 2},  {88, 79, 4},
    {92, 77, 2},  {94, 76, 2},  {96, 76, 3},  {99, 79, 3},  {102, 84, 2}, {104, 83, 4}, {108, 79, 2}, {110, 76, 2},
    {112, 74, 6}, {118, 71, 2}, {120, 74, 4}, {124, 76, 4},
};

// The second theme: eight bars over Dm F C G Dm F C E.
const std::vector<Note> kTheme2 = {
    {0, 81, 2},   {2, 77, 2},   {4, 74, 4},   {8, 77, 2},   {10, 81, 2},  {12, 79, 4},  {16, 77, 2},
    {18, 72, 2},  {20, 69, 4},  {24, 72, 2},  {26, 77, 2},  {28, 76, 4},  {32, 76, 2},  {34, 79, 2},
    {36, 84, 4},  {40, 83, 2},  {42, 79, 2},  {44, 76, 4},  {48, 74, 8},  {56, 79, 4},  {60, 83, 4},
    {64, 81, 2},  {66, 77, 2},  {68, 74, 4},  {72, 77, 2},  {74, 81, 2},  {76, 84, 4},  {80, 84, 2},
    {82, 81, 2},  {84, 77, 4},  {88, 81, 2},  {90, 84, 2},  {92, 88, 4},  {96, 88, 2},  {98, 84, 2},
    {100, 79, 4}, {104, 83, 2}, {106, 84, 2}, {108, 83, 4}, {112, 80, 8}, {120, 83, 4}, {124, 88, 4},
};

// The breakdown's bell line: five bars over F G Em Am Am.
const std::vector<Note> kBellLine = {
    {0, 77, 6},  {6, 76, 2},  {8, 72, 8},  {16, 74, 6}, {22, 76, 2}, {24, 79, 8},  {32, 79, 6},
    {38, 76, 2}, {40, 71, 8}, {48, 72, 6}, {54, 74, 2}, {56, 76, 8}, {64, 81, 16},
};

class Composer {
public:
    explicit Composer(int rows) : rows_(rows), cells_(static_cast<size_t>(rows) * kChannels) {}

    int Rows() const { return rows_; }
    xm::Cell& At(int row, int ch) { return cells_[static_cast<size_t>(row) * kChannels + ch]; }
    const std::vector<xm::Cell>& Cells() const { return cells_; }
    // The chord from `row` on (for the figures; the notes are written apart).
    void Harmony(int row, const char* chord) {
        if (chords_.empty() || chords_.back().name != chord) chords_.push_back({row, chord});
    }
    const std::vector<figures::Chord>& Chords() const { return chords_; }
    // The bus gain of the section being written, in percent: every volume set
    // from here on is scaled by it (up to 64), except the kick's, which sets
    // the mix's peak and the pictures' flash on its own.
    void Gain(int percent) { gain_ = percent; }
    // A channel's trim in percent on top of the bus gain, from here on.
    void Trim(std::initializer_list<int> channels, int percent) {
        for (int ch : channels) trim_[ch] = percent;
    }
    int Scale(int ch, int volume) const { return Scaled(ch, volume); }

    // A note with its instrument and volume (0..64); the channel's panning is
    // set again with 8xx, since FT2 resets it to the sample's on every trigger.
    void Play(int row, int ch, int midi, int instrument, int volume, int fx = 0, int param = 0) {
        if (row < 0 || row >= rows_) return;
        xm::Cell& c = At(row, ch);
        c.note = static_cast<uint8_t>(midi - 11);
        c.instrument = static_cast<uint8_t>(instrument);
        c.volume = xm::VolSet(Scaled(ch, volume));
        c.effect = static_cast<uint8_t>(fx);
        c.param = static_cast<uint8_t>(param);
        if (!fx && !param && kPan[ch] != 128) {
            c.effect = xm::FxPanning;
            c.param = static_cast<uint8_t>(kPan[ch]);
        }
    }
    // A slide from the sounding note into `midi` (3xx): no instrument number,
    // so FT2 neither restarts the sample nor resets the channel's panning.
    void Glide(int row, int ch, int midi, int volume, int speed) {
        if (row < 0 || row >= rows_) return;
        xm::Cell& c = At(row, ch);
        c = {static_cast<uint8_t>(midi - 11), 0, xm::VolSet(Scaled(ch, volume)), xm::FxTonePorta,
             static_cast<uint8_t>(speed)};
    }
    void Off(int row, int ch) {
        if (row < 0 || row >= rows_) return;
        xm::Cell& c = At(row, ch);
        if (!c.note) c.note = xm::kKeyOff;
    }
    void Volume(int row, int ch, int volume) {
        if (row < 0 || row >= rows_) return;
        At(row, ch).volume = xm::VolSet(Scaled(ch, volume));
    }
    void VolumeColumn(int row, int ch, uint8_t byte) {
        if (row < 0 || row >= rows_) return;
        At(row, ch).volume = byte;
    }
    // An effect on a row where the channel's effect column is free.
    void Effect(int row, int ch, int fx, int param) {
        if (row < 0 || row >= rows_) return;
        xm::Cell& c = At(row, ch);
        if (c.effect || c.param) return;
        c.effect = static_cast<uint8_t>(fx);
        c.param = static_cast<uint8_t>(param);
    }
    // A control effect (tempo, global volume) on any channel whose effect
    // column is free in that row.
    void Control(int row, int fx, int param) {
        static constexpr int kOrder[] = {ChFx,    ChPerc,  ChTom,     ChAir,   ChShaker, ChRide,  ChStabR,
                                         ChStabL, ChLead3, ChKick2,   ChSub,   ChKick,   ChHat,   ChSnare,
                                         ChBass,  ChBell,  ChArpEcho, ChArp,   ChEchoR,  ChEchoL, ChLead2,
                                         ChLead,  ChWide3, ChWide2,   ChWide1, ChPad3,   ChPad2,  ChPad1};
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
    int Scaled(int ch, int volume) const {
        if (ch == ChKick || ch == ChKick2) return std::clamp(volume, 0, 64);
        return std::clamp((volume * gain_ * trim_[ch] + 5000) / 10000, 0, 64);
    }

    int rows_;
    int gain_ = 100;
    std::array<int, kChannels> trim_ = [] {
        std::array<int, kChannels> t{};
        t.fill(100);
        return t;
    }();
    std::vector<xm::Cell> cells_;
    std::vector<figures::Chord> chords_;
};

// >> building blocks, each writing one bar (16 rows, or `len`) from `row`;
// `bar` counts bars within the section and picks the bar's variation, so a
// phrase's bars differ (ghost notes, fills, accents) instead of repeating.

// Four on the floor; `layer` > 0 lays a second kick (`with`) on every kick.
// A soft ghost kick before a beat, placed by the bar (none on some bars);
// the phrase's first downbeat a little harder.
void FourFloor(Composer& c, int row, int volume, int layer = 0, int len = 16, int with = InClick, int bar = 0,
               int kick = InKick) {
    static constexpr int kGhost[8] = {-1, 14, 7, -1, 10, 15, 3, 11};
    for (int r = 0; r < len; r += 4) {
        const int accent = r == 0 && bar % 4 == 0 ? 2 : r == 8 ? -2 : 0;
        c.Play(row + r, ChKick, C4, kick, volume + accent);
        if (layer) c.Play(row + r, ChKick2, C4, with, layer);
    }
    const int ghost = kGhost[bar & 7];
    if (ghost > 0 && ghost < len) c.Play(row + ghost, ChKick, C4, kick, volume / 4 + (bar & 3));
}

// Claps on 2 and 4 (a snare under them when `snareLayer`), ghost snares
// around them placed by the bar, a drag into the phrase's last bar.
void Backbeat(Composer& c, int row, int volume, bool snareLayer, int len = 16, int bar = 0) {
    static constexpr int kGhosts[8][2] = {{-1, -1}, {7, -1}, {-1, 14}, {10, 15}, {-1, -1}, {6, 11}, {15, -1}, {3, 14}};
    for (int r : {4, 12}) {
        if (r >= len) continue;
        c.Play(row + r, ChSnare, C4, InClap, volume - (r == 4 ? 0 : 1));
        if (snareLayer) c.Play(row + r, ChFx, C4, InSnare, volume * 2 / 3);
    }
    for (int g : kGhosts[bar & 7])
        if (g >= 0 && g < len) c.Play(row + g, ChSnare, C4, InSnare, volume / 4 + g % 3);
    if (bar % 4 == 3 && len == 16)
        for (int r : {13, 14, 15}) c.Play(row + r, ChSnare, C4, InSnare, volume / 3 + 2 * (r - 13));
}

// Hat patterns, one character per 16th: 'x' accent, 'o' closed, '.' soft
// closed, 'O' open, ' ' none. One per bar, so a phrase of eight bars never
// plays the same bar of hats twice.
constexpr const char* kHatPatterns[8] = {
    ".ox..ox..ox..oxo", "o.x.o.xoo.x.o.xx", ".oxo.ox..oxo.o x", "o xo.x.oo xo.xox",
    ".ox.o.xo.oxo..xO", "oox..oxo.ox.o.xx", ".ox..oxoo.x..oxO", "o.xoo.x..oxoo xo",
};

// `open`: open hats on the off-beats, on a channel of their own (the beat
// sections with the most air).
void Hats(Composer& c, int row, int volume, int bar, bool open, int len = 16) {
    const char* p = kHatPatterns[bar & 7];
    for (int r = 0; r < len; ++r) {
        if (open && r % 4 == 2) c.Play(row + r, ChAir, C4, InHatO, volume * 3 / 4 + (r == 14 ? 4 : 0));
        switch (p[r]) {
            case 'x':
                c.Play(row + r, ChHat, C4, InHatC, volume);
                break;
            case 'o':
                c.Play(row + r, ChHat, C4, InHatC, volume * 3 / 4);
                break;
            case '.':
                c.Play(row + r, ChHat, C4, InHatC, volume / 2);
                break;
            case 'O':
                if (!open) c.Play(row + r, ChHat, C4, InHatO, volume);
                break;
            default:
                break;
        }
    }
}

// Ride: every 8th (`eighths`) or on the beats, the bell accent moving
// through the bar from bar to bar.
void Ride(Composer& c, int row, int volume, int bar, bool eighths, int len = 16) {
    const int accent = 2 + 4 * (bar % 3) + (bar & 4 ? 2 : 0);   // an off-beat 8th
    for (int r = 0; r < len; r += eighths ? 2 : 4)
        c.Play(row + r, ChRide, C4, InRide, r == accent ? volume + 8 : r % 4 ? volume * 3 / 4 : volume);
}

// Shaker in 16ths: strong on the 16th after each 8th, the pattern of soft
// and silent 16ths shifting from bar to bar.
void Shaker(Composer& c, int row, int volume, int bar, int len = 16) {
    static constexpr const char* kShakes[4] = {"..x...x...x...x.", ".-x-.-x-.-x-.-xx", "..x-..x...x-..x-",
                                               ".-x...x-.-x...xx"};
    const char* p = kShakes[bar & 3];
    for (int r = 0; r < len; ++r) {
        const int v = p[r] == 'x' ? volume : p[r] == '-' ? volume / 2 : p[r] == '.' ? volume / 3 : 0;
        if (v) c.Play(row + r, ChShaker, C4, InShaker, v + (bar >> 2 & 1) * (r & 1));
    }
}

void Crash(Composer& c, int row, int volume) { c.Play(row, ChPerc, C4, InCrash, volume); }

// A fill over the `rows` rows before `end`: toms falling in 16ths, the snare
// filling the gaps, volume rising into the next section's crash.
void Fill(Composer& c, int end, int rows, int volume) {
    static constexpr int kToms[8] = {67, 64, 62, 60, 57, 55, 52, 50};
    const int start = end - rows;
    for (int r = 0; r < rows; ++r) {
        const int v = volume * (2 * rows + r) / (3 * rows);
        if (r >= rows / 2 || r % 2 == 0) {
            if (r % 3 == 2)
                c.Play(start + r, ChSnare, C4, InSnare, v);
            else
                c.Play(start + r, ChTom, kToms[(r * 8) / rows], InTom, v);
        }
    }
}

// Snare roll over `rows` rows from `row`: 8ths, then 16ths, then (when
// `thirtySeconds`) the last quarter in 32nds by a retrigger every 3 ticks;
// volume rising from v0 to v1.
void SnareRoll(Composer& c, int row, int rows, int v0, int v1, bool thirtySeconds = false) {
    for (int r = 0; r < rows; ++r) {
        const bool dense = r >= rows / 2;
        if (!dense && r % 2) continue;
        const int v = v0 + (v1 - v0) * r / std::max(1, rows - 1);
        if (thirtySeconds && r >= rows * 3 / 4)
            c.Play(row + r, ChSnare, C4, InSnare, v, xm::FxExtended, 0x93);
        else
            c.Play(row + r, ChSnare, C4, InSnare, v);
    }
}

// Noise sweep: low-passed noise pitched up two octaves over `rows` rows, its
// volume climbing from v0 to about `v1` by fine slides (once per row); cut at
// the end.
void Sweep(Composer& c, int row, int rows, int v0, int v1 = 40) {
    const int semis = 24, ticks = song::kSpeed - 1;                         // portamento acts on ticks 1..5
    const int perTick = (semis * 16 + rows * ticks - 1) / (rows * ticks);   // xx/16 semitone a tick
    const int perRow = std::clamp((v1 - v0 + rows - 2) / (rows - 1), 1, 15);
    c.Play(row, ChFx, 48, InNoise, v0);
    for (int r = 1; r < rows; ++r) {
        xm::Cell& cell = c.At(row + r, ChFx);
        if (r == 1) cell.note = static_cast<uint8_t>(48 + semis - 11);
        cell.effect = xm::FxTonePorta;
        cell.param = static_cast<uint8_t>(r == 1 ? perTick : 0);
        cell.volume = static_cast<uint8_t>(0x90 + perRow);   // fine volume slide up
    }
    c.Off(row + rows, ChFx);
}

// The tone of A minor nearest below (dir < 0) or above `midi`, `midi` itself
// if it is one.
int InScale(int midi, int dir) {
    static constexpr bool kIn[12] = {1, 0, 1, 0, 1, 1, 0, 1, 0, 1, 0, 1};   // C D E F G A B
    while (!kIn[((midi % 12) + 12) % 12]) midi += dir;
    return midi;
}

// A passing note on the bar's last 16th that leads the bass to the next
// root: a scale step short of it, from the side the line comes from.
void Passing(Composer& c, int row, int root, int next, int volume) {
    if (next == root || next < 0) return;
    const int dir = next > root ? -1 : 1;
    c.Play(row + 15, ChBass, InScale(next + 2 * dir, dir), InBass, volume);
}

// Bass patterns over one bar; `next` is the next bar's root (-1 none).
void BassOffbeat(Composer& c, int row, int root, int volume, int next = -1, int len = 16) {
    for (int b = 0; b < len / 4; ++b) {
        c.Play(row + 4 * b + 2, ChBass, root, InBass, volume);
        c.Off(row + 4 * b + 3, ChBass);
    }
    if (len == 16) Passing(c, row, root, next, volume);
}

// Off-beat 16ths: root, octave, and a fifth on the third beat.
void BassRolling(Composer& c, int row, int root, int volume, int next = -1, int len = 16) {
    for (int b = 0; b < len / 4; ++b) {
        c.Play(row + 4 * b + 1, ChBass, root, InBass, volume - 6);
        c.Play(row + 4 * b + 2, ChBass, b == 2 ? root + 7 : root + 12, InBass, volume);
        c.Play(row + 4 * b + 3, ChBass, root, InBass, volume - 3);
        c.Off(row + 4 * b + 4, ChBass);
    }
    if (len == 16) Passing(c, row, root, next, volume);
}

// Syncopated: dotted 8ths across the bar (3 + 3 + 3 + 3 + 4 sixteenths),
// off the kick, the octave on the pushes.
void BassSyncopated(Composer& c, int row, int root, int volume, int next = -1, int len = 16) {
    static constexpr int kAt[5] = {1, 4, 7, 10, 13};
    for (int i = 0; i < 5; ++i) {
        if (kAt[i] >= len) break;
        const bool push = i % 2 == 0;
        c.Play(row + kAt[i], ChBass, push ? root + 12 : root, InBass, push ? volume : volume - 4);
        c.Off(row + kAt[i] + 2, ChBass);
    }
    if (len == 16) Passing(c, row, root, next, volume);
}

// The bar's bass in one of the patterns, chosen by the bar (the rolling one
// most often, a syncopated or an off-beat bar among them).
void BassBar(Composer& c, int row, int root, int volume, int next, int len, int bar) {
    switch (bar % 5) {
        case 2:
            BassSyncopated(c, row, root, volume, next, len);
            break;
        case 4:
            BassOffbeat(c, row, root, volume + 2, next, len);
            break;
        default:
            BassRolling(c, row, root, volume, next, len);
            break;
    }
}

// The drop's bass: a 16th on every beat's second 8th, root and octave in
// turn (the fifth under the third beat), so the 16ths after and before each
// kick stay clear and the mix pumps; every other bar leads to the next root
// on its last 8th.
// `turned`: the octave and the fifth in turn (the drop's second line).
void BassPumping(Composer& c, int row, int root, int volume, int next, int bar, bool turned = false) {
    for (int b = 0; b < 4; ++b) {
        const int first = b == 2 && bar % 2 ? root + 7 : root, second = root + 12;
        c.Play(row + 4 * b + 2, ChBass,
               turned  ? (b % 2 ? root + 7 : second)
               : b % 2 ? second
                       : first,
               InBass, volume - (b % 2) * 4 + (bar & 2));
        c.Off(row + 4 * b + 3, ChBass);
    }
    if (next >= 0 && bar % 2 == 0) Passing(c, row - 1, root, next, volume - 8);   // on the last 8th
}

void BassLong(Composer& c, int row, int root, int volume, int rows) {
    c.Play(row, ChBass, root, InBass, volume);
    c.Off(row + rows - 1, ChBass);
}

// Pad chord in two layers, panned apart: voices that keep their note are
// left to sound on.
class Pads {
public:
    static constexpr int kLeft[3] = {ChPad1, ChPad2, ChPad3};
    static constexpr int kRight[3] = {ChWide1, ChWide2, ChWide3};

    void Chord(Composer& c, int row, const ::Chord& chord, int volume) {
        c.Harmony(row, chord.name);
        for (int v = 0; v < 3; ++v) {
            if (held_[v] == chord.pad[v]) {
                c.Volume(row, kLeft[v], volume);
                c.Volume(row, kRight[v], volume);
            } else {
                c.Play(row, kLeft[v], chord.pad[v], InPad, volume);
                c.Play(row, kRight[v], chord.pad[v], InPadWide, volume);
                held_[v] = chord.pad[v];
            }
        }
    }
    // Gated chord: retriggered on every `step` rows, the right side a 16th
    // after the left.
    void Chop(Composer& c, int row, int rows, const ::Chord& chord, int volume, int step) {
        c.Harmony(row, chord.name);
        for (int r = 0; r < rows; r += step) {
            for (int v = 0; v < 3; ++v) {
                c.Play(row + r, kLeft[v], chord.pad[v] + 12, InPluck, volume);
                if (r + 1 < rows) c.Play(row + r + 1, kRight[v], chord.pad[v] + 12, InPluck, volume * 2 / 3);
            }
        }
        held_ = {-1, -1, -1};
    }
    // Side-chain pumping: each beat starts low, slides up
    // over two rows (5 ticks each) and is back at `volume` on its last 16th,
    // so the pads breathe with the kick.
    // `depth` 4 starts at a quarter, 8 at an eighth (a harder pump).
    // `gated`: the beat's last 16th falls back low (the level dips before
    // every kick).
    void Pump(Composer& c, int row, int rows, int level, int depth = 4, bool gated = false) {
        for (int ch : {ChPad1, ChPad2, ChPad3, ChWide1, ChWide2, ChWide3}) {
            const int volume = c.Scale(ch, level);
            const int low = volume / depth, slide = std::clamp((volume - low) / 10, 1, 15);
            for (int r = 0; r < rows; ++r) {
                const int phase = r % 4;
                c.VolumeColumn(row + r, ch,
                               phase == 0 || (gated && phase == 3) ? xm::VolSet(low)
                               : phase == 3                        ? xm::VolSet(volume)
                                                                   : static_cast<uint8_t>(0x70 + slide));
            }
        }
    }
    // A breath: the chord lets go on the bar's last beat (the pads' release
    // rings into the gap) and comes back on the next bar.
    void Breathe(Composer& c, int row) { Release(c, row + 12); }
    void Release(Composer& c, int row) {
        for (int v = 0; v < 3; ++v) {
            c.Off(row, kLeft[v]);
            c.Off(row, kRight[v]);
        }
        held_ = {-1, -1, -1};
    }

private:
    std::array<int, 3> held_ = {-1, -1, -1};
};

// Chord stabs, the chord's third and fifth an octave up in turn, on two
// channels panned apart with two differently detuned stabs, the right one a
// tick later: wide, and whole in a mono fold-down. The rhythm (off-beat 8ths
// and pushes) changes from bar to bar; on every beat the stabs duck for a
// 16th, so their tails never pile onto a kick's peak.
void Stabs(Composer& c, int row, const Chord& chord, int volume, int bar, int len = 16) {
    // Only on a beat's second 8th: the 16th after each kick stays clear, and
    // the one before it dark, so the level dips between the kicks.
    static constexpr const char* kRhythm[4] = {"..x...x...x...x.", "..x.......x...x.", "..x...x.......x.",
                                               "......x...x...x."};
    const char* p = kRhythm[bar & 3];
    int n = 0;
    for (int r = 0; r < len; ++r) {
        if (p[r] != 'x') continue;
        const int v = volume - (n % 2) * 4;
        c.Play(row + r, ChStabL, chord.arp[1 + n % 2], InStab, v);
        c.Play(row + r, ChStabR, chord.arp[1 + n % 2], InStabWide, v, xm::FxExtended, 0xD1);
        ++n;
    }
    for (int r = 0; r < len; r += 4)
        for (int ch : {ChStabL, ChStabR}) {
            c.Volume(row + r, ch, volume / 6);
            if (r + 1 < len) c.Volume(row + r + 1, ch, volume);
            if (r + 3 < len) c.Volume(row + r + 3, ch, volume / 6);
        }
}

// Arpeggio figures over the chord's four tones, one per 16th.
constexpr int kFigures[4][16] = {
    {0, 2, 1, 3, 2, 1, 3, 2, 0, 2, 1, 3, 2, 3, 1, 2},   // the first figure
    {0, 1, 2, 3, 2, 1, 0, 1, 2, 3, 2, 1, 0, 1, 2, 3},   // up and down
    {3, 1, 2, 0, 3, 1, 2, 1, 3, 0, 2, 1, 3, 2, 1, 0},   // falling from the top
    {0, 0, 2, 3, 0, 1, 2, 3, 1, 1, 3, 2, 0, 2, 3, 1},   // repeated roots
};

// Pluck arpeggio in 16ths over one bar, its echo a dotted 8th later on the
// other side. `inversion` 1..3 lifts the chord's lowest tones an octave (the
// figure then turns on another tone), and on the last beat of an inverted
// bar the figure jumps an octave up.
void Arp(Composer& c, int row, const Chord& chord, int volume, int figure = 0, int len = 16, int pluck = InPluck,
         int echo = 0, int inversion = 0) {
    const int* order = kFigures[figure & 3];
    std::array<int, 4> tones = chord.arp;
    for (int i = 0; i < (inversion & 3); ++i) tones[i] += 12;
    for (int r = 0; r < len; ++r) {
        int midi = tones[order[r]];
        if (inversion && r >= 12 && midi < 84) midi += 12;
        c.Play(row + r, ChArp, midi, pluck, r % 4 == 0 ? volume : volume * 3 / 4);
        if (echo) c.Play(row + r + 3, ChArpEcho, midi, pluck, r % 4 == 0 ? echo : echo * 3 / 4);
    }
}

// A melody on a channel. Long notes reached by a step glide into place
// (3xx), get vibrato (4xy) while held and fade a little on their last rows
// (volume-column slide). With `echo` a ping-pong echo follows: a dotted 8th
// later on the left, a dotted quarter later quieter on the right.
void Melody(Composer& c, int row, const std::vector<Note>& notes, int from, int to, int ch, int instrument, int volume,
            int echo, int transpose = 0, bool expressive = true) {
    for (size_t i = 0; i < notes.size(); ++i) {
        const Note& n = notes[i];
        if (n.row < from || n.row >= to) continue;
        const int at = row + n.row - from, midi = n.midi + transpose;
        const bool legato = i + 1 < notes.size() && notes[i + 1].row == n.row + n.length;
        const bool joined = i > 0 && notes[i - 1].row + notes[i - 1].length == n.row && notes[i - 1].row >= from &&
                            std::abs(notes[i - 1].midi - n.midi) <= 5;
        if (expressive && n.length >= 4 && joined)
            c.Glide(at, ch, midi, volume, 0x18);
        else
            c.Play(at, ch, midi, instrument, volume);
        if (expressive && n.length >= 4) {
            for (int r = 2; r < n.length; ++r) c.Effect(at + r, ch, xm::FxVibrato, 0x54);
            if (n.length >= 6)
                for (int r = n.length - 3; r < n.length; ++r) c.VolumeColumn(at + r, ch, 0x61);
        }
        if (!legato) c.Off(at + n.length, ch);
        if (echo) {
            c.Play(at + 3, ChEchoL, midi, instrument, echo);
            c.Off(at + 3 + n.length, ChEchoL);
            c.Play(at + 6, ChEchoR, midi, instrument, echo * 2 / 3);
            c.Off(at + 6 + n.length, ChEchoR);
        }
    }
}

// >> the sections

void Intro(Composer& c, Pads& pads, int s) {
    // The home loop, Am F C G at half speed, then F E into the build.
    const Chord* bars[10] = {&kAm, &kAm, &kF, &kF, &kC, &kC, &kG, &kG, &kF, &kE};
    for (int b = 0; b < 10; ++b) {
        const int row = s + 16 * b;
        pads.Chord(c, row, *bars[b], 22 + 3 * b / 2);
        if (b >= 2) Arp(c, row, *bars[b], 16 + 2 * b, b < 6 ? 0 : 3, 16, InPluckDark, 8 + b, b % 2 ? 1 : 0);
        if (b >= 4 && b < 9) {
            // Bell: a dotted line over the chord's upper tones.
            c.Play(row, ChBell, bars[b]->arp[3], InBell, 26);
            c.Play(row + 6, ChBell, bars[b]->arp[2], InBell, 18);
            c.Play(row + 12, ChBell, bars[b]->arp[1] + 12, InBell, 16);
        }
        if (b >= 2) {
            // A pulse on beats 1 and 3 that grows, the body doubled by the sub.
            for (int r = 0; r < (b < 9 ? 16 : 12); r += b < 9 ? 8 : 4) {
                c.Play(row + r, ChKick, C4, InKick, 46 + (b - 2));
                c.Play(row + r, ChKick2, C4, InKickSub, 24 + (b - 2));
            }
        }
        if (b >= 5 && b < 9) {
            c.Play(row, ChBass, bars[b]->bass, InBass, 16);
            c.Off(row + 14, ChBass);
        }
        if (b >= 7)
            for (int r = 2; r < 16; r += 4) c.Play(row + r, ChHat, C4, InHatC, 14 + 3 * (b - 7));
        if (b >= 6) Shaker(c, row, 10 + 3 * (b - 6), b);
    }
    SnareRoll(c, s + 152, 8, 10, 24);
    Sweep(c, s + 144, 16, 6, 24);
}

void Build(Composer& c, Pads& pads, int s) {
    // Away from home: Dm F, the borrowed Bb, and E; the pluck opening bar by
    // bar, and a 3-beat fill.
    const Chord* bars[4] = {&kDm, &kF, &kBb, &kE};
    Crash(c, s, 40);
    for (int b = 0; b < 4; ++b) {
        const int row = s + 16 * b, len = b == 3 ? 12 : 16;
        pads.Chord(c, row, *bars[b], 34);
        FourFloor(c, row, 52, 24, len, InClick, b);
        if (b < 3) BassOffbeat(c, row, bars[b]->bass + 12, 22, bars[b + 1]->bass + 12, len);
        Hats(c, row, 22 + 3 * b, b, false, len);
        Shaker(c, row, 14 + 3 * b, b, len);
        Arp(c, row, *bars[b], 28 + 2 * b, 1, len,
            b == 0   ? InPluckDark
            : b == 1 ? InPluck
                     : InPluckBright,
            14, b == 2 ? 1 : 0);
    }
    SnareRoll(c, s + 48, 12, 16, 42);
    Sweep(c, s + 44, 16, 8, 34);
}

void Groove(Composer& c, Pads& pads, int s, const std::vector<const Chord*>& bars, int rows, bool lead, int figure) {
    Crash(c, s, 38);
    for (int row = s, b = 0; row < s + rows; row += 16, ++b) {
        const Chord& ch = *bars[b % bars.size()];
        const Chord& next = *bars[(b + 1) % bars.size()];
        const int len = std::min(16, s + rows - row);
        pads.Chord(c, row, ch, 36 + 2 * b);
        pads.Pump(c, row, len, 36 + 2 * b);
        if (b % 2 == 1 && len == 16) pads.Breathe(c, row);
        FourFloor(c, row, 54, 26, len, InClick, b + figure);
        Backbeat(c, row, 38, false, len, b + figure);
        Hats(c, row, 26, b + figure, false, len);
        Shaker(c, row, 18, b, len);
        Ride(c, row, 16 + b, b, false, len);
        BassBar(c, row, ch.bass + 12, 24, next.bass + 12, len, b + figure);
        Arp(c, row, ch, 30, (figure + b) & 3, len, InPluckBright, 18, b % 3);
        if (lead && len == 16) {
            // Long lead notes on the chord's top tones, the second glided into.
            c.Play(row, ChLead, ch.arp[2], InLead, 44);
            c.Effect(row + 4, ChLead, xm::FxVibrato, 0x44);
            c.Glide(row + 8, ChLead, ch.arp[3], 42, 0x10);
            for (int r = 10; r < 15; ++r) c.Effect(row + r, ChLead, xm::FxVibrato, 0x54);
            c.Off(row + 15, ChLead);
            c.Play(row + 3, ChEchoL, ch.arp[2], InLead, 16);
            c.Off(row + 11, ChEchoL);
        }
    }
    // The last bar is a 3-beat fill.
    Fill(c, s + rows, 8, 34);
}

void Theme(Composer& c, Pads& pads, int s) {
    // Home: the theme over Am F C G.
    const Chord* bars[6] = {&kAm, &kF, &kC, &kG, &kAm, &kE};
    Crash(c, s, 40);
    for (int b = 0; b < 6; ++b) {
        const int row = s + 16 * b;
        const int len = b == 5 ? 4 : 16;
        pads.Chord(c, row, *bars[b], 30);
        pads.Pump(c, row, len, 30 - b);
        FourFloor(c, row, 54, 26, len, InClick, b + 3);
        Backbeat(c, row, 40, false, len, b + 2);
        Hats(c, row, 24, b + 4, false, len);
        Shaker(c, row, 16, b + 1, len);
        if (b < 5) BassBar(c, row, bars[b]->bass + 12, 24, bars[b + 1]->bass + 12, 16, b + 1);
        Arp(c, row, *bars[b], 18, 2, len, InPluckBright, 10, b == 3 ? 2 : b % 2);
    }
    Melody(c, s, kTheme, 0, 64, ChLead, InLead, 54, 26);
    c.Play(s + 64, ChLead, A4, InLead, 46);
    for (int r = 2; r < 12; ++r) c.Effect(s + 64 + r, ChLead, xm::FxVibrato, 0x56);
    for (int r = 8; r < 14; ++r) c.VolumeColumn(s + 64 + r, ChLead, 0x62);
    c.Off(s + 78, ChLead);
    Fill(c, s + 84, 12, 44);
}

void Break(Composer& c, Pads& pads, int s) {
    pads.Release(c, s);
    c.Play(s, ChKick, 48, InKick, 38);   // an octave down: a long boom
    Crash(c, s, 28);
    pads.Chop(c, s, 16, kDm, 28, 2);
    c.Play(s, ChBass, D2, InBass, 22);
    c.Off(s + 15, ChBass);
    c.Play(s, ChLead, 81, InLead, 38);
    c.Glide(s + 8, ChLead, 77, 34, 0x10);
    for (int r = 10; r < 15; ++r) c.Effect(s + r, ChLead, xm::FxVibrato, 0x56);
    c.Off(s + 15, ChLead);
}

void Riser(Composer& c, Pads& pads, int s) {
    // Five beats speeding up by subdivision at the drop's tempo (8ths, 16ths,
    // 32nds), then a beat of air.
    pads.Chord(c, s, kE, 26);
    for (int r = 0; r < 20; r += 4) c.Play(s + r, ChKick, C4, InKick, 30 + 2 * r);
    SnareRoll(c, s, 20, 14, 44, true);
    Sweep(c, s, 20, 8, 36);
    c.Play(s, ChBass, E2, InBass, 20);
    c.Off(s + 20, ChBass);
    pads.Release(c, s + 20);
    c.Off(s + 20, ChLead);
    c.Off(s + 20, ChArp);
}

// The theme's octave double, spread: one side from the lead, the other from
// its wider twin.
void Doubled(Composer& c, int row, const std::vector<Note>& notes, int from, int to, int volume) {
    Melody(c, row, notes, from, to, ChLead2, InLead, volume, 0, 12, false);
    Melody(c, row, notes, from, to, ChLead3, InLeadWide, volume, 0, 12, false);
}

// Global volume over rows [from, to]: from `high` falling evenly in decibels
// by `db`, so the ear hears a steady fade.
void FadeGlobal(Composer& c, int from, int to, int high, double db) {
    for (int r = from; r <= to; ++r) {
        const double f = static_cast<double>(r - from) / (to - from);
        c.Control(r, xm::FxGlobalVolume, static_cast<int>(std::lround(high * std::pow(10.0, -db * f / 20))));
    }
}

void Drop(Composer& c, Pads& pads, int s, int level) {
    // The theme over home, then away: F Dm C E; from the second 5 seconds a
    // turned bass line and a snare fill into it. Bars 9-11, as the tunnel
    // fades to black, the beat stops and the lead climbs over F G E while
    // everything falls away under it.
    const Chord* bars[11] = {&kAm, &kF, &kC, &kG, &kF, &kDm, &kC, &kE, &kF, &kG, &kE};
    for (int b = 0; b < 11; ++b) {
        const int row = s + 16 * b;
        const int next = b + 1 < 11 ? bars[b + 1]->bass + 12 : -1;
        pads.Chord(c, row, *bars[b], 30);
        if (b >= 8) {
            BassLong(c, row, bars[b]->bass + 12, 24, 16);
            Arp(c, row, *bars[b], 12, 2, 16, InPluckDark, 8, b % 3);
            continue;
        }
        if (b % 4 == 0) Crash(c, row, 26);
        pads.Pump(c, row, 16, 30, 8, true);
        if (b % 4 == 3) pads.Breathe(c, row);
        FourFloor(c, row, 64, 34, 16, InKickSub, b, InKickDrop);
        Backbeat(c, row, 28, false, 16, b);
        Hats(c, row, 50, b, true);
        Ride(c, row, 30, b, true);
        Shaker(c, row, 40, b);
        Stabs(c, row, *bars[b], 38, b);
        BassPumping(c, row, bars[b]->bass + 12, 32, next, b, b >= 3);
        // The sub holds the root under the bass, ducked on every kick.
        c.Play(row, ChSub, bars[b]->bass, InSub, 3);
        for (int r = 2; r < 16; r += 4) c.Volume(row + r, ChSub, 5);
        for (int r = 4; r < 16; r += 4) c.Volume(row + r, ChSub, 3);
        Arp(c, row, *bars[b], 14, b < 4 ? 0 : 1, 16, InPluckBright, 14, b % 3);
    }
    // The fill into the second 5 seconds (where the tunnel's flight starts
    // over): snares climbing over the clap.
    for (int r = 12; r < 14; ++r) c.Play(s + 32 + r, ChFx, C4, InSnare, 20 + 10 * (r - 12));
    c.Off(s + 128, ChSub);
    c.Play(s, ChKick2, 48, InKick, 40);   // the drop's first beat: a low boom
    Melody(c, s, kTheme, 0, 128, ChLead, InLead, 26, 22);
    Doubled(c, s, kTheme, 0, 128, 18);
    const std::vector<Note> climb = {{0, 77, 8}, {8, 81, 8}, {16, 79, 8}, {24, 83, 8}, {32, 80, 16}};
    Melody(c, s + 128, climb, 0, 48, ChLead, InLead, 38, 22);
    // Down 9 dB from 72 s to 76 s, then held there into the stutter.
    FadeGlobal(c, s + 125, s + 160, level, 9);
}

void Stutter(Composer& c, Pads& pads, int s) {
    // A bar of stop-time hits, then a 6-row fill; full volume again.
    c.Control(s, xm::FxGlobalVolume, kMaster);
    pads.Release(c, s);
    Crash(c, s, 24);
    for (int r = 0; r < 16; r += 4) {
        c.Play(s + r, ChKick, C4, InKick, 48);
        c.Play(s + r, ChKick2, C4, InClick, r ? 34 : 26);
    }
    c.Play(s, ChSnare, C4, InClap, 34);
    pads.Chop(c, s, 16, kAm, 26, 2);
    // A stuttering lead note, retriggered and falling.
    c.Play(s, ChLead, A5, InLead, 44, xm::FxRetrig, 0x13);
    for (int r = 1; r < 16; ++r) c.Effect(s + r, ChLead, xm::FxRetrig, 0x13);
    c.Off(s + 16, ChLead);
    c.Play(s, ChBass, A1 + 12, InBass, 24);
    c.Off(s + 12, ChBass);
    for (int r = 16; r < 22; ++r) c.Play(s + r, ChKick, C4, InKick, 44 + 3 * (r - 16));
    Fill(c, s + 22, 6, 44);
}

void Drop2(Composer& c, Pads& pads, int s) {
    // The bell calls over the first four bars, the lead answers over the next
    // four; both follow the second theme's chords.
    const Chord* bars[11] = {&kDm, &kF, &kC, &kG, &kDm, &kF, &kC, &kE, &kAm, &kAm, &kE};
    for (int b = 0; b < 11; ++b) {
        const int row = s + 16 * b;
        const int next = b + 1 < 11 ? bars[b + 1]->bass + 12 : -1;
        if (b % 4 == 0) Crash(c, row, 38);
        pads.Chord(c, row, *bars[b], 24);
        pads.Pump(c, row, 16, 24, 8);
        if (b % 4 == 3) pads.Breathe(c, row);
        FourFloor(c, row, 58, 24, 16, InClick, b + 2);
        Backbeat(c, row, 40, false, 16, b + 3);
        Hats(c, row, 36, b + 1, b >= 4);
        Ride(c, row, 26, b + 1, b < 4);
        Shaker(c, row, 28, b + 2);
        if (b >= 4) Stabs(c, row, *bars[b], 24, b);
        if (b < 10) BassBar(c, row, bars[b]->bass + 12, 26, next, 16, b + 4);
        Arp(c, row, *bars[b], b < 4 ? 26 : 18, b < 4 ? 2 : b < 8 ? 1 : 0, 16, InPluckBright, 12, (b + 1) % 3);
    }
    Melody(c, s, kTheme2, 0, 64, ChBell, InBell, 46, 0, 0, false);
    Melody(c, s + 64, kTheme2, 64, 128, ChLead, InLead, 52, 24);
    const std::vector<Note> end = {{0, 81, 8},  {8, 76, 8},  {16, 72, 4}, {20, 76, 4},
                                   {24, 81, 8}, {32, 76, 4}, {36, 80, 4}};
    Melody(c, s + 128, end, 0, 40, ChLead, InLead, 50, 22);
    Doubled(c, s + 64, kTheme2, 64, 128, 20);
    Fill(c, s + 176, 16, 40);
}

void Breakdown(Composer& c, Pads& pads, int s) {
    const Chord* bars[5] = {&kF, &kG, &kEm, &kAm, &kAm};
    c.Play(s, ChKick, 48, InKick, 34);
    Crash(c, s, 24);
    for (int b = 0; b < 5; ++b) {
        const int row = s + 16 * b;
        pads.Chord(c, row, *bars[b], 18);
        BassLong(c, row, bars[b]->bass + 12, 12, 16);
        if (b >= 2) Arp(c, row, *bars[b], 10 + 2 * b, 1, 16, InPluckDark, 8, b - 2);
    }
    // The bell line, its held notes rolled as chords by the arpeggio effect.
    Melody(c, s, kBellLine, 0, 80, ChBell, InBell, 26, 0, 0, false);
    for (const Note& n : kBellLine) {
        const bool minor = n.row >= 32 && n.row < 64;
        for (int r = 1; r < n.length; ++r) c.Effect(s + n.row + r, ChBell, xm::FxArpeggio, minor ? 0x37 : 0x47);
    }
}

void Return(Composer& c, Pads& pads, int s) {
    // Eight rows of swell (the slack of the tempo map), then two bars back.
    pads.Chord(c, s, kF, 26);
    Sweep(c, s, 8, 4, 20);
    const Chord* bars[2] = {&kG, &kE};
    for (int b = 0; b < 2; ++b) {
        const int row = s + 8 + 16 * b;
        pads.Chord(c, row, *bars[b], 36);
        for (int r = 0; r < 16; r += 4) c.Play(row + r, ChKick, C4, InKick, 36 + (r + 16 * b) / 2);
        BassOffbeat(c, row, bars[b]->bass + 12, 20, b == 0 ? E1 + 12 : A1 + 12);
        Hats(c, row, 18 + 3 * b, b + 5, false);
        Shaker(c, row, 12 + 4 * b, b + 1);
        Arp(c, row, *bars[b], 26 + 2 * b, 1, 16, InPluck, 14, b);
    }
    SnareRoll(c, s + 24, 16, 16, 44);
}

// The theme's third statement: its first two bars re-voiced a third below
// (over F and Dm instead of Am and F), then a new ending that turns away
// from home over Am E F G and comes back to a low A.
const std::vector<Note> kThemeEnding = {
    {0, 72, 3},  {3, 77, 3},  {6, 76, 2},   {8, 72, 4},   {12, 71, 2}, {14, 69, 2}, {16, 69, 3}, {19, 74, 3},
    {22, 72, 2}, {24, 69, 4}, {28, 65, 4},  {32, 77, 3},  {35, 81, 3}, {38, 77, 2}, {40, 74, 4}, {44, 76, 2},
    {46, 77, 2}, {48, 76, 6}, {54, 74, 2},  {56, 71, 4},  {60, 68, 4}, {64, 72, 3}, {67, 77, 3}, {70, 76, 2},
    {72, 72, 4}, {76, 69, 2}, {78, 72, 2},  {80, 74, 3},  {83, 79, 3}, {86, 83, 2}, {88, 81, 4}, {92, 79, 2},
    {94, 76, 2}, {96, 76, 8}, {104, 72, 4}, {108, 71, 4},
};

void Outro(Composer& c, Pads& pads, int s, int lastHit, int level) {
    // F Dm, then away over Am E F G before home. The beat stops after two
    // bars and the rest thins out bar by bar while the music falls away
    // under the closing field's fade; one last hit lands with its last light
    // (row `lastHit` and three ticks), then the tails fade to silence.
    const Chord* bars[8] = {&kF, &kDm, &kAm, &kE, &kF, &kG, &kAm, &kAm};
    Crash(c, s, 40);
    for (int b = 0; b < 8; ++b) {
        const int row = s + 16 * b;
        pads.Chord(c, row, *bars[b], 32 + b);
        if (b < 2) {
            pads.Pump(c, row, 16, 32 + b);
            FourFloor(c, row, 50, 0, 16, InClick, b + 5);
            Backbeat(c, row, 34, false, 16, b + 6);
        }
        if (b == 2 || b == 5) pads.Breathe(c, row);
        if (b < 4) Hats(c, row, 22 - 3 * b, b + 2, false);
        if (b < 3) Shaker(c, row, 14, b + 3);
        if (b < 6) BassBar(c, row, bars[b]->bass + 12, 22, bars[b + 1]->bass + 12, 16, b + 2);
        Arp(c, row, *bars[b], 18, b & 3, 16, b < 4 ? InPluckBright : InPluckDark, 10, (b + 2) % 3);
    }
    Melody(c, s, kThemeEnding, 0, 112, ChBell, InBell, 44, 20, 0, false);
    c.Play(s + 112, ChBell, A4, InBell, 40);
    // Down 18 dB from 119.5 s (where the beat stops) to 129.5 s, evenly in
    // decibels.
    FadeGlobal(c, s + 32, s + 112, level, 18);
    // The last hit, everything together three ticks into its row, after two
    // rows of silence.
    pads.Release(c, lastHit - 2);
    for (int ch = 0; ch < kChannels; ++ch) c.Off(lastHit - 2, ch);
    constexpr int kDelay = 0xD3;
    c.Play(lastHit, ChKick, 48, InKick, 56, xm::FxExtended, kDelay);
    c.Play(lastHit, ChKick2, C4, InKickSub, 40, xm::FxExtended, kDelay);
    c.Play(lastHit, ChPerc, C4, InCrash, 40, xm::FxExtended, kDelay);
    c.Play(lastHit, ChBell, A3, InBell, 44, xm::FxExtended, kDelay);
    c.Play(lastHit, ChBass, A1 + 12, InBass, 30, xm::FxExtended, kDelay);
    for (int v = 0; v < 3; ++v) c.Play(lastHit, Pads::kLeft[v], kAm.pad[v], InPad, 34, xm::FxExtended, kDelay);
    c.Control(lastHit, xm::FxGlobalVolume, level * 3 / 4);
    FadeGlobal(c, lastHit + 1, lastHit + 8, level * 3 / 4, 40);
    c.Control(lastHit + 9, xm::FxGlobalVolume, 0);
}

// The right stab, delayed by a note delay (which writes no panning effect),
// sits at its channel's place by its sample's own panning.
xm::Instrument StabRight() {
    xm::Instrument ins = synth::Stab(1);
    ins.sample.panning = static_cast<uint8_t>(kPan[ChStabR]);
    return ins;
}

std::vector<xm::Instrument> Instruments() {
    return {synth::Kick(),   synth::Snare(),  synth::Clap(),    synth::HatClosed(), synth::HatOpen(),
            synth::Crash(),  synth::Noise(),  synth::Bass(),    synth::Pad(),       synth::Lead(),
            synth::Pluck(1), synth::Bell(),   synth::PadWide(), synth::KickClick(), synth::Sub(),
            synth::Pluck(0), synth::Pluck(2), synth::Tom(),     synth::KickSub(),   synth::Ride(),
            synth::Shaker(), synth::Stab(0),  StabRight(),      synth::LeadWide(),  synth::KickDrop()};
}

// The whole song written into the grid.
Composer Compose() {
    const std::vector<int> bpm = song::TempoMap();
    const std::vector<int> start = song::SectionStartRows();
    Composer c(static_cast<int>(bpm.size()));
    Pads pads;

    // Each section at its bus gain: the levels that set the song's loudness
    // curve (the drop on top, the breakdown well under it) at one peak. The
    // limited samples sit louder at their peak, so pads, lead, plucks, bell
    // and toms are trimmed back to their place in the balance; where a
    // section's peak comes from one layer (the grooves' pads and fills, the
    // return's roll) that layer is trimmed further.
    const std::initializer_list<int> kPads = {ChPad1, ChPad2, ChPad3, ChWide1, ChWide2, ChWide3};
    c.Trim(kPads, 67);
    c.Trim({ChLead, ChLead2, ChEchoL, ChEchoR, ChLead3}, 83);
    c.Trim({ChArp, ChArpEcho, ChBell, ChTom}, 78);
    c.Gain(120);
    c.Trim({ChArp, ChArpEcho}, 55);
    Intro(c, pads, start[0]);
    c.Trim({ChArp, ChArpEcho}, 78);
    c.Gain(140);
    Build(c, pads, start[1]);
    c.Gain(176);
    c.Trim(kPads, 48);
    c.Trim({ChTom}, 49);
    Groove(c, pads, start[2], {&kAm, &kG, &kF, &kE, &kE}, 76, false, 0);   // falling to E
    c.Gain(75);
    c.Trim(kPads, 67);
    c.Trim({ChTom}, 55);
    Groove(c, pads, start[3], {&kC, &kG, &kE}, 44, true, 3);   // a turn to C major
    c.Gain(82);
    c.Trim({ChTom}, 78);
    Theme(c, pads, start[4]);
    Break(c, pads, start[5]);
    c.Gain(139);
    Riser(c, pads, start[6]);
    c.Gain(132);
    c.Trim({ChStabL, ChStabR}, 88);
    c.Trim({ChEchoL}, 62);
    c.Trim({ChTom}, 49);
    Drop(c, pads, start[7], kMaster);
    c.Gain(108);
    c.Trim({ChStabL, ChStabR}, 100);
    c.Trim({ChEchoL}, 83);
    c.Trim({ChTom}, 78);
    Stutter(c, pads, start[8]);
    c.Gain(140);
    Drop2(c, pads, start[9]);
    c.Gain(152);
    Breakdown(c, pads, start[10]);
    c.Gain(160);
    c.Trim({ChSnare}, 63);
    Return(c, pads, start[11]);
    c.Gain(169);
    c.Trim({ChSnare}, 100);
    c.Trim(kPads, 56);
    // The last hit at 130.4375 s (rows of 0.125 s at 120 BPM, ticks of
    // 1/48 s): the closing field's last lit frame is at 130.433 s.
    Outro(c, pads, start[12], start[12] + 119, kMaster);

    // Tempo wherever it changes, global volume at the start.
    c.Control(0, xm::FxGlobalVolume, kMaster);
    for (int r = 1; r < c.Rows(); ++r)
        if (bpm[r] != bpm[r - 1]) c.Control(r, xm::FxSpeedBpm, bpm[r]);
    return c;
}

}   // namespace

std::vector<uint8_t> GenMusicXm() {
    const std::vector<int> bpm = song::TempoMap();
    const std::vector<int> start = song::SectionStartRows();
    const Composer c = Compose();

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

std::vector<figures::Chord> MusicChords() { return Compose().Chords(); }

std::vector<std::string> MusicHomeLoop() { return {"Am", "F", "C", "G"}; }

std::vector<int> MusicMelodyChannels() { return {ChLead, ChBell}; }

int MusicKickChannel() { return ChKick; }
