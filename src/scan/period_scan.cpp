#include "scan/period_scan.h"

#include <algorithm>
#include <vector>

#include "parallel/ordered_work.h"
#include "scan/period_grid.h"
#include "scan/period_pairs.h"

namespace periodscan {

void scan_periods(std::span<const float> t, float Tmin, float Tmax, std::int32_t NP,
                  const PeriodScanDelivery& delivery) {
  // The periods are independent: pairs of them are searched on every core.
  // The results wait in `found`, obtained before anything is reported.
  std::vector<SearchResult> found(static_cast<size_t>(NP));
  const int32_t pairs = period_pairs(NP);
  const int threads = std::min<int>(available_cores(), pairs);
  WorkerCaches caches(threads);
  delivery.started();

  const PeriodGrid grid = static_period_grid(Tmin, Tmax, NP);
  const int32_t N = static_cast<int32_t>(t.size());

  run_in_order(
      pairs, threads,
      [&](int64_t i, int worker) {
        const PeriodPair periods = period_pair(NP, static_cast<int32_t>(i));
        float omegas[2];
        for (int32_t j = 0; j < periods.count; ++j) omegas[j] = grid.omega(periods.first + j);
        // The observation interval runs from the first event to the last.
        find_afi_side_by_side(
            {omegas, static_cast<size_t>(periods.count)},
            {&found[static_cast<size_t>(periods.first - 1)], static_cast<size_t>(periods.count)}, N,
            t.data(), t[0], caches.of(worker));
      },
      [&](int64_t i) {
        const PeriodPair periods = period_pair(NP, static_cast<int32_t>(i));
        for (int32_t k = periods.first; k < periods.first + periods.count; ++k) {
          delivery.period_done(k, grid.reported_period(k), found[static_cast<size_t>(k - 1)]);
        }
      });
}

}  // namespace periodscan
