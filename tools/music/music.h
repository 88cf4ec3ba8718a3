// The demo's music module, composed and written as an XM file in code.
#pragma once

#include "music_figures.h"

#include <cstdint>
#include <string>
#include <vector>

// The complete bytes of "distortion.xm". Deterministic: same bytes every run.
std::vector<uint8_t> GenMusicXm();

// The chord under every bar of the song, as the composition sets it (rows
// count from the song's first row), and the home loop's chords in order.
std::vector<figures::Chord> MusicChords();
std::vector<std::string> MusicHomeLoop();
// The channels that carry the melody.
std::vector<int> MusicMelodyChannels();
// The channel of the kick, whose hits flash the tunnel.
int MusicKickChannel();
