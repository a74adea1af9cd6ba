// FIND_AFI: the amplitude search. For one angular frequency Omega it finds
// the amplitude A in [0, 1] that maximises the log-likelihood increment, each
// amplitude scored by the best phase that FIND_FI finds for it. It runs the
// golden-section search of golden_section.h over A.
//
// Results: A holds the midpoint of the final amplitude bracket, and
// DeltaLogLik the increment that FIND_FI returned for that A (the value at
// the midpoint, not the best value seen). Fi is the trial slot of the phase
// searches; its value on return is not part of the result. The values of A,
// Fi and DeltaLogLik on entry are never read.
//
// A is the trial slot of the amplitude search: every trial amplitude is
// written to it and that same A is handed to FIND_FI as the fixed amplitude.
//
// Cost: FIND_FI is called 32 times, so FUNCTI between 1,120 and 1,152 times,
// each over all N events. A stays strictly inside (0, 1): the sign of the
// cosine is carried by the phase. Examples: with no periodicity at Omega
// the increment only falls as A grows and the search returns A < 5e-7 and
// DeltaLogLik close to 0 (possibly slightly negative); if every amplitude
// scored the same, A would end at 0.99999952.
//
// Arguments are by reference in this order; N, t and t0 are passed through
// to FUNCTI unchanged (see log_likelihood.h for what they must satisfy).
//
// The regimes run the same search through cached_search.h, which gives the
// same results to the bit; this plain form is the reference it is held to.
#pragma once

#include <cstdint>

namespace periodscan {

void FIND_AFI(const float& Omega, float& A, float& Fi, float& DeltaLogLik,
              const std::int32_t& N, const float t[], const float& t0);

}  // namespace periodscan
