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

// The Newton step ends the search (d = 0) on a matrix or gradient holding
// inf or NaN, and on one it cannot factor; a singular matrix gets a finite
// ridged step.
TEST(PeriodicFitTest, NewtonStepAlwaysReturns) {
  const double inf = HUGE_VAL, nan = std::nan("");
  struct Case {
    const char* label;
    Sym3 m;
    Vec3 g;
    bool zero;
  };
  const Case cases[] = {
      {"inf on the diagonal", {inf, 0, 0, 1, 0, 1}, {{1, 1, 1}}, true},
      {"NaN off the diagonal", {1, nan, 0, 1, 0, 1}, {{1, 1, 1}}, true},
      {"NaN in the gradient", {1, 0, 0, 1, 0, 1}, {{1, nan, 1}}, true},
      {"all inf", {inf, inf, inf, inf, inf, inf}, {{inf, inf, inf}}, true},
      {"zero matrix", {0, 0, 0, 0, 0, 0}, {{1, 1, 1}}, true},
      {"negative definite", {-1, 0, 0, -1, 0, -1}, {{1, 1, 1}}, false},
      {"rank one", {1, 1, 1, 1, 1, 1}, {{1, 1, 1}}, false},
      {"identity", {1, 0, 0, 1, 0, 1}, {{1, 2, 3}}, false},
  };
  for (const Case& c : cases) {
    const Vec3 d = solve_newton_step(c.m, c.g);
    for (int k = 0; k < 3; ++k) {
      EXPECT_TRUE(std::isfinite(d[k])) << c.label;
      if (c.zero) {
        EXPECT_EQ(d[k], 0.0) << c.label;
      }
    }
  }
  const Vec3 d = solve_newton_step({1, 0, 0, 1, 0, 1}, {{1, 2, 3}});
  EXPECT_EQ(d[0], 1.0);
  EXPECT_EQ(d[2], 3.0);
}

// The fit works in units of a power of two near the span: the same catalogue
// in units 2^200 or 2^-200 times as large gives the same bits, with and
// without intervals, inside the cone and on the circle A = 1.
TEST(PeriodicFitTest, SameBitsInAnyPowerOfTwoUnit) {
  const std::vector<double> x = read_example_times("scsn_2021_quarry_blasts_days.txt");
  const double periods[] = {1.0, 0.5, 0.41, 7.0, 91.0, 2000.0};
  const std::vector<Interval> parts = {{0.0, 100.0}, {120.0, x.back()}};
  for (const bool with_parts : {false, true}) {
    const Exposure exposure =
        with_parts ? Exposure::intervals(parts) : Exposure::whole_span(x.back());
    PeriodicFitter days(x, exposure);
    for (const int shift : {200, -200}) {
      std::vector<double> scaled(x.size());
      for (std::size_t i = 0; i < x.size(); ++i) scaled[i] = std::ldexp(x[i], shift);
      PeriodicFitter other(scaled, exposure.scaled(-shift));
      for (const double period : periods) {
        const PeriodicFit a = days.fit(kTwoPi / period);
        const PeriodicFit b = other.fit(kTwoPi / std::ldexp(period, shift));
        EXPECT_EQ(a.delta_log_lik, b.delta_log_lik) << period << " shift " << shift;
        EXPECT_EQ(a.amplitude, b.amplitude) << period << " shift " << shift;
        EXPECT_EQ(a.phase, b.phase) << period << " shift " << shift;
      }
    }
  }
}

// Every fit ends with finite numbers, whatever the scale: times and periods
// near 1e160 (where 1/rate^2 in the times' unit overflows) agree with the same
// catalogue in days; an exposure far beyond the events (phases beyond any
// precision) and times near 1e300 at a period of 1 still end.
TEST(PeriodicFitTest, EveryFitEnds) {
  const std::vector<double> x = read_example_times("scsn_2021_quarry_blasts_days.txt");
  std::vector<double> huge(x.size()), far(x.size());
  for (std::size_t i = 0; i < x.size(); ++i) {
    huge[i] = x[i] * 1e158;
    far[i] = x[i] * 1e298;
  }
  const PeriodicFit in_days = fit_periodic_rate(x, kTwoPi / 1.5, Exposure::whole_span(x.back()));
  const PeriodicFit in_huge =
      fit_periodic_rate(huge, kTwoPi / 1.5e158, Exposure::whole_span(huge.back()));
  EXPECT_NEAR(in_huge.delta_log_lik, in_days.delta_log_lik, 1e-9 * in_days.delta_log_lik);
  EXPECT_NEAR(in_huge.amplitude, in_days.amplitude, 1e-9);
  for (const PeriodicFit& fit :
       {in_huge, fit_periodic_rate(x, kTwoPi, Exposure::intervals({{0.0, 1e20}})),
        fit_periodic_rate(x, kTwoPi, Exposure::intervals({{-1e200, 400.0}})),
        fit_periodic_rate(far, kTwoPi, Exposure::whole_span(far.back()))}) {
    EXPECT_TRUE(fit.delta_log_lik >= 0.0 && std::isfinite(fit.delta_log_lik));
    EXPECT_TRUE(fit.amplitude >= 0.0 && fit.amplitude <= 1.0);
    EXPECT_TRUE(fit.phase >= 0.0 && fit.phase < kTwoPi);
  }
}

}  // namespace
}  // namespace periodscan
