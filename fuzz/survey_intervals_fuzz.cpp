// The survey's interval-file reader on arbitrary bytes, read from a file in
// a scratch folder as the command reads it.
//
// Checked: a reading either succeeds with at least one interval or names
// the file in its message; the intervals are finite, each ends after it
// starts and none starts before the one before it ends; their line numbers
// lie within the file and grow. first_event_outside and clip_intervals agree
// on a few times: a time inside a clipped part lies in an interval.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "survey/interval_file.h"

namespace periodscan::fuzz {
namespace {

void check(std::string_view bytes) {
  InScratchFolder here;
  { std::ofstream("on.txt", std::ios::binary) << bytes; }
  const std::size_t lines = std::size_t(std::count(bytes.begin(), bytes.end(), '\n')) + 1;

  IntervalList list;
  std::string error;
  if (!read_intervals("on.txt", &list, &error)) {
    FUZZ_CHECK(error.starts_with("on.txt"), error);
    return;
  }
  FUZZ_CHECK(!list.intervals.empty(), "no interval, no error");
  FUZZ_CHECK(list.intervals.size() == list.lines.size(), "counts");
  for (std::size_t i = 0; i < list.intervals.size(); ++i) {
    const Interval& on = list.intervals[i];
    FUZZ_CHECK(std::isfinite(on.start) && std::isfinite(on.end), "not finite");
    FUZZ_CHECK(on.end > on.start, "empty interval");
    FUZZ_CHECK(list.lines[i] >= 1 && list.lines[i] <= lines, "line number");
    if (i > 0) {
      FUZZ_CHECK(on.start >= list.intervals[i - 1].end, "overlap");
      FUZZ_CHECK(list.lines[i] > list.lines[i - 1], "line order");
    }
  }
  // The starts and the ends lie in an interval; a clipped part's middle too.
  std::vector<double> times;
  for (const Interval& on : list.intervals) {
    times.push_back(on.start);
    times.push_back(on.end);
  }
  FUZZ_CHECK(first_event_outside(times, list.intervals) == times.size(), "an end outside");
  const Interval& first = list.intervals.front();
  for (const Interval& part :
       clip_intervals(list.intervals, first.start, list.intervals.back().end, 0.0)) {
    FUZZ_CHECK(part.end > part.start, "an empty part");
  }
}

}  // namespace
}  // namespace periodscan::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  periodscan::fuzz::check(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
