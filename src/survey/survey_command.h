// The command line of periodscan-survey.
//
//   periodscan-survey EVENTS --min-period TMIN --max-period TMAX [options]
//
// Options take their value as the next argument or after '=' ("--threads 2",
// "--threads=2"); "--" ends the options. Each option may be given once.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace periodscan {

// More threads than this is a mistyped count; the survey uses at most the
// machine's cores anyway.
inline constexpr int kMaxThreads = 1024;

struct SurveyCommand {
  std::string events;  // "-": standard input
  double min_period = 0.0;
  double max_period = 0.0;
  double samples_per_peak = 5.0;
  int periods = 0;          // > 0: the interactive program's log-uniform grid
  std::string output;       // prefix of the result files; see output_prefix()
  std::string output_file;  // -o: the table's own name; see output_paths()
  double window = 0.0;      // > 0: moving windows of this length ...
  double step = 0.0;        // ... every `step`
  int threads = 0;          // 0: every core; at most kMaxThreads
  bool quiet = false;
  bool sort = false;
  std::string intervals;  // empty: watched from the first event to the last; "-": stdin
  std::vector<std::string> arguments;  // the whole command line, for the record

  bool moving_windows() const { return window > 0.0; }
};

enum class CommandStatus {
  kRun,
  kHelp,     // --help: print survey_help() and succeed
  kVersion,  // --version: print the program's name and release and succeed
  kUsage,    // a bad command line: *error says why
};

// args[0] is the program name.
CommandStatus parse_survey_command(std::span<const std::string_view> args, SurveyCommand* command,
                                   std::string* error);

// The prefix of the result files: --output, or else the event file's name
// without its folder and extension ("data/quakes.txt" -> "quakes").
std::string output_prefix(const SurveyCommand& command);

// The files a run writes: the table, and with --window the grid beside it.
// With -o FILE the table is FILE and the grid FILE's stem + ".grd"
// ("runs/q.tsv" -> "runs/q.grd"); else PREFIX.spectrum.tsv, or
// PREFIX.windows.tsv and PREFIX.windows.grd.
struct OutputPaths {
  std::string table;
  std::string grid;  // empty without --window
};
OutputPaths output_paths(const SurveyCommand& command);

// The command line as one line a shell reads back to the same arguments.
std::string shell_quoted(std::span<const std::string> arguments);

// The short usage lines shown after a bad command line, and the --help text.
std::string_view survey_usage();
std::string_view survey_help();

}  // namespace periodscan
