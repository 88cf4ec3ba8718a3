// music_figures RAW.f32 [MODULE.xm]: the mix figures of a render (48 kHz
// interleaved stereo float, as `openmpt123 --float --stdout` writes it), one
// per line, and with the module the figures of its score (the chords are the
// generator's own) and of the tunnel's flashes on its kicks.
// tools/music/music-figures.sh renders the module and adds ffmpeg's
// loudness figures and the pictures' own.
#include "music.h"
#include "music_figures.h"
#include "music_song.h"
#include "timeline/pictures.h"
#include "timeline/timeline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <stdexcept>
#include <string>

namespace {

using namespace figures;

struct Range {
    std::string name;
    double from, to;
};

// Every section of the song, from the plan.
std::vector<Range> Sections() {
    std::vector<Range> out;
    const auto& s = song::Sections();
    for (size_t i = 0; i < s.size(); ++i)
        out.push_back({s[i].name, s[i].cue, i + 1 < s.size() ? s[i + 1].cue : song::kEndSeconds});
    return out;
}

Range Section(const char* name) {
    for (const Range& r : Sections())
        if (r.name == name) return r;
    throw std::logic_error(std::string("no section ") + name);
}

// The drop's first stretch: while the tunnel is lit, before its fade.
constexpr double kTunnelFade = 72.0;

}   // namespace

int main(int argc, char** argv) {
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
    const Range intro = Section("intro"), groove2 = Section("groove 2"), theme = Section("theme"),
                drop = Section("drop"), drop2 = Section("drop 2"), outro = Section("outro");

    float peak = 0;
    size_t peakAt = 0;
    for (size_t i = 0; i < audio.size(); ++i)
        if (std::fabs(audio[i]) > peak) peak = std::fabs(audio[i]), peakAt = i / 2;
    std::printf("duration           %.3f s\n", seconds);
    std::printf("sample peak        %.2f dBFS at %.2f s\n", 20 * std::log10(peak + 1e-30),
                static_cast<double>(peakAt) / kRate);
    std::printf("integrated         %.1f LUFS\n", Loudness(audio, 0, seconds));
    std::printf("true peak          %.2f dBTP\n", TruePeak(audio));
    std::printf("below 150 Hz       %.1f %%  (one spectrum of the mono mix %.1f %%)\n",
                100 * EnergyBelow(audio, 150, 0, seconds), 100 * MonoEnergyBelow(audio, 150));
    std::printf("song 2-8 kHz       %.1f %%  above 8 kHz %.2f %%\n",
                100 * EnergyBetween(audio, 2000, 8000, {{0, seconds}}),
                100 * EnergyBetween(audio, 8000, 24000, {{0, seconds}}));
    const Stereo mono = FoldToMono(audio);
    for (const Range& d : {drop, drop2})
        for (const Stereo* mix : std::initializer_list<const Stereo*>{&audio, &mono})
            std::printf("%-7s %s 2-8 kHz %.1f %%  above 8 kHz %.1f %%  below 150 Hz %.1f %%\n", d.name.c_str(),
                        mix == &audio ? "L+R " : "mono", 100 * EnergyBetween(*mix, 2000, 8000, {{d.from, d.to}}),
                        100 * EnergyBetween(*mix, 8000, 24000, {{d.from, d.to}}),
                        100 * EnergyBelow(*mix, 150, d.from, d.to));

    // The drop's stereo image and what a mono fold-down leaves of it.
    static constexpr double kBands[] = {0, 150, 500, 2000, 8000, 24000};
    std::printf("drop L/R correlation by band (<150, 150-500, 500-2k, 2-8k, >8k Hz):");
    double lowest = 1;
    for (int b = 0; b < 5; ++b) {
        const double c = BandCorrelation(audio, kBands[b], kBands[b + 1], drop.from, drop.to);
        lowest = std::min(lowest, c);
        std::printf(" %.2f", c);
    }
    std::printf("  lowest %.2f\n", lowest);
    std::printf("drop 50 ms windows negatively correlated  %.0f %%\n",
                100 * NegativeShare(audio, drop.from, drop.to, 0.05));
    const Worst worst = WorstCorrelation(audio, 8, 0.5);
    std::printf("worst 8 s window correlation  %.2f (from %.1f s)\n", worst.correlation, worst.at);
    std::printf("side/mid drop      %.1f dB  (drop 2 %.1f dB, whole song %.1f dB)\n",
                SideOverMid(audio, drop.from, drop.to), SideOverMid(audio, drop2.from, drop2.to),
                SideOverMid(audio, 0, seconds));
    std::printf("drop folded to mono: loses %.1f LU (integrated); over the theme %.1f LU (mean short-term)\n",
                Loudness(audio, drop.from, drop.to) - Loudness(mono, drop.from, drop.to),
                MeanShortTerm(mono, drop.from, drop.to) - MeanShortTerm(mono, theme.from, theme.to));

    // The loudness curve, short-term means (own meter; the script adds ebur128's).
    auto st = [&](double a, double b) { return MeanShortTerm(audio, a, b); };
    std::printf("intro mean short-term  %.1f LUFS\n", st(intro.from, intro.to));
    std::printf("theme - groove 2  %.1f LU;  drop - groove 2  %.1f LU;  drop - theme  %.1f LU\n",
                st(theme.from, theme.to) - st(groove2.from, groove2.to),
                st(drop.from, drop.to) - st(groove2.from, groove2.to),
                st(drop.from, drop.to) - st(theme.from, theme.to));
    std::printf("drop's fade: %.1f-%.1f s against 60-%.1f s  %.1f LU;  the 3 s to 76 s  %.1f LU\n", kTunnelFade,
                drop.to, kTunnelFade, st(kTunnelFade, drop.to) - st(60, kTunnelFade), st(73, 76) - st(60, kTunnelFade));
    std::printf("outro 118-128 s against drop 2  %.1f LU;  3 s windows to 121, 124, 127, 130 s:",
                st(118, 128) - st(drop2.from, drop2.to));
    for (double t : {121.0, 124.0, 127.0, 130.0}) std::printf(" %.1f", st(t - 3, t));
    std::printf(" LUFS\n");
    std::printf("last hit           %.3f s\n", LastHit(audio, outro.from, seconds));
    for (const Range& r : Sections()) {
        float top = 0;
        for (size_t i = 2 * static_cast<size_t>(r.from * kRate);
             i < std::min(audio.size(), 2 * static_cast<size_t>(r.to * kRate)); ++i)
            top = std::max(top, std::fabs(audio[i]));
        std::printf("loudness %-10s %.1f LUFS  mean short-term %.1f  below 150 Hz %.0f %%  peak %.1f dBFS\n",
                    r.name.c_str(), Loudness(audio, r.from, r.to), st(r.from, r.to),
                    100 * EnergyBelow(audio, 150, r.from, r.to), 20 * std::log10(top + 1e-30));
    }

    // What the pictures read.
    std::printf("level at 58.0 s %.4f, at 63.0 s %.4f (the tunnel's replay)\n", LevelAt(audio, 58.0),
                LevelAt(audio, 63.0));
    std::vector<double> term;
    for (double l : FrameLevels(audio, drop.from, kTunnelFade)) term.push_back(81000 * l * l * l * l);
    int darkFrames = 0;
    for (double v : term) darkFrames += v < 30;
    std::printf("tunnel term p25 %.1f  p50 %.1f  p90 %.1f  p90/p25 %.1f  dark %.0f %%\n", Quantile(term, 0.25),
                Quantile(term, 0.5), Quantile(term, 0.9), Quantile(term, 0.9) / std::max(1e-9, Quantile(term, 0.25)),
                100.0 * darkFrames / static_cast<double>(term.size()));
    std::vector<double> grey;
    for (double l : FrameLevels(audio, intro.from, intro.to)) grey.push_back(kLevelGrey * l);
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
    const Flashes flashes = KickFlashes(audio, score, MusicKickChannel(), drop.from, kTunnelFade);
    std::printf("tunnel kicks %d: a flash on the next frame %d (lowest level %.2f), dark before it %d\n", flashes.kicks,
                flashes.flashes, flashes.lowest, flashes.dips);
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
