#include "assess/cluster_shifts.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "parallel/ordered_work.h"

namespace periodscan {

namespace {

// Moves events by whole-cluster shifts of watched time. Set up once for a
// catalogue and an exposure; place() reuses the caller's buffer.
class ClusterShifter {
 public:
  ClusterShifter(std::span<const double> x, std::span<const std::size_t> cluster,
                 std::size_t clusters, const Exposure& exposure)
      : x_(x),
        cluster_(cluster),
        clusters_(clusters),
        parts_(exposure.parts()),
        total_(exposure.total()) {
    double watched = 0.0;
    for (const Interval& part : parts_) {
      before_.push_back(watched);
      watched += part.end - part.start;
    }
  }

  // One shift per cluster from `generator`: u = (draw >> 11) * 2^-53 times
  // the watched total.
  void draw(std::mt19937_64& generator, std::vector<double>* shifts) const {
    shifts->resize(clusters_);
    for (double& shift : *shifts) shift = double(generator() >> 11) * 0x1.0p-53 * total_;
  }

  void place(std::span<const double> shifts, std::vector<double>* out) const {
    out->resize(x_.size());
    for (std::size_t i = 0; i < x_.size(); ++i) {
      // The part holding x[i] (the last starting at or before it).
      const auto at = std::upper_bound(parts_.begin(), parts_.end(), x_[i],
                                       [](double v, const Interval& p) { return v < p.start; });
      const std::size_t k = at == parts_.begin() ? 0 : std::size_t(at - parts_.begin()) - 1;
      const double inside =
          std::clamp(x_[i] - parts_[k].start, 0.0, parts_[k].end - parts_[k].start);
      double w = before_[k] + inside + shifts[cluster_[i]];
      w = std::fmod(w, total_);
      const auto back = std::upper_bound(before_.begin(), before_.end(), w);
      const std::size_t m = back == before_.begin() ? 0 : std::size_t(back - before_.begin()) - 1;
      (*out)[i] = std::min(parts_[m].start + (w - before_[m]), parts_[m].end);
    }
    std::sort(out->begin(), out->end());
  }

 private:
  std::span<const double> x_;
  std::span<const std::size_t> cluster_;
  std::size_t clusters_;
  std::span<const Interval> parts_;
  double total_;
  std::vector<double> before_;  // the watched time before each part's start
};

// Clusters numbered 0, 1, ... in increasing order of their labels; returns
// how many there are.
std::size_t number_clusters(std::span<const std::int64_t> labels,
                            std::vector<std::size_t>* cluster) {
  std::vector<std::int64_t> distinct(labels.begin(), labels.end());
  std::sort(distinct.begin(), distinct.end());
  distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
  cluster->resize(labels.size());
  for (std::size_t i = 0; i < labels.size(); ++i) {
    (*cluster)[i] = std::size_t(std::lower_bound(distinct.begin(), distinct.end(), labels[i]) -
                                distinct.begin());
  }
  return distinct.size();
}

// The largest DeltaLogLik over the grid, surveyed on one thread; -inf where
// every event sits at 0.
double highest_peak(std::span<const double> positions, const FrequencyGrid& grid,
                    const Exposure& exposure) {
  double highest = -HUGE_VAL;
  if (!(positions.back() > 0.0)) return highest;
  SurveyOptions inner;
  inner.threads = 1;
  for (const SpectrumRow& row : survey_spectrum(positions, grid, exposure, inner)) {
    highest = std::max(highest, row.fit.delta_log_lik);
  }
  return highest;
}

// Surrogates go one per core: the survey gains little from a second one.
int shift_threads(const SurveyOptions& options, std::size_t work) {
  const int cores = available_cores();
  const int threads = options.threads > 0 ? std::min(options.threads, cores) : cores;
  return int(std::min<std::size_t>(std::size_t(threads), std::max<std::size_t>(work, 1)));
}

}  // namespace

std::vector<double> shifted_positions(std::span<const double> x,
                                      std::span<const std::size_t> cluster,
                                      std::span<const double> shifts, const Exposure& exposure) {
  std::vector<double> out;
  ClusterShifter(x, cluster, shifts.size(), exposure).place(shifts, &out);
  return out;
}

std::vector<double> cluster_shift_maxima(std::span<const double> x,
                                         std::span<const std::int64_t> labels,
                                         const FrequencyGrid& grid, const Exposure& exposure,
                                         std::span<const std::uint64_t> seeds,
                                         const SurveyOptions& options) {
  std::vector<std::size_t> cluster;
  const std::size_t clusters = number_clusters(labels, &cluster);
  const ClusterShifter shifter(x, cluster, clusters, exposure);
  const int threads = shift_threads(options, seeds.size());
  struct Buffers {
    std::vector<double> shifts, positions;
  };
  std::vector<Buffers> buffers(static_cast<std::size_t>(threads));
  std::vector<double> maxima(seeds.size(), -HUGE_VAL);
  run_in_order(
      int64_t(seeds.size()), threads,
      [&](int64_t k, int worker) {
        Buffers& own = buffers[std::size_t(worker)];
        std::mt19937_64 generator(seeds[std::size_t(k)]);
        shifter.draw(generator, &own.shifts);
        shifter.place(own.shifts, &own.positions);
        maxima[std::size_t(k)] = highest_peak(own.positions, grid, exposure);
      },
      [&](int64_t k) {
        if (options.progress) options.progress(std::size_t(k) + 1, seeds.size());
      });
  return maxima;
}

ShiftScans cluster_shift_scans(std::span<const double> x, std::span<const std::int64_t> labels,
                               const FrequencyGrid& grid, const Exposure& exposure,
                               const ShiftPlan& plan, const SurveyOptions& options) {
  std::vector<std::size_t> cluster;
  const std::size_t clusters = number_clusters(labels, &cluster);
  const ClusterShifter shifter(x, cluster, clusters, exposure);
  std::mt19937_64 generator(plan.seed);
  ShiftScans out;
  // Surrogates are spread over the cores in batches of one per core. Their
  // shifts are drawn in order before the batch runs, and the results are
  // taken in order up to the stop, so that the batch size changes nothing
  // but the work done past the stop.
  const auto threads = std::size_t(shift_threads(options, plan.max_surrogates));
  std::vector<double> shifts;
  while (out.maxima.size() < plan.max_surrogates && out.reached < plan.stop_after) {
    const std::size_t batch = std::min(threads, plan.max_surrogates - out.maxima.size());
    std::vector<std::vector<double>> moved(batch);
    for (std::vector<double>& positions : moved) {
      shifter.draw(generator, &shifts);
      shifter.place(shifts, &positions);
    }
    std::vector<double> highest(batch, -HUGE_VAL);
    run_in_order(
        int64_t(batch), int(batch),
        [&](int64_t k, int) {
          highest[std::size_t(k)] = highest_peak(moved[std::size_t(k)], grid, exposure);
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
