// Reading the event-time file of a survey, in double precision.
//
// Each line gives one event: its first number is the time, anything after a
// field separator is ignored (a magnitude column, say). Blank lines and lines
// whose first non-blank character is '#' are skipped and counted. Any other
// line stops the reading with a message that names the file, the line number
// and the line, and so does a time smaller than the one before (unless the
// caller asks for the events to be sorted) and a time that is not finite. A
// wrong line is never taken for the end of the list.
//
//   "  12.5  4.1"   -> event at 12.5
//   "# origin 2021" -> skipped
//   "12.5,4.1"      -> event at 12.5 (',' separates fields)
//   "12,5"          -> error: a decimal comma (see survey/number_text.h)
//   "12,5.3"        -> event at 12 (a whole number, then a real one)
//   "2021-01-05"    -> error: not a time
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace periodscan {

enum class EventLine {
  kTime,          // *time holds the event time
  kSkipped,       // blank or comment
  kNotATime,      // does not start with a number
  kNotFinite,     // "inf", "nan", ...
  kDecimalComma,  // "0,2106": a whole number, ',' and a digit
};

EventLine classify_event_line(std::string_view line, double* time);

struct EventTimes {
  std::vector<double> times;       // non-decreasing
  std::vector<std::size_t> lines;  // line number (from 1) of each time
  std::size_t skipped_lines = 0;   // blank and comment lines
  bool reordered = false;          // sorting changed the file's order
};

// Reads `path`, or standard input for "-" (see fileread/text_lines.h). With `sort`, events out of
// order are sorted (a stable sort: equal times keep their file order) instead of stopping the
// reading. False with *error set ("FILE:LINE: ...", without a program name) on failure. It does not
// check the number of events or the span.
bool read_event_times(const std::string& path, bool sort, EventTimes* events, std::string* error);

}  // namespace periodscan
