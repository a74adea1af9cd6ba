#include "scan/period_grid.h"

#include <gtest/gtest.h>

#include "estimator/float_bits.h"

namespace periodscan {
namespace {

using testing::same_bits;

enum class Variant { kStatic, kWindow };

PeriodGrid make(Variant v, float tmin, float tmax, std::int32_t np) {
  return v == Variant::kStatic ? static_period_grid(tmin, tmax, np)
                               : window_period_grid(tmin, tmax, np);
}

TEST(PeriodGridTest, LogarithmAndStep) {
  struct Case {
    Variant variant;
    float tmin, tmax;
    std::int32_t np;
    float lgmin, lgmax, step;
  };
  const Case cases[] = {
      {Variant::kStatic, 1.0f, 100.0f, 5, 0.0f, 2.0f, 0.5f},
      {Variant::kStatic, 10.0f, 1000.0f, 201, 1.0f, 3.0f, 0.0099999998f},
      {Variant::kWindow, 10.0f, 1000.0f, 201, 1.0f, 3.0f, 0.0099999998f},
      // Tmin below 1: negative lgmin.
      {Variant::kStatic, 0.5f, 2000.0f, 4, -0.30103001f, 3.30102992f, 1.20068669f},
      // Here the two variants differ in the last bits of the step, because
      // the static grid does not round log10(Tmax) before subtracting.
      {Variant::kStatic, 1.48f, 24.276f, 11, 0.170261726f, 1.38517714f, 0.121491536f},
      {Variant::kWindow, 1.48f, 24.276f, 11, 0.170261726f, 1.38517714f, 0.121491544f},
  };
  for (const Case& c : cases) {
    const PeriodGrid grid = make(c.variant, c.tmin, c.tmax, c.np);
    EXPECT_TRUE(same_bits(c.lgmin, grid.lgmin)) << c.tmin << " " << c.tmax;
    EXPECT_TRUE(same_bits(c.lgmax, grid.lgmax)) << c.tmin << " " << c.tmax;
    EXPECT_TRUE(same_bits(c.step, grid.step)) << c.tmin << " " << c.tmax;
    EXPECT_EQ(grid.np, c.np);
  }
}

TEST(PeriodGridTest, FrequencyAndReportedPeriod) {
  struct Case {
    Variant variant;
    float tmin, tmax;
    std::int32_t np, k;
    float omega, reported;
  };
  const Case cases[] = {
      {Variant::kStatic, 1.0f, 100.0f, 5, 1, 6.2831855f, 1.0f},
      {Variant::kStatic, 1.0f, 100.0f, 5, 2, 1.9869177f, 3.1622777f},
      {Variant::kStatic, 1.0f, 100.0f, 5, 3, 0.62831855f, 10.0f},
      {Variant::kStatic, 1.0f, 100.0f, 5, 4, 0.19869177f, 31.622776f},
      {Variant::kStatic, 1.0f, 100.0f, 5, 5, 0.062831856f, 100.0f},
      // The last period is Tmax only up to rounding.
      {Variant::kStatic, 10.0f, 1000.0f, 201, 201, 0.00628318591f, 999.99994f},
      {Variant::kStatic, 0.5f, 2000.0f, 4, 1, 12.566371f, 0.5f},
      {Variant::kStatic, 0.5f, 2000.0f, 4, 2, 0.791631758f, 7.9370055f},
      {Variant::kStatic, 0.5f, 2000.0f, 4, 3, 0.0498696715f, 125.99212f},
      {Variant::kStatic, 0.5f, 2000.0f, 4, 4, 0.00314159226f, 2000.0004f},
      {Variant::kStatic, 1.48f, 24.276f, 11, 11, 0.258822948f, 24.2759991f},
      {Variant::kWindow, 1.48f, 24.276f, 11, 11, 0.258822918f, 24.276001f},
  };
  for (const Case& c : cases) {
    const PeriodGrid grid = make(c.variant, c.tmin, c.tmax, c.np);
    EXPECT_TRUE(same_bits(c.omega, grid.omega(c.k))) << c.tmin << " " << c.tmax << " k " << c.k;
    EXPECT_TRUE(same_bits(c.reported, grid.reported_period(c.k)))
        << c.tmin << " " << c.tmax << " k " << c.k;
  }
}

// Period k stands at lgmin + (k - 1)*step on the period axis, unrounded.
TEST(PeriodGridTest, LogPeriodIsUnrounded) {
  const PeriodGrid grid = window_period_grid(10.0f, 1000.0f, 201);
  EXPECT_EQ(grid.log_period(1), 1.0);
  EXPECT_EQ(grid.log_period(201), 200.0 * static_cast<double>(0.0099999998f) + 1.0);
}

}  // namespace
}  // namespace periodscan
