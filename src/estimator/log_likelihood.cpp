#include "estimator/log_likelihood.h"

#include <cmath>

namespace periodscan {

float log_likelihood_start(double a, double fi, double omega, std::int32_t N, const float t[],
                           double origin) {
  const float lobs = static_cast<float>(t[N - 1] - origin);
  const float s = static_cast<float>(std::sin(lobs * omega + fi));
  const double j = (s - std::sin(fi)) * a / omega + lobs;
  const float nr = static_cast<float>(N);
  const double r = ((nr / j) * lobs) / nr;
  return static_cast<float>(nr * std::log(r));
}

void FUNCTI(const float& A, const float& Fi, const float& Omega, float& DeltaLogLik,
            const std::int32_t& N, const float t[], const float& t0) {
  const double a = A;
  const double fi = Fi;
  const double omega = Omega;
  const double origin = t0;

  // The sum is a 4-byte real throughout: each addition is rounded before the
  // next term is added, so the order of the events matters to the last bit.
  float sum = log_likelihood_start(a, fi, omega, N, t, origin);
  for (std::int32_t i = 0; i < N; ++i) {
    const double term = std::log(1.0 + a * std::cos((t[i] - origin) * omega + fi));
    sum = static_cast<float>(sum + term);
  }
  DeltaLogLik = sum;
}

}  // namespace periodscan
