// music_figures RAW.f32 [MODULE.xm]: the mix figures of a render (48 kHz
// interleaved stereo float, as `openmpt123 --float --stdout` writes it), one
// per line, and with the module the figures of its score (the chords are the
// generator's own). tools/music-figures.sh renders the module and adds
// ffmpeg's loudness figures.
#include "music.h"
#include "music_figures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {

struct Range {
    const char* name;
    double from, to;
};

// Stretches with a running beat.
constexpr Range kBeat[] = {{"build", 20, 27.5},  {"groove", 27.5, 37},    {"groove 2", 37, 42.5}, {"theme", 42.5, 53},
                           {"drop", 57.8, 77.8}, {"drop 2", 80.3, 100.2}, {"outro", 115.5, 124}};
constexpr Range kSections[] = {{"intro", 0, 20},        {"build", 20, 27.5},         {"groove", 27.5, 37},
                               {"groove 2", 37, 42.5},  {"theme", 42.5, 53},         {"break", 53, 55},
                               {"riser", 55, 57.8},     {"drop", 57.8, 77.8},        {"stutter", 77.8, 80.3},
                               {"drop 2", 80.3, 100.2}, {"breakdown", 100.2, 110.2}, {"return", 110.2, 115.5},
                               {"outro", 115.5, 132}};

}   // namespace

int main(int argc, char** argv) {
    using namespace figures;
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: music_figures RAW.f32 [MODULE.xm]\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "music_figures: cannot read %s\n", argv[1]);
        return 1;
    }
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Stereo audio(bytes.size() / sizeof(float));
    std::copy_n(bytes.data(), audio.size() * sizeof(float), reinterpret_cast<char*>(audio.data()));
    const double seconds = static_cast<double>(audio.size() / 2) / kRate;

    float peak = 0;
    for (float v : audio) peak = std::max(peak, std::fabs(v));
    std::printf("duration           %.3f s\n", seconds);
    std::printf("sample peak        %.2f dBFS\n", 20 * std::log10(peak + 1e-30));
    std::printf("integrated         %.1f LUFS\n", Loudness(audio, 0, seconds));
    std::printf("true peak          %.2f dBTP\n", TruePeak(audio));
    std::printf("below 150 Hz       %.1f %%  (one spectrum of the mono mix %.1f %%)\n",
                100 * EnergyBelow(audio, 150, 0, seconds), 100 * MonoEnergyBelow(audio, 150));
    const Ranges drops = {{57.8, 77.8}, {80.3, 100.2}};
    std::printf("drops 2-8 kHz      %.1f %%  above 8 kHz %.2f %%\n", 100 * EnergyBetween(audio, 2000, 8000, drops),
                100 * EnergyBetween(audio, 8000, 24000, drops));
    std::printf("song 2-8 kHz       %.1f %%  above 8 kHz %.2f %%\n",
                100 * EnergyBetween(audio, 2000, 8000, {{0, seconds}}),
                100 * EnergyBetween(audio, 8000, 24000, {{0, seconds}}));
    std::printf("drop - theme       %.1f LU mean short-term (own meter)\n",
                MeanShortTerm(audio, 57.8, 77.8) - MeanShortTerm(audio, 42.5, 53));
    std::printf("drop - riser       %.1f LU highest momentary (own meter)\n",
                MaxMomentary(audio, 57.8, 77.8) - MaxMomentary(audio, 55, 57.8));
    double mid = 0, side = 0;
    for (const Range& r : kBeat) {
        const double sm = SideOverMid(audio, r.from, r.to);
        std::printf("side/mid %-9s  %.1f dB\n", r.name, sm);
        // Energy-weighted over all beat stretches: recompute from the parts.
        double m = 0, s = 0;
        for (size_t i = static_cast<size_t>(r.from * kRate); i < static_cast<size_t>(r.to * kRate); ++i) {
            const double l = audio[2 * i], rr = audio[2 * i + 1];
            m += (l + rr) * (l + rr);
            s += (l - rr) * (l - rr);
        }
        mid += m;
        side += s;
    }
    std::printf("side/mid beat      %.1f dB\n", 10 * std::log10(side / mid));
    for (const Range& r : kSections)
        std::printf("loudness %-10s %.1f LUFS  below 150 Hz %.0f %%\n", r.name, Loudness(audio, r.from, r.to),
                    100 * EnergyBelow(audio, 150, r.from, r.to));
    std::printf("drop - breakdown   %.1f LU\n", Loudness(audio, 57.8, 77.8) - Loudness(audio, 100.2, 110.2));
    std::vector<double> term, dark;
    for (double l : FrameLevels(audio, 57.8, 77.8)) term.push_back(81000 * l * l * l * l);
    int darkFrames = 0;
    for (double v : term) darkFrames += v < 30;
    std::printf("tunnel term p25 %.1f  p50 %.1f  p90 %.1f  p90/p25 %.1f  dark %.0f %%\n", Quantile(term, 0.25),
                Quantile(term, 0.5), Quantile(term, 0.9), Quantile(term, 0.9) / std::max(1e-9, Quantile(term, 0.25)),
                100.0 * darkFrames / static_cast<double>(term.size()));
    std::vector<double> grey;
    for (double l : FrameLevels(audio, 0, 20)) grey.push_back(500 * l);
    std::printf("intro grey median %.0f  p95 %.0f\n", Quantile(grey, 0.5), Quantile(grey, 0.95));
    if (argc < 3) return 0;

    std::ifstream xmIn(argv[2], std::ios::binary);
    if (!xmIn) {
        std::fprintf(stderr, "music_figures: cannot read %s\n", argv[2]);
        return 1;
    }
    const std::vector<uint8_t> xm((std::istreambuf_iterator<char>(xmIn)), std::istreambuf_iterator<char>());
    Score score;
    try {
        score = ReadScore(xm);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "music_figures: %s: %s\n", argv[2], e.what());
        return 1;
    }
    std::printf("home loop          %.1f %% of the running time\n",
                100 * LoopShare(score, MusicChords(), MusicHomeLoop()));
    std::printf("lead phrases heard 3+ times: 8 bars %d, 4 bars %d\n",
                RepeatedPhrases(score, MusicMelodyChannels(), 8, 3),
                RepeatedPhrases(score, MusicMelodyChannels(), 4, 3));
    const Copies copies = CopiedBars(score);
    std::printf("copied bars        %.1f %% (%d of %d channel-bars)\n",
                100.0 * copies.copies / std::max(1, copies.bars), copies.copies, copies.bars);
    std::printf("notes repeating an earlier bar, per channel:");
    const std::vector<Copies> notes = RepeatedNotes(score);
    for (size_t ch = 0; ch < notes.size(); ++ch)
        if (notes[ch].bars) std::printf(" %zu:%d/%d", ch, notes[ch].copies, notes[ch].bars);
    std::printf("\n");
    return 0;
}
