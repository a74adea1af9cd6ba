#include "survey/fit_columns.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace periodscan {
namespace {

constexpr double kPi = std::numbers::pi;

SpectrumRow fit(double amplitude, double phase) {
  SpectrumRow row;
  row.fit.delta_log_lik = 1.5;
  row.fit.amplitude = amplitude;
  row.fit.phase = phase;
  row.rayleigh_z = 2.5;
  return row;
}

// Distance of an angle from the nearest whole turn.
double off_turn(double angle) {
  const double turns = angle / (2 * kPi);
  return std::fabs(turns - std::round(turns));
}

TEST(SpectrumColumns, PlacesPhaseAndPeakOnTheFilesAxis) {
  const struct {
    const char* name;
    double frequency, amplitude, fi, fit_origin, t1;
    double phase, peak_time;
  } cases[] = {
      {"daily cycle peaking at midnight", 1, 0.5, kPi / 2, 10.25, 10.25, kPi / 2, 0},
      {"negative origin", 0.5, 0.5, 0, -0.75, -0.75, 0, 1.25},
      {"window starting a quarter turn late", 1, 0.5, 0, 0.25, 0, 1.5 * kPi, 0.25},
      {"peak just before a period's end", 1, 0.5, 0.5 * kPi, 0.75, 0.75, 0.5 * kPi, 0.5},
  };
  for (const auto& c : cases) {
    const SpectrumColumns columns =
        spectrum_columns(c.frequency, fit(c.amplitude, c.fi), c.fit_origin, c.t1);
    EXPECT_EQ(columns.period, 1 / c.frequency) << c.name;
    EXPECT_EQ(columns.delta_log_lik, 1.5) << c.name;
    EXPECT_EQ(columns.rayleigh_z, 2.5) << c.name;
    EXPECT_NEAR(columns.phase, c.phase, 1e-12) << c.name;
    EXPECT_NEAR(columns.peak_time, c.peak_time, 1e-12) << c.name;
    EXPECT_GE(columns.phase, 0) << c.name;
    EXPECT_LT(columns.phase, 2 * kPi) << c.name;
    EXPECT_GE(columns.peak_time, 0) << c.name;
    EXPECT_LT(columns.peak_time, columns.period) << c.name;
  }
}

TEST(SpectrumColumns, KeepsTheCycleThroughLargeShifts) {
  // A window of a catalogue in days since 1900, fitted from its own first
  // event: both phases describe one rate, which peaks at peak_time.
  const double t1 = 18255.94490741;
  const double fit_origin = 44547.68640046;
  for (const double frequency : {1.0027379, 0.9972696, 1 / 12.4206012 * 24, 0.0001}) {
    for (const double fi : {0.0, 1.0, 3.0, 6.28}) {
      const SpectrumColumns c = spectrum_columns(frequency, fit(0.3, fi), fit_origin, t1);
      const double omega = 2 * kPi * frequency;
      const double t = fit_origin + 0.37;  // any time near the window
      EXPECT_LT(off_turn((omega * (t - fit_origin) + fi) - (omega * (t - t1) + c.phase)), 1e-9)
          << frequency << " " << fi;
      EXPECT_LT(off_turn(omega * (c.peak_time - fit_origin) + fi), 1e-9) << frequency << " " << fi;
      EXPECT_GE(c.peak_time, 0);
      EXPECT_LT(c.peak_time, c.period);
    }
  }
}

TEST(RateMaximumNear, PicksTheLatticeMemberNearestTheTime) {
  const struct {
    double peak_time, period, time, maximum;
  } cases[] = {
      {0.84, 1, 182.6, 182.84},    // a year into a daily record
      {0.84, 1, 182.3, 181.84},    // nearer the day before
      {0.25, 0.5, -3.1, -3.25},    // times before 0
      {0.5, 7, 0.1, 0.5},          // the value itself
      {0.75, 1, 1e6, 1e6 - 0.25},  // far out, no digits lost
  };
  for (const auto& c : cases) {
    EXPECT_NEAR(rate_maximum_near(c.peak_time, c.period, c.time), c.maximum, 1e-9) << c.time;
  }
  EXPECT_TRUE(std::isnan(rate_maximum_near(std::nan(""), 1, 5)));
}

TEST(SpectrumColumns, AFlatRateHasNoPeakAndABlankWindowNoFit) {
  const SpectrumColumns flat = spectrum_columns(0.5, fit(0, 0), 3, 1);
  EXPECT_EQ(flat.phase, 0);
  EXPECT_TRUE(std::isnan(flat.peak_time));
  const SpectrumColumns blank = blank_columns(4);
  EXPECT_EQ(blank.period, 0.25);
  EXPECT_EQ(blank.frequency, 4);
  for (const double v :
       {blank.delta_log_lik, blank.amplitude, blank.phase, blank.peak_time, blank.rayleigh_z}) {
    EXPECT_TRUE(std::isnan(v));
  }
}

}  // namespace
}  // namespace periodscan
