// The converged fit of estimator/periodic_fit.h at one frequency from the
// harmonic sums S_k = sum_i exp(i k theta_i) of the event phases
// theta_i = omega (x_i - origin) (estimator/harmonic_sums.h), without a pass
// over the events.
//
// With z = r exp(i Fi), A = 2r/(1 + r^2), one has
//   1 + A cos(theta + Fi) = |1 + z exp(i theta)|^2 / (1 + r^2),
//   ln(1 + z e^{i theta}) = sum_k (-1)^(k+1) z^k e^{i k theta} / k,
// so that, with c = (C + iS)/E the exposure's moment about the same origin,
//
//   DeltaLogLik(z) = 2 Re L(z) - N ln(1 + |z|^2 + 2 Re(c z)),
//   L(z) = sum_{k>=1} (-1)^(k+1) S_k z^k / k.
//
// The fit maximises the series cut after K harmonics by Newton's method in
// (Re z, Im z) with a line search. DeltaLogLik(z) has no local maximum other
// than the global one (it is the image of a concave problem under a
// one-to-one map of the disc), so the search cannot be trapped.
//
// What the cut and the errors of the sums (|S_k - exact| <= e) can cost,
// bounded with |S_k| <= N for the harmonics left out:
//   value:    2 N r^(K+1) / ((K+1)(1 - r)) + 2 e ln(1/(1 - r)),
//   gradient: 2 N r^K / (1 - r) + 2 e / (1 - r);
// the maximiser then moves by at most |gradient error| / lambda, lambda the
// smallest curvature of -DeltaLogLik there, and A by at most twice that.
// Both bounds are evaluated at r + (that move) + 0.001; the fit is returned
// only when the value bound is below `tolerance` and the bound on A below
// `tolerance` too. Otherwise (A near 1, a flat maximum, too few harmonics)
// the caller fits directly over the events.
//
// Example: N = 1000 events with S_1 = 100, S_2 .. S_40 = 0 and c = 0:
// DeltaLogLik(z) = 200 Re z - 1000 ln(1 + |z|^2), largest at
// z = 5 - sqrt(24) = 0.10102, so A = 0.2 (exactly: 1 + z^2 = 10 z there),
// Fi = 0 and DeltaLogLik = 10.0506; ten harmonics already bound the cut
// below 1e-8, so the fit is returned.
#pragma once

#include <complex>
#include <optional>
#include <span>

#include "estimator/periodic_fit.h"

namespace periodscan {

struct HarmonicFitInput {
  std::span<const std::complex<double>> sums;  // S_1 .. S_K
  double count = 0.0;                          // N
  std::complex<double> exposure_moment;        // (C + iS)/E about the sums' origin
  double sum_error = 0.0;                      // e: bound on |S_k - exact|
};

// The fit, its phase about the sums' origin; nullopt where the bounds above
// do not hold within `tolerance`.
std::optional<PeriodicFit> fit_from_harmonic_sums(const HarmonicFitInput& input, double tolerance);

}  // namespace periodscan
