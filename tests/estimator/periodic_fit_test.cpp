#include "estimator/periodic_fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "estimator/brute_force_fit.h"

namespace periodscan {
namespace {

using testing::brute_force_fit;
using testing::BruteInterval;
using testing::read_example_times;

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// The optimality conditions of the fit in beta = Mju*(1, A cos Fi, -A sin Fi)
// about the first event, with Mju maximised out: inside the cone the gradient
// of the log-likelihood vanishes; on it (A = 1), the gradient along the circle
// vanishes and raising Mju alone does not gain. Gradients are measured
// relative to the size of their sums.
void expect_optimal(std::span<const double> x, double omega, std::span<const BruteInterval> parts,
                    const PeriodicFit& fit, const char* label) {
  double total = 0.0, c = 0.0, s = 0.0;
  for (const BruteInterval& p : parts) {
    total += p.end - p.start;
    c += (std::sin(omega * p.end) - std::sin(omega * p.start)) / omega;
    s += (std::cos(omega * p.start) - std::cos(omega * p.end)) / omega;
  }
  const double b1 = fit.amplitude * std::cos(fit.phase), b2 = -fit.amplitude * std::sin(fit.phase);
  const double n = static_cast<double>(x.size());
  const double mju = n / (total + b1 * c + b2 * s);
  double g0 = 0.0, g1 = 0.0, g2 = 0.0, scale = 0.0;
  for (const double xi : x) {
    const double w = 1.0 / (mju * (1.0 + b1 * std::cos(omega * xi) + b2 * std::sin(omega * xi)));
    g0 += w;
    g1 += w * std::cos(omega * xi);
    g2 += w * std::sin(omega * xi);
    scale += w;
  }
  g0 -= total;
  g1 -= c;
  g2 -= s;
  if (fit.amplitude < 1.0) {
    EXPECT_LT(std::fabs(g0) + std::fabs(g1) + std::fabs(g2), 1e-7 * scale) << label;
  } else {
    // Along the circle: d/dFi of (b1, b2) is (b2, -b1)... times Mju.
    EXPECT_LT(std::fabs(g1 * b2 - g2 * b1), 1e-7 * scale) << label;
    EXPECT_LE(g0, 1e-7 * scale) << label;
  }
}

struct Case {
  double period;
  double min_amplitude;  // a floor that shows which side of the cone the case is on
};

void expect_matches_brute_force(const std::vector<double>& x, const std::vector<Case>& cases,
                                std::vector<BruteInterval> parts) {
  std::vector<Interval> intervals;
  for (const BruteInterval& p : parts) intervals.push_back({p.start, p.end});
  const Exposure exposure = Exposure::intervals(intervals);
  for (const Case& c : cases) {
    const double omega = kTwoPi / c.period;
    const PeriodicFit fit = fit_periodic_rate(x, omega, exposure);
    const testing::BruteFit brute = brute_force_fit(x, omega, parts);
    const std::string label = "T = " + std::to_string(c.period);
    EXPECT_NEAR(fit.delta_log_lik, brute.delta_log_lik, 1e-6) << label;
    EXPECT_NEAR(fit.amplitude, brute.amplitude, 1e-6) << label;
    EXPECT_GE(fit.amplitude, c.min_amplitude) << label;
    if (brute.amplitude > 1e-3) {
      const double dphase = std::remainder(fit.phase - brute.phase, kTwoPi);
      EXPECT_LT(std::fabs(dphase), 1e-4) << label;
    }
    expect_optimal(x, omega, parts, fit, label.c_str());
  }
}

// The 2021 quarry blasts: the daily cycle (no blasts at night) is an A = 1
// peak; the other periods are inside the cone; 500 and 2000 days are longer
// than the year the catalogue spans.
TEST(PeriodicFitTest, MatchesBruteForceOnQuarryBlasts) {
  const std::vector<double> x = read_example_times("scsn_2021_quarry_blasts_days.txt");
  ASSERT_EQ(x.size(), 830u);
  const std::vector<Case> cases = {{1.0, 1.0},    {0.5, 0.0},    {0.25, 0.0},  {0.3333, 0.0},
                                   {0.9973, 0.0}, {1.0027, 0.0}, {7.0, 0.0},   {3.5, 0.0},
                                   {0.41, 0.0},   {2.7, 0.0},    {30.0, 0.0},  {91.0, 0.0},
                                   {365.0, 0.0},  {500.0, 0.0},  {2000.0, 0.0}};
  expect_matches_brute_force(x, cases, {{0.0, x.back()}});
}

// Three events: the fit is on the circle at most periods, and the Hessian is
// singular for two of the three parameters' combinations at long periods.
TEST(PeriodicFitTest, MatchesBruteForceOnThreeEvents) {
  const std::vector<double> x = {0.0, 0.37, 1.0};
  const std::vector<Case> cases = {{0.05, 0.0}, {0.21, 0.0}, {0.5, 0.0},  {0.9, 0.0},
                                   {2.0, 0.0},  {10.0, 0.0}, {100.0, 0.0}};
  expect_matches_brute_force(x, cases, {{0.0, 1.0}});
}

// Events only in the first half of every cycle: a gap in phase, so the rate
// may reach zero and the maximum is on the circle A = 1.
TEST(PeriodicFitTest, PhaseGapGivesAmplitudeOne) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  std::vector<double> x;
  for (int cycle = 0; cycle < 50; ++cycle) {
    for (int k = 0; k < 6; ++k) x.push_back(cycle + 0.5 * uniform(random));
  }
  std::sort(x.begin(), x.end());
  for (std::size_t i = x.size(); i-- > 0;) x[i] -= x[0];
  expect_matches_brute_force(x, {{1.0, 1.0}, {1.02, 0.0}, {0.5, 0.0}, {3.0, 0.0}},
                             {{0.0, x.back()}});
}

// Observation intervals: the integral runs over the watched time only.
TEST(PeriodicFitTest, MatchesBruteForceWithIntervals) {
  std::mt19937_64 random(11);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  std::vector<double> x;
  // A weak 2.5-day cycle over [0, 40] and [55, 100].
  for (double t = 0.0; t < 100.0;) {
    t += -std::log(uniform(random)) / 3.0;
    if (t > 100.0 || (t > 40.0 && t < 55.0)) continue;
    if (uniform(random) < 0.5 * (1.0 + 0.6 * std::cos(kTwoPi * t / 2.5))) x.push_back(t);
  }
  const double first = x[0];
  for (double& t : x) t -= first;
  expect_matches_brute_force(x, {{2.5, 0.3}, {1.3, 0.0}, {7.0, 0.0}, {30.0, 0.0}, {150.0, 0.0}},
                             {{0.0, 40.0 - first}, {55.0 - first, x.back()}});
}

// The header's example: one event per cycle, all at phase 0.
TEST(PeriodicFitTest, OneEventPerCycle) {
  std::vector<double> x;
  for (int i = 0; i < 100; ++i) x.push_back(i);
  const PeriodicFit fit = fit_periodic_rate(x, kTwoPi, Exposure::whole_span(99.0));
  EXPECT_EQ(fit.amplitude, 1.0);
  EXPECT_NEAR(fit.delta_log_lik, 100.0 * std::log(2.0), 1e-9);
  EXPECT_NEAR(std::remainder(fit.phase, kTwoPi), 0.0, 1e-9);
}

TEST(PeriodicFitTest, WrapPhase) {
  EXPECT_NEAR(wrap_phase(-0.5), kTwoPi - 0.5, 1e-15);
  EXPECT_FALSE(std::signbit(wrap_phase(-0.0)));
  EXPECT_FALSE(std::signbit(wrap_phase(-kTwoPi)));
  EXPECT_EQ(wrap_phase(kTwoPi), 0.0);
}

TEST(PeriodicFitTest, RayleighStatistic) {
  const std::vector<double> x = {0.0, 0.25, 1.0, 2.0};
  // Phases 0, pi/2, 0, 0 at omega = 2 pi: |3 + i|^2 / 4.
  PeriodicFitter fitter(x, Exposure::whole_span(2.0));
  fitter.fit(kTwoPi);
  EXPECT_NEAR(fitter.last_rayleigh_z(), 2.5, 1e-12);
}

}  // namespace
}  // namespace periodscan
