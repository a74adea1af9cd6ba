// The amplitude search with and without its phase cache, timed side by side
// on the same catalogue and frequencies; reports the speed-up and the share
// of cosine vectors that were reused.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <random>
#include <vector>

#include "estimator/cached_search.h"
#include "support/literal_estimator.h"

namespace {

std::vector<float> random_catalogue(int32_t n, uint64_t seed) {
  std::mt19937_64 engine(seed);
  std::uniform_real_distribution<double> time(0.0, 365.0);
  std::vector<float> t(static_cast<size_t>(n));
  for (float& x : t) x = static_cast<float>(time(engine));
  std::sort(t.begin(), t.end());
  return t;
}

void BM_CachedOverLiteral(benchmark::State& state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  const std::vector<float> t = random_catalogue(n, 7);
  const float omegas[] = {0.01f, 0.6283185f, 6.2831855f, 63.0f};
  periodscan::PhaseCache cache(size_t{256} << 20);
  double literal_s = 0.0;
  double cached_s = 0.0;
  for (auto _ : state) {
    for (float omega : omegas) {
      auto start = std::chrono::steady_clock::now();
      const auto literal = periodscan::testing::literal_find_afi(omega, n, t.data(), t[0]);
      literal_s += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      float a2 = 0.0f, fi2 = 0.0f, d2 = 0.0f;
      start = std::chrono::steady_clock::now();
      periodscan::find_afi_cached(omega, a2, fi2, d2, n, t.data(), t[0], cache);
      cached_s += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (literal.A != a2 || literal.delta_log_lik != d2) state.SkipWithError("results differ");
    }
  }
  state.counters["speedup"] = literal_s / cached_s;
  state.counters["reused_share"] =
      static_cast<double>(cache.reused()) / static_cast<double>(cache.reused() + cache.computed());
}
BENCHMARK(BM_CachedOverLiteral)
    ->Arg(100)
    ->Arg(2000)
    ->Arg(20000)
    ->Iterations(2)
    ->Unit(benchmark::kSecond);

}  // namespace
