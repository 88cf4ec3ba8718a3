// Instrument synthesis for the music module: drums, bass, pads, lead, pluck,
// bell and noise, rendered in code into 16-bit XM samples with their tuning.
// Owns only sample data and per-instrument envelopes; knows nothing about
// patterns. Every random value comes from a fixed-seed generator, so the
// output is the same on every run.
#pragma once

#include "music_xm.h"

#include <vector>

namespace synth {

// One instrument of the module, ready to be written. Pitched instruments are
// tuned so that note N plays MIDI note N + 11 (C-4 = middle C); drums play
// their recorded pitch at C-4. The drum and bass samples are soft-clipped
// and their transients shaped, so they sit loud at a modest peak.
xm::Instrument Kick();
xm::Instrument Snare();
xm::Instrument Clap();
xm::Instrument HatClosed();
xm::Instrument HatOpen();
xm::Instrument Crash();
xm::Instrument Noise();     // looped low-passed noise; pitch it up for risers
xm::Instrument Bass();      // plucked saw bass with a decaying filter
xm::Instrument Pad();       // seven detuned saws, slow attack, long release
xm::Instrument PadWide();   // the pad's second layer: other detuning, other phases
xm::Instrument Lead();      // three detuned saw/square voices, delayed vibrato
// Pluck for arpeggios with a room tail; `brightness` 0 (dark) .. 2 (bright)
// sets how far its filter opens.
xm::Instrument Pluck(int brightness = 1);
xm::Instrument Bell();        // FM bell with a room tail
xm::Instrument KickClick();   // a second kick layer: a short bright click
xm::Instrument KickSub();     // a second kick layer: the body alone, longer
// The drop's kick: the kick with its tail cut short.
xm::Instrument KickDrop();
xm::Instrument Sub();      // a plain sine an octave under the bass
xm::Instrument Tom();      // pitched tom for fills
xm::Instrument Ride();     // bright ride cymbal: bell ping over a metallic wash
xm::Instrument Shaker();   // a short burst of high noise
// A bright detuned saw stab for chords; `variant` 0 and 1 differ in their
// voices' detuning and phases, so two of them panned apart sound wide.
xm::Instrument Stab(int variant);
xm::Instrument LeadWide();   // the lead with other detuning and phases

// Adds a room tail (parallel damped combs into two all-passes) to a one-shot
// sound at `rate` Hz: the sound grows by `tail` seconds; `wet` is the tail's
// level against the dry sound. Exposed for tests.
std::vector<double> WithRoom(const std::vector<double>& dry, double rate, double tail, double wet);

// Relative note and finetune that make a sample recorded at `rate` Hz whose
// content sounds at `pitchHz` play in tune (see above). Exposed for tests.
void Tune(double rate, double pitchHz, xm::Sample& sample);

}   // namespace synth
