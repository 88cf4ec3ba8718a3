// Mix figures. The spectrum is taken with a Hann-windowed FFT over blocks
// overlapping by half, which weights every frame alike; loudness follows
// BS.1770's filters at 48 kHz.
#include "music_figures.h"

#include <algorithm>
#include <cmath>

namespace figures {
namespace {

constexpr double kPi = 3.14159265358979323846;

size_t FrameOf(const Stereo& audio, double t) {
  const double f = std::clamp(t, 0.0, 1e9) * kRate;
  return std::min(audio.size() / 2, static_cast<size_t>(std::llround(f)));
}

// In-place radix-2 FFT of re/im (size a power of two), twiddles from a
// table and products written out, so it runs at full speed without
// fast-math.
void Fft(std::vector<double>& re, std::vector<double>& im) {
  const size_t n = re.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) {
      std::swap(re[i], re[j]);
      std::swap(im[i], im[j]);
    }
  }
  std::vector<double> cs(n / 2), sn(n / 2);
  for (size_t k = 0; k < n / 2; ++k) {
    cs[k] = std::cos(2 * kPi * static_cast<double>(k) / static_cast<double>(n));
    sn[k] = -std::sin(2 * kPi * static_cast<double>(k) / static_cast<double>(n));
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    const size_t half = len / 2, stride = n / len;
    for (size_t i = 0; i < n; i += len) {
      for (size_t k = 0; k < half; ++k) {
        const double wr = cs[k * stride], wi = sn[k * stride];
        const size_t a = i + k, b = a + half;
        const double vr = re[b] * wr - im[b] * wi, vi = re[b] * wi + im[b] * wr;
        re[b] = re[a] - vr;
        im[b] = im[a] - vi;
        re[a] += vr;
        im[a] += vi;
      }
    }
  }
}

// Direct-form biquad for the K-weighting stages.
struct Stage {
  double b0, b1, b2, a1, a2, x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  double operator()(double x) {
    const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1; x1 = x; y2 = y1; y1 = y;
    return y;
  }
};

} // namespace

double EnergyBelow(const Stereo& audio, double hz, double from, double to) {
  constexpr size_t kN = 8192;
  const size_t a = FrameOf(audio, from), b = FrameOf(audio, to);
  const size_t cut = static_cast<size_t>(hz * kN / kRate);
  double low = 0, all = 0;
  std::vector<double> window(kN), re(kN), im(kN);
  for (size_t i = 0; i < kN; ++i) window[i] = 0.5 - 0.5 * std::cos(2 * kPi * static_cast<double>(i) / kN);
  for (size_t start = a; start + kN <= b; start += kN / 2) {
    for (int ch = 0; ch < 2; ++ch) {
      for (size_t i = 0; i < kN; ++i) {
        re[i] = window[i] * audio[2 * (start + i) + ch];
        im[i] = 0;
      }
      Fft(re, im);
      for (size_t k = 1; k < kN / 2; ++k) {
        const double e = re[k] * re[k] + im[k] * im[k];
        all += e;
        if (k < cut) low += e;
      }
    }
  }
  return all > 0 ? low / all : 0;
}

double SideOverMid(const Stereo& audio, double from, double to) {
  double mid = 0, side = 0;
  for (size_t i = FrameOf(audio, from); i < FrameOf(audio, to); ++i) {
    const double l = audio[2 * i], r = audio[2 * i + 1];
    mid += (l + r) * (l + r);
    side += (l - r) * (l - r);
  }
  return 10 * std::log10((side + 1e-30) / (mid + 1e-30));
}

double Loudness(const Stereo& audio, double from, double to) {
  const size_t a = FrameOf(audio, from), b = FrameOf(audio, to);
  // Mean square of the K-weighted signal per 100 ms, both channels summed.
  constexpr size_t kStep = kRate / 10;
  std::vector<double> power;
  for (int ch = 0; ch < 2; ++ch) {
    Stage shelf{1.53512485958697, -2.69169618940638, 1.19839281085285, -1.69065929318241,
                0.73248077421585};
    Stage highPass{1.0, -2.0, 1.0, -1.99004745483398, 0.99007225036621};
    for (size_t i = a, q = 0; i + kStep <= b; i += kStep, ++q) {
      double s = 0;
      for (size_t j = i; j < i + kStep; ++j) {
        const double y = highPass(shelf(audio[2 * j + ch]));
        s += y * y;
      }
      if (power.size() <= q) power.push_back(0);
      power[q] += s / kStep;
    }
  }
  // 400 ms blocks, a new one every 100 ms; two gates.
  std::vector<double> blocks;
  for (size_t q = 0; q + 4 <= power.size(); ++q)
    blocks.push_back((power[q] + power[q + 1] + power[q + 2] + power[q + 3]) / 4);
  auto lufs = [](double p) { return -0.691 + 10 * std::log10(p + 1e-30); };
  auto gatedMean = [&](double gate) {
    double s = 0;
    int n = 0;
    for (double p : blocks)
      if (lufs(p) > gate) s += p, ++n;
    return n ? s / n : 0.0;
  };
  const double absolute = gatedMean(-70);
  if (absolute <= 0) return -70;
  return lufs(gatedMean(lufs(absolute) - 10));
}

double LevelAt(const Stereo& audio, double t) {
  const size_t w = kRate / 50, end = FrameOf(audio, t);
  if (end < w) return 0;
  double s = 0;
  for (size_t i = end - w; i < end; ++i) {
    const double m = 0.5 * (audio[2 * i] + audio[2 * i + 1]);
    s += m * m;
  }
  return std::sqrt(s / w);
}

std::vector<double> FrameLevels(const Stereo& audio, double from, double to, int fps) {
  std::vector<double> out;
  for (long n = std::lround(std::ceil(from * fps)); n < to * fps; ++n)
    out.push_back(LevelAt(audio, static_cast<double>(n) / fps));
  return out;
}

double Quantile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[static_cast<size_t>(p * static_cast<double>(v.size() - 1))];
}

} // namespace figures
