// Ctrl+C (SIGINT) and SIGTERM during an offline render: the render notices
// after the frame it is drawing, cleans up and ends with 128 + the signal.
#pragma once

namespace qor {

void CatchInterrupts();     // from here on, the two signals only set a flag
void ReleaseInterrupts();   // their default actions back
int InterruptSignal();      // 0, or the signal that came
int InterruptExitCode(int signal);   // 130 for SIGINT, 143 for SIGTERM

}  // namespace qor
