// How the program spells one number in a field of fixed width.
//
// The digits are those of the exact value of the 4-byte real, correctly
// rounded to the digits shown: 123.456f is held as 123.456001..., so the list
// layout spells it "      123.456001". Halfway cases (a 4-byte real can lie
// exactly halfway, e.g. 1.0078125 at six decimals) go to the even digit, as
// the C library's correctly rounded conversion does in the default rounding
// mode: 1.0078125 is spelled "1.007812".
//
// A negative number has "-" directly before its first character; positive
// numbers and zero (of either sign) have none. A not-a-number is spelled
// "NaN", an infinity "Infinity" or "-Infinity", right-aligned in the field.
//
// Every function appends exactly the field's width of characters to `out`,
// except where a rule below says otherwise.
#pragma once

#include <cstdint>
#include <string>

namespace periodscan {

// Real in the list layout, 16 characters. Fixed-point form with 6 decimals
// when 1 <= |x| < 1e7 (decided on the value before rounding), otherwise
// exponent form d.ddddddE+dd:
//   0.5f        -> "    5.000000E-01"
//   123.456f    -> "      123.456001"
//   0.99999994f -> "    9.999999E-01"
//   10000000.f  -> "    1.000000E+07"
//   0.f         -> "    0.000000E+00"
void append_list_real(std::string& out, float x);

// Integer in the list layout, right-aligned in 12 characters:
//   0 -> "           0"; -2147483648 -> " -2147483648".
void append_list_integer(std::string& out, int32_t n);

// General spelling of width 15 (six significant digits, four columns kept
// for an exponent). Round |x| to 6 significant digits; if the rounded value
// lies in [0.1, 1e6) write it with 6 - k decimals (k digits before the point,
// k = 0 written as a single 0) right-aligned in 11 characters, then 4 blanks;
// otherwise write 0.ddddddE+dd right-aligned in 15. Zero is "       0.000000".
//   0.5f        -> "   0.500000    "
//   0.01f       -> "   0.100000E-01"
//   99999.95f   -> "    100000.    "
//   999999.5f   -> "   0.100000E+07"
void append_general15(std::string& out, float x);

// Integer field of width 10: right-aligned; zero is ten blanks; a value that
// needs more than ten characters (only -2147483648) is ten asterisks.
void append_integer10(std::string& out, int32_t n);

}  // namespace periodscan
