#include "assess/rate_profile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace periodscan {
namespace {

std::vector<double> scattered(int n, double span, unsigned seed) {
  std::mt19937_64 g(seed);
  std::vector<double> x(static_cast<std::size_t>(n));
  for (double& v : x) v = span * double(g() >> 11) * 0x1.0p-53;
  std::sort(x.begin(), x.end());
  x.front() = 0.0;
  x.back() = span;
  return x;
}

TEST(RateProfileTest, WholeCyclesOfEventsAtTheCrest) {
  std::vector<double> x;
  for (int i = 0; i < 100; ++i) x.push_back(i);
  const RateProfile profile(x, Exposure::whole_span(99.0));
  EXPECT_NEAR(profile.value(99.0, 0.5, M_PI), 100.0 * std::log(1.5), 1e-9);
}

// The analytic derivatives against central differences of the value, over
// the whole span and over intervals with gaps, at long and short periods.
TEST(RateProfileTest, DerivativesMatchDifferences) {
  const std::vector<double> x = scattered(300, 50.0, 3);
  const Exposure gaps =
      Exposure::intervals({{0.0, 12.0}, {15.5, 30.0}, {30.0, 31.0}, {40.0, 50.0}});
  struct Case {
    const Exposure exposure;
    double nu, a, phase;
  };
  const Case cases[] = {
      {Exposure::whole_span(50.0), 3.3, 0.4, 1.0},
      {Exposure::whole_span(50.0), 0.02, 0.7, -2.0},
      {gaps, 3.3, 0.4, 1.0},
      {gaps, 41.7, 0.9, 0.3},
      {gaps, 0.01, 0.2, 2.5},
  };
  const double h = 1e-5;
  for (const Case& c : cases) {
    const RateProfile profile(x, c.exposure);
    const ProfileDerivatives d = profile.derivatives(c.nu, c.a, c.phase);
    EXPECT_NEAR(d.value, profile.value(c.nu, c.a, c.phase), 1e-9);
    double p[3] = {c.nu, c.a, c.phase};
    auto at = [&](const double* q) { return profile.derivatives(q[0], q[1], q[2]); };
    for (int i = 0; i < 3; ++i) {
      double up[3] = {p[0], p[1], p[2]}, down[3] = {p[0], p[1], p[2]};
      up[i] += h;
      down[i] -= h;
      const ProfileDerivatives u = at(up), w = at(down);
      const double scale = 1.0 + std::fabs(d.gradient[i]);
      EXPECT_NEAR(d.gradient[i], (u.value - w.value) / (2 * h), 1e-5 * scale)
          << "nu " << c.nu << " coordinate " << i;
      for (int k = 0; k < 3; ++k) {
        const double fd = (u.gradient[k] - w.gradient[k]) / (2 * h);
        EXPECT_NEAR(d.hessian[i][k], fd, 1e-5 * (1.0 + std::fabs(fd)))
            << "nu " << c.nu << " entry " << i << k;
      }
    }
  }
}

}  // namespace
}  // namespace periodscan
