// The amplitude search with its cosines kept in a PhaseCache: the same
// search as FIND_AFI, with the same arguments in the same order plus the
// cache, and the same results to the bit (A and DeltaLogLik; Fi is a trial
// slot as in FIND_AFI).
//
// Where FUNCTI computes cos((t[i] - t0)*Omega + Fi), this search takes the
// value from the cache, which computed it from the same double arguments with
// the same C library cos; everything else (the sines, the rounding points, the
// order of the running sum, every comparison of the searches) is unchanged.
#pragma once

#include <cstdint>

#include "estimator/phase_cache.h"

namespace periodscan {

void find_afi_cached(const float& Omega, float& A, float& Fi, float& DeltaLogLik,
                     const std::int32_t& N, const float t[], const float& t0, PhaseCache& cache);

}  // namespace periodscan
