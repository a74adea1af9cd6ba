#include "regimes/static_regime.h"

#include "estimator/amplitude_search.h"
#include "estimator/period_grid.h"
#include "textio/fixed_record.h"
#include "textio/list_record.h"

namespace periodscan {

void run_static_regime(Channels& io, const std::vector<float>& t, float Tmin, float Tmax,
                       int32_t NP) {
  io.file.open_output(kSpectrumFileName);
  write_list(io.console, {Item(" ")});

  const PeriodGrid grid = static_period_grid(Tmin, Tmax, NP);
  const int32_t N = static_cast<int32_t>(t.size());
  for (int32_t k = 1; k <= NP; ++k) {
    const float omega = grid.omega(k);
    float A = 0.0f;
    float Fi = 0.0f;
    float delta_log_lik = 0.0f;
    // The observation interval runs from the first event to the last.
    FIND_AFI(omega, A, Fi, delta_log_lik, N, t.data(), t[0]);
    write_fixed(io.file, FixedLayout::kGeneral15,
                {Item(grid.reported_period(k)), Item(delta_log_lik), Item(A)});
    io.file.flush();
    write_fixed(io.console, FixedLayout::kProgress1, {Item(NP - k)});
  }
}

}  // namespace periodscan
