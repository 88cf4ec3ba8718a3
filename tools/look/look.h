// Figures of how the demo looks, from its rendered frames (320x240 ARGB):
// luma per frame (Rec. 709 weights on the 0..255 channels), the share of
// near-black and saturated pixels, the share of pixels that flicker (go up
// and back down, or down and back up, within three frames), and the contrast
// of the credits' letters against the picture behind them.
// Used by teq-look (tools/look-figures.sh) and by the look test.
#pragma once

#include <cstdint>
#include <vector>

#include "assets/images.h"

namespace look {

inline constexpr int kNearBlack = 10;               // luma below this is near-black
inline constexpr int kSaturated = 245;              // a channel above this is saturated
inline constexpr int kReversal = 24;                // levels up and back down that count as flicker
inline constexpr double kBlackFrame = 0.02 * 255;   // a frame whose mean luma is below this is black

double Luma(uint32_t argb);   // 0..255

struct FrameStats {
    double meanLuma = 0;    // 0..255
    double nearBlack = 0;   // share of pixels, 0..1
    double saturated = 0;   // share of pixels, 0..1
    double red = 0;         // share of saturated red pixels, 0..1
};
// Saturated red: red makes up at least 80 % of the pixel's R + G + B and is
// at least 64 (a dark red is no flash).
bool SaturatedRed(uint32_t argb);
FrameStats Measure(const qor::Picture& frame);

// Pixels of b that differ from both a and c by more than kReversal in the
// same direction (a peak or a dip one frame wide), out of all pixels.
double ReversalShare(const qor::Picture& a, const qor::Picture& b, const qor::Picture& c);

// The credits picture is drawn additively over x 50..306, y 0..240 of the
// display (256 x 256 texels squeezed to 240 rows). Each letter (each separate
// stroke of ink) is a set of display pixels where the picture's ink is at
// full strength, and a ring of display pixels around it where the picture
// adds nothing: what is behind the letter.
struct Letter {
    std::vector<int> ink;   // display pixel indices (y * 320 + x)
    std::vector<int> ring;
};
std::vector<Letter> FindLetters(const qor::Picture& credits);

// What one letter shows in a frame: the mean luma of its ink and the 90th
// percentile luma of its ring (the brightest tenth of what is behind it).
struct LetterLight {
    double ink = 0, ring = 0;
};
LetterLight MeasureLetter(const qor::Picture& frame, const Letter& letter);

// Contrast of one letter in a frame: ink over ring, each plus one level (so
// black counts as 1); 0 for a frame of the wrong size.
double LetterContrast(const qor::Picture& frame, const Letter& letter);

// The credits' grey at t: the picture is drawn with a random start grey
// scaled by the demo's fade (timeline/pictures.h). Lowest and highest it can be.
double CreditsGreyLow(double t);
double CreditsGreyHigh(double t);

}   // namespace look
