// Section plan and tempo map. A row at speed 6 lasts 6 * TickFrames(bpm)
// frames; each section's rows must add up to exactly the frames between its
// cue and the next, which a single integer tempo rarely does. The plan keeps
// a base tempo, moves a run of rows one or two BPM away, and if needed nudges
// one or two rows a few BPM more: changes of a few milliseconds per section
// that nobody hears, and every cue falls on a row start, frame-exact.
#include "music_song.h"

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace song {

const std::vector<Section>& Sections() {
  static const std::vector<Section> kSections = {
      {"intro", 0, 160, 120},      // pads and pluck arpeggio, a soft pulse
      {"build", 200, 64, 128},     // kick and bass come in
      {"groove", 275, 80, 126},    // full beat
      {"groove 2", 370, 48, 131},  // lead enters with long notes
      {"theme", 425, 88, 126},     // the lead plays the theme
      {"break", 530, 16, 120},     // drums stop, chopped chord
      {"riser", 550, 28, 150},     // snare roll and noise sweep
      {"drop", 578, 176, 132},     // the tunnel: doubled kick, everything in
      {"stutter", 778, 20, 120},   // stop-time hits
      {"drop 2", 803, 168, 127},   // second theme over the beat
      {"breakdown", 1002, 80, 120},// no drums: pads and bell
      {"return", 1102, 44, 125},   // short build back
      {"outro", 1155, 132, 120},   // the groove once more, fading out
  };
  return kSections;
}

std::vector<int> PlanTempo(int64_t frames, int rows, int target) {
  if (frames % kSpeed != 0 || rows < 3) return {};
  const int64_t ticks = frames / kSpeed; // sum of TickFrames over the rows
  struct Best {
    bool found = false;
    int cost[4] = {};
    int base = 0, run = 0, runRows = 0, fix[2] = {0, 0}, fixes = 0;
  } best;
  for (int fixes = 0; fixes <= 2 && !best.found; ++fixes) {
    for (int base = target - 3; base <= target + 3; ++base) {
      for (int run = base - 2; run <= base + 2; ++run) {
        for (int f0 = base - 6; f0 <= base + 6; ++f0) {
          for (int f1 = f0; f1 <= base + 6; ++f1) {
            if (fixes < 1 && f0 != base - 6) continue; // one pass when no fix
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
  // The run opens the section; corrections sit on its last rows.
  std::vector<int> bpm(rows, best.base);
  for (int i = 0; i < best.runRows; ++i) bpm[i] = best.run;
  for (int i = 0; i < best.fixes; ++i) bpm[rows - 1 - i] = best.fix[i];
  return bpm;
}

std::vector<int> TempoMap() {
  const auto& sections = Sections();
  std::vector<int> map;
  for (size_t i = 0; i < sections.size(); ++i) {
    const int next = i + 1 < sections.size() ? sections[i + 1].cueTenths : kEndTenths;
    const int64_t frames = static_cast<int64_t>(next - sections[i].cueTenths) * kRate / 10;
    const std::vector<int> bpm = PlanTempo(frames, sections[i].rows, sections[i].targetBpm);
    if (bpm.empty())
      throw std::logic_error(std::string("music: no tempo lands section \"") + sections[i].name +
                             "\" on its cue");
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

} // namespace song
