// The song grid the composition writes into, the section plan and the tempo
// map that lands every section start on its cue time. Shared by music.cpp
// (composition) and the tests, which check the plan against the player.
#pragma once

#include "audio/music.h"
#include "music_xm.h"

#include <cstdint>
#include <vector>

namespace song {

constexpr int kChannels = 28;
constexpr int kRate = qor::audio::kRate;   // the player's rate; tick lengths are whole frames at it
constexpr int kSpeed = 6;                  // ticks per row everywhere

// One section of the track: starts at `cue` seconds (0 or one of the
// timeline's window bounds, timeline/timeline.h), `rows` rows.
// Its rows run at `bpm` (a row or two a few BPM off where whole frames
// demand it), except `slackRows` rows where nothing keeps time (a breath, a
// swell), at the start or the end: they take whatever tempo lands the cue.
struct Section {
    const char* name;
    float cue;
    int rows;
    int bpm;
    int slackRows = 0;
    bool slackAtStart = false;
};

// The sections in order; the song ends at kEndSeconds.
const std::vector<Section>& Sections();
constexpr double kEndSeconds = 132.0;

// The output frame (at kRate) a cue falls on.
int64_t CueFrame(double seconds);

// Frames of one tick at `bpm` at 48 kHz: FT2 timing truncates 2.5 / bpm
// seconds to whole output frames.
inline int64_t TickFrames(int bpm) { return (static_cast<int64_t>(kRate) * 5 / 2) / bpm; }

// BPM per row for `rows` rows that together last exactly `frames` frames at
// speed 6: a base tempo (`target` itself when `exact`, else within 3 of it),
// a run one BPM away, and at most two single-row corrections. Empty if there
// is no such plan.
std::vector<int> PlanTempo(int64_t frames, int rows, int target, bool exact = false);

// BPM of every row of the song, section after section; throws
// std::logic_error if a section cannot land on its cue.
std::vector<int> TempoMap();

// Start row of every section (and one past the last row at the end).
std::vector<int> SectionStartRows();

}   // namespace song
