#include "survey/event_times.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <numeric>

#include "results/survey_table.h"
#include "survey/number_text.h"
#include "textio/fd_line_reader.h"

namespace periodscan {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

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
  if (read_leading_number(text, &value) == 0) return EventLine::kNotATime;
  if (!std::isfinite(value)) return EventLine::kNotFinite;
  *time = value;
  return EventLine::kTime;
}

bool read_event_times(const std::string& path, bool sort, EventTimes* events, std::string* error) {
  *events = EventTimes();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = path + ": cannot open: " + std::strerror(errno);
    return false;
  }
  FdLineReader reader;
  reader.attach(fd);
  std::string_view line;
  std::size_t number = 0;
  bool ok = true;
  while (ok && reader.next_line(&line)) {
    ++number;
    if (number == 1 && line.starts_with(kByteOrderMark)) line.remove_prefix(kByteOrderMark.size());
    double time = 0.0;
    const std::string where = path + ":" + std::to_string(number) + ": ";
    switch (classify_event_line(line, &time)) {
      case EventLine::kSkipped:
        ++events->skipped_lines;
        continue;
      case EventLine::kNotATime:
        *error = where + "not a time: " + quote_line(line);
        ok = false;
        continue;
      case EventLine::kNotFinite:
        *error = where + "not a finite time: " + quote_line(line);
        ok = false;
        continue;
      case EventLine::kTime:
        break;
    }
    if (!sort && !events->times.empty() && time < events->times.back()) {
      *error = where + "time " + spelled(time) + " is smaller than " +
               spelled(events->times.back()) + " on line " + std::to_string(events->lines.back()) +
               " (--sort sorts the events): " + quote_line(line);
      ok = false;
      continue;
    }
    events->times.push_back(time);
    events->lines.push_back(number);
  }
  const bool read_failed = ok && reader.failed();
  const int read_errno = errno;
  ::close(fd);
  if (read_failed) {
    *error = path + ": cannot read: " + std::strerror(read_errno);
    return false;
  }
  if (!ok) return false;
  if (sort && !std::is_sorted(events->times.begin(), events->times.end())) {
    sort_events(events);
    events->reordered = true;
  }
  return true;
}

}  // namespace periodscan
