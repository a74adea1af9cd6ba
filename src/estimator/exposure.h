// Where the process was watched: the observation intervals over which the
// rate is integrated in the log-likelihood.
//
// Positions are on the relative time axis x = t - t(1) of the fit, in double
// precision. Without a list of intervals the process was watched from the
// first event to the last: one interval [0, L], L = t(N) - t(1). With one, the
// integral term of the log-likelihood is the sum of the integrals over the
// intervals, and the fit stays concave in its linear parameters.
#pragma once

#include <span>
#include <vector>

namespace periodscan {

struct Interval {
  double start = 0.0;
  double end = 0.0;  // end > start
};

class Exposure {
 public:
  // The whole span [0, span].
  static Exposure whole_span(double span);
  // Sorted, disjoint intervals of positive length (the caller checks).
  static Exposure intervals(std::vector<Interval> intervals);

  std::span<const Interval> parts() const { return parts_; }
  // Total watched time.
  double total() const { return total_; }

  // Integrals over the exposure of cos(omega x) and sin(omega x); at
  // omega = 0, total() and 0.
  struct Moments {
    double cos_integral = 0.0;
    double sin_integral = 0.0;
  };
  Moments moments(double omega) const;
  // The same about another origin: integrals of cos(omega (x - origin)) and
  // sin(omega (x - origin)). The fits work about middle() so that the phases
  // of the events stay small and the cos and sin columns nearly orthogonal.
  // Example: [0, 2] at omega = pi/2 about origin 1 gives 4/pi and 0.
  Moments moments(double omega, double origin) const;
  // Middle of the hull of the parts: (first start + last end)/2.
  double middle() const;
  // The same exposure in units of 2^exponent (every position times
  // 2^-exponent, see estimator/time_scale.h). Exact: its moments at
  // omega*2^exponent are those of this one times 2^-exponent, to the bit,
  // unless a position underflows.
  Exposure scaled(int exponent) const;

 private:
  std::vector<Interval> parts_;
  double total_ = 0.0;
};

}  // namespace periodscan
