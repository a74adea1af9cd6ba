#include "survey/event_times.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "fileread/text_lines.h"
#include "results/survey_table.h"
#include "survey/number_text.h"

namespace periodscan {

namespace {

std::string spelled(double value) {
  std::string text;
  append_number(&text, value);
  return text;
}

void sort_events(EventTimes* events) {
  std::vector<std::size_t> order(events->times.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return events->times[a] < events->times[b];
  });
  std::vector<double> times(order.size());
  std::vector<std::size_t> lines(order.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    times[i] = events->times[order[i]];
    lines[i] = events->lines[order[i]];
  }
  events->times = std::move(times);
  events->lines = std::move(lines);
}

}  // namespace

EventLine classify_event_line(std::string_view line, double* time) {
  const std::string_view text = skip_blanks(line);
  if (text.empty() || text[0] == '#') return EventLine::kSkipped;
  double value = 0.0;
  const std::size_t length = read_leading_number(text, &value);
  if (length == 0) return EventLine::kNotATime;
  if (!std::isfinite(value)) return EventLine::kNotFinite;
  if (decimal_comma_follows(text, length)) return EventLine::kDecimalComma;
  *time = value;
  return EventLine::kTime;
}

bool read_event_times(const std::string& path, bool sort, EventTimes* events, std::string* error) {
  *events = EventTimes();
  const std::string name = input_name(path);
  const auto take_line = [&](std::size_t number, std::string_view line) {
    double time = 0.0;
    const std::string where = name + ":" + std::to_string(number) + ": ";
    switch (classify_event_line(line, &time)) {
      case EventLine::kSkipped:
        ++events->skipped_lines;
        return true;
      case EventLine::kNotATime:
        *error = where + "not a time: " + quote_line(line);
        return false;
      case EventLine::kNotFinite:
        *error = where + "not a finite time: " + quote_line(line);
        return false;
      case EventLine::kDecimalComma:
        *error = decimal_comma_error(where, line);
        return false;
      case EventLine::kTime:
        break;
    }
    if (!sort && !events->times.empty() && time < events->times.back()) {
      *error = where + "time " + spelled(time) + " is smaller than " +
               spelled(events->times.back()) + " on line " + std::to_string(events->lines.back()) +
               " (--sort sorts the events): " + quote_line(line);
      return false;
    }
    events->times.push_back(time);
    events->lines.push_back(number);
    return true;
  };
  if (!read_text_lines(path, take_line, error)) return false;
  if (sort && !std::is_sorted(events->times.begin(), events->times.end())) {
    sort_events(events);
    events->reordered = true;
  }
  return true;
}

}  // namespace periodscan
