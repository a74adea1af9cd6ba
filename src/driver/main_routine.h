// The run driver: the whole run from the help text to the regime's work.
#pragma once

#include <cstdint>
#include <vector>

#include "driver/run_parameters.h"
#include "textio/channels.h"

namespace periodscan {

// The work of the two regimes. The program runs its own; the differential
// tests run the same dialogue with a plain transcription in their place.
struct RegimeRunners {
  void (*run_static)(Channels& io, const std::vector<float>& t, float Tmin, float Tmax,
                     int32_t NP);
  void (*run_moving_window)(Channels& io, const std::vector<float>& t, const RunParameters& p);
};
const RegimeRunners& program_regimes();

// Help text, blank line, banner, separator and pause; the event list; the
// questions; then the chosen regime. Returns how the run ended; a fatal
// failure comes out as FatalError.
RunEnd MAIN__(Channels& io, const RegimeRunners& regimes = program_regimes());

}  // namespace periodscan
