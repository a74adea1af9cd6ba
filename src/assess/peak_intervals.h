// Profile-likelihood intervals at a peak of a spectrum.
//
// At a peak the periodic law has three parameters besides Mju: the frequency,
// A and a phase. The interval of one of them holds the values at which the
// profile likelihood (DeltaLogLik maximised over the other two) lies within
// kappa * kDropTwoSided = kappa * chi2_1(0.95)/2 of the refined maximum
// (Wilks' theorem: the 95 % interval, widened by the clustering factor kappa
// >= 1). The phase is the one at the middle of the record, x = L/2, where it
// is nearly independent of the frequency; the time of the rate maximum is
// the one nearest the middle, x = L/2 - phase/omega. Everything is over the
// exposure, so a catalogue watched over intervals is handled as the survey
// fitted it.
//
// How: the maximum is refined from the converged fit at the starting
// frequency by Newton's method in (nu = f L, s, phase) with A = sin^2 s, in
// which A stays in [0, 1] without a bound; each end of an interval is found
// by stepping out from the estimate (2 %, 4 %, ... of the search reach) until
// the profile falls below the level, then by Newton's steps on the held value
// (its slope is the partial derivative at the profile's maximum) kept inside
// that bracket, to within 1e-10 of the level. The reach is
// 1.5 cycles over the record in frequency (beyond lies the next side lobe),
// down to half the frequency; [0, 1] for A; pi either side for the phase;
// half a period either side for the time of the maximum. An end not found
// within the reach is the reach's limit, marked unbounded; A's ends at 0 and
// 1 count as bounded (they are the parameter's own limits).
//
// The eight ends are searched in parallel; each is the same computation
// whatever the thread count.
#pragma once

#include <span>

#include "estimator/exposure.h"

namespace periodscan {

inline constexpr double kDropTwoSided = 1.9207294103470833;  // chi2_1 quantile 0.95, halved

struct ProfileInterval {
  double estimate = 0.0;
  double lo = 0.0;
  double hi = 0.0;
  bool lo_bounded = true;  // false: the profile stays above the level to the reach
  bool hi_bounded = true;
};

struct PeakIntervals {
  double delta_log_lik = 0.0;  // at the refined maximum
  ProfileInterval frequency;
  ProfileInterval amplitude;
  ProfileInterval phase;      // at the middle of the record, radians
  ProfileInterval peak_time;  // on the axis x = t - t(1)
};

// x relative to the first event (non-decreasing, x.back() > 0), the exposure
// on the same axis, frequency > 0 near the peak, kappa >= 1.
PeakIntervals peak_intervals(std::span<const double> x, const Exposure& exposure, double frequency,
                             double kappa, int threads);

}  // namespace periodscan
