#include "estimator/phase_search.h"

#include "estimator/golden_section.h"
#include "estimator/log_likelihood.h"
#include "estimator/two_pi.h"

namespace periodscan {

void FIND_FI(const float& Omega, const float& A, float& Fi, float& DeltaLogLik,
             const std::int32_t& N, const float t[], const float& t0) {
  DeltaLogLik = golden_section_max(0.0f, kTwoPi, Fi, [&] {
    FUNCTI(A, Fi, Omega, DeltaLogLik, N, t, t0);
    return DeltaLogLik;
  });
}

}  // namespace periodscan
