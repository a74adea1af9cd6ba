#include "estimator/harmonic_sums.h"

#include <gtest/gtest.h>

#include <cmath>
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

}  // namespace
}  // namespace periodscan
