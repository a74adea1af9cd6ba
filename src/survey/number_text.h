// Reading numbers from the text of the survey's input files and command line.
//
// A number is what std::from_chars reads in its general format, with an
// optional leading '+': "12", "-3.25", "1.25E+03", ".5", "5." and also "inf"
// and "nan", which the callers reject where a finite value is needed. It must
// end at the end of the text or at a field separator (blank, tab, ',' or ';'):
// "12abc", "1.0D+03" and a date such as "2021-01-05" are not numbers, so a
// column of dates is never read as a column of years.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace periodscan {

// Reads the number at the start of `text` (no blanks before it). Returns the
// number of characters it takes, 0 when `text` does not start with a number.
std::size_t read_leading_number(std::string_view text, double* value);

// True when the number that read_leading_number found in the first `length`
// characters of `text` is a whole number (no '.', no exponent) followed
// directly by ',' and a run of digits that does not go on with '.', 'e' or
// 'E': "0,2106" or "12,5", a decimal comma that would otherwise be read as
// two fields, 0 and 2106. "1.5,2.5", "12, 5", "1e5,2" and "12,5.3" (a whole
// number, then a real one) are two fields.
bool decimal_comma_follows(std::string_view text, std::size_t length);

// The message for such a number on `line`; `where` is "FILE:LINE: ".
std::string decimal_comma_error(std::string_view where, std::string_view line);

// True when all of `text` is one finite number.
bool parse_finite(std::string_view text, double* value);

// `text` with its leading blanks and tabs removed.
std::string_view skip_blanks(std::string_view text);

// True for a blank, a tab, ',' and ';'.
bool is_field_separator(char c);

// A line of an input file as quoted in a message: in double quotes, control
// characters shown as '?', cut after 60 characters with "...".
std::string quote_line(std::string_view line);

}  // namespace periodscan
