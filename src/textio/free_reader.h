// Free-form reading of numbers, of a whole line, and of a pause line.
//
// One read operation fills its targets in order:
//  1. It starts at the beginning of the next line; what remained on the line
//     of the previous read is skipped.
//  2. Values are separated by blanks or tabs, or by one comma with any blanks
//     around it; a line end separates values too, so a read that needs more
//     values goes on to the following lines.
//  3. A line of blanks (or nothing) supplies no value: the read goes on.
//  4. When all targets are filled the read ends; the rest of its line is
//     ignored, so a bad value after the last target filled is no error.
//  5. A comma with no value before it supplies an empty value; "/" ends the
//     read early. A target that gets an empty value, or is left when "/" ends
//     the read, keeps its value; the read counts as successful.
//     A comma gives an empty value when it comes first in the read, or when
//     only blanks and line ends lie between it and the comma before it; a
//     comma that ends a line after a value is only a separator.
//  6. "r*v" supplies v r times; "r*" alone supplies r empty values. r is an
//     unsigned integer of at least 1 that fits in 32 bits; repetitions beyond
//     the targets left are dropped unexamined.
//  7. A real: optional sign, digits with at most one decimal point, optional
//     exponent (E, D or Q in either case, optional sign, digits), converted
//     to the nearest 4-byte real directly from its decimal text (ties to
//     even; no intermediate double, which could round twice). An integer:
//     optional sign and decimal digits, with a value that fits in 32 bits.
//  8. Anything else is a read error of wrong form ("inf", "nan", hex floats,
//     "3.5" or "1E2" for an integer); a real whose nearest 4-byte real would
//     be an infinity, an integer beyond 32 bits, or a repeat count beyond 32
//     bits is a read error of range. A real too small for the 4-byte range
//     becomes a subnormal or zero and is no error.
//  9. End of input: no further line before all targets are filled.
// Targets filled before a read error or the end of input keep what they got.
// An outcome that the caller does not handle throws FatalError naming the
// source's channel and file.
//
// Worked examples, for targets (integer n = 7, real x = 0.5):
//   "12 13"      -> n = 12, x = 13, kReadOk, supplied 2
//   ", 2.5"      -> n = 7, x = 2.5, kReadOk, supplied 1
//   "2*5"        -> n = 5, x = 5, kReadOk, supplied 2
//   "4/"         -> n = 4, x = 0.5, kReadOk, supplied 1
//   "3.5 1"      -> n = 7, x = 0.5, kReadWrongForm, supplied 0
//   "1 1e39"     -> n = 1, x = 0.5, kReadOutOfRange, supplied 1
//   "1" then end -> n = 1, x = 0.5, kReadEnd, supplied 1
// A read with no targets reads one line and discards it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <variant>

#include "textio/line_source.h"

namespace periodscan {

using NumberTarget = std::variant<int32_t*, float*>;

// Which outcomes the caller takes care of.
enum class Handled { kNone, kReadErrors, kReadErrorsAndEnd };

// Outcome statuses. Callers test only status > 0 and status == kReadEnd.
inline constexpr int kReadOk = 0;
inline constexpr int kReadWrongForm = 1;
inline constexpr int kReadOutOfRange = 2;
inline constexpr int kReadEnd = -1;

// One free-form read. Returns kReadOk, a positive status or kReadEnd (only
// the handled ones come back; the others throw). If `supplied` is given it
// receives how many targets got a value (empty values and those left by "/"
// do not count), so that the event-file reader can tell a line whose first
// item is empty.
int read_numbers(LineSource& source, std::span<const NumberTarget> targets, Handled handled,
                 int* supplied = nullptr);

// Reads one line and discards it, whatever it holds. End of input is fatal.
void read_pause(LineSource& source);

// Reads one line into a 64-character text: a shorter line is padded with
// blanks on the right, characters after the 64th are dropped. End of input is
// fatal. The result has exactly kFileNameLength characters.
std::string read_line64(LineSource& source);

}  // namespace periodscan
