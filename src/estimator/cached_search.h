// The amplitude search with its cosines kept in a PhaseCache, as the regimes
// run it: the same search as FIND_AFI, with the same results to the bit.
//
// Where FUNCTI computes cos((t[i] - t0)*Omega + Fi), this search takes the
// value from the cache, which computed it from the same double arguments with
// the same C library cos; everything else (the sines, the rounding points, the
// order of the running sum, every comparison of the searches) is unchanged.
//
// Two searches over the same events at two frequencies can run side by side:
// their log-likelihood sums are then formed in one loop over the events. Each
// sum is still rounded after every addition, in event order, but the two
// chains of additions no longer wait for each other, so the processor keeps
// busy with the logarithms of one while the other's addition completes.
#pragma once

#include <cstdint>
#include <span>

#include "estimator/phase_cache.h"

namespace periodscan {

// FIND_AFI's arguments in FIND_AFI's order, plus the cache; A, Fi and
// DeltaLogLik as FIND_AFI leaves them (Fi is a trial slot).
void find_afi_cached(const float& Omega, float& A, float& Fi, float& DeltaLogLik,
                     const std::int32_t& N, const float t[], const float& t0, PhaseCache& cache);

struct SearchResult {
  float A = 0.0f;
  float Fi = 0.0f;  // what FIND_AFI leaves in its phase slot; not a result
  float delta_log_lik = 0.0f;
};

// One or two amplitude searches over the events t[0..N-1] observed from t0,
// at the frequencies omegas[j], each with its own cache caches[j]; their
// results go to results[j]. Each result is that of FIND_AFI at omegas[j].
void find_afi_side_by_side(std::span<const float> omegas, std::span<SearchResult> results,
                           std::int32_t N, const float t[], float t0,
                           std::span<PhaseCache* const> caches);

}  // namespace periodscan
