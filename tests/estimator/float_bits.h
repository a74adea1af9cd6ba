// Exact comparison of 4-byte reals for the estimator tests: two floats are
// the same only if their bit patterns are, so -0 differs from +0 and a
// not-a-number equals one with the same payload.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>

namespace periodscan::testing {

inline std::uint32_t float_bits(float x) { return std::bit_cast<std::uint32_t>(x); }

inline ::testing::AssertionResult same_bits(float expected, float actual) {
  if (float_bits(expected) == float_bits(actual)) return ::testing::AssertionSuccess();
  char text[96];
  std::snprintf(text, sizeof text, "expected %.9g (0x%08X), got %.9g (0x%08X)", expected,
                static_cast<unsigned>(float_bits(expected)), actual,
                static_cast<unsigned>(float_bits(actual)));
  return ::testing::AssertionFailure() << text;
}

}  // namespace periodscan::testing
