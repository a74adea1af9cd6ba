#include "textio/number_spelling.h"

#include <cassert>
#include <charconv>
#include <cmath>
#include <string_view>

#include "textio/layout.h"

namespace periodscan {

namespace {

// std::to_chars with a precision gives the digits of the exact binary value,
// correctly rounded with ties to even, exactly as the C library's printf does
// in the default rounding mode, but several times faster and without any
// locale; the grid rows spell millions of reals through here.

// Room for the longest spelling: "-3.402823E+38", "-9999999.000000",
// "-0.340282E+39", with a wide margin.
constexpr int kScratchSize = 48;

void append_right_aligned(std::string& out, int width, std::string_view text) {
  const int length = static_cast<int>(text.size());
  if (length < width) out.append(static_cast<size_t>(width - length), ' ');
  out.append(text);
}

// Spells NaN and the infinities; returns false for a finite x.
bool append_non_finite(std::string& out, int width, float x) {
  if (std::isnan(x)) {
    append_right_aligned(out, width, "NaN");
    return true;
  }
  if (std::isinf(x)) {
    append_right_aligned(out, width, x < 0.0f ? "-Infinity" : "Infinity");
    return true;
  }
  return false;
}

// Negative zero is spelled like zero, without a sign.
float without_signed_zero(float x) { return x == 0.0f ? 0.0f : x; }

// The C library writes "e"; the program's spelling uses "E".
void upper_case_exponent(char* begin, char* end) {
  for (char* p = begin; p != end; ++p) {
    if (*p == 'e') *p = 'E';
  }
}

}  // namespace

void append_list_real(std::string& out, float x) {
  if (append_non_finite(out, kListRealWidth, x)) return;
  x = without_signed_zero(x);

  const double magnitude = std::fabs(static_cast<double>(x));
  const bool fixed_point = magnitude >= kListFixedLow && magnitude < kListFixedHigh;
  char scratch[kScratchSize];
  const auto result = std::to_chars(
      scratch, scratch + kScratchSize, x,
      fixed_point ? std::chars_format::fixed : std::chars_format::scientific, kListRealDigits);
  assert(result.ec == std::errc());
  if (!fixed_point) upper_case_exponent(scratch, result.ptr);
  append_right_aligned(out, kListRealWidth, std::string_view(scratch, result.ptr - scratch));
}

void append_list_integer(std::string& out, int32_t n) {
  char scratch[kScratchSize];
  const auto result = std::to_chars(scratch, scratch + kScratchSize, n);
  assert(result.ec == std::errc());
  append_right_aligned(out, kListIntegerWidth, std::string_view(scratch, result.ptr - scratch));
}

void append_general15(std::string& out, float x) {
  if (append_non_finite(out, kGeneralWidth, x)) return;
  if (x == 0.0f) {
    append_right_aligned(out, kGeneralWidth, "0.000000");
    return;
  }

  // Round |x| to six significant digits: "d.ddddde+XX". The exponent of the
  // rounded value decides the form; a carry (99999.95 -> 1.00000e+05) has
  // already moved it to the next decade.
  const float magnitude = std::fabs(x);
  char rounded[kScratchSize];
  const auto rounded_end = std::to_chars(rounded, rounded + kScratchSize, magnitude,
                                         std::chars_format::scientific, kGeneralDigits - 1);
  assert(rounded_end.ec == std::errc());
  const std::string_view mantissa_and_exponent(rounded, rounded_end.ptr - rounded);
  const size_t e_pos = mantissa_and_exponent.find('e');
  assert(e_pos == static_cast<size_t>(kGeneralDigits) + 1);
  int exponent = 0;
  const char* exponent_begin = rounded + e_pos + 1;
  if (*exponent_begin == '+') ++exponent_begin;  // from_chars takes no "+"
  std::from_chars(exponent_begin, rounded_end.ptr, exponent);

  char scratch[kScratchSize];
  // The rounded value lies in [0.1, 10^6) exactly when its decimal exponent
  // is -1 to 5; it then has k = exponent + 1 digits before the point.
  if (exponent >= -1 && exponent < kGeneralDigits) {
    const int digits_before_point = exponent + 1;
    const int decimals = kGeneralDigits - digits_before_point;
    // Rounding x to `decimals` places rounds at the same digit as above, or
    // one coarser after a carry, which gives the same carried value.
    auto result =
        std::to_chars(scratch, scratch + kScratchSize, x, std::chars_format::fixed, decimals);
    assert(result.ec == std::errc());
    char* end = result.ptr;
    if (decimals == 0) *end++ = '.';  // "100000." keeps its point
    append_right_aligned(out, kGeneralWidth - kGeneralExponentRoom,
                         std::string_view(scratch, end - scratch));
    out.append(static_cast<size_t>(kGeneralExponentRoom), ' ');
    return;
  }

  // Exponent form 0.ddddddE+dd: the six digits of d.ddddd, and the exponent
  // one higher. A 4-byte real's exponent here is -44 to +39: two digits.
  const int shifted = exponent + 1;
  assert(shifted > -100 && shifted < 100);
  char* p = scratch;
  if (x < 0.0f) *p++ = '-';
  *p++ = '0';
  *p++ = '.';
  *p++ = rounded[0];
  for (int i = 2; i <= kGeneralDigits; ++i) *p++ = rounded[i];  // skip the point
  *p++ = 'E';
  *p++ = shifted < 0 ? '-' : '+';
  const int exponent_magnitude = shifted < 0 ? -shifted : shifted;
  *p++ = static_cast<char>('0' + exponent_magnitude / 10);
  *p++ = static_cast<char>('0' + exponent_magnitude % 10);
  append_right_aligned(out, kGeneralWidth, std::string_view(scratch, p - scratch));
}

void append_integer10(std::string& out, int32_t n) {
  if (n == 0) {
    out.append(static_cast<size_t>(kIntegerFieldWidth), ' ');
    return;
  }
  char scratch[kScratchSize];
  const auto result = std::to_chars(scratch, scratch + kScratchSize, n);
  assert(result.ec == std::errc());
  const std::string_view digits(scratch, result.ptr - scratch);
  if (static_cast<int>(digits.size()) > kIntegerFieldWidth) {
    out.append(static_cast<size_t>(kIntegerFieldWidth), '*');
    return;
  }
  append_right_aligned(out, kIntegerFieldWidth, digits);
}

}  // namespace periodscan
