// Both regimes as plain transcriptions, for the differential tests: the same
// records in the same files, computed with the literal estimator and window
// scan, one period after another on one thread, with no cache.
#pragma once

#include "interactive/main_routine.h"

namespace periodscan::testing {

// The program's dialogue followed by the literal regime: what
// literal_periodscan runs.
RunEnd literal_run(Channels& io);

}  // namespace periodscan::testing
