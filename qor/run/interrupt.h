// Signals that ask an offline render to stop: Ctrl+C (SIGINT), SIGTERM, and
// on POSIX systems SIGHUP (the terminal went away) and SIGQUIT. The render
// notices after the frame it is drawing, or at once while it waits on ffmpeg,
// cleans up and ends with 128 + the signal.
#pragma once

namespace qor {

void CatchInterrupts();              // from here on, the signals only set a flag
void ReleaseInterrupts();            // their default actions back
int InterruptSignal();               // 0, or the signal that came
int InterruptExitCode(int signal);   // 128 + signal: 130 for SIGINT, 143 for SIGTERM

}   // namespace qor
