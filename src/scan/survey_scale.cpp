#include "scan/survey_scale.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "scan/frequency_survey.h"

namespace periodscan {

namespace {

std::string short_number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

}  // namespace

ScaleProblem survey_scale_problem(std::span<const double> times,
                                  std::span<const Interval> intervals, double highest_frequency,
                                  bool uniform_grid, double window) {
  ScaleProblem problem;
  if (times.empty()) return problem;
  const double harmonics = uniform_grid ? kFastRouteHarmonics : 1.0;
  const double first = times.front(), last = times.back();
  const double shortest = 1.0 / highest_frequency;
  const std::string periods = "at periods down to " + short_number(shortest);
  if (!std::isfinite(highest_frequency) || !(highest_frequency > 0.0)) {
    problem.reason = "the shortest period " + short_number(shortest) + " is too small to survey";
    return problem;
  }
  const double span = last - first;
  if (!std::isfinite(span)) {
    problem.reason = "the events span from " + short_number(first) + " to " + short_number(last) +
                     ", more than a double can hold";
    return problem;
  }
  const bool windows = window > 0.0;
  const double length = windows ? std::min(window, span) : span;
  const double event_cycles = highest_frequency * harmonics * 0.5 * length;
  if (!(event_cycles <= kMaxPhaseCycles)) {
    problem.reason = (windows ? "the windows are " : "the events span ") + short_number(length) +
                     " long: " + periods + " the fit's phases would reach " +
                     short_number(event_cycles) +
                     " cycles, beyond the 1e9 it can resolve; raise the shortest period to at "
                     "least " +
                     short_number(harmonics * 0.5 * length / kMaxPhaseCycles);
    return problem;
  }
  if (windows || intervals.empty()) return problem;
  const double low = std::min(first, intervals.front().start);
  const double high = std::max(last, intervals.back().end);
  const double hull = high - low;
  const double cycles = highest_frequency * harmonics * 0.5 * hull;
  if (std::isfinite(hull) && std::isfinite(low - first) && std::isfinite(high - first) &&
      cycles <= kMaxPhaseCycles) {
    return problem;
  }
  problem.in_intervals = true;
  problem.reason = "the intervals reach from " + short_number(low) + " to " + short_number(high) +
                   ", too far beyond the events (" + short_number(first) + " to " +
                   short_number(last) + ")";
  if (std::isfinite(cycles)) {
    problem.reason += ": " + periods + " the fit's phases there would reach " +
                      short_number(cycles) + " cycles, beyond the 1e9 it can resolve";
  } else {
    problem.reason += " for the fit to represent";
  }
  problem.reason += "; trim the intervals to the time the catalogue covers";
  return problem;
}

}  // namespace periodscan
