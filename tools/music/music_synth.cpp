// Instrument synthesis. Periodic sounds are built additively (band-limited
// harmonics, so nothing aliases) with loops that hold a whole number of
// cycles of every partial; drums are shaped noise and swept sines.
#include "music_synth.h"

#include "biquad.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace synth {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRate = 44100.0;      // drums, lead, pluck, bass
constexpr double kLowRate = 22050.0;   // pads, bell, noise: nothing above 11 kHz
constexpr double kMiddleC = 261.6255653005986;

using Wave = std::vector<double>;

// xorshift32 with a fixed seed per sound: the same noise on every run.
class Rng {
public:
    explicit Rng(uint32_t seed) : s_(seed ? seed : 1) {}
    double Next() {   // uniform in [-1, 1)
        s_ ^= s_ << 13;
        s_ ^= s_ >> 17;
        s_ ^= s_ << 5;
        return static_cast<double>(s_) / 2147483648.0 - 1.0;
    }

private:
    uint32_t s_;
};

using music::Biquad;

int Frames(double seconds, double rate) { return static_cast<int>(std::lround(seconds * rate)); }

// Short fade-in and fade-out so one-shot samples start and end at zero.
void Edges(Wave& w, int in, int out) {
    const int n = static_cast<int>(w.size());
    for (int i = 0; i < in && i < n; ++i) w[i] *= static_cast<double>(i) / in;
    for (int i = 0; i < out && i < n; ++i) w[n - 1 - i] *= static_cast<double>(i) / out;
}

// Scales to `peak` (fraction of full scale) and rounds to 16 bits.
std::vector<int16_t> To16(const Wave& w, double peak) {
    double m = 1e-12;
    for (double v : w) m = std::max(m, std::fabs(v));
    std::vector<int16_t> out(w.size());
    for (size_t i = 0; i < w.size(); ++i)
        out[i] = static_cast<int16_t>(std::lround(std::clamp(w[i] * peak / m, -1.0, 1.0) * 32767.0));
    return out;
}

// Additive voice: harmonics k = 1.. of `hz` up to `maxHz` (and 0.45 of the
// rate), amplitude amp(k, t), evaluated every 16 frames. Each harmonic is a
// rotating phasor, so a constant spectrum repeats exactly.
template <class Amp>
void AddPartials(Wave& w, double rate, double hz, double phase0, double maxHz, Amp amp) {
    constexpr size_t kBlock = 16;
    const int maxK = static_cast<int>(std::min(rate * 0.45, maxHz) / hz);
    for (int k = 1; k <= maxK; ++k) {
        const std::complex<double> step = std::polar(1.0, 2 * kPi * k * hz / rate);
        std::complex<double> z = std::polar(1.0, phase0 * k);
        for (size_t i = 0; i < w.size(); i += kBlock) {
            const double a = amp(k, static_cast<double>(i) / rate);
            for (size_t j = i; j < std::min(w.size(), i + kBlock); ++j) {
                w[j] += a * z.imag();
                z *= step;
            }
            z /= std::abs(z);   // keep the phasor on the unit circle
        }
    }
}

// Magnitude of a resonant two-pole low-pass at frequency f.
double LowPassGain(double f, double cutoff, double resonance) {
    const double r = f / cutoff;
    const double peak = 1.0 + resonance * std::exp(-8.0 * (r - 1.0) * (r - 1.0));
    return peak / std::sqrt(1.0 + r * r * r * r);
}

// A look-ahead limiter: the gain that holds every frame at or under
// `threshold` times the wave's peak, taken as the lowest gain within
// `window` seconds either side and then averaged over that window, so the
// few highest crests come down smoothly and nothing passes the threshold.
// Indices wrap on a looped wave (`loop`), so the loop stays seamless.
void Limit(Wave& w, double threshold, double window, double rate, bool loop) {
    const int n = static_cast<int>(w.size()), half = std::max(1, Frames(window, rate));
    double peak = 1e-12;
    for (double v : w) peak = std::max(peak, std::fabs(v));
    const double ceiling = threshold * peak;
    auto at = [&](int i) { return loop ? ((i % n) + n) % n : std::clamp(i, 0, n - 1); };
    std::vector<double> raw(n), low(n);
    for (int i = 0; i < n; ++i) raw[i] = std::min(1.0, ceiling / std::max(1e-12, std::fabs(w[i])));
    for (int i = 0; i < n; ++i) {
        double m = 1.0;
        for (int j = -half; j <= half; ++j) m = std::min(m, raw[at(i + j)]);
        low[i] = m;
    }
    for (int i = 0; i < n; ++i) {
        double sum = 0;
        for (int j = -half; j <= half; ++j) sum += low[at(i + j)];
        w[i] *= sum / (2 * half + 1);
    }
}

xm::Instrument Make(const char* name, const Wave& w, double rate, double peak, double pitchHz) {
    xm::Instrument ins;
    ins.name = name;
    ins.sample.name = name;
    ins.sample.data = To16(w, peak);
    Tune(rate, pitchHz, ins.sample);
    return ins;
}

// Drums sound at their recorded pitch when played at C-4.
xm::Instrument MakeDrum(const char* name, const Wave& w, double rate, double peak) {
    return Make(name, w, rate, peak, kMiddleC);
}

// 808-style metal: six square waves at unrelated frequencies.
double Metal(double t) {
    static constexpr double kHz[6] = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};
    double s = 0;
    for (double hz : kHz) s += std::sin(2 * kPi * hz * 1.7 * t) >= 0 ? 1.0 : -1.0;
    return s / 6.0;
}

Wave HatWave(double seconds, double decay, uint32_t seed) {
    Rng rng(seed);
    Wave w(Frames(seconds, kRate));
    Biquad hp1(Biquad::HighPass, 7000, 0.7, kRate), hp2(Biquad::HighPass, 7000, 0.7, kRate);
    Biquad bp(Biquad::BandPass, 10000, 1.2, kRate);
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = i / kRate;
        const double src = 0.55 * Metal(t) + 0.45 * rng.Next();
        const double x = hp2(hp1(src));
        w[i] = (0.7 * x + 0.5 * bp(src)) * std::exp(-t / decay);
    }
    Edges(w, 8, 64);
    return w;
}

}   // namespace

std::vector<double> WithRoom(const std::vector<double>& dry, double rate, double tail, double wet) {
    // Four combs with a one-pole low-pass in the loop (the tail darkens as it
    // dies), feedback set for a 60 dB decay over `tail` seconds; two all-passes
    // thicken the echoes into a wash.
    static constexpr double kComb[4] = {0.0297, 0.0371, 0.0411, 0.0437};
    static constexpr double kAllPass[2] = {0.0050, 0.0017};
    Wave out(dry.size() + static_cast<size_t>(tail * rate), 0.0);
    Wave sum(out.size(), 0.0);
    for (double d : kComb) {
        const size_t n = static_cast<size_t>(d * rate);
        const double g = std::pow(10.0, -3.0 * d / tail), damp = 0.35;
        Wave line(n, 0.0);
        double lp = 0;
        for (size_t i = 0, at = 0; i < out.size(); ++i, at = (at + 1) % n) {
            const double x = i < dry.size() ? dry[i] : 0.0;
            const double y = line[at];
            lp = y * (1 - damp) + lp * damp;
            line[at] = x + g * lp;
            sum[i] += y;
        }
    }
    for (double d : kAllPass) {
        const size_t n = static_cast<size_t>(d * rate);
        Wave line(n, 0.0);
        for (size_t i = 0, at = 0; i < sum.size(); ++i, at = (at + 1) % n) {
            const double b = line[at], x = sum[i];
            line[at] = x + 0.5 * b;
            sum[i] = b - 0.5 * line[at];
        }
    }
    double dryPeak = 1e-12, wetPeak = 1e-12;
    for (double v : dry) dryPeak = std::max(dryPeak, std::fabs(v));
    for (double v : sum) wetPeak = std::max(wetPeak, std::fabs(v));
    for (size_t i = 0; i < out.size(); ++i) out[i] = (i < dry.size() ? dry[i] : 0.0) + wet * dryPeak / wetPeak * sum[i];
    // The tail fades to zero over its last fifth.
    const size_t fade = static_cast<size_t>(tail * rate / 5);
    for (size_t i = 0; i < fade && i < out.size(); ++i) out[out.size() - 1 - i] *= static_cast<double>(i) / fade;
    return out;
}

void Tune(double rate, double pitchHz, xm::Sample& s) {
    // Note N plays the sample at 8363 * 2^((N - 49 + relative + finetune/128) / 12) Hz,
    // so content at pitchHz sounds as middle C at C-4 when this shift holds.
    const double semis = 12.0 * std::log2(kMiddleC * rate / (8363.0 * pitchHz));
    const double rel = std::round(semis);
    s.relativeNote = static_cast<int8_t>(rel);
    s.finetune = static_cast<int8_t>(std::lround((semis - rel) * 128.0));
}

// The kick's wave: a pitch-swept body, saturated and held so it stays loud
// for ~50 ms and then falls away fast (a tight kick, not a boom), over a
// noise click. cutAt > 0 ends its tail there within about 40 ms.
Wave KickWave(double seconds, double cutAt) {
    Wave w(Frames(seconds, kRate));
    Rng rng(11);
    Biquad hp(Biquad::HighPass, 3000, 0.7, kRate);
    double phase = 0;
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = i / kRate;
        const double hz = 48 + 160 * std::exp(-t / 0.03) + 500 * std::exp(-t / 0.004);
        phase += 2 * kPi * hz / kRate;
        const double amp = std::min(1.0, t / 0.0015) * (t < 0.02 ? 1.0 : std::exp(-(t - 0.02) / 0.04));
        const double body = std::tanh(4.0 * amp * std::sin(phase)) / std::tanh(4.0);
        const double click = hp(rng.Next()) * std::exp(-t / 0.0025) * 0.35;
        const double cut = cutAt <= 0 || t < cutAt ? 1.0 : std::exp(-(t - cutAt) / 0.012);
        w[i] = (body + click) * cut;
    }
    return w;
}

xm::Instrument Kick() {
    Wave w = KickWave(0.36, 0);
    Edges(w, 0, 1500);
    return MakeDrum("kick", w, kRate, 0.99);
}

xm::Instrument Snare() {
    Wave w(Frames(0.34, kRate));
    Rng rng(23);
    Biquad hp(Biquad::HighPass, 1200, 0.7, kRate), bp(Biquad::BandPass, 4200, 0.9, kRate);
    double phase = 0;
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = i / kRate;
        phase += 2 * kPi * (178 + 70 * std::exp(-t / 0.015)) / kRate;
        const double body = std::sin(phase) * std::exp(-t / 0.055) * 0.8;
        const double n = rng.Next();
        const double noise = (0.7 * hp(n) + 0.6 * bp(n)) * std::exp(-t / 0.12);
        w[i] = std::tanh(2.4 * (body + noise));   // soft-clipped: a dense crack, a low peak
    }
    Edges(w, 4, 800);
    return MakeDrum("snare", WithRoom(w, kRate, 0.9, 0.45), kRate, 0.97);
}

xm::Instrument Clap() {
    Wave w(Frames(0.32, kRate));
    Rng rng(37);
    Biquad bp(Biquad::BandPass, 1150, 1.3, kRate), hp(Biquad::HighPass, 600, 0.7, kRate);
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = i / kRate;
        double env = 0;
        for (double start : {0.0, 0.0105, 0.021})
            if (t >= start) env = std::max(env, std::exp(-(t - start) / 0.0045));
        if (t >= 0.029) env = std::max(env, 0.85 * std::exp(-(t - 0.029) / 0.085));
        const double n = rng.Next();
        w[i] = (bp(n) * 1.6 + 0.35 * hp(n)) * env;
    }
    // Soft-clipped before the room: the three bursts' spikes squeezed, so the
    // clap sits loud at a low peak.
    double peak = 1e-12;
    for (double v : w) peak = std::max(peak, std::fabs(v));
    for (double& v : w) v = std::tanh(2.5 * v / peak);
    Edges(w, 2, 800);
    return MakeDrum("clap", WithRoom(w, kRate, 1.1, 0.5), kRate, 0.97);
}

xm::Instrument HatClosed() { return MakeDrum("hat closed", HatWave(0.10, 0.022, 41), kRate, 0.95); }
xm::Instrument HatOpen() { return MakeDrum("hat open", HatWave(0.42, 0.15, 43), kRate, 0.95); }

xm::Instrument Crash() {
    Wave w(Frames(1.7, kRate));
    Rng rng(59);
    Biquad hp1(Biquad::HighPass, 4200, 0.7, kRate), hp2(Biquad::HighPass, 3000, 0.6, kRate);
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = i / kRate;
        const double src = 0.35 * Metal(t * 1.31) + 0.65 * rng.Next();
        w[i] = hp2(hp1(src)) * std::min(1.0, t / 0.003) * std::exp(-t / 0.55);
    }
    Edges(w, 0, 4000);
    return MakeDrum("crash", w, kRate, 0.95);
}

xm::Instrument Noise() {
    // Half a second of noise low-passed at 1.4 kHz, looped: played two octaves
    // up under a tone portamento it becomes a rising, brightening sweep.
    const int n = Frames(0.5, kLowRate);
    Wave w(n + 2048);
    Rng rng(71);
    Biquad lp1(Biquad::LowPass, 1400, 0.8, kLowRate), lp2(Biquad::LowPass, 1400, 0.8, kLowRate);
    for (double& v : w) v = lp2(lp1(rng.Next()));
    // Loop the last n frames; cross-fade the loop's end into its start.
    Wave loop(w.end() - n, w.end());
    const int fade = 1024;
    for (int i = 0; i < fade; ++i) {
        const double a = static_cast<double>(i) / fade;
        loop[n - fade + i] = loop[n - fade + i] * (1 - a) + w[w.size() - n - fade + i] * a;
    }
    xm::Instrument ins = Make("noise", loop, kLowRate, 0.9, kMiddleC);
    ins.sample.loopStart = 0;
    ins.sample.loopLength = static_cast<uint32_t>(loop.size());
    return ins;
}

xm::Instrument Bass() {
    // Saw with a little square and a weaker fundamental, through a resonant low-pass
    // whose cutoff falls from 2.9 kHz to 550 Hz; the last cycles, at the
    // final cutoff, loop. Period 802 frames (about A-1).
    const int period = 802;
    const double hz = kRate / period;
    const int loopCycles = 12;
    const int attackCycles = 28;   // cutoff settles before the loop starts
    Wave w(static_cast<size_t>(period) * (attackCycles + loopCycles));
    const double settle = attackCycles * period / kRate;
    AddPartials(w, kRate, hz, 0.0, 8000, [&](int k, double t) {
        const double tt = std::min(t, settle);
        const double cutoff = 550 + 2300 * std::exp(-tt / 0.06);
        const double shape = (k == 1 ? 0.6 : k % 2 ? 1.0 : 0.75) / k;
        return shape * LowPassGain(k * hz, cutoff, 0.8);
    });
    // Soft-clipped hard: a dense body, loud for its peak.
    for (double& v : w) v = std::tanh(2.6 * v);
    Edges(w, 16, 0);
    xm::Instrument ins = Make("bass", w, kRate, 0.98, hz);
    ins.sample.loopStart = static_cast<uint32_t>(period * attackCycles);
    ins.sample.loopLength = static_cast<uint32_t>(period * loopCycles);
    // Quick attack, settles to a steady body; key off releases in ~6 ticks.
    ins.volumeEnvelope.points = {{0, 64}, {4, 54}, {14, 44}, {60, 40}};
    ins.volumeEnvelope.sustain = 3;
    ins.fadeout = 5500;
    return ins;
}

namespace {

// A pad layer: saws whose cycle counts over the 32768-frame loop differ from
// the centre's by `detunes`, so it beats slowly and loops seamlessly.
struct PadLayer {
    const char* name;
    uint32_t seed;   // the saws' phases
    std::vector<int> detunes;
    double sideGain;           // of every saw but the centre one
    double cutoff;             // Hz
    uint16_t attack, settle;   // envelope ticks to full level, then to 56
    int fadeout;
};

xm::Instrument MakePad(const PadLayer& p) {
    const int length = 32768;
    const double unit = kLowRate / length;   // Hz per cycle in the loop
    const int centre = 194;                  // 130.5 Hz, about C-3
    Wave w(length);
    Rng rng(p.seed);
    for (int d : p.detunes) {
        const double hz = (centre + d) * unit;
        const double gain = d == 0 ? 1.0 : p.sideGain;
        AddPartials(w, kLowRate, hz, kPi * rng.Next(), 1e9,
                    [&](int k, double) { return gain / k * LowPassGain(k * hz, p.cutoff, 0.3); });
    }
    Limit(w, 0.35, 0.003, kLowRate, true);
    xm::Instrument ins = Make(p.name, w, kLowRate, 0.98, centre * unit);
    ins.sample.loopStart = 0;
    ins.sample.loopLength = length;
    ins.volumeEnvelope.points = {{0, 0}, {p.attack, 64}, {p.settle, 56}};
    ins.volumeEnvelope.sustain = 2;
    ins.fadeout = p.fadeout;
    return ins;
}

}   // namespace

xm::Instrument Pad() {
    // Seven saws a cycle apart: a +-27 cent spread; about a second of release.
    return MakePad({"pad", 83, {-3, -2, -1, 0, 1, 2, 3}, 0.75, 2200, 18, 40, 700});
}

xm::Instrument PadWide() {
    // A wider spread and other phases: on the other side of the stereo field
    // the two layers beat against each other.
    return MakePad({"pad wide", 89, {-5, -4, -2, 0, 2, 4, 5}, 0.7, 2600, 24, 48, 600});
}

namespace {

// Saw/square voices `centre` + d cycles over a 16384-frame loop (about A-4)
// for d in `detunes`.
xm::Instrument MakeLead(const char* name, uint32_t seed, std::initializer_list<int> detunes) {
    const int length = 16384;
    const double unit = kRate / length;
    const int centre = 163;
    Wave w(length);
    Rng rng(seed);
    for (int d : detunes) {
        const double hz = (centre + d) * unit;
        AddPartials(w, kRate, hz, kPi * rng.Next(), 9000,
                    [&](int k, double) { return (k % 2 ? 1.0 : 0.5) / k * LowPassGain(k * hz, 3800, 0.5); });
    }
    Limit(w, 0.7, 0.002, kRate, true);
    xm::Instrument ins = Make(name, w, kRate, 0.98, centre * unit);
    ins.sample.loopStart = 0;
    ins.sample.loopLength = length;
    ins.volumeEnvelope.points = {{0, 20}, {2, 64}, {10, 50}, {30, 46}};
    ins.volumeEnvelope.sustain = 3;
    ins.fadeout = 2200;
    ins.vibratoType = 0;   // sine, fading in over 24 ticks
    ins.vibratoSweep = 24;
    ins.vibratoDepth = 5;
    ins.vibratoRate = 10;
    return ins;
}

}   // namespace

xm::Instrument Lead() { return MakeLead("lead", 97, {-1, 0, 1}); }
xm::Instrument LeadWide() { return MakeLead("lead wide", 101, {-2, 0, 2}); }

xm::Instrument Pluck(int brightness) {
    // Saw that closes quickly, period 84 frames (about C-5); the filter's
    // starting cutoff rises with `brightness`.
    static constexpr const char* kName[3] = {"pluck dark", "pluck", "pluck bright"};
    brightness = std::clamp(brightness, 0, 2);
    const double open = 2500.0 * (1 + brightness * 1.4);
    const int period = 84;
    const double hz = kRate / period;
    Wave w(Frames(0.42, kRate));
    AddPartials(w, kRate, hz, 0.0, 1e9, [&](int k, double t) {
        const double cutoff = 700 + open * std::exp(-t / 0.035);
        return (k % 2 ? 1.0 : 0.8) / k * LowPassGain(k * hz, cutoff, 0.6) * std::exp(-t / 0.13);
    });
    Edges(w, 8, 400);
    Wave out = WithRoom(w, kRate, 0.8, 0.35);
    Limit(out, 0.55, 0.002, kRate, false);
    return Make(kName[brightness], out, kRate, 0.98, hz);
}

xm::Instrument Bell() {
    // Two-operator FM, modulator at 3.5x the carrier, index falling from 3.
    const double hz = 523.25;   // C-5
    Wave w(Frames(1.5, kLowRate));
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = i / kLowRate;
        const double index = 0.4 + 2.6 * std::exp(-t / 0.25);
        const double mod = index * std::sin(2 * kPi * hz * 3.5 * t);
        const double tone = std::sin(2 * kPi * hz * t + mod) + 0.3 * std::sin(2 * kPi * hz * 2 * t);
        w[i] = tone * std::min(1.0, t / 0.002) * std::exp(-t / 0.45);
    }
    Edges(w, 0, 600);
    Wave out = WithRoom(w, kLowRate, 1.4, 0.4);
    Limit(out, 0.6, 0.003, kLowRate, false);
    return Make("bell", out, kLowRate, 0.95, hz);
}

xm::Instrument KickClick() {
    // 25 ms of band-passed noise and a 1.8 kHz blip: the beater, not the body.
    Wave w(Frames(0.04, kRate));
    Rng rng(13);
    Biquad bp(Biquad::BandPass, 3500, 0.8, kRate);
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = i / kRate;
        w[i] = (bp(rng.Next()) * 1.4 + 0.6 * std::sin(2 * kPi * 1800 * t)) * std::exp(-t / 0.006);
    }
    Edges(w, 2, 200);
    return MakeDrum("kick click", w, kRate, 0.95);
}

xm::Instrument KickSub() {
    // The kick's body alone, unsaturated and longer: the same pitch fall from
    // the same phase, so on a kick it adds to the body instead of beating.
    Wave w(Frames(0.36, kRate));
    double phase = 0;
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = i / kRate;
        phase += 2 * kPi * (48 + 160 * std::exp(-t / 0.03) + 500 * std::exp(-t / 0.004)) / kRate;
        // Full for 45 ms, then gone quickly: weight where the kick hits.
        const double amp = std::min(1.0, t / 0.0015) * (t < 0.04 ? 1.0 : std::exp(-(t - 0.04) / 0.02));
        w[i] = std::tanh(2.0 * amp * std::sin(phase));
    }
    Edges(w, 0, 1500);
    return MakeDrum("kick sub", w, kRate, 0.99);
}

xm::Instrument KickDrop() {
    // The kick with its saturated tail cut: full for 70 ms, then gone within
    // about 40 ms, so between the drop's kicks the mix (and the level the
    // pictures read) falls right back.
    Wave w = KickWave(0.16, 0.07);
    Edges(w, 0, 200);
    return MakeDrum("kick drop", w, kRate, 0.99);
}

xm::Instrument Sub() {
    // A looped sine, 100 cycles over 4410 frames at 22050 Hz (500 Hz): tuned
    // like the other pitched instruments.
    const int length = 4410, cycles = 100;
    Wave w(length);
    for (int i = 0; i < length; ++i) w[i] = std::sin(2 * kPi * cycles * i / length);
    const double hz = kLowRate * cycles / length;
    xm::Instrument ins = Make("sub", w, kLowRate, 0.95, hz);
    ins.sample.loopStart = 0;
    ins.sample.loopLength = length;
    ins.volumeEnvelope.points = {{0, 0}, {2, 64}, {40, 48}};
    ins.volumeEnvelope.sustain = 2;
    ins.fadeout = 4000;
    return ins;
}

xm::Instrument Tom() {
    Wave w(Frames(0.45, kRate));
    double phase = 0;
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = i / kRate;
        phase += 2 * kPi * (150 + 90 * std::exp(-t / 0.04)) / kRate;
        w[i] = std::tanh(1.5 * std::sin(phase)) * std::exp(-t / 0.12);
    }
    Edges(w, 4, 600);
    Wave out = WithRoom(w, kRate, 0.7, 0.3);
    Limit(out, 0.7, 0.002, kRate, false);
    return MakeDrum("tom", out, kRate, 0.97);
}

xm::Instrument Ride() {
    // A metallic wash high-passed above 5 kHz and a ping of three inharmonic
    // partials: bright, long, quiet in the body.
    Wave w(Frames(0.9, kRate));
    Rng rng(131);
    Biquad hp1(Biquad::HighPass, 5000, 0.7, kRate), hp2(Biquad::HighPass, 5000, 0.7, kRate);
    Biquad bp(Biquad::BandPass, 11000, 0.9, kRate);
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = i / kRate;
        const double src = 0.6 * Metal(t * 2.9) + 0.4 * rng.Next();
        const double wash = (hp2(hp1(src)) + 0.6 * bp(src)) * std::exp(-t / 0.32);
        const double ping =
            (std::sin(2 * kPi * 3150 * t) + 0.7 * std::sin(2 * kPi * 4730 * t) + 0.5 * std::sin(2 * kPi * 6920 * t)) *
            0.18 * std::exp(-t / 0.18);
        w[i] = std::min(1.0, t / 0.0008) * (wash + ping);
    }
    Edges(w, 0, 3000);
    return MakeDrum("ride", w, kRate, 0.9);
}

xm::Instrument Shaker() {
    // Noise above 6 kHz, a 6 ms rise and a 35 ms fall.
    Wave w(Frames(0.09, kRate));
    Rng rng(137);
    Biquad hp1(Biquad::HighPass, 6000, 0.7, kRate), hp2(Biquad::HighPass, 6000, 0.7, kRate);
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = i / kRate;
        w[i] = hp2(hp1(rng.Next())) * std::min(1.0, t / 0.006) * std::exp(-t / 0.035);
    }
    Edges(w, 0, 200);
    return MakeDrum("shaker", w, kRate, 0.9);
}

xm::Instrument Stab(int variant) {
    // Two saws 0.6 % (variant 1: 0.9 %) apart, period 84 frames (about C-5),
    // the filter opening bright and closing over 80 ms.
    const double hz = kRate / 84;
    const double spread = variant ? 0.009 : 0.006;
    Wave w(Frames(0.34, kRate));
    Rng rng(variant ? 151 : 149);
    for (double d : {-spread / 2, spread / 2}) {
        const double f = hz * (1 + d);
        AddPartials(w, kRate, f, kPi * rng.Next(), 1e9, [&](int k, double t) {
            const double cutoff = 1800 + 7000 * std::exp(-t / 0.08);
            return 1.0 / k * LowPassGain(k * f, cutoff, 0.4) * std::exp(-t / 0.16);
        });
    }
    for (double& v : w) v = std::tanh(1.5 * v);
    Edges(w, 16, 500);
    Wave out = WithRoom(w, kRate, 0.6, 0.3);
    Limit(out, 0.35, 0.002, kRate, false);
    return Make(variant ? "stab wide" : "stab", out, kRate, 0.98, hz);
}

}   // namespace synth
