#include "estimator/log_likelihood.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace periodscan {
namespace {

float functi(float A, float Fi, float Omega, const std::vector<float>& t, float t0) {
  const std::int32_t n = static_cast<std::int32_t>(t.size());
  float result = -12345.0f;
  FUNCTI(A, Fi, Omega, result, n, t.data(), t0);
  return result;
}

// Worked examples on the events t = (0, 1) observed from t0 = 0, to the
// digits of their closed forms.
TEST(FunctiTest, WorkedExamples) {
  struct Case {
    float omega, a, fi;
    double expected;
  };
  const Case cases[] = {
      {6.2831855f, 0.5f, 0.0f, 0.81093},        // 2*ln 1.5
      {3.1415927f, 0.5f, 0.0f, -0.28768},       // ln 0.75, negative and kept
      {3.1415927f, 0.5f, 1.5707964f, 0.76636},  // 2*ln(pi/(pi - 1))
  };
  const std::vector<float> t = {0.0f, 1.0f};
  for (const Case& c : cases) {
    EXPECT_NEAR(functi(c.a, c.fi, c.omega, t, 0.0f), c.expected, 5e-6)
        << "Omega " << c.omega << " Fi " << c.fi;
  }
}

// With A = 0 both laws coincide: only the rounding of the rate ratio r can
// leave anything, and that is far below a single event's term.
TEST(FunctiTest, ZeroAmplitudeGivesZero) {
  struct Case {
    float omega, fi;
  };
  const Case cases[] = {{6.2831855f, 0.0f}, {0.001f, 3.0f}, {1234.5f, 6.2831855f},
                        {0.37f, 1.0f},      {1e-6f, 0.5f},  {50.0f, 4.4f}};
  const std::vector<float> t = {2.5f, 3.0f, 3.0f, 7.25f, 11.0f, 19.5f};
  for (const Case& c : cases) {
    EXPECT_NEAR(functi(0.0f, c.fi, c.omega, t, 1.0f), 0.0, 1e-12)
        << "Omega " << c.omega << " Fi " << c.fi;
  }
}

// Coinciding events are each counted: doubling an event adds its term again,
// and with Omega*Lobs a whole number of turns J = Lobs, so the sum is just
// the terms.
TEST(FunctiTest, CoincidingEventsEachContributeATerm) {
  // Omega = 2*pi/4 over Lobs = 4: phases 0, pi/2, pi/2, pi, 2*pi -> cosines
  // 1, 0, 0, -1, 1.
  const float omega = 1.5707964f;
  const double expected = 2.0 * std::log(1.5) + std::log(0.5);
  EXPECT_NEAR(functi(0.5f, 0.0f, omega, {0.0f, 1.0f, 1.0f, 2.0f, 4.0f}, 0.0f), expected, 1e-6);
}

// Time and phase are measured from t0, not from the first event, and the
// interval ends at the last event.
TEST(FunctiTest, TimeIsMeasuredFromT0) {
  struct Case {
    float omega, t0;
    double expected;
  };
  const Case cases[] = {
      {6.2831855f, 2.0f, 2.0 * std::log(1.5)},            // phases 0, 2*pi
      {3.1415927f, 2.0f, std::log(1.5) + std::log(0.5)},  // phases 0, pi
      {3.1415927f, 1.0f, std::log(0.5) + std::log(1.5)},  // phases pi, 2*pi
      {1.5707964f, 1.0f, std::log(1.0) + std::log(0.5)},  // phases pi/2, pi
  };
  const std::vector<float> t = {2.0f, 3.0f};
  for (const Case& c : cases) {
    // In every row Omega*Lobs is a whole number of half turns starting at
    // phase 0, so J = Lobs and only the cosine terms remain.
    EXPECT_NEAR(functi(0.5f, 0.0f, c.omega, t, c.t0), c.expected, 5e-6)
        << "Omega " << c.omega << " t0 " << c.t0;
  }
}

}  // namespace
}  // namespace periodscan
