#include "survey/survey_setup.h"

#include <cmath>

namespace periodscan {

double grid_size(const GridChoice& choice, double length) {
  if (choice.periods > 0) return double(choice.periods);
  // As FrequencyGrid::resolving counts them, give or take the rounding.
  return std::floor((1.0 / choice.min_period - 1.0 / choice.max_period) * choice.samples_per_peak *
                    length * (1.0 + 1e-12)) +
         1.0;
}

bool grid_fits(const GridChoice& choice, double length, double windows) {
  return grid_size(choice, length) * windows <= kMaxTableRows;  // false for a nan
}

FrequencyGrid make_grid(const GridChoice& choice, double length) {
  if (choice.periods > 0) {
    return FrequencyGrid::interactive_periods(float(choice.min_period), float(choice.max_period),
                                              choice.periods);
  }
  return FrequencyGrid::resolving(choice.min_period, choice.max_period, length,
                                  choice.samples_per_peak);
}

std::vector<double> relative_times(std::span<const double> times, double origin) {
  std::vector<double> x(times.size());
  for (std::size_t i = 0; i < times.size(); ++i) x[i] = times[i] - origin;
  return x;
}

Exposure sample_exposure(std::span<const Interval> intervals, double t1, double span) {
  if (intervals.empty()) return Exposure::whole_span(span);
  std::vector<Interval> moved;
  moved.reserve(intervals.size());
  for (const Interval& interval : intervals) {
    // Moving keeps the order; only an interval shorter than the spacing of
    // doubles near it can close up, and it is left out.
    const Interval part{interval.start - t1, interval.end - t1};
    if (part.end > part.start) moved.push_back(part);
  }
  return Exposure::intervals(std::move(moved));
}

}  // namespace periodscan
