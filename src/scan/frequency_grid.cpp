#include "scan/frequency_grid.h"

#include <cassert>
#include <cmath>
#include <numbers>
#include <utility>

#include "scan/period_grid.h"

namespace periodscan {

FrequencyGrid FrequencyGrid::uniform(double first, double step, std::size_t count) {
  FrequencyGrid grid;
  grid.first_ = first;
  grid.step_ = step;
  grid.count_ = count;
  return grid;
}

FrequencyGrid FrequencyGrid::resolving(double min_period, double max_period, double span,
                                       double samples_per_peak) {
  assert(min_period > 0.0 && max_period > min_period && span > 0.0 && samples_per_peak > 0.0);
  const double first = 1.0 / max_period;
  const double step = 1.0 / (samples_per_peak * span);
  // A last frequency that lands on 1/min_period up to rounding is kept.
  const double steps = std::floor((1.0 / min_period - first) / step * (1.0 + 1e-12));
  return uniform(first, step, static_cast<std::size_t>(steps) + 1);
}

FrequencyGrid FrequencyGrid::listed(std::vector<double> frequencies) {
  FrequencyGrid grid;
  grid.count_ = frequencies.size();
  grid.listed_ = std::move(frequencies);
  return grid;
}

FrequencyGrid FrequencyGrid::interactive_periods(float Tmin, float Tmax, int NP) {
  const PeriodGrid periods = static_period_grid(Tmin, Tmax, NP);
  std::vector<double> frequencies;
  frequencies.reserve(static_cast<std::size_t>(NP));
  for (int k = 1; k <= NP; ++k) {
    // The program's own angular frequency, so that both fit the same law.
    frequencies.push_back(static_cast<double>(periods.omega(k)) / (2.0 * std::numbers::pi));
  }
  return listed(std::move(frequencies));
}

}  // namespace periodscan
