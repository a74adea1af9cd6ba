// The survey's input lines and output text.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "results/survey_grid.h"
#include "results/survey_table.h"
#include "survey/catalogue_metadata.h"
#include "survey/event_times.h"
#include "survey/interval_file.h"
#include "survey/progress_bar.h"

namespace periodscan {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(EventLine, ClassifiesEachLine) {
  const struct {
    const char* line;
    EventLine kind;
    double time;
  } cases[] = {
      {"12.5", EventLine::kTime, 12.5},
      {"  12.5 4.1 extra words", EventLine::kTime, 12.5},
      {"\t-3.25", EventLine::kTime, -3.25},
      {"+7", EventLine::kTime, 7},
      {"1.25E+03", EventLine::kTime, 1250},
      {"12.5,4.1", EventLine::kTime, 12.5},
      {"12, 5", EventLine::kTime, 12},
      {"12,5", EventLine::kDecimalComma, 0},
      {"  0,2106 2,5", EventLine::kDecimalComma, 0},
      {"-3,25;1", EventLine::kDecimalComma, 0},
      {"1e3,5", EventLine::kTime, 1000},
      {"0,5,3,1", EventLine::kDecimalComma, 0},
      {"12,5.3", EventLine::kTime, 12},
      {"1609459200,3.1", EventLine::kTime, 1609459200},
      {"7,25e1", EventLine::kTime, 7},
      {"1.5,2.5", EventLine::kTime, 1.5},
      {"12,x", EventLine::kTime, 12},
      {"12;5", EventLine::kTime, 12},
      {".5", EventLine::kTime, 0.5},
      {"", EventLine::kSkipped, 0},
      {"   \t ", EventLine::kSkipped, 0},
      {"# origin 2021-01-01", EventLine::kSkipped, 0},
      {"   #indented comment", EventLine::kSkipped, 0},
      {"time magnitude", EventLine::kNotATime, 0},
      {"2021-01-05 12:00", EventLine::kNotATime, 0},
      {"12abc", EventLine::kNotATime, 0},
      {"1.0D+03", EventLine::kNotATime, 0},
      {"+-5", EventLine::kNotATime, 0},
      {"+", EventLine::kNotATime, 0},
      {"1e999", EventLine::kNotATime, 0},
      {",12", EventLine::kNotATime, 0},
      {"nan", EventLine::kNotFinite, 0},
      {"-inf 3", EventLine::kNotFinite, 0},
  };
  for (const auto& c : cases) {
    double time = -1.0;
    EXPECT_EQ(classify_event_line(c.line, &time), c.kind) << '"' << c.line << '"';
    if (c.kind == EventLine::kTime) {
      EXPECT_EQ(time, c.time) << c.line;
    }
  }
}

TEST(IntervalLine, ClassifiesEachLine) {
  const struct {
    const char* line;
    IntervalLine kind;
    double start, end;
  } cases[] = {
      {"0 10", IntervalLine::kInterval, 0, 10},
      {"  10, 12.5 comment", IntervalLine::kInterval, 10, 12.5},
      {"1\t2", IntervalLine::kInterval, 1, 2},
      {"# gap", IntervalLine::kSkipped, 0, 0},
      {"", IntervalLine::kSkipped, 0, 0},
      {"5", IntervalLine::kNotAnInterval, 0, 0},
      {"5 x", IntervalLine::kNotAnInterval, 0, 0},
      {"start end", IntervalLine::kNotAnInterval, 0, 0},
      {"0 inf", IntervalLine::kNotFinite, 0, 0},
      {"0.5,4.5", IntervalLine::kInterval, 0.5, 4.5},
      {"0,5 4", IntervalLine::kDecimalComma, 0, 0},
      {"0 4,5", IntervalLine::kDecimalComma, 0, 0},
      {"0 4,5.5", IntervalLine::kInterval, 0, 4},
  };
  for (const auto& c : cases) {
    Interval interval{-1, -1};
    EXPECT_EQ(classify_interval_line(c.line, &interval), c.kind) << '"' << c.line << '"';
    if (c.kind == IntervalLine::kInterval) {
      EXPECT_EQ(interval.start, c.start) << c.line;
      EXPECT_EQ(interval.end, c.end) << c.line;
    }
  }
}

TEST(Intervals, FindTheFirstEventOutsideAndClipToAWindow) {
  const std::vector<Interval> on = {{0, 10}, {10, 12}, {20, 30}};
  const struct {
    std::vector<double> times;
    std::size_t outside;
  } cases[] = {
      {{0, 5, 10, 12, 20, 30}, 6},  // ends are inside
      {{-1, 5}, 0},
      {{5, 15, 25}, 1},  // in the gap
      {{25, 31}, 1},     // after the last
  };
  for (const auto& c : cases) EXPECT_EQ(first_event_outside(c.times, on), c.outside);

  const std::vector<Interval> clipped = clip_intervals(on, 11, 25, 11);
  ASSERT_EQ(clipped.size(), 2u);
  EXPECT_EQ(clipped[0].start, 0);
  EXPECT_EQ(clipped[0].end, 1);
  EXPECT_EQ(clipped[1].start, 9);
  EXPECT_EQ(clipped[1].end, 14);
  // A window that only touches an interval gets no zero-length part.
  EXPECT_TRUE(clip_intervals(on, 12, 20, 0).empty());
}

TEST(CatalogueMetadata, ReadsUnitAndOriginAndRejectsOtherValues) {
  const struct {
    const char* json;
    const char* unit;    // nullptr: absent
    const char* origin;  // nullptr: absent
    const char* error;   // nullptr: parsed
  } cases[] = {
      {R"({"unit": "days", "origin": "2021-01-01T00:00:00Z"})", "days", "2021-01-01T00:00:00Z",
       nullptr},
      {R"({"columns": [1, {"a": null}], "n": -1.5e3, "ok": true, "unit": "d\u00e4ys"})",
       "d\xc3\xa4ys", nullptr, nullptr},
      {"{}", nullptr, nullptr, nullptr},
      {R"({"unit": "days", "origin": null})", "days", nullptr, nullptr},
      {R"({"unit": 1})", nullptr, nullptr, "\"unit\" is not a string (at byte 10)"},
      {R"({"unit": "days",})", nullptr, nullptr, "a key is not a string (at byte 17)"},
      {R"({"origin": ["2021"]})", nullptr, nullptr, "\"origin\" is not a string (at byte 12)"},
      {R"({"unit": "days", "unit": null})", nullptr, nullptr, nullptr},  // the last one counts
  };
  for (const auto& c : cases) {
    CatalogueMetadata metadata;
    std::string error;
    const bool ok = parse_catalogue_metadata(c.json, &metadata, &error);
    EXPECT_EQ(ok, c.error == nullptr) << c.json;
    if (!ok) {
      EXPECT_EQ(error, c.error) << c.json;
      continue;
    }
    EXPECT_EQ(metadata.unit.has_value(), c.unit != nullptr) << c.json;
    if (c.unit) {
      EXPECT_EQ(*metadata.unit, c.unit);
    }
    EXPECT_EQ(metadata.origin.has_value(), c.origin != nullptr) << c.json;
    if (c.origin) {
      EXPECT_EQ(*metadata.origin, c.origin);
    }
  }
}

TEST(SpectrumTable, SpellsNumbersForAnExactRoundTrip) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {0.0, "0"},
      {-0.0, "-0"},
      {0.1, "0.1"},
      {1.0 / 3.0, "0.3333333333333333"},
      {1e-5, "1e-05"},
      {6.283185307179586, "6.283185307179586"},
      {1e22, "1e+22"},
      {-2.2250738585072014e-308, "-2.2250738585072014e-308"},
      {kNaN, "nan"},
      {-kNaN, "nan"},
      {std::numeric_limits<double>::infinity(), "inf"},
  };
  for (const auto& c : cases) {
    std::string text;
    append_number(&text, c.value);
    EXPECT_EQ(text, c.text);
    if (!std::isnan(c.value)) {
      EXPECT_EQ(std::strtod(text.c_str(), nullptr), c.value) << text;
    }
  }
}

TEST(SpectrumTable, CommentsCannotBreakTheTable) {
  std::string out;
  append_comment(&out, "events: a\nb\tc.txt");
  EXPECT_EQ(out, "# events: a?b?c.txt\n");
}

TEST(SpectrumTable, WritesRowsInHeaderOrder) {
  std::string out;
  append_window_header(&out);
  append_window_row(&out, 0.5, 10.5, 3, {2, 0.5, 1.25, 0.75, 3, kNaN, 4});
  EXPECT_EQ(out,
            "window_start\twindow_end\tevents\tperiod\tfrequency\tdelta_log_lik\tamplitude\t"
            "phase\tpeak_time\trayleigh_z\n"
            "0.5\t10.5\t3\t2\t0.5\t1.25\t0.75\t3\tnan\t4\n");
}

TEST(SurveyGrid, WritesHeaderBlanksAndLongRows) {
  std::vector<double> row(12);
  for (std::size_t i = 0; i < row.size(); ++i) row[i] = double(i);
  row[1] = kNaN;
  const ZRange z = z_range(row);
  EXPECT_EQ(z.min, 0);
  EXPECT_EQ(z.max, 11);
  const std::vector<double> blanks = {kNaN, kNaN};
  EXPECT_EQ(z_range(blanks).min, 0);
  EXPECT_EQ(z_range(blanks).max, 0);

  std::string out;
  append_grid_header(&out, {12, 1, 10.5, 21.5, 0.25, 0.25, z.min, z.max});
  append_grid_row(&out, row);
  EXPECT_EQ(out,
            "DSAA\n12 1\n10.5 21.5\n0.25 0.25\n0 11\n"
            "0 1.70141e38 2 3 4 5 6 7 8 9\n10 11\n\n");
}

TEST(ProgressBar, SpellsDurationsAndTheBar) {
  const struct {
    double seconds;
    const char* text;
  } cases[] = {
      {0, "0 s"},           {0.2, "1 s"}, {59, "59 s"}, {60, "1 min 00 s"}, {3599.5, "1 h 00 min"},
      {3725, "1 h 02 min"}, {-3, "0 s"},
  };
  for (const auto& c : cases) EXPECT_EQ(duration_text(c.seconds), c.text) << c.seconds;
  EXPECT_EQ(progress_line(0, 100, 0), "  0% [........................]");
  EXPECT_EQ(progress_line(50, 100, 10), " 50% [############............] 10 fits/s, 5 s left");
  EXPECT_EQ(progress_line(100, 100, 20), "100% [########################] 20 fits/s, 0 s left");
}

}  // namespace
}  // namespace periodscan
