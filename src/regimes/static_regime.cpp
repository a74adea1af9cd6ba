#include "regimes/static_regime.h"

#include <algorithm>

#include "estimator/cached_search.h"
#include "estimator/period_grid.h"
#include "regimes/ordered_work.h"
#include "regimes/period_pairs.h"
#include "textio/fixed_record.h"
#include "textio/list_record.h"

namespace periodscan {

void run_static_regime(Channels& io, const std::vector<float>& t, float Tmin, float Tmax,
                       int32_t NP) {
  // The periods are independent: pairs of them are searched on every core,
  // and their records are written in grid order as soon as a period and all
  // before it are done. The results wait in `found`, obtained before the
  // spectrum file is opened, so that a grid too large for memory ends the
  // run before the file is made.
  std::vector<SearchResult> found(static_cast<size_t>(NP));
  const int32_t pairs = period_pairs(NP);
  const int threads = std::min<int>(available_cores(), pairs);
  WorkerCaches caches(threads);

  io.file.open_output(kSpectrumFileName);
  write_list(io.console, {Item(" ")});

  const PeriodGrid grid = static_period_grid(Tmin, Tmax, NP);
  const int32_t N = static_cast<int32_t>(t.size());

  run_in_order(
      pairs, threads,
      [&](int64_t i, int worker) {
        const PeriodPair periods = period_pair(NP, static_cast<int32_t>(i));
        float omegas[2];
        for (int32_t j = 0; j < periods.count; ++j) omegas[j] = grid.omega(periods.first + j);
        // The observation interval runs from the first event to the last.
        find_afi_side_by_side({omegas, static_cast<size_t>(periods.count)},
                              {&found[static_cast<size_t>(periods.first - 1)],
                               static_cast<size_t>(periods.count)},
                              N, t.data(), t[0], caches.of(worker));
      },
      [&](int64_t i) {
        const PeriodPair periods = period_pair(NP, static_cast<int32_t>(i));
        for (int32_t k = periods.first; k < periods.first + periods.count; ++k) {
          const SearchResult& f = found[static_cast<size_t>(k - 1)];
          write_fixed(io.file, FixedLayout::kGeneral15,
                      {Item(grid.reported_period(k)), Item(f.delta_log_lik), Item(f.A)});
          io.file.flush();
          write_fixed(io.console, FixedLayout::kProgress1, {Item(NP - k)});
        }
      });
}

}  // namespace periodscan
