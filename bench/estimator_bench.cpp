// Cost of the estimator per event: one amplitude search as the literal
// transcription runs it (between 1,120 and 1,152 log-likelihood evaluations)
// over N events, reported per event.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "estimator/log_likelihood.h"
#include "support/literal_estimator.h"

namespace {

std::vector<float> uniform_catalogue(std::int32_t n) {
  std::mt19937_64 engine(12345);
  std::uniform_real_distribution<double> time(0.0, 1000.0);
  std::vector<float> t(n);
  for (float& x : t) x = static_cast<float>(time(engine));
  std::sort(t.begin(), t.end());
  return t;
}

void BM_FindAfi(benchmark::State& state) {
  const std::int32_t n = static_cast<std::int32_t>(state.range(0));
  const std::vector<float> t = uniform_catalogue(n);
  const float t0 = t.front();
  const float omega = 0.6283185f;
  for (auto _ : state) {
    const auto found = periodscan::testing::literal_find_afi(omega, n, t.data(), t0);
    benchmark::DoNotOptimize(found.delta_log_lik);
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_FindAfi)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// One log-likelihood evaluation, for the cost per cosine-and-logarithm pair.
void BM_Functi(benchmark::State& state) {
  const std::int32_t n = static_cast<std::int32_t>(state.range(0));
  const std::vector<float> t = uniform_catalogue(n);
  const float t0 = t.front();
  const float omega = 0.6283185f;
  const float a = 0.4f;
  const float fi = 1.0f;
  for (auto _ : state) {
    float delta = 0.0f;
    periodscan::FUNCTI(a, fi, omega, delta, n, t.data(), t0);
    benchmark::DoNotOptimize(delta);
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_Functi)->Arg(1000)->Arg(10000);

}  // namespace
