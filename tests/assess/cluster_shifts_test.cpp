#include "assess/cluster_shifts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace periodscan {
namespace {

TEST(ClusterShiftsTest, ShiftedPositions) {
  struct Case {
    const char* name;
    std::vector<Interval> parts;
    std::vector<double> x;
    std::vector<std::size_t> cluster;
    std::vector<double> shifts;
    std::vector<double> expected;
  };
  const Case cases[] = {
      {"whole span: (x + u) mod L",
       {{0.0, 10.0}},
       {0.0, 1.0, 1.5, 9.0},
       {0, 1, 1, 2},
       {2.0, 8.75, 0.5},
       {0.25, 2.0, 9.5, 9.75}},
      // Watched: [0, 4] and [6, 10]; 8 units in all. A shift carries an event
      // across the gap in watched time, never into it.
      {"over a gap",
       {{0.0, 4.0}, {6.0, 10.0}},
       {0.0, 3.0, 7.0, 10.0},
       {0, 0, 1, 1},
       {2.0, 1.5},
       {1.5, 2.0, 7.0, 8.5}},
      {"wrap to the start", {{0.0, 4.0}, {6.0, 10.0}}, {3.5, 9.0}, {0, 0}, {6.0}, {1.5, 7.0}},
  };
  for (const Case& c : cases) {
    const std::vector<double> got =
        shifted_positions(c.x, c.cluster, c.shifts, Exposure::intervals(c.parts));
    ASSERT_EQ(got.size(), c.expected.size()) << c.name;
    for (std::size_t i = 0; i < got.size(); ++i)
      EXPECT_NEAR(got[i], c.expected[i], 1e-12) << c.name;
  }
}

std::vector<double> events() {
  std::vector<double> x;
  for (int i = 0; i < 400; ++i) x.push_back(0.25 * i + 0.2 * std::sin(i * 1.7));
  x.front() = 0.0;
  return x;
}

// The same seed gives the same surrogates whatever the thread count; the
// drawing stops after stop_after reach the observed value, and otherwise
// runs to the maximum.
TEST(ClusterShiftsTest, ScansAreReproducibleAndFollowTheStopRule) {
  const std::vector<double> x = events();
  std::vector<std::int64_t> labels(x.size());
  for (std::size_t i = 0; i < x.size(); ++i) labels[i] = std::int64_t(i / 7) * 3;
  const FrequencyGrid grid = FrequencyGrid::resolving(1.0, 10.0, x.back(), 5.0);
  const Exposure whole = Exposure::whole_span(x.back());
  struct Case {
    double observed;
    int threads;
    std::size_t drawn, reached;
  };
  const Case cases[] = {{-HUGE_VAL, 1, 10, 10}, {-HUGE_VAL, 2, 10, 10}, {HUGE_VAL, 2, 30, 0}};
  std::vector<double> first;
  for (const Case& c : cases) {
    ShiftPlan plan;
    plan.seed = 7;
    plan.max_surrogates = 30;
    plan.observed = c.observed;
    SurveyOptions options;
    options.threads = c.threads;
    const ShiftScans scans = cluster_shift_scans(x, labels, grid, whole, plan, options);
    EXPECT_EQ(scans.maxima.size(), c.drawn);
    EXPECT_EQ(scans.reached, c.reached);
    if (first.empty()) first = scans.maxima;
    for (std::size_t i = 0; i < first.size(); ++i) EXPECT_EQ(scans.maxima[i], first[i]) << i;
  }
}

// A seeded surrogate is the first one of the stream its seed starts, alone or
// in a batch, on any number of threads.
TEST(ClusterShiftsTest, SeededMaximaDoNotDependOnTheBatch) {
  const std::vector<double> x = events();
  std::vector<std::int64_t> labels(x.size());
  for (std::size_t i = 0; i < x.size(); ++i) labels[i] = std::int64_t(i / 5) - 40;
  const FrequencyGrid grid = FrequencyGrid::resolving(1.0, 10.0, x.back(), 5.0);
  const Exposure parts = Exposure::intervals({{0.0, 40.0}, {45.0, x.back()}});
  const std::vector<std::uint64_t> seeds = {3, 0xffffffffffffffffULL, 12345678901234567ULL, 3};
  SurveyOptions one, two;
  one.threads = 1;
  two.threads = 2;
  const std::vector<double> batch = cluster_shift_maxima(x, labels, grid, parts, seeds, two);
  ASSERT_EQ(batch.size(), seeds.size());
  EXPECT_EQ(batch[0], batch[3]);
  for (std::size_t k = 0; k < seeds.size(); ++k) {
    const std::uint64_t seed[] = {seeds[k]};
    EXPECT_EQ(cluster_shift_maxima(x, labels, grid, parts, seed, one)[0], batch[k]) << k;
    ShiftPlan plan;
    plan.seed = seeds[k];
    plan.max_surrogates = 1;
    EXPECT_EQ(cluster_shift_scans(x, labels, grid, parts, plan, one).maxima[0], batch[k]) << k;
  }
  EXPECT_NE(batch[0], batch[1]);
}

}  // namespace
}  // namespace periodscan
