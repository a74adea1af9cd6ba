#include "survey/interval_file.h"

#include <algorithm>
#include <cmath>

#include "fileread/text_lines.h"
#include "survey/number_text.h"

namespace periodscan {

namespace {

// Skips separators between two fields.
std::string_view skip_separators(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && is_field_separator(text[i])) ++i;
  return text.substr(i);
}

}  // namespace

IntervalLine classify_interval_line(std::string_view line, Interval* interval) {
  std::string_view text = skip_blanks(line);
  if (text.empty() || text[0] == '#') return IntervalLine::kSkipped;
  double start = 0.0;
  double end = 0.0;
  const std::size_t first = read_leading_number(text, &start);
  if (first == 0) return IntervalLine::kNotAnInterval;
  if (decimal_comma_follows(text, first)) return IntervalLine::kDecimalComma;
  text = skip_separators(text.substr(first));
  const std::size_t second = read_leading_number(text, &end);
  if (second == 0) return IntervalLine::kNotAnInterval;
  if (!std::isfinite(start) || !std::isfinite(end)) return IntervalLine::kNotFinite;
  if (decimal_comma_follows(text, second)) return IntervalLine::kDecimalComma;
  *interval = Interval{start, end};
  return IntervalLine::kInterval;
}

bool read_intervals(const std::string& path, IntervalList* list, std::string* error) {
  *list = IntervalList();
  const std::string name = input_name(path);
  const auto take_line = [&](std::size_t number, std::string_view line) {
    Interval interval;
    const std::string where = name + ":" + std::to_string(number) + ": ";
    switch (classify_interval_line(line, &interval)) {
      case IntervalLine::kSkipped:
        return true;
      case IntervalLine::kNotAnInterval:
        *error = where + "not an interval (start and end): " + quote_line(line);
        return false;
      case IntervalLine::kNotFinite:
        *error = where + "not a finite interval: " + quote_line(line);
        return false;
      case IntervalLine::kDecimalComma:
        *error = decimal_comma_error(where, line);
        return false;
      case IntervalLine::kInterval:
        break;
    }
    if (!(interval.end > interval.start)) {
      *error = where + "the interval does not end after it starts: " + quote_line(line);
      return false;
    }
    if (!list->intervals.empty() && interval.start < list->intervals.back().end) {
      *error = where + "the interval starts before the one on line " +
               std::to_string(list->lines.back()) + " ends (intervals must be sorted and " +
               "must not overlap): " + quote_line(line);
      return false;
    }
    list->intervals.push_back(interval);
    list->lines.push_back(number);
    return true;
  };
  if (!read_text_lines(path, take_line, error)) return false;
  if (list->intervals.empty()) {
    *error = name + ": no intervals in the file";
    return false;
  }
  return true;
}

std::size_t first_event_outside(std::span<const double> times,
                                std::span<const Interval> intervals) {
  // Both are sorted: walk them together.
  std::size_t k = 0;
  for (std::size_t i = 0; i < times.size(); ++i) {
    while (k < intervals.size() && intervals[k].end < times[i]) ++k;
    if (k == intervals.size() || times[i] < intervals[k].start) return i;
  }
  return times.size();
}

std::vector<Interval> clip_intervals(std::span<const Interval> intervals, double start, double end,
                                     double origin) {
  std::vector<Interval> parts;
  for (const Interval& interval : intervals) {
    const double from = std::max(interval.start, start) - origin;
    const double to = std::min(interval.end, end) - origin;
    if (to > from) parts.push_back(Interval{from, to});
  }
  return parts;
}

}  // namespace periodscan
