// The progress shown on standard error during a survey: a bar with the rate
// and the time left, redrawn in place on a terminal, and, for a run that will
// take long, one line with its expected length, shown once the first seconds
// have measured the rate.
//
// The rate is measured from the first report of progress on, not from the
// start: the engine prepares before it finishes its first frequency, and a
// rate taken from the start would make a long run look many times longer.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace periodscan {

// "45 s", "2 min 03 s", "1 h 05 min"; seconds are rounded up.
std::string duration_text(double seconds);

// The bar line, without the carriage return: percentage, bar, and when the
// rate (fits per second) is known, the rate and the time left; e.g.
// " 45% [##########..............] 1234 fits/s, 2 min 03 s left".
std::string progress_line(std::size_t done, std::size_t total, double rate);

class ProgressBar {
 public:
  // `draw`: redraw the bar on `fd` (a terminal). `announce`: write the line
  // about a long run.
  ProgressBar(int fd, bool draw, bool announce);

  void update(std::size_t done, std::size_t total);
  // Clears the bar.
  void finish();

 private:
  using Clock = std::chrono::steady_clock;
  double seconds_since(Clock::time_point then) const;
  void write_text(const std::string& text);

  int fd_;
  bool draw_;
  bool announce_;
  bool announced_ = false;
  bool drawn_ = false;
  Clock::time_point start_;
  Clock::time_point last_draw_;
  bool measuring_ = false;  // a first report has come
  Clock::time_point first_report_;
  std::size_t first_done_ = 0;
};

}  // namespace periodscan
