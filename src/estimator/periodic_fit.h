// The converged maximum-likelihood fit of a periodic rate at one frequency.
//
// Model: Lambda(x) = Mju*(1 + A*cos(omega*x + Fi)), 0 <= A <= 1, on the
// relative time axis x = t - t(1), observed over an Exposure. With Mju
// maximised out, the increment of the log-likelihood over the constant rate
// observed over the same exposure is
//
//   DeltaLogLik(A, Fi) = sum_i ln(1 + A cos(omega x_i + Fi))
//                        - N ln(1 + A (C cos Fi - S sin Fi)/E),
//
// E the exposure's total, C and S its cos and sin integrals at omega. The fit
// is the global maximum over A in [0, 1] and Fi (unique: the log-likelihood is
// concave in beta = Mju*(1, A cos Fi, -A sin Fi) on the cone A <= 1).
// Everything is in double precision from double times; nothing is rounded to
// 4 bytes.
#pragma once

#include <span>
#include <vector>

#include "estimator/exposure.h"

namespace periodscan {

struct PeriodicFit {
  double delta_log_lik = 0.0;  // >= 0
  double amplitude = 0.0;      // A in [0, 1]
  double phase = 0.0;          // Fi in [0, 2 pi); 0 where A = 0
};

// The fit at angular frequency omega > 0 for the events x (non-decreasing,
// relative to the first event, so x[0] = 0), directly over the events.
PeriodicFit fit_periodic_rate(std::span<const double> x, double omega, const Exposure& exposure);

// A phase reduced into [0, 2 pi): wrap_phase(-0.5) is 2 pi - 0.5, and a
// multiple of 2 pi gives +0 (never -0).
double wrap_phase(double phase);

// The Newton step of the fit: the solution d of m d = g for a symmetric 3x3
// matrix m (minus the Hessian) and gradient g, with a ridge where m is
// singular to working precision; d = 0 (the search ends) where m or g holds
// inf or NaN, or m cannot be factored even with a large ridge.
struct Vec3 {
  double v[3] = {0.0, 0.0, 0.0};
  double& operator[](int i) { return v[i]; }
  double operator[](int i) const { return v[i]; }
};
struct Sym3 {  // upper triangle
  double m00 = 0.0, m01 = 0.0, m02 = 0.0, m11 = 0.0, m12 = 0.0, m22 = 0.0;
  Vec3 times(const Vec3& d) const {
    Vec3 r;
    r[0] = m00 * d[0] + m01 * d[1] + m02 * d[2];
    r[1] = m01 * d[0] + m11 * d[1] + m12 * d[2];
    r[2] = m02 * d[0] + m12 * d[1] + m22 * d[2];
    return r;
  }
};
Vec3 solve_newton_step(const Sym3& m, const Vec3& g);

// The same fit, for one thread fitting many frequencies of one catalogue: it
// keeps the cos and sin of the event phases between the Newton passes and
// reuses that storage from call to call. It keeps its own copy of the events
// and the exposure, in units of a power of two near the sample's length
// (estimator/time_scale.h): the same bits as in the times' own unit, without
// overflow or underflow of 1/rate^2 for times in units far from 1.
//
// How the maximum is found: Newton's method on the concave log-likelihood in
// beta = Mju*(1, A cos Fi, -A sin Fi), from the Rayleigh estimate, with the
// damped step of self-concordant functions (so no pass evaluates a
// logarithm until the last). A step that would leave the cone A <= 1 is cut
// to land on it; on the circle A = 1 the phase is then found by a safeguarded
// Newton search inside the gap between event phases that holds it, and the
// point is accepted when the optimality condition of the cone holds there
// (raising Mju alone must not increase the log-likelihood); otherwise the
// search steps back inside. About 3 to 6 passes over the events per
// frequency, 1 sin/cos per event.
//
// Example: events at x = 0, 1, 2, ..., 99 over [0, 99] at omega = 2 pi (one
// event per cycle, all at phase 0; the exposure holds whole cycles, so its
// cos and sin integrals vanish): A = 1, Fi = 0, DeltaLogLik = 100 ln 2 =
// 69.3147..., the most this model can gain from 100 events.
class PeriodicFitter {
 public:
  PeriodicFitter(std::span<const double> x, const Exposure& exposure);

  PeriodicFit fit(double omega);
  // The Rayleigh statistic at the frequency of the last fit (free: the fit
  // forms the sum anyway).
  double last_rayleigh_z() const { return rayleigh_z_; }

 private:
  // Everything inside is in units of 2^scale_ (estimator/time_scale.h), a
  // power of two near the length of the sample.
  int scale_;
  Exposure exposure_;             // scaled
  double origin_;                 // the exposure's middle, scaled
  std::vector<double> position_;  // (x_i - middle)*2^-scale_
  std::vector<double> cos_;
  std::vector<double> sin_;
  double rayleigh_z_ = 0.0;
};

}  // namespace periodscan
