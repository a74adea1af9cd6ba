#include "estimator/golden_section.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "estimator/float_bits.h"
#include "estimator/two_pi.h"

namespace periodscan {
namespace {

using testing::same_bits;

// Runs the search with an objective of the slot value, recording every
// point it is asked to score.
struct SearchRun {
  float slot = -1.0f;
  float result = 0.0f;
  std::vector<float> scored;
};

template <typename F>
SearchRun run_search(float lower, float upper, F objective) {
  SearchRun run;
  run.result = golden_section_max(lower, upper, run.slot, [&] {
    run.scored.push_back(run.slot);
    return objective(run.slot);
  });
  return run;
}

float parabola_peaked_at(double peak, float x) {
  const double d = x - peak;
  return static_cast<float>(-d * d);
}

// Where the search ends for objectives with a known shape, and how many
// times it scores them.
TEST(GoldenSectionTest, EndPointsAndCounts) {
  struct Case {
    const char* name;
    float upper;
    float (*objective)(float);
    float final_slot;
    int scores;
  };
  const Case cases[] = {
      // Every comparison a tie: the bracket creeps to the upper end.
      {"constant on [0,1]", 1.0f, [](float) { return 2.5f; }, 0.99999952f, 32},
      {"constant on [0,2pi]", kTwoPi, [](float) { return 2.5f; }, 6.283185f, 36},
      {"increasing on [0,1]", 1.0f, [](float x) { return x; }, 0.99999952f, 32},
      // Only falling: the search closes on the lower end, below 5e-7.
      {"decreasing on [0,1]", 1.0f, [](float x) { return -x; }, 4.34838711e-07f, 32},
      {"parabola at 0.3", 1.0f, [](float x) { return parabola_peaked_at(0.3, x); }, 0.30000004f,
       32},
  };
  for (const Case& c : cases) {
    const SearchRun run = run_search(0.0f, c.upper, c.objective);
    EXPECT_TRUE(same_bits(c.final_slot, run.slot)) << c.name;
    EXPECT_EQ(static_cast<int>(run.scored.size()), c.scores) << c.name;
    // The result is the score at the final midpoint, the last point scored.
    EXPECT_TRUE(same_bits(c.objective(run.slot), run.result)) << c.name;
    EXPECT_TRUE(same_bits(run.slot, run.scored.back())) << c.name;
  }
}

// Left point before right in the first pass; every new point is measured
// from the lower end of the bracket and rounded to a 4-byte real.
TEST(GoldenSectionTest, TrialPointSequence) {
  const SearchRun falling = run_search(0.0f, 1.0f, [](float x) { return -x; });
  const float falling_expected[] = {0.381965995f, 0.618034005f,  0.236067981f,
                                    0.145898014f, 0.0901699439f, 0.0557280816f};
  const SearchRun rising = run_search(0.0f, 1.0f, [](float x) { return x; });
  const float rising_expected[] = {0.381965995f, 0.618034005f, 0.763932049f,
                                   0.854101956f, 0.909830093f, 0.944271922f};
  for (int i = 0; i < 6; ++i) {
    EXPECT_TRUE(same_bits(falling_expected[i], falling.scored[i])) << "falling, point " << i;
    EXPECT_TRUE(same_bits(rising_expected[i], rising.scored[i])) << "rising, point " << i;
  }
}

// A not-a-number never wins a comparison, so a search scoring only
// not-a-numbers behaves like one over a constant and returns the non-number.
TEST(GoldenSectionTest, NotANumberObjectiveEndsAtUpperEnd) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const SearchRun run = run_search(0.0f, 1.0f, [nan](float) { return nan; });
  EXPECT_TRUE(same_bits(0.99999952f, run.slot));
  EXPECT_TRUE(std::isnan(run.result));
  EXPECT_EQ(run.scored.size(), 32u);
}

// The amplitude bracket always takes 32 scores. The phase bracket takes 36,
// or 35 when the search closes in high in the bracket, where 4-byte reals
// are spaced widely enough for rounding to end it one shrink early.
TEST(GoldenSectionTest, ScoreCountsOverManyPeaks) {
  const int steps = 4000;
  for (int i = 0; i <= steps; ++i) {
    const double peak = static_cast<double>(i) / steps;
    const SearchRun run =
        run_search(0.0f, 1.0f, [peak](float x) { return parabola_peaked_at(peak, x); });
    ASSERT_EQ(run.scored.size(), 32u) << "peak " << peak;
  }
  int seen35 = 0;
  int seen36 = 0;
  for (int i = 0; i <= steps; ++i) {
    const double peak = kTwoPi * static_cast<double>(i) / steps;
    const SearchRun run =
        run_search(0.0f, kTwoPi, [peak](float x) { return parabola_peaked_at(peak, x); });
    if (run.scored.size() == 35u) {
      ++seen35;
      EXPECT_GT(run.slot, 3.99f) << "peak " << peak;
    } else {
      ASSERT_EQ(run.scored.size(), 36u) << "peak " << peak;
      ++seen36;
    }
  }
  EXPECT_GT(seen35, 0);
  EXPECT_GT(seen36, 0);
}

// The bracket ends need not be 0: a search over [2, 3] finds a peak inside.
TEST(GoldenSectionTest, FindsPeakInsideAnyBracket) {
  const SearchRun run = run_search(2.0f, 3.0f, [](float x) { return parabola_peaked_at(2.75, x); });
  EXPECT_NEAR(run.slot, 2.75, 1e-6);
  EXPECT_GE(run.scored.front(), 2.0f);
}

}  // namespace
}  // namespace periodscan
