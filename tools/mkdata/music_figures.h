// Figures of a rendered mix, as a listener and the pictures meet it: the
// share of energy below a frequency, stereo width, loudness (K-weighted,
// gated), and the level the pictures read (RMS of the mono mix over the last
// 1/50 s). Used by the music tests and by tools/music-figures.sh.
#pragma once

#include <cstddef>
#include <vector>

namespace figures {

constexpr int kRate = 48000;

// Interleaved stereo float frames at 48 kHz; a range is [from, to) seconds.
using Stereo = std::vector<float>;

// Share (0..1) of the energy of both channels that lies below `hz`.
double EnergyBelow(const Stereo& audio, double hz, double from, double to);
// Side over mid energy in dB (mid = (L + R) / 2, side = (L - R) / 2).
double SideOverMid(const Stereo& audio, double from, double to);
// Integrated loudness in LUFS (ITU-R BS.1770: K-weighting, 400 ms blocks,
// absolute gate -70 LUFS, relative gate -10 LU).
double Loudness(const Stereo& audio, double from, double to);
// RMS of the mono mix over the 1/50 s before time t (0 before 1/50 s).
double LevelAt(const Stereo& audio, double t);
// Levels at every frame of a 60 fps picture stream over the range.
std::vector<double> FrameLevels(const Stereo& audio, double from, double to, int fps = 60);
// Value at fraction p (0..1) of the sorted values (nearest rank below).
double Quantile(std::vector<double> values, double p);

} // namespace figures
