// The program's estimator against the literal transcription in
// tests/support, bit for bit, on random inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "estimator/float_bits.h"
#include "estimator/log_likelihood.h"
#include "scan/period_grid.h"
#include "support/literal_estimator.h"

namespace periodscan {
namespace {

using testing::same_bits;

class Random {
 public:
  explicit Random(std::uint64_t seed) : engine_(seed) {}
  // Uniform on [0, 1).
  double uniform() { return static_cast<double>(engine_() >> 11) * 0x1p-53; }
  double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
  double log_uniform(double lo, double hi) { return std::exp(uniform(std::log(lo), std::log(hi))); }
  int integer(int lo, int hi) {  // inclusive
    return lo + static_cast<int>(uniform() * (hi - lo + 1));
  }

 private:
  std::mt19937_64 engine_;
};

struct Catalogue {
  std::vector<float> t;
  float t0 = 0.0f;
  double span = 1.0;
  std::int32_t n() const { return static_cast<std::int32_t>(t.size()); }
};

// Sorted 4-byte times on an offset that may be large (so the differences
// t - t0 lose bits), some of them repeated, observed from the first event or
// from a little before it, as a window would be.
Catalogue random_catalogue(Random& rng, int max_n) {
  Catalogue c;
  for (;;) {
    const int n = rng.integer(2, max_n);
    const double offset = rng.uniform() < 0.4 ? 0.0 : rng.log_uniform(1.0, 1e7);
    c.span = rng.log_uniform(1e-2, 1e4);
    c.t.assign(n, 0.0f);
    for (float& x : c.t) x = static_cast<float>(offset + c.span * rng.uniform());
    std::sort(c.t.begin(), c.t.end());
    if (rng.uniform() < 0.3) {
      for (int i = 1; i < n; ++i) {
        if (rng.uniform() < 0.2) c.t[i] = c.t[i - 1];
      }
    }
    c.t0 = c.t.front();
    if (rng.uniform() < 0.5) c.t0 = static_cast<float>(c.t0 - c.span * 0.1 * rng.uniform());
    if (c.t.back() > c.t0) return c;
  }
}

// Frequencies from far below one cycle over the sample to thousands of
// cycles.
float random_omega(Random& rng, const Catalogue& c) {
  return static_cast<float>(rng.log_uniform(1e-3, 1e4) / c.span);
}

TEST(EstimatorIdentityTest, FunctiMatchesLiteral) {
  Random rng(20240611);
  const float edge_amplitudes[] = {0.0f, 0.99999952f, 0.5f};
  for (int round = 0; round < 4000; ++round) {
    const Catalogue c = random_catalogue(rng, 300);
    for (int j = 0; j < 4; ++j) {
      const float omega = random_omega(rng, c);
      const float a = j < 3 ? edge_amplitudes[j] : static_cast<float>(rng.uniform());
      const float fi = static_cast<float>(rng.uniform(0.0, 6.2831855));
      float got = 0.0f;
      FUNCTI(a, fi, omega, got, c.n(), c.t.data(), c.t0);
      const float want = testing::literal_functi(a, fi, omega, c.n(), c.t.data(), c.t0);
      ASSERT_TRUE(same_bits(want, got))
          << "round " << round << " N " << c.n() << " Omega " << omega << " A " << a;
    }
  }
}

TEST(EstimatorIdentityTest, GridMatchesLiteral) {
  Random rng(99);
  for (int round = 0; round < 1000; ++round) {
    const float tmin = static_cast<float>(rng.log_uniform(1e-4, 1e4));
    const float tmax = static_cast<float>(tmin * rng.log_uniform(1.0001, 1e5));
    const std::int32_t np = rng.integer(2, 300);
    for (bool window : {false, true}) {
      const PeriodGrid grid =
          window ? window_period_grid(tmin, tmax, np) : static_period_grid(tmin, tmax, np);
      const testing::LiteralGrid want = window ? testing::literal_window_grid(tmin, tmax, np)
                                               : testing::literal_static_grid(tmin, tmax, np);
      ASSERT_TRUE(same_bits(want.lgmin, grid.lgmin)) << tmin;
      ASSERT_TRUE(same_bits(want.lgmax, grid.lgmax)) << tmax;
      ASSERT_TRUE(same_bits(want.step, grid.step)) << tmin << " " << tmax << " " << np;
      for (std::int32_t k = 1; k <= np; ++k) {
        ASSERT_TRUE(same_bits(want.omega[k - 1], grid.omega(k))) << "k " << k;
        ASSERT_TRUE(same_bits(want.reported_period[k - 1], grid.reported_period(k))) << "k " << k;
      }
    }
  }
}

}  // namespace
}  // namespace periodscan
