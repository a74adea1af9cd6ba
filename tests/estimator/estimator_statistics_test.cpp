// The estimator on simulated catalogues: it finds a period that is there and
// reports none where there is none.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "estimator/cached_search.h"
#include "scan/period_grid.h"

namespace periodscan {
namespace {

// Event times on [0, duration] of the intensity Mju*(1 + A*cos(Omega*t)),
// drawn by thinning a Poisson process of rate Mju*(1 + A). A = 0 gives a
// Poisson catalogue.
std::vector<float> simulate(std::uint64_t seed, double mju, double amplitude, double omega,
                            double duration) {
  std::mt19937_64 engine(seed);
  auto uniform = [&engine] { return (static_cast<double>(engine() >> 11) + 0.5) * 0x1p-53; };
  const double peak_rate = mju * (1.0 + amplitude);
  std::vector<float> t;
  for (double time = -std::log(uniform()) / peak_rate; time <= duration;
       time += -std::log(uniform()) / peak_rate) {
    if (uniform() * (1.0 + amplitude) <= 1.0 + amplitude * std::cos(omega * time)) {
      t.push_back(static_cast<float>(time));
    }
  }
  return t;
}

struct Scan {
  std::vector<float> delta;
  std::vector<float> amplitude;
};

Scan scan(const PeriodGrid& grid, const std::vector<float>& t) {
  Scan s;
  const std::int32_t n = static_cast<std::int32_t>(t.size());
  PhaseCache cache(kPhaseCacheBudget);
  for (std::int32_t k = 1; k <= grid.np; ++k) {
    float a = 0.0f;
    float fi = 0.0f;
    float delta = 0.0f;
    find_afi_cached(grid.omega(k), a, fi, delta, n, t.data(), t.front(), cache);
    s.delta.push_back(delta);
    s.amplitude.push_back(a);
  }
  return s;
}

// Periods 8 .. 12.5 in 11 steps of about 4.6%: over 200 cycles neighbouring
// periods drift about 9 cycles apart, so only the true one stays in phase.
const PeriodGrid& test_grid() {
  static const PeriodGrid grid = static_period_grid(8.0f, 12.5f, 11);
  return grid;
}

TEST(EstimatorStatisticsTest, FindsThePeriodThatIsThere) {
  const PeriodGrid& grid = test_grid();
  const std::int32_t true_k = 6;
  const double true_amplitude = 0.5;
  const std::vector<float> t = simulate(1, 1.0, true_amplitude, grid.omega(true_k), 2000.0);
  ASSERT_GT(t.size(), 1800u);
  const Scan s = scan(grid, t);

  std::int32_t best = 0;
  for (std::int32_t i = 1; i < grid.np; ++i) {
    if (s.delta[i] > s.delta[best]) best = i;
  }
  EXPECT_EQ(best + 1, true_k);
  EXPECT_NEAR(s.amplitude[best], true_amplitude, 0.1);
  // About N*A^2/4 for a strong signal: far above the noise level.
  EXPECT_GT(s.delta[best], 50.0f);
}

TEST(EstimatorStatisticsTest, FindsNothingInAPoissonCatalogue) {
  const PeriodGrid& grid = test_grid();
  const std::vector<float> t = simulate(2, 1.0, 0.0, 1.0, 2000.0);
  ASSERT_GT(t.size(), 1800u);
  const Scan s = scan(grid, t);
  for (std::int32_t k = 1; k <= grid.np; ++k) {
    EXPECT_LT(s.delta[k - 1], 10.0f) << "period " << grid.reported_period(k);
    EXPECT_GT(s.delta[k - 1], -1e-3f) << "period " << grid.reported_period(k);
  }
}

}  // namespace
}  // namespace periodscan
