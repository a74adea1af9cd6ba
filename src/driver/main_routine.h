// The run driver: the whole run from the help text to the regime's work.
#pragma once

#include "driver/run_parameters.h"
#include "textio/channels.h"

namespace periodscan {

// Help text, blank line, banner, separator and pause; the event list; the
// questions; then the chosen regime. Returns how the run ended; a fatal
// failure comes out as FatalError.
RunEnd MAIN__(Channels& io);

}  // namespace periodscan
