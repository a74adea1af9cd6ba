#include "survey/survey_command.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <set>
#include <system_error>

#include "survey/number_text.h"

namespace periodscan {

namespace {

constexpr std::string_view kUsage =
    "usage: periodscan-survey EVENTS --min-period TMIN --max-period TMAX\n"
    "           [--samples-per-peak K | --periods N] [--window L --step S]\n"
    "           [--intervals FILE] [-o FILE | --output PREFIX] [--threads N] [--sort]\n"
    "           [--quiet]\n"
    "       periodscan-survey --help | --version\n";

constexpr std::string_view kHelp =
    "periodscan-survey: the maximum-likelihood spectrum of a periodic rate\n"
    "\n"
    "Fits Lambda(t) = Mju*(1 + A*cos(Omega*(t - t1) + Fi)) to the event times at\n"
    "every trial period, converged in double precision, and reports the increase\n"
    "of the log-likelihood over a constant rate (DeltaLogLik), A, Fi, the time of\n"
    "the peak of the fitted rate and the Rayleigh statistic.\n"
    "\n"
    "usage: periodscan-survey EVENTS --min-period TMIN --max-period TMAX [options]\n"
    "\n"
    "EVENTS                one event a line, its time the first number of the line;\n"
    "                      blank lines and '#' comments are skipped. Times must not\n"
    "                      decrease (see --sort). '-' reads standard input (then\n"
    "                      -o or --output is needed). A decimal comma (0,5) is\n"
    "                      refused: write decimal points (periodscan-prepare\n"
    "                      --decimal-comma converts a CSV table with a header row).\n"
    "                      If its description from periodscan-prepare lies beside\n"
    "                      it (EVENTS with .json for its extension, or\n"
    "                      EVENTS.json), the \"unit\" and \"origin\" given there\n"
    "                      are recorded in the output.\n"
    "--min-period TMIN     shortest trial period, in the unit of the times\n"
    "--max-period TMAX     longest trial period\n"
    "--samples-per-peak K  frequencies from 1/TMAX to 1/TMIN in steps of\n"
    "                      1/(K*span), span = last time - first time (with windows:\n"
    "                      1/(K*L)); default 5\n"
    "--periods N           instead, the interactive program's grid: N periods from\n"
    "                      TMIN to TMAX, evenly spaced in log10 of the period\n"
    "--window L            scan windows of length L ...\n"
    "--step S              ... starting every S, from the first event on; window w\n"
    "                      holds the events from t1 + (w-1)*S to L later, ends\n"
    "                      included, and is fitted over its own length\n"
    "--intervals FILE      observation intervals, 'start end' a line on the time axis\n"
    "                      of EVENTS, sorted and not overlapping; the rate is\n"
    "                      integrated over these only, and every event must lie in\n"
    "                      one; '-' reads standard input\n"
    "-o FILE               the table is written to FILE; with --window the grid goes\n"
    "                      beside it, named as FILE with .grd for its extension\n"
    "                      (-o runs/q.tsv: runs/q.tsv and runs/q.grd)\n"
    "--output PREFIX       or result files PREFIX.spectrum.tsv, or with --window\n"
    "                      PREFIX.windows.tsv and PREFIX.windows.grd; default: the\n"
    "                      name of EVENTS without its extension, in this folder\n"
    "--threads N           threads to use, at most 1024; default (0) every core,\n"
    "                      and never more than the machine's cores. The rows are\n"
    "                      the same bytes for any N\n"
    "--sort                sort the events instead of stopping at one out of order\n"
    "--quiet               no progress bar and no run-time estimate\n"
    "--help                this text\n"
    "--version             the program's name and release number\n"
    "\n"
    "Output: '#' lines recording the run, then a header row and one tab-separated\n"
    "row per period: period frequency delta_log_lik amplitude phase peak_time\n"
    "rayleigh_z. phase is Fi in [0, 2 pi), relative to the first event t1;\n"
    "peak_time = (t1 - Fi/Omega) mod period: the fitted rate peaks at\n"
    "peak_time + k*period on the time axis of EVENTS (for times in days since a\n"
    "midnight and a period of 1, peak_time is the time of day); nan where A = 0.\n"
    "Read the maximum nearest the mean time of the events (of the window's\n"
    "events): there the fit follows the data, and it moves little from one row\n"
    "of a peak to the next, while peak_time, reduced by each row's own period,\n"
    "drifts by (that time / period) times the change of period.\n"
    "rayleigh_z = |sum exp(i Omega (t - t1))|^2 / N.\n"
    "PREFIX.windows.tsv has the columns window_start window_end events before these;\n"
    "windows with fewer than two distinct event times (or, with --intervals, no\n"
    "watched time) are not fitted and hold nan. PREFIX.windows.grd is a Surfer ASCII\n"
    "grid of delta_log_lik: x (columns) the centre of each window, y (rows) the\n"
    "frequency, or with --periods log10 of the period, so that y is evenly spaced;\n"
    "windows not fitted hold the blank value 1.70141e38.\n"
    "\n"
    "The record: after the title line ('# periodscan-survey: spectrum' or\n"
    "'# periodscan-survey: moving windows') each '#' line is '# key: value', each\n"
    "key once, to be read by key: format (2), table (spectrum or windows),\n"
    "command, events ('-' for standard input), events_read, lines_skipped, sorted\n"
    "(yes when --sort reordered the events), first_time, last_time, span, unit,\n"
    "origin and description (when a description was read), exposure (whole_span\n"
    "or intervals), intervals_file and intervals (with --intervals),\n"
    "exposure_total, grid (resolving or log_periods), min_period, max_period,\n"
    "samples_per_peak, grid_length and frequency_step (resolving grid),\n"
    "frequencies (rows per window); in the window table also windows,\n"
    "window_length, window_step, windows_not_fitted and grid_file; then model,\n"
    "peak_time and rayleigh_z. Times and periods are written with 17 digits, so\n"
    "they read back exactly. A table holds frequencies (times windows) rows.\n"
    "\n"
    "Limits: at most 100000000 rows in a table (frequencies, times windows for\n"
    "moving windows), at most 10000000 windows, at most 1024 threads, lines of at\n"
    "most 1 MiB in EVENTS and FILE; a description of at most 1 MiB. Beyond them\n"
    "the run is refused before it starts. EVENTS and FILE must be regular files\n"
    "or pipes; a named pipe that nothing is written to for 10 s is refused.\n"
    "\n"
    "Exit status: 0 done; 1 bad input or a failed write (no result file is left\n"
    "behind, and earlier files of those names stay as they were; with --window\n"
    "both files are written or neither), or a closing line that standard output\n"
    "did not take (the results are written); 2 bad command line. A run ended by a\n"
    "signal removes its unfinished files and ends by that signal.\n"
    "\n"
    "Examples:\n"
    "  periodscan-survey quakes.txt --min-period 0.1 --max-period 2\n"
    "      writes quakes.spectrum.tsv: the daily cycle and its harmonics\n"
    "  periodscan-survey quakes.txt --min-period 0.5 --max-period 2 --window 60 --step 10\n"
    "      writes quakes.windows.tsv and quakes.windows.grd\n"
    "  periodscan-survey quakes.txt --min-period 0.1 --max-period 2 -o runs/daily.tsv\n"
    "      writes runs/daily.tsv\n";

struct OptionRule {
  std::string_view name;
  bool takes_value;
};

constexpr OptionRule kOptions[] = {
    {"--min-period", true}, {"--max-period", true}, {"--samples-per-peak", true},
    {"--periods", true},    {"--output", true},     {"--window", true},
    {"--step", true},       {"--threads", true},    {"--intervals", true},
    {"--quiet", false},     {"--sort", false},      {"--help", false},
    {"--version", false},   {"-o", true},
};

bool parse_count(std::string_view text, int* value) {
  int parsed = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return false;
  *value = parsed;
  return true;
}

std::string positive_number_error(std::string_view name, std::string_view text) {
  return std::string(name) + " needs a positive number, not '" + std::string(text) + "'";
}

// False for an --output prefix that names no file of its own: "-" (which
// would not mean standard output), a folder ("runs/", "/") or a last part
// "." or ".." (".spectrum.tsv" would be hidden, "..spectrum.tsv" odd).
bool usable_prefix(std::string_view prefix) {
  if (prefix == "-" || prefix.ends_with('/')) return false;
  const std::size_t slash = prefix.rfind('/');
  const std::string_view last = slash == std::string_view::npos ? prefix : prefix.substr(slash + 1);
  return last != "." && last != "..";
}

// FILE without the extension of its last part ("runs/q.tsv" -> "runs/q";
// "runs/.q" keeps its dot).
std::string_view file_stem(std::string_view file) {
  const std::size_t slash = file.rfind('/');
  const std::size_t start = slash == std::string_view::npos ? 0 : slash + 1;
  const std::size_t dot = file.rfind('.');
  return dot != std::string_view::npos && dot > start ? file.substr(0, dot) : file;
}

// Applies one option's value; false with *error set when it is not valid.
bool apply_option(std::string_view name, std::string_view value, SurveyCommand* command,
                  bool* samples_given, std::string* error) {
  double number = 0.0;
  const auto positive = [&](double* target) {
    if (!parse_finite(value, &number) || !(number > 0.0)) {
      *error = positive_number_error(name, value);
      return false;
    }
    *target = number;
    return true;
  };
  if (name == "--min-period") return positive(&command->min_period);
  if (name == "--max-period") return positive(&command->max_period);
  if (name == "--samples-per-peak") {
    *samples_given = true;
    return positive(&command->samples_per_peak);
  }
  if (name == "--window") return positive(&command->window);
  if (name == "--step") return positive(&command->step);
  if (name == "--periods") {
    if (!parse_count(value, &command->periods) || command->periods < 2) {
      *error = "--periods needs a whole number of at least 2, not '" + std::string(value) + "'";
      return false;
    }
    return true;
  }
  if (name == "--threads") {
    if (!parse_count(value, &command->threads) || command->threads < 0 ||
        command->threads > kMaxThreads) {
      *error = "--threads needs a whole number from 0 (every core) to " +
               std::to_string(kMaxThreads) + ", not '" + std::string(value) + "'";
      return false;
    }
    return true;
  }
  if (name == "--output" || name == "--intervals") {
    if (value.empty()) {
      *error = std::string(name) + " needs a file name";
      return false;
    }
    if (name == "--output" && !usable_prefix(value)) {
      *error =
          "--output needs the start of a file name, such as 'runs/quakes' for "
          "runs/quakes.spectrum.tsv, not '" +
          std::string(value) + "'";
      return false;
    }
    (name == "--output" ? command->output : command->intervals) = std::string(value);
    return true;
  }
  if (name == "-o") {
    // The same names as a prefix are no file of their own.
    if (value.empty() || !usable_prefix(value)) {
      *error = "-o needs the name of a file to write, not '" + std::string(value) + "'";
      return false;
    }
    command->output_file = std::string(value);
    return true;
  }
  return true;
}

bool check_command(const SurveyCommand& command, const std::set<std::string_view>& given,
                   bool samples_given, std::string* error) {
  if (command.events.empty()) {
    *error = "no event file given";
    return false;
  }
  if (!given.contains("--min-period") || !given.contains("--max-period")) {
    *error = "--min-period and --max-period are needed";
    return false;
  }
  if (!(command.min_period < command.max_period)) {
    *error = "--min-period must be smaller than --max-period";
    return false;
  }
  if (command.periods > 0) {
    if (samples_given) {
      *error = "--samples-per-peak and --periods exclude each other";
      return false;
    }
    // That grid is built from the periods rounded to 4-byte reals.
    if (command.max_period > FLT_MAX || float(command.min_period) <= 0.0f ||
        !(float(command.min_period) < float(command.max_period))) {
      *error =
          "with --periods, --min-period and --max-period must stay apart, and positive, "
          "as 4-byte reals";
      return false;
    }
  }
  if (given.contains("--window") != given.contains("--step")) {
    *error = "--window and --step go together";
    return false;
  }
  if (command.events == "-" && command.intervals == "-") {
    *error = "the events and the intervals cannot both come from standard input ('-')";
    return false;
  }
  if (!command.output.empty() && !command.output_file.empty()) {
    *error = "-o and --output exclude each other";
    return false;
  }
  if (command.moving_windows() && output_paths(command).grid == command.output_file) {
    *error = "-o " + command.output_file +
             ": with --window the grid is written to the table's name with .grd for its "
             "extension; give the table another extension, such as .tsv";
    return false;
  }
  if (command.events == "-" && command.output.empty() && command.output_file.empty()) {
    *error = "with the events from standard input ('-'), -o or --output names the result files";
    return false;
  }
  return true;
}

}  // namespace

CommandStatus parse_survey_command(std::span<const std::string_view> args, SurveyCommand* command,
                                   std::string* error) {
  *command = SurveyCommand();
  for (const std::string_view arg : args) command->arguments.emplace_back(arg);
  std::set<std::string_view> given;
  bool samples_given = false;
  bool options_done = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (options_done || !arg.starts_with("-") || arg == "-") {
      if (!command->events.empty()) {
        *error = "more than one event file given ('" + command->events + "' and '" +
                 std::string(arg) + "')";
        return CommandStatus::kUsage;
      }
      command->events = std::string(arg);
      continue;
    }
    if (arg == "--") {
      options_done = true;
      continue;
    }
    if (arg == "-h") return CommandStatus::kHelp;
    const std::size_t equals = arg.find('=');
    const std::string_view name = arg.substr(0, equals);
    const OptionRule* rule = nullptr;
    for (const OptionRule& option : kOptions) {
      if (option.name == name) rule = &option;
    }
    if (rule == nullptr) {
      *error = "unknown option '" + std::string(name) + "'";
      return CommandStatus::kUsage;
    }
    if ((name == "--help" || name == "--version") && equals != std::string_view::npos) {
      *error = std::string(name) + " takes no value";
      return CommandStatus::kUsage;
    }
    if (name == "--help") return CommandStatus::kHelp;
    if (name == "--version") return CommandStatus::kVersion;
    if (!given.insert(rule->name).second) {
      *error = std::string(name) + " given twice";
      return CommandStatus::kUsage;
    }
    std::string_view value;
    if (!rule->takes_value) {
      if (equals != std::string_view::npos) {
        *error = std::string(name) + " takes no value";
        return CommandStatus::kUsage;
      }
      (name == "--quiet" ? command->quiet : command->sort) = true;
      continue;
    }
    if (equals != std::string_view::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      *error = std::string(name) + " needs a value";
      return CommandStatus::kUsage;
    }
    if (!apply_option(name, value, command, &samples_given, error)) return CommandStatus::kUsage;
  }
  if (!check_command(*command, given, samples_given, error)) return CommandStatus::kUsage;
  return CommandStatus::kRun;
}

std::string output_prefix(const SurveyCommand& command) {
  if (!command.output.empty()) return command.output;
  std::string name = command.events;
  const std::size_t slash = name.rfind('/');
  if (slash != std::string::npos) name = name.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

OutputPaths output_paths(const SurveyCommand& command) {
  OutputPaths paths;
  if (!command.output_file.empty()) {
    paths.table = command.output_file;
    if (command.moving_windows()) paths.grid = std::string(file_stem(command.output_file)) + ".grd";
    return paths;
  }
  const std::string prefix = output_prefix(command);
  paths.table = prefix + (command.moving_windows() ? ".windows.tsv" : ".spectrum.tsv");
  if (command.moving_windows()) paths.grid = prefix + ".windows.grd";
  return paths;
}

std::string shell_quoted(std::span<const std::string> arguments) {
  std::string line;
  for (const std::string& arg : arguments) {
    if (!line.empty()) line.push_back(' ');
    bool plain = !arg.empty();
    for (const char c : arg) {
      const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') ||
                        std::string_view("-_./=+,:@%").find(c) != std::string_view::npos;
      plain = plain && safe;
    }
    if (plain) {
      line.append(arg);
      continue;
    }
    line.push_back('\'');
    for (const char c : arg) {
      if (c == '\'') {
        line.append("'\\''");
      } else {
        line.push_back(c);
      }
    }
    line.push_back('\'');
  }
  return line;
}

std::string_view survey_usage() { return kUsage; }
std::string_view survey_help() { return kHelp; }

}  // namespace periodscan
