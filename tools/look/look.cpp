#include "look.h"

#include "timeline/pictures.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace look {

namespace {

constexpr int kW = 320, kH = 240;
constexpr int kOverlayX = 50, kOverlayW = 256;

int Channel(uint32_t c, int shift) { return int(c >> shift & 255); }

}   // namespace

bool SaturatedRed(uint32_t c) {
    const int r = Channel(c, 16), sum = r + Channel(c, 8) + Channel(c, 0);
    return r >= 64 && r * 5 >= sum * 4;
}

double Luma(uint32_t c) { return 0.2126 * Channel(c, 16) + 0.7152 * Channel(c, 8) + 0.0722 * Channel(c, 0); }

FrameStats Measure(const qor::Picture& frame) {
    FrameStats s;
    const size_t n = frame.argb.size();
    if (n == 0) return s;
    double sum = 0;
    size_t black = 0, saturated = 0, red = 0;
    for (uint32_t c : frame.argb) {
        const double y = Luma(c);
        sum += y;
        black += y < kNearBlack ? 1 : 0;
        saturated += std::max({Channel(c, 16), Channel(c, 8), Channel(c, 0)}) > kSaturated ? 1 : 0;
        red += SaturatedRed(c) ? 1 : 0;
    }
    s.meanLuma = sum / double(n);
    s.nearBlack = double(black) / double(n);
    s.saturated = double(saturated) / double(n);
    s.red = double(red) / double(n);
    return s;
}

double ReversalShare(const qor::Picture& a, const qor::Picture& b, const qor::Picture& c) {
    const size_t n = std::min({a.argb.size(), b.argb.size(), c.argb.size()});
    if (n == 0) return 0;
    size_t flips = 0;
    for (size_t i = 0; i < n; ++i) {
        const double ya = Luma(a.argb[i]), yb = Luma(b.argb[i]), yc = Luma(c.argb[i]);
        const bool peak = yb - ya > kReversal && yb - yc > kReversal;
        const bool dip = ya - yb > kReversal && yc - yb > kReversal;
        flips += peak || dip ? 1 : 0;
    }
    return double(flips) / double(n);
}

std::vector<Letter> FindLetters(const qor::Picture& credits) {
    std::vector<Letter> letters;
    if (credits.width != 256 || credits.height != 256) return letters;
    // What the picture adds at each display pixel (nearest texel).
    std::vector<double> ink(size_t(kW) * kH, 0.0);
    for (int y = 0; y < kH; ++y)
        for (int x = kOverlayX; x < kOverlayX + kOverlayW; ++x) {
            const int tx = x - kOverlayX, ty = std::min(255, int((y + 0.5) * 256.0 / 240.0));
            ink[size_t(y) * kW + x] = Luma(credits.argb[size_t(ty) * 256 + tx]);
        }
    // Strokes: 4-connected pixels of ink at 35 % or more of the brightest.
    const double peak = *std::max_element(ink.begin(), ink.end());
    if (peak <= 0) return letters;
    std::vector<int> label(ink.size(), -1);
    for (int start = 0; start < kW * kH; ++start) {
        if (label[size_t(start)] >= 0 || ink[size_t(start)] < 0.35 * peak) continue;
        Letter l;
        std::vector<int> stack = {start};
        label[size_t(start)] = int(letters.size());
        int x0 = kW, x1 = 0, y0 = kH, y1 = 0;
        while (!stack.empty()) {
            const int p = stack.back();
            stack.pop_back();
            l.ink.push_back(p);
            const int px = p % kW, py = p / kW;
            x0 = std::min(x0, px), x1 = std::max(x1, px), y0 = std::min(y0, py), y1 = std::max(y1, py);
            const int next[4][2] = {{px - 1, py}, {px + 1, py}, {px, py - 1}, {px, py + 1}};
            for (const auto& q : next) {
                if (q[0] < 0 || q[0] >= kW || q[1] < 0 || q[1] >= kH) continue;
                const int k = q[1] * kW + q[0];
                if (label[size_t(k)] >= 0 || ink[size_t(k)] < 0.35 * peak) continue;
                label[size_t(k)] = int(letters.size());
                stack.push_back(k);
            }
        }
        if (l.ink.size() < 6) continue;   // specks are not letters
        // The ring: within 4 pixels of the stroke's box, where the picture adds nothing.
        for (int y = std::max(0, y0 - 4); y <= std::min(kH - 1, y1 + 4); ++y)
            for (int x = std::max(0, x0 - 4); x <= std::min(kW - 1, x1 + 4); ++x)
                if (ink[size_t(y) * kW + x] < 3) l.ring.push_back(y * kW + x);
        if (l.ring.size() < 8) continue;
        letters.push_back(std::move(l));
    }
    return letters;
}

LetterLight MeasureLetter(const qor::Picture& frame, const Letter& letter) {
    LetterLight l;
    if (letter.ink.empty() || letter.ring.empty() || frame.argb.size() != size_t(kW) * kH) return l;
    double sum = 0;
    for (int p : letter.ink) sum += Luma(frame.argb[size_t(p)]);
    std::vector<double> ring;
    ring.reserve(letter.ring.size());
    for (int p : letter.ring) ring.push_back(Luma(frame.argb[size_t(p)]));
    const size_t k = ring.size() * 9 / 10;
    std::nth_element(ring.begin(), ring.begin() + long(k), ring.end());
    l.ink = sum / double(letter.ink.size());
    l.ring = ring[k];
    return l;
}

double LetterContrast(const qor::Picture& frame, const Letter& letter) {
    if (letter.ink.empty() || letter.ring.empty() || frame.argb.size() != size_t(kW) * kH) return 0;
    const LetterLight l = MeasureLetter(frame, letter);
    return (l.ink + 1.0) / (l.ring + 1.0);
}

namespace {
// The demo's fade at t as the frame gets it (a 32-bit float), held to 0..1.
double Fade(double t) { return std::clamp(CreditsFade(double(float(t))), 0.0, 1.0); }
}   // namespace

double CreditsGreyLow(double t) { return kCreditsGreyLow * Fade(t); }
double CreditsGreyHigh(double t) { return (kCreditsGreyLow + kCreditsGreySpread - 1) * Fade(t); }

}   // namespace look
