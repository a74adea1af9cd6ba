#include "survey/progress_bar.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "textio/fd_writer.h"

namespace periodscan {

namespace {

constexpr int kBarWidth = 24;
constexpr double kRedrawSeconds = 0.2;
// The rate is taken as known after this long ...
constexpr double kMeasureSeconds = 2.0;
// ... and a run expected to last longer than this is announced.
constexpr double kLongRunSeconds = 600.0;
constexpr std::size_t kLineWidth = 78;

}  // namespace

std::string duration_text(double seconds) {
  const long long whole = static_cast<long long>(std::ceil(std::max(seconds, 0.0)));
  char text[64];
  if (whole < 60) {
    std::snprintf(text, sizeof text, "%lld s", whole);
  } else if (whole < 3600) {
    std::snprintf(text, sizeof text, "%lld min %02lld s", whole / 60, whole % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld h %02lld min", whole / 3600, whole / 60 % 60);
  }
  return text;
}

std::string progress_line(std::size_t done, std::size_t total, double rate) {
  const double fraction = total == 0 ? 1.0 : double(done) / double(total);
  const int filled = static_cast<int>(fraction * kBarWidth);
  std::string line;
  char percent[16];
  std::snprintf(percent, sizeof percent, "%3d%% [", static_cast<int>(fraction * 100.0));
  line += percent;
  line.append(std::size_t(filled), '#');
  line.append(std::size_t(kBarWidth - filled), '.');
  line += "]";
  if (rate > 0.0) {
    char text[48];
    std::snprintf(text, sizeof text, " %.0f fits/s, ", rate);
    line += text;
    line += duration_text(double(total - done) / rate);
    line += " left";
  }
  return line;
}

ProgressBar::ProgressBar(int fd, bool draw, bool announce)
    : fd_(fd), draw_(draw), announce_(announce), start_(Clock::now()), last_draw_(start_) {}

double ProgressBar::seconds_since(Clock::time_point then) const {
  return std::chrono::duration<double>(Clock::now() - then).count();
}

void ProgressBar::write_text(const std::string& text) {
  // Progress is a courtesy: a failing standard error must not end the run.
  (void)write_all(fd_, text);
}

void ProgressBar::update(std::size_t done, std::size_t total) {
  if (!measuring_) {
    measuring_ = true;
    first_report_ = Clock::now();
    first_done_ = done;
  }
  const double measured = seconds_since(first_report_);
  const double rate = measured >= kMeasureSeconds && done > first_done_
                          ? double(done - first_done_) / measured
                          : 0.0;
  if (announce_ && !announced_ && rate > 0.0 && done < total) {
    announced_ = true;
    const double expected = seconds_since(start_) + double(total - done) / rate;
    if (expected > kLongRunSeconds) {
      std::string line =
          "periodscan-survey: this run will take about " + duration_text(expected) + " in all\n";
      if (drawn_) line = "\r" + std::string(kLineWidth, ' ') + "\r" + line;
      write_text(line);
      drawn_ = false;
    }
  }
  if (!draw_ || (drawn_ && seconds_since(last_draw_) < kRedrawSeconds && done < total)) return;
  last_draw_ = Clock::now();
  std::string line = progress_line(done, total, rate);
  if (line.size() < kLineWidth) line.append(kLineWidth - line.size(), ' ');
  write_text("\r" + line);
  drawn_ = true;
}

void ProgressBar::finish() {
  if (drawn_) write_text("\r" + std::string(kLineWidth, ' ') + "\r");
  drawn_ = false;
}

}  // namespace periodscan
