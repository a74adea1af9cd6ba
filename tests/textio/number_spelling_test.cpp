#include "textio/number_spelling.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

namespace periodscan {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kMax = std::numeric_limits<float>::max();
constexpr float kSmallestDenormal = std::numeric_limits<float>::denorm_min();

struct RealCase {
  float value;
  const char* expected;
};

struct IntegerCase {
  int32_t value;
  const char* expected;
};

template <typename Value>
std::string spell(void (*append)(std::string&, Value), Value value) {
  std::string out = "|";  // appending must keep what is already there
  append(out, value);
  return out.substr(1);
}

TEST(ListReal, SpellsEveryValueInSixteenColumns) {
  const RealCase cases[] = {
      {0.5f, "    5.000000E-01"},
      {123.456f, "      123.456001"},
      {1.0f, "        1.000000"},
      {-1.5f, "       -1.500000"},
      {1234567.0f, "  1234567.000000"},
      {9999999.0f, "  9999999.000000"},
      {10000000.0f, "    1.000000E+07"},
      {0.0f, "    0.000000E+00"},
      {1e-35f, "    1.000000E-35"},
      {-3.4e38f, "   -3.400000E+38"},
      // The form is chosen before rounding.
      {0.99999994f, "    9.999999E-01"},
      {-0.99999994f, "   -9.999999E-01"},
      {-0.0f, "    0.000000E+00"},
      {-0.5f, "   -5.000000E-01"},
      {16777216.0f, "    1.677722E+07"},
      // Exact halfway values go to the even digit.
      {1.0078125f, "        1.007812"},
      {-1.0078125f, "       -1.007812"},
      {1.0234375f, "        1.023438"},
      {0.00048828125f, "    4.882812E-04"},
      {0.00146484375f, "    1.464844E-03"},
      {10000005.0f, "    1.000000E+07"},
      {10000015.0f, "    1.000002E+07"},
      {kSmallestDenormal, "    1.401298E-45"},
      {kMax, "    3.402823E+38"},
      {-kMax, "   -3.402823E+38"},
      {kNaN, "             NaN"},
      {kInf, "        Infinity"},
      {-kInf, "       -Infinity"},
  };
  for (const RealCase& c : cases) {
    EXPECT_EQ(spell(append_list_real, c.value), c.expected) << "value " << c.value;
  }
}

// The C library's printf is an independent, correctly rounded reference:
// walk the 4-byte reals with a stride that visits every exponent.
TEST(ListReal, AgreesWithPrintfAcrossTheFloatRange) {
  int mismatches = 0;
  for (uint64_t bits = 0; bits <= 0xFFFFFFFFu; bits += 7919) {
    const uint32_t pattern = static_cast<uint32_t>(bits);
    float x;
    std::memcpy(&x, &pattern, sizeof x);
    if (!std::isfinite(x) || x == 0.0f) continue;
    const double magnitude = std::fabs(static_cast<double>(x));
    char expected[32];
    std::snprintf(expected, sizeof expected,
                  magnitude >= 1.0 && magnitude < 1e7 ? "%16.6f" : "%16.6E",
                  static_cast<double>(x));
    const std::string got = spell(append_list_real, x);
    if (got != expected && ++mismatches <= 5) {
      ADD_FAILURE() << "bits " << pattern << ": got \"" << got << "\", printf \"" << expected
                    << "\"";
    }
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(ListInteger, RightAlignsInTwelveColumns) {
  const IntegerCase cases[] = {
      {0, "           0"},
      {1234, "        1234"},
      {-1, "          -1"},
      {2147483647, "  2147483647"},
      {-2147483647 - 1, " -2147483648"},
  };
  for (const IntegerCase& c : cases) {
    EXPECT_EQ(spell(append_list_integer, c.value), c.expected) << "value " << c.value;
  }
}

TEST(General15, SpellsEveryValueInFifteenColumns) {
  const RealCase cases[] = {
      {0.5f, "   0.500000    "},
      {0.3f, "   0.300000    "},
      {0.01f, "   0.100000E-01"},
      {0.09999999f, "   0.100000    "},
      {1.0f, "    1.00000    "},
      {2.5f, "    2.50000    "},
      {6.2831855f, "    6.28319    "},
      {10.0f, "    10.0000    "},
      {123.456f, "    123.456    "},
      {-123.456f, "   -123.456    "},
      {99999.95f, "    100000.    "},
      {999999.44f, "    999999.    "},
      {999999.5f, "   0.100000E+07"},
      {1234567.0f, "   0.123457E+07"},
      {0.0f, "       0.000000"},
      {1e-35f, "   0.100000E-34"},
      {-3.4e38f, "  -0.340000E+39"},
      // Either side of the form boundaries.
      {0.05f, "   0.500000E-01"},
      {0.1f, "   0.100000    "},
      {0.099999994f, "   0.100000    "},
      {100000.0f, "    100000.    "},
      {-0.5f, "  -0.500000    "},
      {-0.01f, "  -0.100000E-01"},
      {-0.0f, "       0.000000"},
      // Exact halfway values go to the even digit.
      {0.5078125f, "   0.507812    "},
      {0.5234375f, "   0.523438    "},
      {999998.5f, "    999998.    "},
      {999997.5f, "    999998.    "},
      {kSmallestDenormal, "   0.140130E-44"},
      {kMax, "   0.340282E+39"},
      {kNaN, "            NaN"},
      {kInf, "       Infinity"},
      {-kInf, "      -Infinity"},
  };
  for (const RealCase& c : cases) {
    EXPECT_EQ(spell(append_general15, c.value), c.expected) << "value " << c.value;
  }
}

TEST(Integer10, RightAlignsInTenColumnsAndLeavesZeroBlank) {
  const IntegerCase cases[] = {
      {0, "          "},          {4, "         4"},          {-1, "        -1"},
      {2147483647, "2147483647"}, {-999999999, "-999999999"}, {-2147483647 - 1, "**********"},
  };
  for (const IntegerCase& c : cases) {
    EXPECT_EQ(spell(append_integer10, c.value), c.expected) << "value " << c.value;
  }
}

}  // namespace
}  // namespace periodscan
