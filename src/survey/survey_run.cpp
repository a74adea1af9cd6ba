#include "survey/survey_run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "fileread/text_lines.h"
#include "periodscan_version.h"
#include "results/survey_grid.h"
#include "results/survey_table.h"
#include "scan/frequency_survey.h"
#include "scan/survey_scale.h"
#include "survey/catalogue_metadata.h"
#include "survey/event_times.h"
#include "survey/fit_columns.h"
#include "survey/interval_file.h"
#include "survey/progress_bar.h"
#include "survey/staged_file.h"
#include "survey/survey_command.h"
#include "survey/survey_setup.h"
#include "textio/fd_writer.h"

namespace periodscan {

namespace {

constexpr std::string_view kProgram = "periodscan-survey";
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// More windows than this is a mistyped step, not a survey.
constexpr std::size_t kMaxWindows = 10'000'000;

std::string spelled(double value) {
  std::string text;
  append_number(&text, value);
  return text;
}

// A short spelling for the closing line.
std::string brief(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

// A count held in a double: whole counts as integers ("100000001"), others
// (inf, nan, counts beyond 1e15) as brief() spells them.
std::string brief_count(double value) {
  if (!(value >= 0.0 && value < 1e15 && value == std::floor(value))) return brief(value);
  return std::to_string(static_cast<std::int64_t>(value));
}

// A count and its noun, singular for exactly one: "1 window", "2 windows".
std::string counted(std::size_t count, std::string_view noun) {
  return std::to_string(count) + " " + std::string(noun) + (count == 1 ? "" : "s");
}

// Whether the output `path` is the input `input` ("-": standard input).
bool same_file(const std::string& path, const std::string& input) {
  struct stat sa;
  struct stat sb;
  const bool found =
      input == kStandardInput ? ::fstat(STDIN_FILENO, &sb) == 0 : ::stat(input.c_str(), &sb) == 0;
  return found && ::stat(path.c_str(), &sa) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

// A closed standard stream is opened on /dev/null for reading, so that no
// file of the run takes its number (and a message meant for the terminal
// lands in a result file); writing to it then fails as it should. Returns
// whether standard input was closed.
bool keep_standard_streams_taken() {
  bool input_closed = false;
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    input_closed = input_closed || fd == STDIN_FILENO;
    const int opened = ::open("/dev/null", O_RDONLY);
    if (opened >= 0 && opened != fd) ::close(opened);
  }
  return input_closed;
}

// The mean of origin + x over x, kept in range for any finite span.
double mean_time(double origin, std::span<const double> x) {
  double mean = 0.0;
  for (std::size_t i = 0; i < x.size(); ++i) mean += (x[i] - mean) / double(i + 1);
  return origin + mean;
}

// The highest DeltaLogLik of a run, for the closing line.
struct Peak {
  bool found = false;
  SpectrumColumns columns;
  double mean_time = 0.0;  // of the events fitted
  double window_start = 0.0;
  double window_end = 0.0;

  void offer(const SpectrumColumns& candidate, double mean, double start = 0.0, double end = 0.0) {
    if (std::isnan(candidate.delta_log_lik)) return;
    if (found && !(candidate.delta_log_lik > columns.delta_log_lik)) return;
    found = true;
    columns = candidate;
    mean_time = mean;
    window_start = start;
    window_end = end;
  }

  // With the maximum the fit places best, which peak_time alone does not
  // tell (see survey/fit_columns.h).
  std::string describe() const {
    std::string text = "period " + brief(columns.period) + " (frequency " +
                       brief(columns.frequency) + "): delta_log_lik " +
                       brief(columns.delta_log_lik) + ", amplitude " + brief(columns.amplitude) +
                       ", peak_time " + brief(columns.peak_time);
    if (std::isnan(columns.peak_time)) return text;
    return text + " (rate maximum at " +
           brief(rate_maximum_near(columns.peak_time, columns.period, mean_time)) +
           ", nearest the mean event time)";
  }
};

class SurveyRun {
 public:
  SurveyRun(SurveyCommand command, bool input_closed)
      : command_(std::move(command)), input_closed_(input_closed) {}

  int run() {
    std::string error;
    const bool ok =
        load(&error) && (command_.moving_windows() ? run_windows(&error) : run_spectrum(&error));
    if (!ok) {
      report(error);
      return kSurveyInputError;
    }
    const std::string line = std::string(kProgram) + ": " + closing_ + "\n";
    if (!write_all(STDOUT_FILENO, line)) {
      report("standard output did not take the closing line (" + std::string(std::strerror(errno)) +
             "); the results are written: " + written_);
      return kSurveyInputError;
    }
    return 0;
  }

 private:
  static void report(const std::string& error) {
    (void)write_all(STDERR_FILENO, std::string(kProgram) + ": " + error + "\n");
  }

  GridChoice grid_choice() const {
    return GridChoice{command_.min_period, command_.max_period, command_.samples_per_peak,
                      command_.periods};
  }

  double t1() const { return events_.times.front(); }
  double span() const { return events_.times.back() - events_.times.front(); }

  bool load(std::string* error) {
    // Read from /dev/null, it would seem to hold no events.
    if (input_closed_ &&
        (command_.events == kStandardInput || command_.intervals == kStandardInput)) {
      *error = std::string(command_.events == kStandardInput ? "the events" : "the intervals") +
               " come from standard input ('-'), and standard input is closed";
      return false;
    }
    if (!read_event_times(command_.events, command_.sort, &events_, error)) return false;
    const std::size_t n = events_.times.size();
    if (n < 2) {
      *error = input_name(command_.events) + ": " + std::to_string(n) +
               (n == 1 ? " event" : " events") + ": a survey needs at least two";
      return false;
    }
    if (!(span() > 0.0)) {
      *error = input_name(command_.events) + ": every event is at time " + spelled(t1()) +
               ": the span is zero";
      return false;
    }
    if (!std::isfinite(span())) {
      *error = input_name(command_.events) + ": the span of the events, from " + spelled(t1()) +
               " to " + spelled(events_.times.back()) + ", overflows a double";
      return false;
    }
    // Standard input has no description beside it.
    if (command_.events != kStandardInput &&
        !read_catalogue_metadata(command_.events, &metadata_, &have_metadata_, error)) {
      return false;
    }
    if (!command_.intervals.empty()) {
      if (!read_intervals(command_.intervals, &intervals_, error)) return false;
      const std::size_t outside = first_event_outside(events_.times, intervals_.intervals);
      if (outside < n) {
        *error = input_name(command_.events) + ":" + std::to_string(events_.lines[outside]) +
                 ": the event at " + spelled(events_.times[outside]) +
                 " lies outside every interval of " + input_name(command_.intervals);
        return false;
      }
    }
    if (command_.moving_windows()) {
      if (command_.window > span()) {
        *error = "the window (" + spelled(command_.window) +
                 ") is longer than the span of the events (" + spelled(span()) + ")";
        return false;
      }
      if ((span() - command_.window) / command_.step >= double(kMaxWindows)) {
        *error = "--step " + spelled(command_.step) + " gives more than " +
                 std::to_string(kMaxWindows) + " windows";
        return false;
      }
    }
    // Scales the engine cannot represent (a grid too large is reported as
    // such by the run).
    const double length = command_.moving_windows() ? command_.window : span();
    if (grid_fits(grid_choice(), length)) {
      const ScaleProblem scale =
          survey_scale_problem(events_.times, intervals_.intervals, 1.0 / command_.min_period,
                               command_.periods == 0, command_.moving_windows() ? length : 0.0);
      if (!scale.reason.empty()) {
        *error = input_name(scale.in_intervals ? command_.intervals : command_.events) + ": " +
                 scale.reason;
        return false;
      }
    }
    return true;
  }

  bool open_output(StagedFile* file, const std::string& path, std::string* error) const {
    for (const std::string& input : {command_.events, command_.intervals, metadata_.path}) {
      if (!input.empty() && same_file(path, input)) {
        *error = path + ": is an input of this run; choose another " +
                 (command_.output_file.empty() ? "--output" : "-o");
        return false;
      }
    }
    // A folder named by -o is found now rather than when the finished table
    // cannot take its name (with --output the rename reports it, as before).
    struct stat info;
    const bool exists = ::stat(path.c_str(), &info) == 0;
    if (!command_.output_file.empty() && exists && S_ISDIR(info.st_mode)) {
      *error = path + ": is a folder; -o names the file to write";
      return false;
    }
    // The table is renamed into place: over a device or a named pipe the
    // rename would replace the node itself (/dev/null, or /dev/full as root).
    if (exists && !S_ISDIR(info.st_mode) && !S_ISREG(info.st_mode)) {
      *error = path + ": is not a regular file (a device or a named pipe); choose another " +
               (command_.output_file.empty() ? "--output" : "-o");
      return false;
    }
    return file->open(path, error);
  }

  // What the window table adds to the record.
  struct WindowRecord {
    std::size_t windows = 0;
    std::size_t not_fitted = 0;
    std::string grid_file;
  };

  void append_record(std::string* out, const FrequencyGrid& grid, double grid_length,
                     const WindowRecord* windows = nullptr) const {
    const auto key = [out](std::string_view name, std::string_view value) {
      append_record_line(out, name, value);
    };
    const auto count = [](std::size_t value) { return std::to_string(value); };
    append_comment(out, std::string(kProgram) + ": " + (windows ? "moving windows" : "spectrum"));
    key("format", "2");
    key("table", windows ? "windows" : "spectrum");
    key("command", shell_quoted(command_.arguments));
    key("events", command_.events);
    key("events_read", count(events_.times.size()));
    key("lines_skipped", count(events_.skipped_lines));
    key("sorted", events_.reordered ? "yes" : "no");
    key("first_time", record_number(t1()));
    key("last_time", record_number(events_.times.back()));
    key("span", record_number(span()));
    if (have_metadata_) {
      if (metadata_.unit) key("unit", *metadata_.unit);
      if (metadata_.origin) key("origin", *metadata_.origin);
      key("description", metadata_.path);
    }
    double watched = span();
    if (intervals_.intervals.empty()) {
      key("exposure", "whole_span");
    } else {
      watched = 0.0;
      for (const Interval& interval : intervals_.intervals)
        watched += interval.end - interval.start;
      key("exposure", "intervals");
      key("intervals_file", command_.intervals);
      key("intervals", count(intervals_.intervals.size()));
    }
    key("exposure_total", record_number(watched));
    key("grid", command_.periods > 0 ? "log_periods" : "resolving");
    key("min_period", record_number(command_.min_period));
    key("max_period", record_number(command_.max_period));
    if (command_.periods == 0) {
      key("samples_per_peak", record_number(command_.samples_per_peak));
      key("grid_length", record_number(grid_length));
      key("frequency_step", record_number(grid.step()));
    }
    key("frequencies", count(grid.size()));
    if (windows) {
      key("windows", count(windows->windows));
      key("window_length", record_number(command_.window));
      key("window_step", record_number(command_.step));
      key("windows_not_fitted", count(windows->not_fitted));
      key("grid_file", windows->grid_file);
    }
    key("model", "Mju*(1 + A*cos(2*pi*frequency*(t - t1) + phase))");
    key("peak_time", std::string("time of a rate maximum, reduced into [0, period) from time 0; "
                                 "nan where amplitude = 0; the maxima are peak_time + k*period, "
                                 "and the fit places best the one nearest the mean time of ") +
                         (windows ? "the window's events" : "the events"));
    key("rayleigh_z", "|sum exp(2*pi*i*frequency*(t - t1))|^2/N");
  }

  SurveyOptions survey_options(ProgressBar* bar, std::size_t done_before, std::size_t total) const {
    SurveyOptions options;
    // Never more threads than cores: more would only share them.
    const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
    options.threads = command_.threads == 0 ? 0 : std::min(command_.threads, cores);
    options.progress = [bar, done_before, total](std::size_t done, std::size_t) {
      bar->update(done_before + done, total);
    };
    return options;
  }

  ProgressBar make_bar() const {
    return ProgressBar(STDERR_FILENO, !command_.quiet && ::isatty(STDERR_FILENO) == 1,
                       !command_.quiet);
  }

  bool grid_too_large(double length, double windows, std::string* error) const {
    const double rows = grid_size(grid_choice(), length);
    *error = "the table would have more than " + std::to_string(std::int64_t(kMaxTableRows)) +
             " rows (" + brief_count(rows) + " frequencies" +
             (windows > 1.0 ? " x " + brief_count(windows) + " windows" : std::string()) + "): " +
             (command_.periods > 0 ? "lower --periods"
                                   : "raise --min-period or lower --samples-per-peak") +
             (command_.moving_windows() ? ", or raise --step" : "");
    return false;
  }

  // Only a resolving grid can be that small: --periods asks for two or more.
  bool grid_too_small(double length, std::string* error) const {
    const double band = 1.0 / command_.min_period - 1.0 / command_.max_period;
    const double step = 1.0 / (command_.samples_per_peak * length);
    *error = "the grid holds one frequency: the band from 1/--max-period to 1/--min-period (" +
             brief(band) + ") is narrower than its step, 1/(--samples-per-peak*" +
             (command_.moving_windows() ? "--window" : "span") + ") (" + brief(step) +
             "); a spectrum needs at least two: raise --samples-per-peak, or widen the band";
    return false;
  }

  bool run_spectrum(std::string* error) {
    const std::vector<double> x = relative_times(events_.times, t1());
    const Exposure exposure = sample_exposure(intervals_.intervals, t1(), span());
    if (!grid_fits(grid_choice(), span())) return grid_too_large(span(), 1.0, error);
    const FrequencyGrid grid = make_grid(grid_choice(), span());
    if (grid.size() < 2) return grid_too_small(span(), error);
    const std::string path = output_paths(command_).table;
    StagedFile file;
    // Created before the long part, so that a folder that cannot be written
    // is found at once.
    if (!open_output(&file, path, error)) return false;

    ProgressBar bar = make_bar();
    const std::vector<SpectrumRow> rows =
        survey_spectrum(x, grid, exposure, survey_options(&bar, 0, grid.size()));
    bar.finish();

    std::string* out = file.buffer();
    append_record(out, grid, span());
    append_spectrum_header(out);
    Peak peak;
    const double mean = mean_time(t1(), x);
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const SpectrumColumns columns = spectrum_columns(grid.at(i), rows[i], t1(), t1());
      peak.offer(columns, mean);
      append_spectrum_row(out, columns);
      if (!file.flush_if_full(error)) return false;
    }
    if (!file.commit(error)) return false;
    written_ = path;
    closing_ = "wrote " + path + " (" + counted(rows.size(), "period") +
               "); highest peak: " + (peak.found ? peak.describe() : "none");
    return true;
  }

  // Window w (from 0) starts at t1 + w*S; windows end no later than the last
  // event.
  std::size_t window_count() const {
    const double last = events_.times.back();
    std::size_t count = static_cast<std::size_t>((span() - command_.window) / command_.step) + 1;
    // The quotient may round either way: settle the count on the starts
    // themselves.
    while (window_start(count) + command_.window <= last) ++count;
    while (count > 1 && window_start(count - 1) + command_.window > last) --count;
    return count;
  }

  double window_start(std::size_t w) const { return t1() + double(w) * command_.step; }

  bool run_windows(std::string* error) {
    const double length = command_.window;
    const std::size_t windows = window_count();
    // Every row of the table, and every cell of the grid, is held: bounded
    // before any is allocated.
    if (!grid_fits(grid_choice(), length, double(windows))) {
      return grid_too_large(length, double(windows), error);
    }
    const FrequencyGrid grid = make_grid(grid_choice(), length);
    if (grid.size() < 2) return grid_too_small(length, error);
    const std::size_t periods = grid.size();
    const OutputPaths paths = output_paths(command_);
    const std::string& table_path = paths.table;
    const std::string& grid_path = paths.grid;

    // Which events each window holds, and which windows can be fitted.
    struct Window {
      double start, end;
      std::size_t first, last;  // events [first, last)
      bool fitted;
      std::vector<Interval> exposure;  // on the axis t - (first event)
    };
    std::vector<Window> plan(windows);
    std::size_t fitted = 0;
    const std::vector<double>& times = events_.times;
    for (std::size_t w = 0; w < windows; ++w) {
      Window& window = plan[w];
      window.start = window_start(w);
      window.end = window.start + length;
      window.first =
          std::size_t(std::lower_bound(times.begin(), times.end(), window.start) - times.begin());
      window.last =
          std::size_t(std::upper_bound(times.begin(), times.end(), window.end) - times.begin());
      // Two events at one time have no span to fit a period over.
      window.fitted =
          window.last - window.first >= 2 && times[window.last - 1] > times[window.first];
      if (window.fitted) {
        const double origin = times[window.first];
        window.exposure =
            intervals_.intervals.empty()
                ? std::vector<Interval>{Interval{window.start - origin, window.end - origin}}
                : clip_intervals(intervals_.intervals, window.start, window.end, origin);
        // Events on the ends of intervals that only touch the window leave
        // it no watched time.
        window.fitted = !window.exposure.empty();
      }
      fitted += window.fitted;
    }

    const WindowRecord record{windows, windows - fitted, grid_path};
    StagedFile table;
    StagedFile grid_file;
    if (!open_output(&table, table_path, error) || !open_output(&grid_file, grid_path, error)) {
      return false;
    }
    std::string* out = table.buffer();
    append_record(out, grid, length, &record);
    append_window_header(out);

    // delta_log_lik, row k (period) by column w (window).
    std::vector<double> cells(periods * windows, kNaN);
    ProgressBar bar = make_bar();
    std::size_t done = 0;
    Peak peak;
    for (std::size_t w = 0; w < windows; ++w) {
      const Window& window = plan[w];
      const std::size_t count = window.last - window.first;
      std::vector<SpectrumRow> rows;
      double origin = 0.0;
      double mean = kNaN;
      if (window.fitted) {
        origin = times[window.first];
        const std::vector<double> x =
            relative_times(std::span(times).subspan(window.first, count), origin);
        mean = mean_time(origin, x);
        const Exposure exposure = Exposure::intervals(window.exposure);
        rows = survey_spectrum(x, grid, exposure, survey_options(&bar, done, fitted * periods));
        done += periods;
      }
      for (std::size_t k = 0; k < periods; ++k) {
        const SpectrumColumns columns = window.fitted
                                            ? spectrum_columns(grid.at(k), rows[k], origin, t1())
                                            : blank_columns(grid.at(k));
        cells[k * windows + w] = columns.delta_log_lik;
        peak.offer(columns, mean, window.start, window.end);
        append_window_row(out, window.start, window.end, count, columns);
      }
      if (!table.flush_if_full(error)) return false;
    }
    bar.finish();

    const ZRange z = z_range(cells);
    SurferGridHeader header;
    header.columns = windows;
    header.rows = periods;
    header.x_min = window_start(0) + length / 2;
    header.x_max = window_start(windows - 1) + length / 2;
    header.y_min = grid_axis(grid.at(0));
    header.y_max = grid_axis(grid.at(periods - 1));
    header.z_min = z.min;
    header.z_max = z.max;
    std::string* grd = grid_file.buffer();
    append_grid_header(grd, header);
    for (std::size_t k = 0; k < periods; ++k) {
      append_grid_row(grd, std::span(cells).subspan(k * windows, windows));
      if (!grid_file.flush_if_full(error)) return false;
    }
    // Both take their names, or neither does.
    if (!commit_together(&table, &grid_file, error)) return false;
    written_ = table_path + " and " + grid_path;
    closing_ = "wrote " + table_path + " and " + grid_path + " (" + counted(windows, "window") +
               ", " + counted(periods, "period") + "); highest peak: " +
               (peak.found ? "window " + brief(peak.window_start) + " to " +
                                 brief(peak.window_end) + ", " + peak.describe()
                           : "none (no window holds two distinct event times)");
    return true;
  }

  double grid_axis(double frequency) const {
    return command_.periods > 0 ? std::log10(1.0 / frequency) : frequency;
  }

  SurveyCommand command_;
  bool input_closed_ = false;
  EventTimes events_;
  IntervalList intervals_;
  CatalogueMetadata metadata_;
  bool have_metadata_ = false;
  std::string closing_;
  std::string written_;  // the result files, for a message after they are written
};

}  // namespace

int survey_main(int argc, char** argv) {
  const bool input_closed = keep_standard_streams_taken();
  const std::vector<std::string_view> args(argv, argv + argc);
  SurveyCommand command;
  std::string error;
  switch (parse_survey_command(args, &command, &error)) {
    case CommandStatus::kHelp:
      if (write_all(STDOUT_FILENO, survey_help())) return 0;
      (void)write_all(STDERR_FILENO, std::string(kProgram) +
                                         ": standard output did not take the help text (" +
                                         std::strerror(errno) + ")\n");
      return kSurveyInputError;
    case CommandStatus::kVersion:
      if (write_all(STDOUT_FILENO, std::string(kProgram) + " " + PERIODSCAN_VERSION + "\n")) {
        return 0;
      }
      (void)write_all(STDERR_FILENO, std::string(kProgram) +
                                         ": standard output did not take the version (" +
                                         std::strerror(errno) + ")\n");
      return kSurveyInputError;
    case CommandStatus::kUsage:
      (void)write_all(STDERR_FILENO,
                      std::string(kProgram) + ": " + error + "\n" + std::string(survey_usage()));
      return kSurveyUsageError;
    case CommandStatus::kRun:
      break;
  }
  try {
    return SurveyRun(std::move(command), input_closed).run();
  } catch (const std::bad_alloc&) {
    // Result files still under their temporary names were removed on the
    // way out.
    (void)write_all(STDERR_FILENO, std::string(kProgram) + ": not enough memory for this run\n");
    return kSurveyInputError;
  }
}

}  // namespace periodscan
