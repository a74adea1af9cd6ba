#include "estimator/amplitude_search.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "estimator/float_bits.h"
#include "estimator/phase_search.h"
#include "support/literal_estimator.h"

namespace periodscan {
namespace {

using testing::same_bits;

struct Found {
  float a, fi, delta;
};

Found find_afi(float omega, const std::vector<float>& t, float t0, float slot_fill = 0.0f) {
  Found f{slot_fill, slot_fill, slot_fill};
  const std::int32_t n = static_cast<std::int32_t>(t.size());
  FIND_AFI(omega, f.a, f.fi, f.delta, n, t.data(), t0);
  return f;
}

// Two events observed from 0 to 1. The increment grows with A all the way
// up, so the search ends at the top of the amplitude bracket, and the best
// phase makes the closed form easy to state.
TEST(FindAfiTest, TwoEventExamples) {
  struct Case {
    float omega;
    double expected_delta;  // at A = 1, the limit the search runs to
  };
  const double pi = 3.14159265358979323846;
  const Case cases[] = {
      // Both events at phase 0 (or 2*pi): 2*ln(1 + A).
      {6.2831855f, 2.0 * std::log(2.0)},
      // Events half a turn apart, best with both cosines 0 and the integral
      // J = 1 - 2A/pi as small as it gets: -2*ln(1 - 2A/pi).
      {3.1415927f, 2.0 * std::log(pi / (pi - 2.0))},
  };
  const std::vector<float> t = {0.0f, 1.0f};
  for (const Case& c : cases) {
    const Found f = find_afi(c.omega, t, 0.0f);
    EXPECT_TRUE(same_bits(0.99999952f, f.a)) << "Omega " << c.omega;
    EXPECT_NEAR(f.delta, c.expected_delta, 1e-5) << "Omega " << c.omega;
  }
}

// Nothing is remembered between calls and the slots' values on entry are
// never read.
TEST(FindAfiTest, RepeatableAndIndependentOfSlotContents) {
  const std::vector<float> t = {0.5f, 1.25f, 1.25f, 3.0f, 4.75f, 6.5f, 9.0f, 9.5f};
  const float omega = 1.3f;
  const Found first = find_afi(omega, t, 0.0f);
  const Found second = find_afi(omega, t, 0.0f);
  const Found from_nan = find_afi(omega, t, 0.0f, std::numeric_limits<float>::quiet_NaN());
  for (const Found& other : {second, from_nan}) {
    EXPECT_TRUE(same_bits(first.a, other.a));
    EXPECT_TRUE(same_bits(first.fi, other.fi));
    EXPECT_TRUE(same_bits(first.delta, other.delta));
  }
  EXPECT_GT(first.a, 0.0f);
  EXPECT_LT(first.a, 1.0f);
}

// FIND_FI alone: the fixed amplitude is read, the phase slot is written.
TEST(FindFiTest, ScoresTheFixedAmplitude) {
  const std::vector<float> t = {0.0f, 1.0f};
  const std::int32_t n = 2;
  const float omega = 6.2831855f;
  const float t0 = 0.0f;
  struct Case {
    float a;
    double expected;  // 2*ln(1 + A), best at phase 0 or 2*pi
  };
  const Case cases[] = {{0.0f, 0.0}, {0.25f, 2.0 * std::log(1.25)}, {0.75f, 2.0 * std::log(1.75)}};
  for (const Case& c : cases) {
    float fi = -1.0f;
    float delta = -1.0f;
    FIND_FI(omega, c.a, fi, delta, n, t.data(), t0);
    EXPECT_NEAR(delta, c.expected, 1e-6) << "A " << c.a;
    EXPECT_GE(fi, 0.0f);
    EXPECT_LE(fi, 6.2831855f);
  }
}

// Cost of one amplitude search, counted on the literal transcription (the
// program is held bit-identical to it elsewhere): 32 phase searches of 35
// or 36 log-likelihood evaluations each.
TEST(FindAfiTest, EvaluationCounts) {
  const std::vector<std::vector<float>> samples = {
      {0.0f, 1.0f},
      {0.5f, 1.25f, 1.25f, 3.0f, 4.75f, 6.5f, 9.0f, 9.5f},
      {100.0f, 100.5f, 103.0f, 110.0f, 111.0f, 111.0f, 140.0f},
  };
  const float omegas[] = {0.01f, 0.7f, 3.1415927f, 6.2831855f, 40.0f};
  for (const auto& t : samples) {
    for (float omega : omegas) {
      const auto search = testing::literal_find_afi(omega, static_cast<std::int32_t>(t.size()),
                                                     t.data(), t.front());
      ASSERT_EQ(search.functi_calls_per_phase_search.size(), 32u);
      int total = 0;
      for (int calls : search.functi_calls_per_phase_search) {
        EXPECT_TRUE(calls == 35 || calls == 36) << calls;
        total += calls;
      }
      EXPECT_GE(total, 1120);
      EXPECT_LE(total, 1152);
    }
  }
}

}  // namespace
}  // namespace periodscan
