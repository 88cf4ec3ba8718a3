// Figures of a rendered mix, as a listener and the pictures meet it: the
// share of energy in a band, stereo width, loudness (K-weighted, gated;
// momentary and short-term), true peak, and the level the pictures read (RMS
// of the mono mix over the level meter's window). And figures of the score itself,
// read from the module's bytes: how much of it copies itself, which melody
// phrases come back, how long one chord loop runs. Used by the music tests
// and by tools/music/music-figures.sh.
#pragma once

#include "audio/music.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace figures {

constexpr int kRate = qor::audio::kRate;

// Interleaved stereo float frames at 48 kHz; a range is [from, to) seconds.
using Stereo = std::vector<float>;

// Time ranges [from, to) in seconds.
using Ranges = std::vector<std::pair<double, double>>;

// Share (0..1) of the energy of both channels that lies below `hz`.
double EnergyBelow(const Stereo& audio, double hz, double from, double to);
// Share (0..1) of the energy of both channels between `lo` and `hi` Hz over
// all the ranges together.
double EnergyBetween(const Stereo& audio, double lo, double hi, const Ranges& ranges);
// Share (0..1) of the energy below `hz` in one spectrum of the whole mono
// mix (one transform over the whole song, no window).
double MonoEnergyBelow(const Stereo& audio, double hz);
// Side over mid energy in dB (mid = (L + R) / 2, side = (L - R) / 2).
double SideOverMid(const Stereo& audio, double from, double to);
// Correlation of left and right (-1..1) in [lo, hi) Hz: the real part of the
// cross-spectrum over the geometric mean of the channels' energies, over
// 8192-point blocks of the range. 1 where a channel is silent.
double BandCorrelation(const Stereo& audio, double lo, double hi, double from, double to);
// Correlation of left and right over the whole band.
double Correlation(const Stereo& audio, double from, double to);
// Share (0..1) of the `window`-second windows of the range (end to end)
// whose correlation is below 0.
double NegativeShare(const Stereo& audio, double from, double to, double window);
// The lowest correlation of `window`-second windows, one every `step`
// seconds over the whole audio, where the window is not near silence; and
// where that window starts.
struct Worst {
    double correlation, at;
};
Worst WorstCorrelation(const Stereo& audio, double window, double step);
// The mono fold-down of a phone speaker or a mono PA: (L + R) / 2 on both
// sides.
Stereo FoldToMono(const Stereo& audio);
// Onset of the last hit in the range: the start of the last 5 ms block of
// the mono mix that is at least 10 dB over the 50 ms before it and over
// -40 dBFS; -1 if there is none.
double LastHit(const Stereo& audio, double from, double to);
// Integrated loudness in LUFS (ITU-R BS.1770: K-weighting, 400 ms blocks,
// absolute gate -70 LUFS, relative gate -10 LU).
double Loudness(const Stereo& audio, double from, double to);
// Mean of the short-term loudness (3 s windows every 100 ms, ungated, in
// LUFS) over the windows that lie wholly inside the range.
double MeanShortTerm(const Stereo& audio, double from, double to);
// Highest momentary loudness (400 ms windows every 100 ms) inside the range.
double MaxMomentary(const Stereo& audio, double from, double to);
// True peak in dBTP: the highest sample of both channels upsampled 4 times
// (windowed-sinc interpolation).
double TruePeak(const Stereo& audio);
// The level the pictures read: RMS of the mono mix over the
// qor::audio::LevelMeter window before time t (0 before it).
double LevelAt(const Stereo& audio, double t);
// Levels at every frame of a 60 fps picture stream over the range.
std::vector<double> FrameLevels(const Stereo& audio, double from, double to, int fps = 60);
// Value at fraction p (0..1) of the sorted values (nearest rank below).
double Quantile(std::vector<double> values, double p);

// >> the score

// One played cell: note (0 none, 97 key off), instrument, volume column,
// effect, parameter.
struct Cell {
    uint8_t note = 0, instrument = 0, volume = 0, effect = 0, param = 0;
    bool operator==(const Cell&) const = default;
};

// Every row the song plays, in order: its cells, its start time, and where
// bars begin (every 16 rows from the start of each pattern).
struct Score {
    int channels = 0;
    std::vector<Cell> cells;        // rows * channels
    std::vector<double> rowTimes;   // start of every row, and the song's end
    std::vector<int> barStarts;     // first row of every bar, and the row count
    int Rows() const { return static_cast<int>(rowTimes.size()) - 1; }
    const Cell& At(int row, int ch) const { return cells[static_cast<size_t>(row) * channels + ch]; }
};

// Decodes an XM file's orders and patterns, timing rows by its speed and
// BPM effects at 48 kHz. Throws std::invalid_argument on a truncated file.
Score ReadScore(const std::vector<uint8_t>& xm);

// Channel-bars (one channel over one bar) that hold anything, and how many of
// them copy an earlier bar of the same channel exactly, cell for cell.
struct Copies {
    int bars = 0, copies = 0;
};
Copies CopiedBars(const Score& score);
// The same per channel, comparing only the notes and instruments played.
std::vector<Copies> RepeatedNotes(const Score& score);

// Melody phrases of `bars` bars (starting on any bar, at least 6 notes on
// one of `channels`) heard `times` times or more note for note (same rhythm,
// same notes or the same an octave or two away). Returns how many distinct
// phrases.
int RepeatedPhrases(const Score& score, const std::vector<int>& channels, int bars, int times);

// The tunnel's flashes on the kicks: every kick (a note at volume 32 or more
// on `channel`) that starts in [from, to), the level the pictures read at
// the first frame at `fps` at least 5 ms after it (a flash: 0.2 or more)
// and at the last frame before it (dark before it: at most 0.6 of the flash).
struct Flashes {
    int kicks = 0, flashes = 0, dips = 0;
    double lowest = 1;   // the lowest level on a kick's next frame
};
Flashes KickFlashes(const Stereo& audio, const Score& score, int channel, double from, double to, int fps = 60);

// A chord from `row` on until the next one.
struct Chord {
    int row;
    std::string name;
};
// Share (0..1) of the song's running time spent in runs of at least four
// chord changes that follow `loop` in its order (a chord held over several
// bars counts once; the loop wraps around).
double LoopShare(const Score& score, const std::vector<Chord>& chords, const std::vector<std::string>& loop);

}   // namespace figures
