// The amplitude search with the phase cache gives the literal search's
// results to the bit, whatever the cache's budget and whatever it held from
// earlier searches.
#include "estimator/cached_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "estimator/float_bits.h"
#include "scan/period_grid.h"
#include "support/literal_estimator.h"

namespace periodscan {
namespace {

using testing::same_bits;

std::vector<float> catalogue(std::mt19937_64& rng, int n, double span, bool repeats) {
  std::uniform_real_distribution<double> time(0.0, span);
  std::vector<float> t(static_cast<size_t>(n));
  for (float& x : t) x = static_cast<float>(1000.0 + time(rng));
  std::sort(t.begin(), t.end());
  if (repeats && n > 4) std::fill(t.begin() + n / 2, t.begin() + n / 2 + 3, t[n / 2]);
  if (t.back() == t.front()) t.back() = std::nextafter(t.back(), 1e30f);
  return t;
}

TEST(CachedSearch, SameBitsAsLiteralSearchForEveryBudget) {
  std::mt19937_64 rng(4242);
  // Budgets: enough for every phase, a few vectors, nothing but scratch. One
  // cache per budget lives through all the searches, as in a regime run.
  PhaseCache roomy(size_t{64} << 20);
  PhaseCache tight(20 * 1024);
  PhaseCache none(0);
  int searches = 0;
  for (int n : {2, 3, 7, 40, 250, 40, 2}) {
    const std::vector<float> t = catalogue(rng, n, n < 10 ? 5.0 : 300.0, n > 10);
    // From far below the mean gap to longer than the span.
    const PeriodGrid grid = static_period_grid(0.01f, 2000.0f, 6);
    for (int k = 1; k <= grid.np; ++k) {
      const float omega = grid.omega(k);
      const testing::LiteralAmplitudeSearch want =
          testing::literal_find_afi(omega, n, t.data(), t[0]);
      for (PhaseCache* cache : {&roomy, &tight, &none}) {
        float A = -1.0f, Fi = -1.0f, delta = -1.0f;
        find_afi_cached(omega, A, Fi, delta, n, t.data(), t[0], *cache);
        EXPECT_TRUE(same_bits(want.A, A)) << "n=" << n << " k=" << k;
        EXPECT_TRUE(same_bits(want.Fi, Fi)) << "n=" << n << " k=" << k;
        EXPECT_TRUE(same_bits(want.delta_log_lik, delta)) << "n=" << n << " k=" << k;
        ++searches;
      }
    }
  }
  EXPECT_EQ(searches, 7 * 6 * 3);
  // Each search tries 1,120 to 1,152 phases; the caches reuse a good part.
  EXPECT_GT(roomy.reused(), roomy.computed());
  EXPECT_EQ(none.reused(), 0u);
  EXPECT_GT(tight.reused(), 0u);
  EXPECT_LT(tight.reused(), roomy.reused());
}

TEST(CachedSearch, WindowStartBeforeTheFirstEvent) {
  // In the moving-window regime t0 is the window start, earlier than the
  // first event of the list.
  const std::vector<float> t = {3.25f, 3.5f, 4.0f, 7.75f, 8.0f};
  PhaseCache cache(size_t{1} << 20);
  for (float t0 : {0.0f, 3.0f, 3.25f}) {
    for (float omega : {0.5f, 6.2831855f, 40.0f}) {
      const auto want = testing::literal_find_afi(omega, 5, t.data(), t0);
      float A = 0.0f, Fi = 0.0f, delta = 0.0f;
      find_afi_cached(omega, A, Fi, delta, 5, t.data(), t0, cache);
      EXPECT_TRUE(same_bits(want.A, A));
      EXPECT_TRUE(same_bits(want.delta_log_lik, delta));
    }
  }
}

TEST(CachedSearch, TwoSearchesSideBySideGiveEachItsOwnResult) {
  std::mt19937_64 rng(99);
  PhaseCache first(size_t{8} << 20);
  PhaseCache second(8 * 1024);  // runs out of room: some phases go to scratch
  PhaseCache* caches[] = {&first, &second};
  for (int n : {2, 5, 60, 400}) {
    const std::vector<float> t = catalogue(rng, n, 200.0, n > 10);
    const PeriodGrid grid = static_period_grid(0.05f, 500.0f, 7);
    // Neighbouring periods, as the regimes pair them; the pairs' searches
    // end after different numbers of evaluations.
    for (int k = 1; k + 1 <= grid.np; k += 2) {
      const float omegas[] = {grid.omega(k), grid.omega(k + 1)};
      SearchResult got[2];
      find_afi_side_by_side(omegas, got, n, t.data(), t[0], caches);
      for (int j = 0; j < 2; ++j) {
        const auto want = testing::literal_find_afi(omegas[j], n, t.data(), t[0]);
        EXPECT_TRUE(same_bits(want.A, got[j].A)) << "n=" << n << " k=" << k + j;
        EXPECT_TRUE(same_bits(want.delta_log_lik, got[j].delta_log_lik)) << "n=" << n;
      }
    }
  }
}

}  // namespace
}  // namespace periodscan
