// The log-likelihood gain of the periodic rate law at any (frequency, A,
// phase), with its first and second derivatives: what the profile-likelihood
// intervals and the upper limit on A climb on.
//
// The law is Lambda(x) = Mju*(1 + A cos(omega (x - c) + phi)) on the axis
// x = t - t(1), c = L/2 the middle of the record (L = x(N)), observed over an
// Exposure. With Mju maximised out,
//
//   DeltaLogLik = sum_i ln(1 + A cos theta_i) - N ln(1 + A J/E),
//   theta_i = omega (x_i - c) + phi,  J = integral over the exposure of
//   cos(omega (x - c) + phi),  E the exposure's total.
//
// Coordinates are made dimensionless: nu = f L (cycles over the record) and
// positions z = 2 pi (x - c)/L in [-pi, pi], so theta = nu z + phi and every
// coordinate is of order one whatever the unit of time. The phase phi is the
// one at the middle of the record, where it hardly moves with the frequency.
//
// Example: events at x = 0, 1, ..., 99 over the whole span (L = 99) at
// nu = 99 (one cycle per unit), A = 0.5, phi = pi: theta_i = 2 pi (x_i - 49.5)
// + pi is a whole number of turns, so the sum is 100 ln 1.5, and J vanishes
// over the 99 whole cycles: DeltaLogLik = 100 ln 1.5 = 40.5465.
#pragma once

#include <span>
#include <vector>

#include "estimator/exposure.h"

namespace periodscan {

struct ProfileDerivatives {
  double value = 0.0;
  double gradient[3] = {0.0, 0.0, 0.0};  // d/d(nu, A, phi)
  double hessian[3][3] = {{0.0, 0.0, 0.0}, {0.0, 0.0, 0.0}, {0.0, 0.0, 0.0}};
};

class RateProfile {
 public:
  // x as for fit_periodic_rate (non-decreasing, x[0] = 0, x.back() > 0);
  // exposure on the same axis.
  RateProfile(std::span<const double> x, const Exposure& exposure);

  // DeltaLogLik at (nu, A, phi); -inf where the rate is not positive at an
  // event (A = 1 with an event at the trough).
  double value(double nu, double amplitude, double phase) const;
  // The value with its derivatives in (nu, A, phi).
  ProfileDerivatives derivatives(double nu, double amplitude, double phase) const;

  double span() const { return span_; }  // L
  std::size_t count() const { return z_.size(); }

  // The cos and sin integrals over the exposure of nu z (about the middle)
  // divided by the exposure's total, with their first and second derivatives
  // in nu: the exposure term of DeltaLogLik and its derivatives.
  struct ExposureMoments {
    double c = 0.0, s = 0.0;    // int cos(nu z), int sin(nu z) over E
    double c1 = 0.0, s1 = 0.0;  // d/dnu
    double c2 = 0.0, s2 = 0.0;  // d2/dnu2
  };
  ExposureMoments exposure_moments(double nu) const;

  std::span<const double> positions() const { return z_; }

 private:
  double span_ = 0.0;
  std::vector<double> z_;
  std::vector<Interval> parts_;  // in z
  double total_ = 0.0;           // exposure total in z
};

}  // namespace periodscan
