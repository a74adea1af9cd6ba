#include "estimator/cached_search.h"

#include <cassert>
#include <cmath>

#include "estimator/golden_section.h"
#include "estimator/log_likelihood.h"
#include "estimator/two_pi.h"

namespace periodscan {

namespace {

// One amplitude search, stepped one log-likelihood evaluation at a time: its
// amplitude search and the phase search of the current amplitude.
struct Lane {
  float omega = 0.0f;
  PhaseCache* cache = nullptr;
  GoldenSection amplitude{0.0f, 1.0f};
  GoldenSection phase{0.0f, kTwoPi};
  bool done = false;

  float A() const { return amplitude.point(); }
  float Fi() const { return phase.point(); }

  // Takes the increment at (A(), Fi()): the phase search goes on, or its
  // result scores the amplitude and a new phase search starts, or the whole
  // search is over.
  void take(float delta_log_lik) {
    if (!phase.take(delta_log_lik)) return;
    if (amplitude.take(phase.result())) {
      done = true;
    } else {
      phase = GoldenSection(0.0f, kTwoPi);
    }
  }
};

void evaluate_one(Lane& lane, std::int32_t N, const float t[], double origin) {
  const double a = lane.A();
  const double fi = lane.Fi();
  float sum = log_likelihood_start(a, fi, lane.omega, N, t, origin);
  const double* c = lane.cache->cosines(lane.Fi());
  for (std::int32_t i = 0; i < N; ++i) {
    sum = static_cast<float>(sum + std::log(1.0 + a * c[i]));
  }
  lane.take(sum);
}

void evaluate_two(Lane& first, Lane& second, std::int32_t N, const float t[], double origin) {
  const double a0 = first.A();
  const double a1 = second.A();
  float sum0 = log_likelihood_start(a0, first.Fi(), first.omega, N, t, origin);
  float sum1 = log_likelihood_start(a1, second.Fi(), second.omega, N, t, origin);
  const double* c0 = first.cache->cosines(first.Fi());
  const double* c1 = second.cache->cosines(second.Fi());
  for (std::int32_t i = 0; i < N; ++i) {
    sum0 = static_cast<float>(sum0 + std::log(1.0 + a0 * c0[i]));
    sum1 = static_cast<float>(sum1 + std::log(1.0 + a1 * c1[i]));
  }
  first.take(sum0);
  second.take(sum1);
}

}  // namespace

void find_afi_side_by_side(std::span<const float> omegas, std::span<SearchResult> results,
                           std::int32_t N, const float t[], float t0,
                           std::span<PhaseCache* const> caches) {
  assert(omegas.size() >= 1 && omegas.size() <= 2);
  assert(results.size() == omegas.size() && caches.size() >= omegas.size());
  const double origin = t0;
  Lane lanes[2];
  const size_t count = omegas.size();
  for (size_t j = 0; j < count; ++j) {
    lanes[j].omega = omegas[j];
    lanes[j].cache = caches[j];
    caches[j]->begin(omegas[j], N, t, t0);
  }
  if (count == 2) {
    while (!lanes[0].done && !lanes[1].done) evaluate_two(lanes[0], lanes[1], N, t, origin);
  }
  for (size_t j = 0; j < count; ++j) {
    while (!lanes[j].done) evaluate_one(lanes[j], N, t, origin);
    // After the last evaluation the amplitude search's point is the
    // midpoint at which its result was scored.
    results[j] = {lanes[j].A(), lanes[j].Fi(), lanes[j].amplitude.result()};
  }
}

void find_afi_cached(const float& Omega, float& A, float& Fi, float& DeltaLogLik,
                     const std::int32_t& N, const float t[], const float& t0, PhaseCache& cache) {
  SearchResult result;
  PhaseCache* caches[] = {&cache};
  find_afi_side_by_side({&Omega, 1}, {&result, 1}, N, t, t0, caches);
  A = result.A;
  Fi = result.Fi;
  DeltaLogLik = result.delta_log_lik;
}

}  // namespace periodscan
