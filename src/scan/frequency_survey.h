// The survey: the converged fit (estimator/periodic_fit.h) at every frequency
// of a grid, spread over the cores.
//
// Two routes give the same maximum. The direct route fits each frequency over
// the events (a few passes of N each). On a uniform grid with enough events
// and frequencies to pay for it, the fast route first forms the harmonic sums
// S_1..S_16 at every frequency with one non-uniform FFT per harmonic
// (estimator/harmonic_sums.h) and fits each frequency from its sums alone
// (estimator/harmonic_fit.h). A frequency whose error bound there is not
// below 1e-7 in DeltaLogLik and in A is tried again with S_1..S_40 when
// enough of them are left to pay for those FFTs, and is otherwise (and at
// amplitudes near 1, or flat maxima at periods far beyond the span) fitted
// directly. Either way each row is the converged maximum to within 1e-6 in
// DeltaLogLik and in A. The fast route works through the grid in blocks whose
// sums take at most 64 MiB, and runs on one thread when the whole survey is
// a matter of milliseconds.
//
// Example: the 830 quarry blasts of 2021 over 0.25 to 4 days at 5 samples
// per peak (6,751 frequencies) take the fast route. The row nearest one day,
// T = 1.0000207, has A = 1 and DeltaLogLik = 516.9156; it came from the
// direct fit, since A = 1 is where the series in the sums does not converge.
// Most rows away from the daily cycle and its harmonics come from the sums.
//
// The results are the same bits for any number of threads: every frequency's
// result is computed by the same operations whichever thread takes it, the
// blocks and the harmonic sums do not depend on the thread count, and no sum
// is split between threads.
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <vector>

#include "estimator/exposure.h"
#include "estimator/periodic_fit.h"
#include "scan/frequency_grid.h"

namespace periodscan {

// The most harmonics the fast route sums (scan/survey_scale.h bounds the
// phases with it).
inline constexpr int kFastRouteHarmonics = 40;

struct SpectrumRow {
  PeriodicFit fit;
  double rayleigh_z = 0.0;
};

struct SurveyOptions {
  int threads = 0;  // 0: every core this process may use; never more than that
  // Called on the calling thread now and then with the frequencies done.
  std::function<void(std::size_t done, std::size_t total)> progress;
};

// One row per grid frequency, in grid order. x as for fit_periodic_rate
// (relative to the first event; at least two events, x.back() > 0).
std::vector<SpectrumRow> survey_spectrum(std::span<const double> x, const FrequencyGrid& grid,
                                         const Exposure& exposure, const SurveyOptions& options);

}  // namespace periodscan
