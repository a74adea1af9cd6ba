// Reading the observation intervals of a survey: the stretches of time over
// which the events were watched, on the event file's own time axis.
//
// One interval a line: its start and its end, the first two numbers of the
// line (separated as in survey/number_text.h; anything after them is
// ignored). Blank lines and '#' comments are skipped. Each interval must end
// after it starts and start no earlier than the previous one ended (touching
// intervals are allowed); a line that breaks this, or gives no two finite
// numbers, stops the reading with a message naming the file, line and text.
//
//   "0 10"     -> [0, 10]
//   "10, 12.5" -> [10, 12.5] (touches the one before)
//   "0,5 10"   -> error: a decimal comma (see survey/number_text.h)
//   "11 20"    -> error: starts before the interval on the line before ends
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "estimator/exposure.h"

namespace periodscan {

enum class IntervalLine { kInterval, kSkipped, kNotAnInterval, kNotFinite, kDecimalComma };

IntervalLine classify_interval_line(std::string_view line, Interval* interval);

struct IntervalList {
  std::vector<Interval> intervals;  // sorted, disjoint, absolute times
  std::vector<std::size_t> lines;   // line number (from 1) of each
};

// Reads `path`, or standard input for "-" (see fileread/text_lines.h). False
// with *error set ("FILE:LINE: ...") on failure; a file without any interval
// is a failure too.
bool read_intervals(const std::string& path, IntervalList* list, std::string* error);

// The first event (in time order) outside every interval, as the index of
// `times`, or times.size() when each lies in one (ends included).
std::size_t first_event_outside(std::span<const double> times, std::span<const Interval> intervals);

// The parts of `intervals` inside [start, end], shifted by -origin; parts of
// zero length are left out.
std::vector<Interval> clip_intervals(std::span<const Interval> intervals, double start, double end,
                                     double origin);

}  // namespace periodscan
