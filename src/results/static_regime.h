// Regime 0: the estimate over the whole sample, written as the spectrum file.
//
// "ZUM_out.dat" gets one record per period of the period grid, in grid order
// (Tmin first): the reported period, DeltaLogLik and A, each in the general
// spelling of width 15 (45 characters, no header). T = 10, DeltaLogLik = 2.5,
// A = 0.3 give "    10.0000           2.50000          0.300000    ".
// Each record is in the file as soon as its period is done. The console shows
// the line " " and then, after each period, the number of periods still to do
// as a progress record, counting down to 0.
#pragma once

#include <cstdint>
#include <vector>

#include "textio/channels.h"

namespace periodscan {

inline constexpr const char* kSpectrumFileName = "ZUM_out.dat";

// The spectrum file is left open; the end of the run closes it.
void run_static_regime(Channels& io, const std::vector<float>& t, float Tmin, float Tmax,
                       int32_t NP);

}  // namespace periodscan
