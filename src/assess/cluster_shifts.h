// Surrogate scans for the false-alarm probability of a spectrum's largest
// peak when the events come in clusters (aftershock sequences, swarms).
//
// Each surrogate moves every cluster as a whole by its own shift, uniform
// over the watched time: the events' positions are mapped to watched time
// (the exposure before them), shifted circularly there, and mapped back, so
// that over observation intervals no event lands in a gap, and over the
// whole span this is x -> (x + u) mod L. The surrogate is then surveyed on
// the table's own grid and exposure, and its largest DeltaLogLik compared
// with the observed one.
//
// Surrogates are drawn one by one and the drawing stops once `stop_after` of
// them reach the observed value (Besag and Clifford, Biometrika 78, 301-304,
// 1991): then p = stop_after/drawn; otherwise all `max_surrogates` are drawn
// and p = (reached + 1)/(max_surrogates + 1).
//
// The shifts come from std::mt19937_64 seeded with `seed`: for each surrogate
// in turn, one draw per cluster in increasing order of the cluster labels,
// u = (draw >> 11) * 2^-53 in [0, 1) times the watched total. The same seed
// gives the same shifts, and the survey gives the same bits for any thread
// count; surrogates drawn past the stop (in a batch running in parallel) are
// dropped, so the result does not depend on the thread count.
//
// cluster_shift_maxima() scans a batch of surrogates each drawn from a seed
// of its own (a std::mt19937_64 seeded with seeds[k] makes surrogate k's
// shifts, drawn as above), with no stop rule: surrogate k is the same
// whatever batch it comes in and whatever else the batch holds, so that a
// large test can be split into batches run anywhere and in any order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "estimator/exposure.h"
#include "scan/frequency_grid.h"
#include "scan/frequency_survey.h"

namespace periodscan {

struct ShiftScans {
  std::vector<double> maxima;  // the largest DeltaLogLik of every surrogate drawn
  std::size_t reached = 0;     // of which at least the observed value
};

struct ShiftPlan {
  std::uint64_t seed = 0;
  std::size_t max_surrogates = 99;
  std::size_t stop_after = 10;
  double observed = 0.0;
};

// x relative to the first event (non-decreasing, x.back() > 0) and inside the
// exposure; one label per event. options.progress is called on the calling
// thread with the surrogates done out of max_surrogates. Surrogates run one
// per core (options.threads, 0 for every core), each surveyed on one thread.
ShiftScans cluster_shift_scans(std::span<const double> x, std::span<const std::int64_t> labels,
                               const FrequencyGrid& grid, const Exposure& exposure,
                               const ShiftPlan& plan, const SurveyOptions& options);

// The largest DeltaLogLik of each surrogate, in the order of `seeds` (-inf
// for a surrogate whose events all land on 0, which cannot be surveyed).
// The clusters, the watched time and the per-thread buffers are set up once
// for the batch. options.progress gets the surrogates done out of
// seeds.size(); the result is the same bits for any options.threads.
std::vector<double> cluster_shift_maxima(std::span<const double> x,
                                         std::span<const std::int64_t> labels,
                                         const FrequencyGrid& grid, const Exposure& exposure,
                                         std::span<const std::uint64_t> seeds,
                                         const SurveyOptions& options);

// One surrogate's positions, sorted: event i moved by shifts[cluster[i]] of
// watched time (shifts in [0, exposure total)).
std::vector<double> shifted_positions(std::span<const double> x,
                                      std::span<const std::size_t> cluster,
                                      std::span<const double> shifts, const Exposure& exposure);

}  // namespace periodscan
