// The unit of time inside the fits: a power of two near the length of the
// sample.
//
// The fits and the harmonic sums work on positions x*2^-e and angular
// frequencies omega*2^e, e = time_scale_exponent(length). Multiplying by a
// power of two is exact, so every product omega*x, every phase, sum, ratio
// and Newton step comes out the same bits as in the times' own unit, while
// quantities such as 1/rate^2 (rate in events per unit time) stay near 1
// whatever the unit: a catalogue in units of 1e-160 or 1e160 fits like one in
// days. (Exact unless a scaled position falls below 2^-1022, that is, lies
// within 2^-1022 of the sample's length of the origin: nothing that changes
// a phase.)
// Example: a span of 360 days gives e = 8: positions in units of 256 days.
#pragma once

#include <algorithm>
#include <cmath>
#include <span>

#include "estimator/exposure.h"

namespace periodscan {

// ilogb(length) for a finite positive length; 0 (no scaling) otherwise.
inline int time_scale_exponent(double length) {
  return std::isfinite(length) && length > 0.0 ? std::ilogb(length) : 0;
}

// The exponent for the hull of the events x and their exposure.
inline int time_scale_exponent(std::span<const double> x, const Exposure& exposure) {
  double low = x.empty() ? 0.0 : x.front(), high = x.empty() ? 0.0 : x.back();
  if (!exposure.parts().empty()) {
    low = std::min(low, exposure.parts().front().start);
    high = std::max(high, exposure.parts().back().end);
  }
  return time_scale_exponent(high - low);
}

}  // namespace periodscan
