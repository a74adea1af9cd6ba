// The survey's event-file reader on arbitrary bytes, read from a file in a
// scratch folder as the command reads it.
//
// Checked: a reading either succeeds or names the file in its message; the
// times read are finite and, unless sorted, in the file's order and never
// decreasing; every line number lies within the file and grows (before
// sorting); events and skipped lines never outnumber the lines. With --sort
// the same file gives the same events in time order (a stable sort), or the
// same failure when it is not about the order.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "survey/event_times.h"

namespace periodscan::fuzz {
namespace {

void check(std::string_view bytes) {
  InScratchFolder here;
  { std::ofstream("ev.txt", std::ios::binary) << bytes; }
  const std::size_t lines = std::size_t(std::count(bytes.begin(), bytes.end(), '\n')) + 1;

  EventTimes plain;
  std::string plain_error;
  const bool plain_ok = read_event_times("ev.txt", false, &plain, &plain_error);
  EventTimes sorted;
  std::string sorted_error;
  const bool sorted_ok = read_event_times("ev.txt", true, &sorted, &sorted_error);

  if (!plain_ok) FUZZ_CHECK(plain_error.starts_with("ev.txt:"), plain_error);
  if (!sorted_ok) FUZZ_CHECK(sorted_error.starts_with("ev.txt:"), sorted_error);
  // Sorting only lifts the order rule.
  FUZZ_CHECK(!plain_ok || sorted_ok, sorted_error);
  if (!sorted_ok && plain_error.find("(--sort sorts the events)") == std::string::npos) {
    FUZZ_CHECK(!plain_ok && plain_error == sorted_error, sorted_error);
  }
  if (plain_ok) {
    FUZZ_CHECK(plain.times.size() == plain.lines.size(), "counts");
    FUZZ_CHECK(plain.times.size() + plain.skipped_lines <= lines, "more events than lines");
    FUZZ_CHECK(!plain.reordered, "reordered without --sort");
    for (std::size_t i = 0; i < plain.times.size(); ++i) {
      FUZZ_CHECK(std::isfinite(plain.times[i]), "a time that is not finite");
      FUZZ_CHECK(plain.lines[i] >= 1 && plain.lines[i] <= lines, "line number");
      if (i > 0) {
        FUZZ_CHECK(plain.times[i] >= plain.times[i - 1], "decreasing");
        FUZZ_CHECK(plain.lines[i] > plain.lines[i - 1], "line order");
      }
    }
    FUZZ_CHECK(sorted.times == plain.times && sorted.lines == plain.lines, "sorted differs");
  }
  if (sorted_ok) {
    FUZZ_CHECK(std::is_sorted(sorted.times.begin(), sorted.times.end()), "not sorted");
    FUZZ_CHECK(sorted.times.size() + sorted.skipped_lines <= lines, "more events than lines");
  }
}

}  // namespace
}  // namespace periodscan::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  periodscan::fuzz::check(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
