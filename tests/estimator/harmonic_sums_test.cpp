#include "estimator/harmonic_sums.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace periodscan {
namespace {

// Positions on the periodic grid: the fast formula where it is right, the
// exact remainder where it would land outside the grid, never outside
// [-1, cells).
TEST(HarmonicSumsTest, ReduceToGrid) {
  const double cells = 24.0;
  struct Case {
    double position, expected;
  };
  const Case cases[] = {
      {50.0, 2.0},
      {-1.0, 23.0},
      {0.0, 0.0},
      {23.5, 23.5},
      {-0x1p-60, 0.0},  // 24 - 2^-60 rounds to 24, that is 0
      {0x1p70, 16.0},
      {-0x1p70, 8.0},
      {0x1p70 + 0x1p18, 8.0},
      {-0x1p70 - 0x1p18, 16.0},
      {HUGE_VAL, 0.0},
      {-HUGE_VAL, 0.0},
      {std::nan(""), 0.0},
  };
  for (const Case& c : cases) {
    const double r = reduce_to_grid(c.position, cells);
    EXPECT_EQ(r, c.expected) << c.position;
    EXPECT_TRUE(r >= -1.0 && r < cells) << c.position;
  }
  // Sweep the magnitudes where the fast formula goes wrong.
  for (double p = 1e10; p < 1e300; p *= 1.37) {
    for (const double q : {p, -p, std::nextafter(p, 0.0)}) {
      for (const double n : {24.0, 3.0 * 7 * 1024, 1e6 + 2}) {
        const double r = reduce_to_grid(q, n);
        ASSERT_TRUE(r >= -1.0 && r < n) << q << " " << n;
      }
    }
  }
}

// Events far from the origin (phases beyond any precision) give finite sums
// without touching memory outside the grid.
TEST(HarmonicSumsTest, FarOriginStaysInTheGrid) {
  std::vector<double> x;
  for (int i = 0; i < 100; ++i) x.push_back(0.37 * i);
  for (const double origin : {-1e20, 1e30, -1e200}) {
    HarmonicSums sums(x, origin, 0.01, 64, 3, 1);
    sums.compute(1.0, 64);
    for (std::size_t j = 0; j < 64; ++j) {
      for (int k = 1; k <= 3; ++k) {
        ASSERT_TRUE(std::isfinite(sums.at(j, k).real()) && std::isfinite(sums.at(j, k).imag()))
            << origin;
      }
    }
  }
}

// Catalogues of several sizes, uniform or clumped, about origins inside and
// outside them, on grids whose points wrap the periodic grid or not: every
// sum within error_bound() of the sum in extended precision. The largest
// error found, as a fraction of the bound, is reported.
TEST(HarmonicSumsTest, RandomCasesWithinBoundOfDirectSums) {
  struct Case {
    int events;
    double span, origin, delta, omega0;
    std::size_t count;
    int harmonics;
  };
  // The phases k*omega*(x - origin) stay below about 200, where their own
  // rounding in double precision, which a direct sum shares, is far below
  // the bound.
  const Case cases[] = {
      {3, 1.0, 0.5, 0.7, -2.0, 5, 40},          {200, 10.0, 5.0, 0.01, 0.1, 301, 8},
      {400, 20.0, 10.0, 0.003, 0.0, 100, 40},   {3000, 3652.5, 1826.25, 1e-4, 0.0, 400, 3},
      {1500, 100.0, -30.0, 0.002, 0.05, 64, 6},
  };
  std::mt19937_64 random(11);
  double worst = 0.0;
  for (const Case& c : cases) {
    std::uniform_real_distribution<double> uniform(0.0, c.span);
    std::vector<double> x(static_cast<std::size_t>(c.events));
    for (double& t : x) t = uniform(random);
    for (std::size_t i = 0; i < x.size(); i += 2) x[i] = x[0] + 1e-3 * i;  // a clump
    HarmonicSums sums(x, c.origin, c.delta, c.count, c.harmonics, 2);
    sums.compute(c.omega0, c.count);
    for (std::size_t j = 0; j < c.count; j += 1 + c.count / 23) {
      for (int k = 1; k <= c.harmonics; ++k) {
        std::complex<long double> exact = 0.0L;
        const long double omega = static_cast<long double>(c.omega0) + j * (long double)c.delta;
        for (const double t : x) {
          const long double phase = k * omega * (static_cast<long double>(t) - c.origin);
          exact += std::complex<long double>(std::cos(phase), std::sin(phase));
        }
        const double error = std::abs(std::complex<double>(exact) - sums.at(j, k));
        ASSERT_LE(error, sums.error_bound()) << c.events << " events, j " << j << " k " << k;
        worst = std::max(worst, error / sums.error_bound());
      }
    }
  }
  RecordProperty("worst_error_over_bound", std::to_string(worst));
  std::printf("largest error: %.3g of the bound\n", worst);
}

// A harmonic comes out the same bits whichever call computes it, however the
// harmonics are split between calls and threads.
TEST(HarmonicSumsTest, SameBitsWhicheverCallComputesAHarmonic) {
  std::vector<double> x;
  for (int i = 0; i < 700; ++i) x.push_back(std::fmod(i * 0.618034, 1.0) * 50.0 + i * 0.01);
  HarmonicSums whole(x, 25.0, 0.011, 90, 40, 1);
  whole.compute(0.3, 90);
  const int splits[][2] = {{1, 1}, {2, 6}, {7, 16}, {17, 18}, {19, 40}};
  for (const int threads : {1, 3}) {
    HarmonicSums parts(x, 25.0, 0.011, 90, 40, threads);
    for (const auto& split : splits) parts.compute(0.3, 90, split[0], split[1]);
    for (std::size_t j = 0; j < 90; ++j) {
      for (int k = 1; k <= 40; ++k) {
        const std::complex<double> a = whole.at(j, k), b = parts.at(j, k);
        ASSERT_EQ(std::memcmp(&a, &b, sizeof a), 0) << "threads " << threads << " k " << k;
      }
    }
  }
}

}  // namespace
}  // namespace periodscan
