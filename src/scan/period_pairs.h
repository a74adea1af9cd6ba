// How the regimes hand periods to the workers: two neighbouring periods at a
// time, whose amplitude searches run side by side over the same events (see
// estimator/cached_search.h), and the caches each worker owns for them.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "estimator/phase_cache.h"

namespace periodscan {

// Periods first..first+count-1 (1-based; count is 1 or 2).
struct PeriodPair {
  int32_t first;
  int32_t count;
};

// Pieces per window (or per run in regime 0): NP/2 rounded up.
inline int32_t period_pairs(int32_t np) { return (np + 1) / 2; }

// The periods of pair p (0-based) of a grid of np periods.
inline PeriodPair period_pair(int32_t np, int32_t p) {
  const int32_t first = 2 * p + 1;
  return {first, first < np ? 2 : 1};
}

// Two phase caches per worker, sharing the run's cache budget.
class WorkerCaches {
 public:
  explicit WorkerCaches(int workers) {
    const size_t budget = kPhaseCacheBudget / (2 * static_cast<size_t>(workers));
    for (int i = 0; i < 2 * workers; ++i) {
      caches_.push_back(std::make_unique<PhaseCache>(budget));
      pointers_.push_back(caches_.back().get());
    }
  }
  // The two caches of worker w, as find_afi_side_by_side takes them.
  std::span<PhaseCache* const> of(int w) const {
    return {pointers_.data() + 2 * static_cast<size_t>(w), 2};
  }

 private:
  std::vector<std::unique_ptr<PhaseCache>> caches_;
  std::vector<PhaseCache*> pointers_;
};

}  // namespace periodscan
