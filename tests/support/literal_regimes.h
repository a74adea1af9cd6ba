// Both regimes as plain transcriptions, for the differential tests: the same
// records in the same files, computed with the literal estimator and window
// scan, one period after another on one thread, with no cache.
#pragma once

#include "driver/main_routine.h"

namespace periodscan::testing {

const RegimeRunners& literal_regimes();

}  // namespace periodscan::testing
