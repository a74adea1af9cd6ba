// Whether the engine can represent a survey: the events, the intervals over
// which they were watched and the shortest trial period.
//
// The fits take every phase about the middle of the hull of the events and
// the intervals, omega*(t - middle), in double precision, and the harmonic
// sums of the fast route (scan/frequency_survey.h) up to kFastRouteHarmonics
// times that. A phase of C cycles carries a rounding error of about
// 1e-16*2*pi*C rad; the survey is refused where
//
//   C = (highest frequency) * H * (length of the hull)/2 > kMaxPhaseCycles = 1e9,
//
// H = kFastRouteHarmonics on a uniform grid, 1 on a listed one (the fast
// route never runs there), so that every phase is good to about 1e-6 rad.
// Beyond that, positions far from the events lose their digits: intervals
// reaching to 1e20 days about events of one year put every event at the same
// double distance from the middle, and each fit would see all events at one
// phase (A = 1, DeltaLogLik = N ln 2 at every period). The hull must also be
// a finite length (an interval end minus the first event, or the span, that
// overflows a double is refused), and the highest frequency finite.
//
// Whose fault: the events when their own span (or the window) already breaks
// the bound (the shortest period is too short for them), else the intervals
// (they reach too far beyond the events).
// Example: 830 events over 360 days, periods down to 1 day, uniform grid:
// C = 1 * 40 * 180 = 7,200 cycles, fine; with the interval [0, 1e20],
// C = 2e21, refused naming the intervals; with no intervals but periods down
// to 1e-6 days, C = 7.2e9, refused naming the events.
#pragma once

#include <span>
#include <string>

#include "estimator/exposure.h"

namespace periodscan {

inline constexpr double kMaxPhaseCycles = 1e9;

struct ScaleProblem {
  std::string reason;         // empty when the survey can be represented
  bool in_intervals = false;  // the intervals are at fault, else the events
};

// times: the events on their own axis (finite, non-decreasing, at least
// two); intervals: on the same axis, sorted (may be empty); highest_frequency:
// the grid's highest frequency (about 1/(shortest period)); window: the
// length of the moving windows, 0 for one survey of the whole sample. Each
// window is fitted about its own middle over the intervals clipped to it, so
// there the bound applies to the window's length and intervals reaching
// beyond the events do no harm.
ScaleProblem survey_scale_problem(std::span<const double> times,
                                  std::span<const Interval> intervals, double highest_frequency,
                                  bool uniform_grid, double window = 0.0);

}  // namespace periodscan
