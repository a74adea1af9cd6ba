// The 95 % upper limit on A at each of a set of frequencies.
//
// At a frequency the limit is the A above the best one at which the profile
// likelihood over the phase (DeltaLogLik maximised over the phase at fixed
// frequency and A) has fallen by kappa * kDropOneSided = kappa *
// chi2_1(0.90)/2 (a one-sided limit); 1 where the profile at A = 1 stays
// above that level. Over a band the limit is the largest of these, so a
// component of any frequency in the band with a larger A would have been
// seen. Over the exposure, as the survey fits.
//
// How: the converged fit gives the best A and phase; the profile over the
// phase is found by Newton's method on the phase from the last one; its
// crossing of the level by Newton's method on A (the slope of the profile is
// the partial derivative in A at the best phase) kept inside a bracket that
// shrinks to 1e-12 in A, with bisection where a step would leave it. The
// cosines and sines of the events at a frequency are formed once, so each
// evaluation costs a logarithm per event.
//
// Spread over the cores with parallel/ordered_work: each frequency's limit is
// the same bits whatever the thread count.
#pragma once

#include <span>
#include <vector>

#include "estimator/exposure.h"
#include "scan/frequency_grid.h"
#include "scan/frequency_survey.h"

namespace periodscan {

inline constexpr double kDropOneSided = 1.3527717294280424;  // chi2_1 quantile 0.90, halved

// x relative to the first event (non-decreasing, x.back() > 0); frequencies
// > 0; kappa >= 1. options.progress is called on the calling thread with the
// frequencies done.
std::vector<double> amplitude_upper_limits(std::span<const double> x, const Exposure& exposure,
                                           std::span<const double> frequencies, double kappa,
                                           const SurveyOptions& options);

// The largest limit over a band, without the limit at every frequency. `best`
// holds the best A at each of `grid`'s frequencies (a table's column), or is
// empty, and the survey fits them (on its fast route where the grid is
// uniform). Where A is small the profile
// lies N/4 (A - A*)^2 below its peak, so the limit is the best A plus
// delta = sqrt(4 kappa kDropOneSided / N), give or take a share of delta
// that grows with A, with the exposure's moment |J| and with 1/sqrt(N)
// (kScreenSlack*). The limit is worked out at the kScreenLeast frequencies
// of largest best A, then at every frequency whose upper bound reaches the
// largest limit found (or the largest lower bound), until none is left.
// Returns the limit at every frequency, NaN where it was not worked out.
inline constexpr std::size_t kScreenLeast = 16;
inline constexpr double kScreenSlackA = 2.0;
inline constexpr double kScreenSlackJ = 4.0;
inline constexpr double kScreenSlackN = 10.0;
std::vector<double> band_upper_limits(std::span<const double> x, const Exposure& exposure,
                                      const FrequencyGrid& grid, std::span<const double> best,
                                      double kappa, const SurveyOptions& options);

}  // namespace periodscan
