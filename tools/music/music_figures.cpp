// Mix figures. The spectrum is taken with a Hann-windowed FFT over blocks
// overlapping by half, which weights every frame alike; loudness follows
// BS.1770's filters at 48 kHz.
#include "music_figures.h"

#include "audio/level.h"
#include "biquad.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <stdexcept>

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

}   // namespace

namespace {

// Sums over Hann-windowed blocks of the range, in the bins of [lo, hi) Hz:
// each channel's energy and the real part of their cross-spectrum; and the
// energy of both channels in all bins.
struct BandSums {
    double left = 0, right = 0, cross = 0, all = 0;
};

void AddBand(const Stereo& audio, double lo, double hi, double from, double to, BandSums& sums) {
    constexpr size_t kN = 8192;
    const size_t a = FrameOf(audio, from), b = FrameOf(audio, to);
    const size_t k0 = static_cast<size_t>(lo * kN / kRate), k1 = static_cast<size_t>(hi * kN / kRate);
    std::vector<double> window(kN), re[2] = {std::vector<double>(kN), std::vector<double>(kN)},
                                    im[2] = {std::vector<double>(kN), std::vector<double>(kN)};
    for (size_t i = 0; i < kN; ++i) window[i] = 0.5 - 0.5 * std::cos(2 * kPi * static_cast<double>(i) / kN);
    for (size_t start = a; start + kN <= b; start += kN / 2) {
        for (int ch = 0; ch < 2; ++ch) {
            for (size_t i = 0; i < kN; ++i) {
                re[ch][i] = window[i] * audio[2 * (start + i) + ch];
                im[ch][i] = 0;
            }
            Fft(re[ch], im[ch]);
        }
        for (size_t k = 1; k < kN / 2; ++k) {
            const double l = re[0][k] * re[0][k] + im[0][k] * im[0][k];
            const double r = re[1][k] * re[1][k] + im[1][k] * im[1][k];
            sums.all += l + r;
            if (k >= k0 && k < k1) {
                sums.left += l;
                sums.right += r;
                sums.cross += re[0][k] * re[1][k] + im[0][k] * im[1][k];
            }
        }
    }
}

void BandEnergy(const Stereo& audio, double lo, double hi, double from, double to, double& band, double& all) {
    BandSums sums;
    AddBand(audio, lo, hi, from, to, sums);
    band += sums.left + sums.right;
    all += sums.all;
}

double Correlation(double lr, double ll, double rr) { return ll > 0 && rr > 0 ? lr / std::sqrt(ll * rr) : 1.0; }

}   // namespace

double EnergyBelow(const Stereo& audio, double hz, double from, double to) {
    double band = 0, all = 0;
    BandEnergy(audio, 0, hz, from, to, band, all);
    return all > 0 ? band / all : 0;
}

double EnergyBetween(const Stereo& audio, double lo, double hi, const Ranges& ranges) {
    double band = 0, all = 0;
    for (const auto& [from, to] : ranges) BandEnergy(audio, lo, hi, from, to, band, all);
    return all > 0 ? band / all : 0;
}

double MonoEnergyBelow(const Stereo& audio, double hz) {
    const size_t frames = audio.size() / 2;
    size_t n = 1;
    while (n < frames) n <<= 1;
    std::vector<double> re(n, 0.0), im(n, 0.0);
    for (size_t i = 0; i < frames; ++i) re[i] = 0.5 * (audio[2 * i] + audio[2 * i + 1]);
    Fft(re, im);
    const size_t cut = static_cast<size_t>(hz * static_cast<double>(n) / kRate);
    double low = 0, all = 0;
    for (size_t k = 1; k < n / 2; ++k) {
        const double e = re[k] * re[k] + im[k] * im[k];
        all += e;
        if (k < cut) low += e;
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

double BandCorrelation(const Stereo& audio, double lo, double hi, double from, double to) {
    BandSums sums;
    AddBand(audio, lo, hi, from, to, sums);
    return Correlation(sums.cross, sums.left, sums.right);
}

double Correlation(const Stereo& audio, double from, double to) {
    double lr = 0, ll = 0, rr = 0;
    for (size_t i = FrameOf(audio, from); i < FrameOf(audio, to); ++i) {
        const double l = audio[2 * i], r = audio[2 * i + 1];
        lr += l * r;
        ll += l * l;
        rr += r * r;
    }
    return Correlation(lr, ll, rr);
}

double NegativeShare(const Stereo& audio, double from, double to, double window) {
    int windows = 0, negative = 0;
    for (double t = from; t + window <= to + 1e-9; t += window, ++windows)
        negative += Correlation(audio, t, t + window) < 0;
    return windows ? static_cast<double>(negative) / windows : 0;
}

Worst WorstCorrelation(const Stereo& audio, double window, double step) {
    const double seconds = static_cast<double>(audio.size() / 2) / kRate;
    Worst worst{1.0, 0.0};
    for (double t = 0; t + window <= seconds + 1e-9; t += step) {
        double energy = 0;
        for (size_t i = FrameOf(audio, t); i < FrameOf(audio, t + window); ++i)
            energy += audio[2 * i] * audio[2 * i] + audio[2 * i + 1] * audio[2 * i + 1];
        const double rms = std::sqrt(energy / (2 * window * kRate));
        if (rms < 0.003) continue;   // near silence (under -50 dBFS) has no image to fold
        const double c = Correlation(audio, t, t + window);
        if (c < worst.correlation) worst = {c, t};
    }
    return worst;
}

Stereo FoldToMono(const Stereo& audio) {
    Stereo out(audio.size());
    for (size_t i = 0; i + 1 < audio.size(); i += 2) out[i] = out[i + 1] = 0.5f * (audio[i] + audio[i + 1]);
    return out;
}

double LastHit(const Stereo& audio, double from, double to) {
    // Energy of the mono mix per 5 ms block.
    constexpr size_t kBlock = kRate / 200;
    std::vector<double> e;
    for (size_t i = FrameOf(audio, from); i + kBlock <= FrameOf(audio, to); i += kBlock) {
        double s = 0;
        for (size_t j = i; j < i + kBlock; ++j) {
            const double m = 0.5 * (audio[2 * j] + audio[2 * j + 1]);
            s += m * m;
        }
        e.push_back(s / kBlock);
    }
    for (size_t b = e.size(); b-- > 10;) {
        double before = 0;
        for (size_t j = b - 10; j < b; ++j) before += e[j];
        if (e[b] > 1e-4 && e[b] > 10 * (before / 10)) return from + static_cast<double>(b * kBlock) / kRate;
    }
    return -1;
}

namespace {

// Mean square of the K-weighted signal per 100 ms over the range, both
// channels summed (BS.1770's filters at 48 kHz).
std::vector<double> WeightedPower(const Stereo& audio, double from, double to) {
    const size_t a = FrameOf(audio, from), b = FrameOf(audio, to);
    constexpr size_t kStep = kRate / 10;
    std::vector<double> power;
    for (int ch = 0; ch < 2; ++ch) {
        music::Biquad shelf{1.53512485958697, -2.69169618940638, 1.19839281085285, -1.69065929318241, 0.73248077421585};
        music::Biquad highPass{1.0, -2.0, 1.0, -1.99004745483398, 0.99007225036621};
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
    return power;
}

double Lufs(double power) { return -0.691 + 10 * std::log10(power + 1e-30); }

// Loudness of windows of `steps` 100 ms steps, one ending on every step.
std::vector<double> Windows(const std::vector<double>& power, size_t steps) {
    std::vector<double> out;
    for (size_t q = 0; q + steps <= power.size(); ++q) {
        double s = 0;
        for (size_t j = q; j < q + steps; ++j) s += power[j];
        out.push_back(Lufs(s / static_cast<double>(steps)));
    }
    return out;
}

}   // namespace

double Loudness(const Stereo& audio, double from, double to) {
    const std::vector<double> power = WeightedPower(audio, from, to);
    // 400 ms blocks, a new one every 100 ms; two gates.
    std::vector<double> blocks;
    for (size_t q = 0; q + 4 <= power.size(); ++q)
        blocks.push_back((power[q] + power[q + 1] + power[q + 2] + power[q + 3]) / 4);
    auto gatedMean = [&](double gate) {
        double s = 0;
        int n = 0;
        for (double p : blocks)
            if (Lufs(p) > gate) s += p, ++n;
        return n ? s / n : 0.0;
    };
    const double absolute = gatedMean(-70);
    if (absolute <= 0) return -70;
    return Lufs(gatedMean(Lufs(absolute) - 10));
}

double MeanShortTerm(const Stereo& audio, double from, double to) {
    const std::vector<double> s = Windows(WeightedPower(audio, from, to), 30);
    double sum = 0;
    for (double v : s) sum += v;
    return s.empty() ? -70 : sum / static_cast<double>(s.size());
}

double MaxMomentary(const Stereo& audio, double from, double to) {
    const std::vector<double> m = Windows(WeightedPower(audio, from, to), 4);
    return m.empty() ? -70 : *std::max_element(m.begin(), m.end());
}

double TruePeak(const Stereo& audio) {
    // Phases 1..3 of a 4x upsampler: a Hann-windowed sinc over 24 input frames.
    constexpr int kTaps = 24, kUp = 4;
    double taps[kUp][kTaps];
    for (int p = 0; p < kUp; ++p)
        for (int j = 0; j < kTaps; ++j) {
            // Distance from the output point to input frame j.
            const double x = kTaps / 2 - 1 - j + static_cast<double>(p) / kUp;
            const double w = 0.5 + 0.5 * std::cos(kPi * x / (kTaps / 2 + 1));
            taps[p][j] = (std::fabs(x) < 1e-12 ? 1.0 : std::sin(kPi * x) / (kPi * x)) * w;
        }
    const size_t frames = audio.size() / 2;
    double peak = 0;
    for (int ch = 0; ch < 2; ++ch)
        for (size_t i = kTaps; i < frames; ++i) {
            // Points from input frame i - kTaps/2 + 1 on, a quarter frame apart.
            for (int p = 0; p < kUp; ++p) {
                double y = 0;
                for (int j = 0; j < kTaps; ++j) y += taps[p][j] * audio[2 * (i - kTaps + 1 + j) + ch];
                peak = std::max(peak, std::fabs(y));
            }
        }
    return 20 * std::log10(peak + 1e-30);
}

double LevelAt(const Stereo& audio, double t) {
    const size_t w = qor::audio::LevelMeter::kWindow, end = FrameOf(audio, t);
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

// >> the score

namespace {

uint32_t U16(const std::vector<uint8_t>& b, size_t at) {
    if (at + 2 > b.size()) throw std::invalid_argument("xm: file ends early");
    return b[at] | b[at + 1] << 8u;
}

}   // namespace

Score ReadScore(const std::vector<uint8_t>& b) {
    if (b.size() < 336) throw std::invalid_argument("xm: file ends early");
    const uint32_t orders = U16(b, 64), channels = U16(b, 68), patterns = U16(b, 70);
    int speed = static_cast<int>(U16(b, 76)), bpm = static_cast<int>(U16(b, 78));
    std::vector<std::vector<Cell>> decoded(patterns);
    std::vector<uint32_t> rows(patterns);
    size_t at = 60 + (U16(b, 60) | U16(b, 62) << 16);
    for (uint32_t p = 0; p < patterns; ++p) {
        const size_t header = U16(b, at) | U16(b, at + 2) << 16;
        rows[p] = U16(b, at + 5);
        const size_t packed = U16(b, at + 7);
        size_t q = at + header;
        if (q + packed > b.size()) throw std::invalid_argument("xm: pattern runs past the end");
        for (uint32_t i = 0; packed && i < rows[p] * channels; ++i) {
            Cell c;
            uint8_t mask = 0x1F;
            if (q >= b.size()) throw std::invalid_argument("xm: pattern runs past the end");
            if (b[q] & 0x80) mask = b[q++] & 0x1F;
            uint8_t* fields[5] = {&c.note, &c.instrument, &c.volume, &c.effect, &c.param};
            for (int f = 0; f < 5; ++f)
                if (mask & (1 << f)) {
                    if (q >= b.size()) throw std::invalid_argument("xm: pattern runs past the end");
                    *fields[f] = b[q++];
                }
            decoded[p].push_back(c);
        }
        decoded[p].resize(static_cast<size_t>(rows[p]) * channels);
        at += header + packed;
    }
    Score s;
    s.channels = static_cast<int>(channels);
    double t = 0;
    for (uint32_t o = 0; o < orders; ++o) {
        const uint32_t p = b[80 + o];
        if (p >= patterns) throw std::invalid_argument("xm: order names a missing pattern");
        for (uint32_t r = 0; r < rows[p]; ++r) {
            if (r % 16 == 0) s.barStarts.push_back(static_cast<int>(s.rowTimes.size()));
            for (uint32_t ch = 0; ch < channels; ++ch) {
                const Cell& c = decoded[p][r * channels + ch];
                if (c.effect == 0xF && c.param) (c.param < 0x20 ? speed : bpm) = c.param;
            }
            s.rowTimes.push_back(t);
            t += static_cast<double>(speed * ((kRate * 5 / 2) / bpm)) / kRate;
            s.cells.insert(s.cells.end(), decoded[p].begin() + static_cast<ptrdiff_t>(r * channels),
                           decoded[p].begin() + static_cast<ptrdiff_t>((r + 1) * channels));
        }
    }
    s.rowTimes.push_back(t);
    s.barStarts.push_back(s.Rows());
    return s;
}

namespace {

// Cells of one channel over bar `bar`, optionally reduced to notes and
// instruments.
std::vector<Cell> BarCells(const Score& s, int ch, size_t bar, bool notesOnly) {
    std::vector<Cell> out;
    for (int r = s.barStarts[bar]; r < s.barStarts[bar + 1]; ++r) {
        Cell c = s.At(r, ch);
        if (notesOnly) c = {c.note, c.instrument, 0, 0, 0};
        out.push_back(c);
    }
    return out;
}

std::vector<Copies> CountCopies(const Score& s, bool notesOnly) {
    std::vector<Copies> out(static_cast<size_t>(s.channels));
    for (int ch = 0; ch < s.channels; ++ch) {
        std::vector<std::vector<Cell>> seen;
        for (size_t bar = 0; bar + 1 < s.barStarts.size(); ++bar) {
            std::vector<Cell> cells = BarCells(s, ch, bar, notesOnly);
            if (std::all_of(cells.begin(), cells.end(), [](const Cell& c) { return c == Cell{}; })) continue;
            ++out[ch].bars;
            if (std::find(seen.begin(), seen.end(), cells) != seen.end())
                ++out[ch].copies;
            else
                seen.push_back(std::move(cells));
        }
    }
    return out;
}

}   // namespace

Copies CopiedBars(const Score& score) {
    Copies all;
    for (const Copies& c : CountCopies(score, false)) {
        all.bars += c.bars;
        all.copies += c.copies;
    }
    return all;
}

std::vector<Copies> RepeatedNotes(const Score& score) { return CountCopies(score, true); }

int RepeatedPhrases(const Score& s, const std::vector<int>& channels, int bars, int times) {
    // A phrase: the notes (row from its start, pitch) of one channel over
    // `bars` bars; pitches relative to the first note's octave.
    using Phrase = std::vector<std::pair<int, int>>;
    std::map<Phrase, std::vector<int>> heard;   // phrase -> starting bars
    for (int ch : channels) {
        for (size_t bar = 0; bar + bars < s.barStarts.size(); ++bar) {
            Phrase p;
            const int from = s.barStarts[bar], to = s.barStarts[bar + bars];
            if (to - from != 16 * bars) continue;
            for (int r = from; r < to; ++r) {
                const Cell& c = s.At(r, ch);
                if (c.note && c.note < 97) p.push_back({r - from, c.note});
            }
            if (p.size() < 6) continue;
            const int octave = (p.front().second / 12) * 12;
            for (auto& n : p) n.second -= octave;
            std::vector<int>& at = heard[p];
            if (std::find(at.begin(), at.end(), static_cast<int>(bar)) == at.end()) at.push_back(static_cast<int>(bar));
        }
    }
    int n = 0;
    for (const auto& [p, at] : heard) n += static_cast<int>(at.size()) >= times;
    return n;
}

Flashes KickFlashes(const Stereo& audio, const Score& s, int channel, double from, double to, int fps) {
    Flashes f;
    for (int r = 0; r < s.Rows(); ++r) {
        const Cell& c = s.At(r, channel);
        const double t = s.rowTimes[r];
        if (!c.note || c.note >= 97 || t < from || t >= to) continue;
        if (c.volume >= 0x10 && c.volume <= 0x50 && c.volume - 0x10 < 32) continue;   // a ghost
        ++f.kicks;
        const double next = std::ceil((t + 0.005) * fps) / fps, before = std::floor(t * fps) / fps;
        const double flash = LevelAt(audio, next);
        f.flashes += flash >= 0.2;
        f.lowest = std::min(f.lowest, flash);
        f.dips += LevelAt(audio, before) <= 0.6 * flash;
    }
    return f;
}

double LoopShare(const Score& s, const std::vector<Chord>& chords, const std::vector<std::string>& loop) {
    // Merge repeated chords, then mark runs of successive loop steps.
    std::vector<Chord> spans;
    for (const Chord& c : chords)
        if (spans.empty() || spans.back().name != c.name) spans.push_back(c);
    auto index = [&](const std::string& name) {
        const auto it = std::find(loop.begin(), loop.end(), name);
        return it == loop.end() ? -1 : static_cast<int>(it - loop.begin());
    };
    auto follows = [&](size_t i) {   // spans[i] is the loop's next chord after spans[i - 1]
        const int a = index(spans[i - 1].name), b = index(spans[i].name);
        return a >= 0 && b >= 0 && (a + 1) % static_cast<int>(loop.size()) == b;
    };
    double seconds = 0;
    for (size_t i = 0; i < spans.size();) {
        size_t j = i + 1;
        while (j < spans.size() && follows(j)) ++j;
        if (j - i >= 4 && index(spans[i].name) >= 0) {
            const int from = std::clamp(spans[i].row, 0, s.Rows());
            const int to = j < spans.size() ? std::clamp(spans[j].row, 0, s.Rows()) : s.Rows();
            seconds += s.rowTimes[to] - s.rowTimes[from];
        }
        i = j;
    }
    return s.rowTimes.back() > 0 ? seconds / s.rowTimes.back() : 0;
}

}   // namespace figures
