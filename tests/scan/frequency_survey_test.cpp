#include "scan/frequency_survey.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <thread>
#include <vector>

#include "estimator/brute_force_fit.h"
#include "estimator/cached_search.h"
#include "estimator/phase_cache.h"
#include "scan/frequency_grid.h"
#include "scan/period_grid.h"

namespace periodscan {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

std::vector<SpectrumRow> survey(std::span<const double> x, const FrequencyGrid& grid,
                                const Exposure& exposure, int threads) {
  SurveyOptions options;
  options.threads = threads;
  return survey_spectrum(x, grid, exposure, options);
}

FrequencyGrid listed_copy(const FrequencyGrid& grid) {
  std::vector<double> f(grid.size());
  for (std::size_t i = 0; i < f.size(); ++i) f[i] = grid.at(i);
  return FrequencyGrid::listed(std::move(f));
}

TEST(FrequencyGridTest, ResolvingGrid) {
  struct Case {
    double min_period, max_period, span, samples;
    std::size_t count;
    double last;
  };
  const Case cases[] = {
      {0.25, 4.0, 100.0, 5.0, 1876, 4.0},  // 1/4 + 1875/500 lands on 1/0.25 exactly
      {0.4, 30.0, 10.0, 1.0, 25, 0.04 / 1.2 + 2.4},
      {1.0, 2.0, 1.0, 1.0, 1, 0.5},  // the step passes 1/Tmin at once
  };
  for (const Case& c : cases) {
    const FrequencyGrid grid =
        FrequencyGrid::resolving(c.min_period, c.max_period, c.span, c.samples);
    EXPECT_TRUE(grid.is_uniform());
    EXPECT_EQ(grid.size(), c.count) << c.min_period;
    EXPECT_DOUBLE_EQ(grid.at(0), 1.0 / c.max_period);
    EXPECT_NEAR(grid.at(grid.size() - 1), c.last, 1e-12) << c.min_period;
  }
}

// The interactive program's grid: its own frequencies, whose periods round to
// the ones it reports.
TEST(FrequencyGridTest, InteractivePeriods) {
  struct Case {
    float tmin, tmax;
    int np;
  };
  for (const Case& c : {Case{1.0f, 100.0f, 5}, Case{0.5f, 2000.0f, 4}, Case{10.0f, 1000.0f, 201}}) {
    const FrequencyGrid grid = FrequencyGrid::interactive_periods(c.tmin, c.tmax, c.np);
    const PeriodGrid periods = static_period_grid(c.tmin, c.tmax, c.np);
    ASSERT_EQ(grid.size(), static_cast<std::size_t>(c.np));
    EXPECT_FALSE(grid.is_uniform());
    for (int k = 1; k <= c.np; ++k) {
      const double f = grid.at(static_cast<std::size_t>(k - 1));
      EXPECT_EQ(static_cast<float>(2.0 * std::numbers::pi * f), periods.omega(k));
      EXPECT_NEAR(1.0 / f, periods.reported_period(k), 1e-7 * periods.reported_period(k));
    }
  }
}

// Both routes, 1, 2 and 3 threads: the same bits. The fast route's grid is
// large enough (830 events by 71,000 frequencies) to be spread over threads.
TEST(SpectrumSurveyTest, SameBitsForAnyThreadCount) {
  const std::vector<double> x = testing::read_example_times("scsn_2021_quarry_blasts_days.txt");
  const Exposure exposure = Exposure::whole_span(x.back());
  const FrequencyGrid fast = FrequencyGrid::resolving(0.1, 10.0, x.back(), 20.0);
  const FrequencyGrid direct = listed_copy(FrequencyGrid::resolving(0.9, 1.1, x.back(), 5.0));
  for (const FrequencyGrid& grid : {fast, direct}) {
    const std::vector<SpectrumRow> one = survey(x, grid, exposure, 1);
    for (int threads : {2, 3}) {
      const std::vector<SpectrumRow> more = survey(x, grid, exposure, threads);
      ASSERT_EQ(more.size(), one.size());
      EXPECT_EQ(std::memcmp(more.data(), one.data(), one.size() * sizeof(SpectrumRow)), 0)
          << "threads " << threads << (grid.is_uniform() ? " uniform" : " listed");
    }
  }
}

// Both routes work in units of a power of two near the span: the catalogue
// and its intervals in units 2^200 or 2^-200 times as large give the same
// bits at the same frequencies in those units.
TEST(SpectrumSurveyTest, SameBitsInAnyPowerOfTwoUnit) {
  const std::vector<double> x = testing::read_example_times("scsn_2021_quarry_blasts_days.txt");
  const std::vector<Interval> parts = {{0.0, 120.0}, {125.0, x.back()}};
  const Exposure exposure = Exposure::intervals(parts);
  const FrequencyGrid fast = FrequencyGrid::resolving(0.5, 2.0, x.back(), 5.0);
  const std::vector<SpectrumRow> fast_days = survey(x, fast, exposure, 2);
  const std::vector<SpectrumRow> direct_days = survey(x, listed_copy(fast), exposure, 2);
  for (const int shift : {200, -200}) {
    std::vector<double> scaled(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) scaled[i] = std::ldexp(x[i], shift);
    const FrequencyGrid grid = FrequencyGrid::resolving(std::ldexp(0.5, shift),
                                                        std::ldexp(2.0, shift), scaled.back(), 5.0);
    ASSERT_EQ(grid.size(), fast.size());
    const Exposure scaled_exposure = exposure.scaled(-shift);
    const std::vector<SpectrumRow> rows[] = {survey(scaled, grid, scaled_exposure, 2),
                                             survey(scaled, listed_copy(grid), scaled_exposure, 2)};
    EXPECT_EQ(std::memcmp(rows[0].data(), fast_days.data(), rows[0].size() * sizeof(SpectrumRow)),
              0)
        << "fast route, shift " << shift;
    EXPECT_EQ(std::memcmp(rows[1].data(), direct_days.data(), rows[1].size() * sizeof(SpectrumRow)),
              0)
        << "direct fits, shift " << shift;
  }
}

// The fast route on a uniform grid against the direct fit at every
// frequency, through the A = 1 peak of the daily blasting and its side lobes.
TEST(SpectrumSurveyTest, FastRouteMatchesDirectFit) {
  const std::vector<double> x = testing::read_example_times("scsn_2021_quarry_blasts_days.txt");
  const Exposure exposure = Exposure::whole_span(x.back());
  const FrequencyGrid grid = FrequencyGrid::resolving(0.25, 4.0, x.back(), 5.0);
  const std::vector<SpectrumRow> fast = survey(x, grid, exposure, 2);
  const std::vector<SpectrumRow> direct = survey(x, listed_copy(grid), exposure, 2);
  ASSERT_EQ(fast.size(), direct.size());
  int on_circle = 0;
  for (std::size_t i = 0; i < fast.size(); ++i) {
    EXPECT_NEAR(fast[i].fit.delta_log_lik, direct[i].fit.delta_log_lik, 1e-6) << 1.0 / grid.at(i);
    EXPECT_NEAR(fast[i].fit.amplitude, direct[i].fit.amplitude, 1e-6) << 1.0 / grid.at(i);
    EXPECT_NEAR(fast[i].rayleigh_z, direct[i].rayleigh_z, 1e-9 * (1.0 + direct[i].rayleigh_z));
    if (direct[i].fit.amplitude == 1.0) ++on_circle;
  }
  EXPECT_GE(on_circle, 10);
}

// Ten bursts of 300 events in 1000 days: large amplitudes at most periods,
// so that the first 16 harmonics leave over a thousand frequencies and the
// survey adds harmonics 17 to 40 before it falls back on direct fits.
TEST(SpectrumSurveyTest, ClusteredCatalogueMatchesDirectFit) {
  std::mt19937_64 random(3);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  std::vector<double> x;
  for (int burst = 0; burst < 10; ++burst) {
    const double start = 1000.0 * uniform(random);
    for (int i = 0; i < 300; ++i) x.push_back(start - 0.3 * std::log(uniform(random)));
  }
  std::sort(x.begin(), x.end());
  const double first = x.front();
  for (double& t : x) t -= first;
  const Exposure exposure = Exposure::whole_span(x.back());
  const FrequencyGrid grid = FrequencyGrid::resolving(1.0, 50.0, x.back(), 5.0);
  const std::vector<SpectrumRow> fast = survey(x, grid, exposure, 2);
  const std::vector<SpectrumRow> direct = survey(x, listed_copy(grid), exposure, 2);
  for (std::size_t i = 0; i < fast.size(); ++i) {
    EXPECT_NEAR(fast[i].fit.delta_log_lik, direct[i].fit.delta_log_lik, 1e-6) << 1.0 / grid.at(i);
    EXPECT_NEAR(fast[i].fit.amplitude, direct[i].fit.amplitude, 1e-6) << 1.0 / grid.at(i);
  }
}

// A constant rate over 1000 days with nothing recorded from day 400 to 600
// (a station outage). Treated as watched, the gap looks like a slow
// oscillation and gives a large DeltaLogLik at periods of hundreds of days;
// with the outage left out of the exposure there is nothing left to fit.
TEST(SpectrumSurveyTest, OutageIsNotAPeriod) {
  std::mt19937_64 random(17);
  std::uniform_real_distribution<double> uniform(0.0, 1000.0);
  std::vector<double> x;
  while (x.size() < 3000) {
    const double t = uniform(random);
    if (t < 400.0 || t > 600.0) x.push_back(t);
  }
  std::sort(x.begin(), x.end());
  const double first = x.front();
  for (double& t : x) t -= first;
  const FrequencyGrid grid = FrequencyGrid::resolving(100.0, 2000.0, x.back(), 5.0);
  const Exposure whole = Exposure::whole_span(x.back());
  const Exposure watched = Exposure::intervals({{0.0, 400.0 - first}, {600.0 - first, x.back()}});
  double best_whole = 0.0, best_watched = 0.0;
  for (const SpectrumRow& row : survey(x, grid, whole, 2))
    best_whole = std::max(best_whole, row.fit.delta_log_lik);
  for (const SpectrumRow& row : survey(x, grid, watched, 2))
    best_watched = std::max(best_watched, row.fit.delta_log_lik);
  EXPECT_GT(best_whole, 100.0);
  EXPECT_LT(best_watched, 10.0);
}

// On the interactive program's own frequencies the survey from double times
// is never below the program's search (4-byte times, running sum and
// results) by more than the rounding of the times to 4-byte reals, measured
// here as the survey's own change under that rounding, plus the program's
// running-sum rounding (1e-3 at these sizes).
TEST(SpectrumSurveyTest, NeverBelowTheInteractiveSearch) {
  const std::vector<double> x = testing::read_example_times("scsn_2021_quarry_blasts_days.txt");
  std::vector<double> x_rounded(x.size());
  std::vector<float> t(x.size());
  const double t0 = 3.83000625;  // the first event of the file
  for (std::size_t i = 0; i < x.size(); ++i) {
    t[i] = static_cast<float>(x[i] + t0);
    x_rounded[i] = static_cast<double>(t[i]) - static_cast<double>(t[0]);
  }
  const PeriodGrid periods = static_period_grid(0.25f, 4.0f, 61);
  std::vector<double> frequencies;
  for (int k = 1; k <= 61; ++k) frequencies.push_back(periods.omega(k) / kTwoPi);
  const FrequencyGrid grid = FrequencyGrid::listed(frequencies);
  const std::vector<SpectrumRow> precise = survey(x, grid, Exposure::whole_span(x.back()), 2);
  const std::vector<SpectrumRow> rounded =
      survey(x_rounded, grid, Exposure::whole_span(x_rounded.back()), 2);
  PhaseCache cache(std::size_t{1} << 24);
  const auto n = static_cast<std::int32_t>(t.size());
  for (int k = 1; k <= 61; ++k) {
    float a = 0.0f, fi = 0.0f, dll = 0.0f;
    const float omega = periods.omega(k);
    find_afi_cached(omega, a, fi, dll, n, t.data(), t[0], cache);
    const std::size_t i = static_cast<std::size_t>(k - 1);
    const double effect = std::fabs(precise[i].fit.delta_log_lik - rounded[i].fit.delta_log_lik);
    EXPECT_GE(precise[i].fit.delta_log_lik, dll - effect - 1e-3)
        << "T " << periods.reported_period(k);
  }
}

TEST(SpectrumSurveyTest, ProgressOnTheCallingThread) {
  const std::vector<double> x = testing::read_example_times("scsn_2021_quarry_blasts_days.txt");
  for (const FrequencyGrid& grid : {FrequencyGrid::resolving(0.5, 2.0, x.back(), 5.0),
                                    FrequencyGrid::interactive_periods(0.5f, 2.0f, 300)}) {
    const std::thread::id caller = std::this_thread::get_id();
    std::size_t last = 0, calls = 0;
    SurveyOptions options;
    options.threads = 3;
    options.progress = [&](std::size_t done, std::size_t total) {
      EXPECT_EQ(std::this_thread::get_id(), caller);
      EXPECT_EQ(total, grid.size());
      EXPECT_GT(done, last);
      last = done;
      ++calls;
    };
    survey_spectrum(x, grid, Exposure::whole_span(x.back()), options);
    EXPECT_EQ(last, grid.size());
    EXPECT_GT(calls, 1u);
  }
}

}  // namespace
}  // namespace periodscan
