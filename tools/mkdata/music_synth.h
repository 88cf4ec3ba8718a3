// Instrument synthesis for the music module: drums, bass, pads, lead, pluck,
// bell and noise, rendered in code into 16-bit XM samples with their tuning.
// Owns only sample data and per-instrument envelopes; knows nothing about
// patterns. Every random value comes from a fixed-seed generator, so the
// output is the same on every run.
#pragma once

#include "music_xm.h"

namespace synth {

// One instrument of the module, ready to be written. Pitched instruments are
// tuned so that note N plays MIDI note N + 11 (C-4 = middle C); drums play
// their recorded pitch at C-4.
xm::Instrument Kick();
xm::Instrument Snare();
xm::Instrument Clap();
xm::Instrument HatClosed();
xm::Instrument HatOpen();
xm::Instrument Crash();
xm::Instrument Noise();  // looped low-passed noise; pitch it up for risers
xm::Instrument Bass();   // plucked saw bass with a decaying filter
xm::Instrument Pad();    // seven detuned saws, slow attack, long release
xm::Instrument Lead();   // three detuned saw/square voices, delayed vibrato
xm::Instrument Pluck();  // short bright pluck for arpeggios
xm::Instrument Bell();   // FM bell, decays by itself

// Relative note and finetune that make a sample recorded at `rate` Hz whose
// content sounds at `pitchHz` play in tune (see above). Exposed for tests.
void Tune(double rate, double pitchHz, xm::Sample& sample);

} // namespace synth
