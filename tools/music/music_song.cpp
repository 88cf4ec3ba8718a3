// Section plan and tempo map. A row at speed 6 lasts 6 * TickFrames(bpm)
// frames; each section's rows must add up to exactly the frames between its
// cue and the next. Where the beat runs on across cues the sections share one
// tempo: 120 BPM (rows of exactly 1/8 s) from the intro to the break, 132
// from the riser through the second drop, 120 again from the breakdown on.
// At 132 whole frames force a run of rows one BPM off and a row or two a few
// BPM off (a few milliseconds that nobody hears); sections whose length is no
// whole number of bars at their tempo end in a short fill bar, or breathe in
// slack rows that take up the rest.
#include "music_song.h"

#include "timeline/timeline.h"

#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace song {

const std::vector<Section>& Sections() {
    static const std::vector<Section> kSections = {
        {"intro", 0.0f, 160, 120},                    // 10 bars: pads and pluck arpeggio, a soft pulse
        {"build", kOpeningOverlayEnd, 60, 120},       // 3 bars and a 3-beat fill: kick and bass come in
        {"groove", kGridStart, 76, 120},              // 4 bars and a fill: full beat
        {"groove 2", kSkaterEnd, 44, 120},            // 2 bars and a fill: lead enters with long notes
        {"theme", kSplitStart, 84, 120},              // 5 bars and a beat: the lead plays the theme
        {"break", kIwishFlickerStart, 16, 120},       // 1 bar: drums stop, chopped chord
        {"riser", kSkaterFlickerStart, 24, 132, 4},   // 5 accelerating beats, one beat of air
        {"drop", kTunnelStart, 176, 132},             // 11 bars, the tunnel: everything in, then down
        {"stutter", kBitchStart, 22, 132},            // stop-time bar and a fill
        {"drop 2", kLatePairStart, 176, 132},         // 11 bars: second theme over the beat
        {"breakdown", kCreditsStart, 80, 120},        // 5 bars, no drums: pads and bell
        {"return", kCreditsEnd, 40, 120, 8, true},    // a swell, then 2 bars building back
        {"outro", kSieniStart, 132, 120},             // the groove once more, released under the field
    };
    return kSections;
}

std::vector<int> PlanTempo(int64_t frames, int rows, int target, bool exact) {
    if (frames % kSpeed != 0 || rows < 3) return {};
    const int64_t ticks = frames / kSpeed;   // sum of TickFrames over the rows
    struct Best {
        bool found = false;
        int cost[4] = {};
        int base = 0, run = 0, runRows = 0, fix[2] = {0, 0}, fixes = 0;
    } best;
    for (int fixes = 0; fixes <= 2 && !best.found; ++fixes) {
        const int spread = exact ? 0 : 3;
        for (int base = target - spread; base <= target + spread; ++base) {
            for (int run = base - 1; run <= base + 1; ++run) {
                for (int f0 = base - 6; f0 <= base + 6; ++f0) {
                    for (int f1 = f0; f1 <= base + 6; ++f1) {
                        if (fixes < 1 && f0 != base - 6) continue;   // one pass when no fix
                        if (fixes < 2 && f1 != f0) continue;
                        int64_t fixed = 0;
                        if (fixes >= 1) fixed += TickFrames(f0);
                        if (fixes >= 2) fixed += TickFrames(f1);
                        const int free = rows - fixes;
                        // n rows at `run`, free - n at `base`
                        const int64_t rest = ticks - fixed - free * TickFrames(base);
                        const int64_t diff = TickFrames(run) - TickFrames(base);
                        int n = 0;
                        if (diff == 0) {
                            if (rest != 0) continue;
                        } else {
                            if (rest % diff != 0) continue;
                            const int64_t m = rest / diff;
                            if (m < 0 || m > free) continue;
                            n = static_cast<int>(m);
                        }
                        int dev = 0;
                        if (fixes >= 1) dev = std::max(dev, std::abs(f0 - base));
                        if (fixes >= 2) dev = std::max(dev, std::abs(f1 - base));
                        const int cost[4] = {dev, n ? std::abs(run - base) : 0, std::abs(base - target),
                                             n ? std::abs(run - target) : 0};
                        bool better = !best.found;
                        for (int i = 0; i < 4 && !better; ++i) {
                            if (cost[i] != best.cost[i]) {
                                better = cost[i] < best.cost[i];
                                break;
                            }
                        }
                        if (better) {
                            best.found = true;
                            for (int i = 0; i < 4; ++i) best.cost[i] = cost[i];
                            best.base = base;
                            best.run = run;
                            best.runRows = n;
                            best.fix[0] = f0;
                            best.fix[1] = f1;
                            best.fixes = fixes;
                        }
                    }
                }
            }
        }
    }
    if (!best.found) return {};
    // The run's rows are spread evenly over the section, so the grid never
    // drifts more than a row's difference from a steady one; corrections sit
    // on its last rows.
    std::vector<int> bpm(rows, best.base);
    const int spread = rows - best.fixes;
    for (int i = 0; i < best.runRows; ++i) bpm[static_cast<int64_t>(i) * spread / best.runRows] = best.run;
    for (int i = 0; i < best.fixes; ++i) bpm[rows - 1 - i] = best.fix[i];
    return bpm;
}

int64_t CueFrame(double seconds) { return std::llround(seconds * kRate); }

std::vector<int> TempoMap() {
    const auto& sections = Sections();
    std::vector<int> map;
    for (size_t i = 0; i < sections.size(); ++i) {
        const Section& s = sections[i];
        const double next = i + 1 < sections.size() ? sections[i + 1].cue : kEndSeconds;
        const int64_t frames = CueFrame(next) - CueFrame(s.cue);
        std::vector<int> bpm;
        if (s.slackRows == 0) {
            bpm = PlanTempo(frames, s.rows, s.bpm, true);
        } else {
            // The kept rows at the section's tempo, the slack rows take the rest.
            const int kept = s.rows - s.slackRows;
            const int64_t left = frames - int64_t{kept} * kSpeed * TickFrames(s.bpm);
            const int slackBpm = left > 0 ? static_cast<int>(int64_t{kRate} * 15 * s.slackRows / left) : 0;
            std::vector<int> slack = left > 0 ? PlanTempo(left, s.slackRows, slackBpm) : std::vector<int>{};
            if (!slack.empty()) {
                bpm.assign(kept, s.bpm);
                bpm.insert(s.slackAtStart ? bpm.begin() : bpm.end(), slack.begin(), slack.end());
            }
        }
        if (bpm.empty())
            throw std::logic_error(std::string("music: no tempo lands section \"") + s.name + "\" on its cue");
        map.insert(map.end(), bpm.begin(), bpm.end());
    }
    return map;
}

std::vector<int> SectionStartRows() {
    std::vector<int> starts;
    int row = 0;
    for (const Section& s : Sections()) {
        starts.push_back(row);
        row += s.rows;
    }
    starts.push_back(row);
    return starts;
}

}   // namespace song
