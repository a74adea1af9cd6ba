// What a survey of one sample needs besides the times, shared by the command
// and the Python binding so that both fit the same frequencies over the same
// exposure.
#pragma once

#include <span>
#include <vector>

#include "estimator/exposure.h"
#include "scan/frequency_grid.h"

namespace periodscan {

struct GridChoice {
  double min_period = 0.0;
  double max_period = 0.0;
  double samples_per_peak = 5.0;
  int periods = 0;  // > 0: the interactive program's grid of this many periods
};

// The most rows a survey may have: its frequencies, times the windows for
// moving windows. 1e8 rows are some 15 GB of table already; more is a
// mistyped period or step, refused before anything is allocated.
inline constexpr double kMaxTableRows = 1e8;

// The number of trial frequencies for a sample (or window) `length` long, as
// a double (it may be beyond any count: inf or nan for absurd choices).
double grid_size(const GridChoice& choice, double length);

// Whether grid_size(choice, length) times `windows` stays within
// kMaxTableRows, for either kind of grid.
bool grid_fits(const GridChoice& choice, double length, double windows = 1.0);

// The trial frequencies for a sample (or window) `length` long; for a
// resolving grid, grid_fits must hold.
FrequencyGrid make_grid(const GridChoice& choice, double length);

// times - origin.
std::vector<double> relative_times(std::span<const double> times, double origin);

// Where the sample from t1 to t1 + span was watched: the intervals (on the
// times' own axis) moved to the axis t - t1, or, when there are none, [0, span].
Exposure sample_exposure(std::span<const Interval> intervals, double t1, double span);

}  // namespace periodscan
