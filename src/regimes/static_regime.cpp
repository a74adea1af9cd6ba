#include "regimes/static_regime.h"

#include <memory>

#include "estimator/cached_search.h"
#include "estimator/period_grid.h"
#include "regimes/ordered_work.h"
#include "textio/fixed_record.h"
#include "textio/list_record.h"

namespace periodscan {

void run_static_regime(Channels& io, const std::vector<float>& t, float Tmin, float Tmax,
                       int32_t NP) {
  io.file.open_output(kSpectrumFileName);
  write_list(io.console, {Item(" ")});

  const PeriodGrid grid = static_period_grid(Tmin, Tmax, NP);
  const int32_t N = static_cast<int32_t>(t.size());

  // The periods are independent: they are searched on every core, each
  // worker with a phase cache of its own, and their records are written in
  // grid order as soon as a period and all before it are done.
  const int threads = std::min<int>(available_cores(), NP);
  std::vector<std::unique_ptr<PhaseCache>> caches;
  for (int w = 0; w < threads; ++w) {
    caches.push_back(std::make_unique<PhaseCache>(kPhaseCacheBudget / threads));
  }
  struct Found {
    float delta_log_lik;
    float A;
  };
  std::vector<Found> found(static_cast<size_t>(NP));

  run_in_order(
      NP, threads,
      [&](int64_t i, int worker) {
        const float omega = grid.omega(static_cast<int32_t>(i) + 1);
        float A = 0.0f;
        float Fi = 0.0f;
        float delta_log_lik = 0.0f;
        // The observation interval runs from the first event to the last.
        find_afi_cached(omega, A, Fi, delta_log_lik, N, t.data(), t[0], *caches[worker]);
        found[static_cast<size_t>(i)] = {delta_log_lik, A};
      },
      [&](int64_t i) {
        const int32_t k = static_cast<int32_t>(i) + 1;
        const Found& f = found[static_cast<size_t>(i)];
        write_fixed(io.file, FixedLayout::kGeneral15,
                    {Item(grid.reported_period(k)), Item(f.delta_log_lik), Item(f.A)});
        io.file.flush();
        write_fixed(io.console, FixedLayout::kProgress1, {Item(NP - k)});
      });
}

}  // namespace periodscan
