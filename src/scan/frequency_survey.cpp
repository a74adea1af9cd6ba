#include "scan/frequency_survey.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <complex>
#include <numbers>
#include <optional>

#include "estimator/harmonic_fit.h"
#include "estimator/harmonic_sums.h"
#include "estimator/time_scale.h"
#include "parallel/ordered_work.h"

namespace periodscan {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
// Frequencies per piece of work: small enough to spread over the cores and
// report progress often, large enough that handing out pieces costs nothing.
constexpr std::size_t kPieceSize = 32;
// Harmonics of the fast route (the first 16 always, up to 40 where needed),
// and the storage for the sums of one block of frequencies; the blocks reuse
// it, so memory stays O(N + frequencies).
constexpr int kHarmonics = kFastRouteHarmonics;
constexpr int kFirstHarmonics = 16;
constexpr std::size_t kBlockBytes = std::size_t{64} << 20;
// The fast route promises the converged maximum to this, in DeltaLogLik and
// in A; where it cannot, the frequency is fitted directly.
constexpr double kFastRouteTolerance = 1e-7;
// Events times frequencies below which the fast route runs on one thread.
constexpr double kSmallFastSurvey = 2e7;

// The threads asked for (0: every core), but never more than the cores this
// process may use, nor than pieces of work: each thread owns a workspace of
// the size of the catalogue.
int thread_count(const SurveyOptions& options, std::size_t frequencies) {
  const int cores = available_cores();
  const int asked = options.threads > 0 ? std::min(options.threads, cores) : cores;
  const std::size_t pieces = (frequencies + kPieceSize - 1) / kPieceSize;
  return static_cast<int>(std::max<std::size_t>(1, std::min<std::size_t>(asked, pieces)));
}

// Rough costs, in units of one event in one pass of the direct fit: a direct
// fit takes about 8 passes; one harmonic spreads every event (about 20 units
// each) and transforms about 3 cells per frequency.
constexpr double kDirectFitCost = 8.0;
double harmonic_cost(std::size_t events, std::size_t frequencies) {
  const double m = static_cast<double>(frequencies);
  return 20.0 * static_cast<double>(events) + 1.5 * m * std::log2(3.0 * m + 2.0);
}

// Whether the harmonic sums pay: the first harmonics and a fit from them
// (about 100 units) per frequency, against a direct fit per frequency.
bool fast_route_pays(std::size_t events, const FrequencyGrid& grid) {
  if (!grid.is_uniform() || grid.size() < 64 || events < 64) return false;
  const double n = static_cast<double>(events), m = static_cast<double>(grid.size());
  const double fast = kFirstHarmonics * harmonic_cost(events, grid.size()) + 100.0 * m;
  return fast < 0.5 * kDirectFitCost * n * m;
}

// Frequencies [begin, end) of rows, pieces of kPieceSize, progress counted
// from `done_before`.
void run_pieces(std::size_t begin, std::size_t end, std::size_t done_before, int threads,
                const SurveyOptions& options, std::size_t total,
                const std::function<void(std::size_t, int)>& fit_one) {
  const auto pieces = static_cast<int64_t>((end - begin + kPieceSize - 1) / kPieceSize);
  run_in_order(
      pieces, threads,
      [&](int64_t piece, int worker) {
        const std::size_t first = begin + static_cast<std::size_t>(piece) * kPieceSize;
        const std::size_t last = std::min(end, first + kPieceSize);
        for (std::size_t i = first; i < last; ++i) fit_one(i, worker);
      },
      [&](int64_t piece) {
        if (options.progress) {
          const std::size_t done =
              std::min(end, begin + static_cast<std::size_t>(piece + 1) * kPieceSize);
          options.progress(done_before + (done - begin), total);
        }
      });
}

}  // namespace

std::vector<SpectrumRow> survey_spectrum(std::span<const double> x, const FrequencyGrid& grid,
                                         const Exposure& exposure, const SurveyOptions& options) {
  assert(x.size() >= 2 && x.back() > 0.0);
  const std::size_t total = grid.size();
  std::vector<SpectrumRow> rows(total);
  if (rows.empty()) return rows;
  const bool fast = fast_route_pays(x.size(), grid);
  // A small fast-route survey is done in a few milliseconds, less than a
  // second thread costs it: each thread's FFTs fault in their own buffers.
  const double work = static_cast<double>(x.size()) * static_cast<double>(total);
  const int threads = fast && work < kSmallFastSurvey ? 1 : thread_count(options, total);
  std::vector<PeriodicFitter> fitters;
  fitters.reserve(static_cast<std::size_t>(threads));
  for (int t = 0; t < threads; ++t) fitters.emplace_back(x, exposure);

  if (!fast) {
    run_pieces(0, total, 0, threads, options, total, [&](std::size_t i, int worker) {
      PeriodicFitter& fitter = fitters[static_cast<std::size_t>(worker)];
      rows[i].fit = fitter.fit(kTwoPi * grid.at(i));
      rows[i].rayleigh_z = fitter.last_rayleigh_z();
    });
    return rows;
  }

  // The fast route, block by block. Block boundaries depend only on the grid,
  // never on the thread count, and every frequency's fit reads only its own
  // sums: the rows are the same bits for any number of threads.
  // The exposure's moments in units of a power of two near the sample's
  // length (estimator/time_scale.h): the same bits, without overflow.
  const int scale = time_scale_exponent(x, exposure);
  const Exposure scaled_exposure = exposure.scaled(scale);
  const double origin = scaled_exposure.middle();
  const double count = static_cast<double>(x.size());
  const double total_time = scaled_exposure.total();
  const std::size_t block_size = std::min(
      total,
      std::max<std::size_t>(kPieceSize, kBlockBytes / (sizeof(std::complex<double>) * kHarmonics)));
  HarmonicSums sums(x, exposure.middle(), kTwoPi * grid.step(), block_size, kHarmonics, threads);
  // Per frequency of the block: 1 fitted from the first harmonics, 2 not yet.
  std::vector<unsigned char> state(block_size);
  auto fit_from_sums = [&](std::size_t i, std::size_t begin, int harmonics) {
    const double omega = std::ldexp(kTwoPi * grid.at(i), scale);
    std::complex<double> s[kHarmonics];
    sums.copy(i - begin, std::span(s, static_cast<std::size_t>(harmonics)));
    const Exposure::Moments moments = scaled_exposure.moments(omega, origin);
    HarmonicFitInput input;
    input.sums = std::span(s, static_cast<std::size_t>(harmonics));
    input.count = count;
    input.exposure_moment =
        std::complex<double>(moments.cos_integral, moments.sin_integral) / total_time;
    input.sum_error = sums.error_bound();
    rows[i].rayleigh_z = std::norm(s[0]) / count;
    const std::optional<PeriodicFit> fit = fit_from_harmonic_sums(input, kFastRouteTolerance);
    if (!fit) return false;
    rows[i].fit = *fit;
    if (fit->amplitude > 0.0) rows[i].fit.phase = wrap_phase(fit->phase - omega * origin);
    return true;
  };
  for (std::size_t begin = 0; begin < total; begin += block_size) {
    const std::size_t end = std::min(total, begin + block_size);
    const std::size_t block = end - begin;
    const double omega0 = kTwoPi * grid.at(begin);
    // First the low harmonics, which serve every frequency whose amplitude is
    // small enough; the rest only when enough frequencies need them to pay
    // for their FFTs, else those frequencies are fitted directly.
    sums.compute(omega0, block, 1, kFirstHarmonics);
    std::fill(state.begin(), state.end(), 0);
    run_pieces(begin, end, 0, threads, SurveyOptions{}, total, [&](std::size_t i, int) {
      state[i - begin] = fit_from_sums(i, begin, kFirstHarmonics) ? 1 : 2;
    });
    const auto left = static_cast<double>(
        std::count(state.begin(), state.begin() + static_cast<std::ptrdiff_t>(block), 2));
    const bool more_harmonics = left * kDirectFitCost * count >
                                (kHarmonics - kFirstHarmonics) * harmonic_cost(x.size(), block);
    if (more_harmonics) sums.compute(omega0, block, kFirstHarmonics + 1, kHarmonics);
    run_pieces(begin, end, begin, threads, options, total, [&](std::size_t i, int worker) {
      if (state[i - begin] == 1) return;
      if (more_harmonics && fit_from_sums(i, begin, kHarmonics)) return;
      const double omega = kTwoPi * grid.at(i);
      PeriodicFitter& fitter = fitters[static_cast<std::size_t>(worker)];
      rows[i].fit = fitter.fit(omega);
    });
  }
  return rows;
}

}  // namespace periodscan
