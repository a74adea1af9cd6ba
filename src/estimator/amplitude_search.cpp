#include "estimator/amplitude_search.h"

#include "estimator/golden_section.h"
#include "estimator/phase_search.h"

namespace periodscan {

void FIND_AFI(const float& Omega, float& A, float& Fi, float& DeltaLogLik,
              const std::int32_t& N, const float t[], const float& t0) {
  DeltaLogLik = golden_section_max(0.0f, 1.0f, A, [&] {
    FIND_FI(Omega, A, Fi, DeltaLogLik, N, t, t0);
    return DeltaLogLik;
  });
}

}  // namespace periodscan
