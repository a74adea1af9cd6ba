#include "assess/cluster_shifts.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace periodscan {

namespace {

// The watched time before each part's start.
std::vector<double> watched_before(std::span<const Interval> parts) {
  std::vector<double> before(parts.size());
  double total = 0.0;
  for (std::size_t k = 0; k < parts.size(); ++k) {
    before[k] = total;
    total += parts[k].end - parts[k].start;
  }
  return before;
}

}  // namespace

std::vector<double> shifted_positions(std::span<const double> x,
                                      std::span<const std::size_t> cluster,
                                      std::span<const double> shifts, const Exposure& exposure) {
  const auto parts = exposure.parts();
  const std::vector<double> before = watched_before(parts);
  const double total = exposure.total();
  std::vector<double> out(x.size());
  for (std::size_t i = 0; i < x.size(); ++i) {
    // The part holding x[i] (the last starting at or before it).
    const auto at = std::upper_bound(parts.begin(), parts.end(), x[i],
                                     [](double v, const Interval& p) { return v < p.start; });
    const std::size_t k = at == parts.begin() ? 0 : std::size_t(at - parts.begin()) - 1;
    const double inside = std::clamp(x[i] - parts[k].start, 0.0, parts[k].end - parts[k].start);
    double w = before[k] + inside + shifts[cluster[i]];
    w = std::fmod(w, total);
    const auto back = std::upper_bound(before.begin(), before.end(), w);
    const std::size_t m = back == before.begin() ? 0 : std::size_t(back - before.begin()) - 1;
    out[i] = std::min(parts[m].start + (w - before[m]), parts[m].end);
  }
  std::sort(out.begin(), out.end());
  return out;
}

ShiftScans cluster_shift_scans(std::span<const double> x, std::span<const std::int64_t> labels,
                               const FrequencyGrid& grid, const Exposure& exposure,
                               const ShiftPlan& plan, const SurveyOptions& options) {
  // Clusters numbered in increasing order of their labels.
  std::vector<std::int64_t> distinct(labels.begin(), labels.end());
  std::sort(distinct.begin(), distinct.end());
  distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
  std::vector<std::size_t> cluster(labels.size());
  for (std::size_t i = 0; i < labels.size(); ++i) {
    cluster[i] = std::size_t(std::lower_bound(distinct.begin(), distinct.end(), labels[i]) -
                             distinct.begin());
  }
  std::mt19937_64 generator(plan.seed);
  std::vector<double> shifts(distinct.size());
  ShiftScans out;
  SurveyOptions inner;
  inner.threads = options.threads;
  if (options.progress) {
    inner.progress = [&](std::size_t, std::size_t) {
      options.progress(out.maxima.size(), plan.max_surrogates);
    };
  }
  while (out.maxima.size() < plan.max_surrogates && out.reached < plan.stop_after) {
    for (double& shift : shifts) {
      shift = double(generator() >> 11) * 0x1.0p-53 * exposure.total();
    }
    const std::vector<double> moved = shifted_positions(x, cluster, shifts, exposure);
    double highest = -HUGE_VAL;
    if (moved.back() > 0.0) {
      for (const SpectrumRow& row : survey_spectrum(moved, grid, exposure, inner)) {
        if (row.fit.delta_log_lik > highest) highest = row.fit.delta_log_lik;
      }
    }
    out.maxima.push_back(highest);
    if (highest >= plan.observed) ++out.reached;
    if (options.progress) options.progress(out.maxima.size(), plan.max_surrogates);
  }
  return out;
}

}  // namespace periodscan
