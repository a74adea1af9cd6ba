#include "estimator/cached_search.h"

#include <cmath>

#include "estimator/golden_section.h"
#include "estimator/two_pi.h"

namespace periodscan {

namespace {

// FUNCTI with the cosines of the phase taken from the cache.
float cached_functi(float A, float Fi, float Omega, std::int32_t N, const float t[], float t0,
                    PhaseCache& cache) {
  const double a = A;
  const double fi = Fi;
  const double omega = Omega;
  const double origin = t0;
  const float lobs = static_cast<float>(t[N - 1] - origin);
  const float s = static_cast<float>(std::sin(lobs * omega + fi));
  const double j = (s - std::sin(fi)) * a / omega + lobs;
  const float nr = static_cast<float>(N);
  const double r = ((nr / j) * lobs) / nr;
  float sum = static_cast<float>(nr * std::log(r));
  const double* c = cache.cosines(Fi);
  for (std::int32_t i = 0; i < N; ++i) {
    sum = static_cast<float>(sum + std::log(1.0 + a * c[i]));
  }
  return sum;
}

}  // namespace

void find_afi_cached(const float& Omega, float& A, float& Fi, float& DeltaLogLik,
                     const std::int32_t& N, const float t[], const float& t0, PhaseCache& cache) {
  cache.begin(Omega, N, t, t0);
  DeltaLogLik = golden_section_max(0.0f, 1.0f, A, [&] {
    DeltaLogLik = golden_section_max(0.0f, kTwoPi, Fi, [&] {
      return cached_functi(A, Fi, Omega, N, t, t0, cache);
    });
    return DeltaLogLik;
  });
}

}  // namespace periodscan
