#include "assess/cluster_shifts.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "parallel/ordered_work.h"

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
  ShiftScans out;
  // The survey gains little from a second core; surrogates are spread over
  // the cores instead, in batches of one per core, each surveyed on one
  // thread. Their shifts are drawn in order before the batch runs, and the
  // results are taken in order up to the stop, so that the batch size
  // changes nothing but the work done past the stop.
  const int cores = available_cores();
  const auto threads = std::size_t(options.threads > 0 ? std::min(options.threads, cores) : cores);
  SurveyOptions inner;
  inner.threads = 1;
  while (out.maxima.size() < plan.max_surrogates && out.reached < plan.stop_after) {
    const std::size_t batch = std::min(threads, plan.max_surrogates - out.maxima.size());
    std::vector<std::vector<double>> moved(batch);
    for (std::vector<double>& positions : moved) {
      std::vector<double> shifts(distinct.size());
      for (double& shift : shifts) {
        shift = double(generator() >> 11) * 0x1.0p-53 * exposure.total();
      }
      positions = shifted_positions(x, cluster, shifts, exposure);
    }
    std::vector<double> highest(batch, -HUGE_VAL);
    run_in_order(
        int64_t(batch), int(batch),
        [&](int64_t k, int) {
          const std::vector<double>& positions = moved[std::size_t(k)];
          if (!(positions.back() > 0.0)) return;
          for (const SpectrumRow& row : survey_spectrum(positions, grid, exposure, inner)) {
            highest[std::size_t(k)] = std::max(highest[std::size_t(k)], row.fit.delta_log_lik);
          }
        },
        [&](int64_t) {
          if (options.progress) options.progress(out.maxima.size(), plan.max_surrogates);
        });
    for (std::size_t k = 0; k < batch && out.reached < plan.stop_after; ++k) {
      out.maxima.push_back(highest[k]);
      if (highest[k] >= plan.observed) ++out.reached;
    }
    if (options.progress) options.progress(out.maxima.size(), plan.max_surrogates);
  }
  return out;
}

}  // namespace periodscan
