#include "run/interrupt.h"

#include "platform/system.h"

namespace qor {

void CatchInterrupts() { platform::CatchStopSignals(); }

void ReleaseInterrupts() { platform::ReleaseStopSignals(); }

int InterruptSignal() { return platform::StopSignal(); }

int InterruptExitCode(int signal) { return 128 + signal; }

}   // namespace qor
