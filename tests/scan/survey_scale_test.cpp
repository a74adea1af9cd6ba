#include "scan/survey_scale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace periodscan {
namespace {

// Which surveys the engine can represent: 830 events over about 360 days.
TEST(SurveyScaleTest, AcceptedAndRefused) {
  const std::vector<double> times = {3.83, 100.0, 200.0, 363.84};
  struct Case {
    const char* label;
    std::vector<Interval> intervals;
    double highest_frequency;
    bool uniform;
    double window;
    const char* fault;  // "" accepted, else "events" or "intervals"
  };
  const Case cases[] = {
      {"ordinary", {}, 1.0, true, 0.0, ""},
      {"periods of 0.2 days", {}, 5.0, true, 0.0, ""},
      {"intervals about the events", {{0.0, 365.0}}, 5.0, true, 0.0, ""},
      {"intervals to 5e7, phases 1e9 cycles", {{0.0, 5e7}}, 1.0, true, 0.0, ""},
      {"intervals to 1e15", {{0.0, 1e15}}, 1.0, true, 0.0, "intervals"},
      {"intervals to 1e20", {{0.0, 1e20}}, 1.0, true, 0.0, "intervals"},
      {"intervals to 1e20, listed grid", {{0.0, 1e20}}, 1.0, false, 0.0, "intervals"},
      {"intervals to 1e20, periods of 1e15", {{0.0, 1e20}}, 1e-15, true, 0.0, ""},
      {"intervals from -1e20", {{-1e20, 400.0}}, 1.0, true, 0.0, "intervals"},
      {"intervals over every double", {{-1e308, 1e308}}, 1e-300, true, 0.0, "intervals"},
      {"far intervals, windows", {{0.0, 1e20}}, 1.0, true, 100.0, ""},
      {"periods of 1e-6 days", {}, 1e6, true, 0.0, "events"},
      {"periods of 1e-6 days, listed grid", {}, 1e6, false, 0.0, ""},
      {"periods of 1e-6 days, windows of 0.01", {}, 1e6, true, 0.01, ""},
      {"periods of 1e-6 days, windows of 100", {}, 1e6, true, 100.0, "events"},
      {"infinite frequency", {}, HUGE_VAL, true, 0.0, "events"},
  };
  for (const Case& c : cases) {
    const ScaleProblem problem =
        survey_scale_problem(times, c.intervals, c.highest_frequency, c.uniform, c.window);
    const std::string fault =
        problem.reason.empty() ? "" : (problem.in_intervals ? "intervals" : "events");
    EXPECT_EQ(fault, c.fault) << c.label << ": " << problem.reason;
  }
  const std::vector<double> far_events = {-1.5e308, 1.5e308};
  EXPECT_FALSE(survey_scale_problem(far_events, {}, 1e-300, true).reason.empty());
}

}  // namespace
}  // namespace periodscan
