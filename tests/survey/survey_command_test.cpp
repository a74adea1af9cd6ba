#include "survey/survey_command.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace periodscan {
namespace {

struct Parsed {
  CommandStatus status;
  SurveyCommand command;
  std::string error;
};

Parsed parse(std::vector<std::string_view> args) {
  args.insert(args.begin(), "periodscan-survey");
  Parsed parsed;
  parsed.status = parse_survey_command(args, &parsed.command, &parsed.error);
  return parsed;
}

TEST(SurveyCommand, RejectsBadCommandLinesWithTheReason) {
  struct Case {
    std::vector<std::string_view> args;
    const char* error;
  };
  const Case cases[] = {
      {{}, "no event file given"},
      {{"ev.txt", "--min-period", "1"}, "--min-period and --max-period are needed"},
      {{"ev.txt", "--min-period", "2", "--max-period", "2"},
       "--min-period must be smaller than --max-period"},
      {{"ev.txt", "--min-period", "0", "--max-period", "2"},
       "--min-period needs a positive number, not '0'"},
      {{"ev.txt", "--min-period", "-1", "--max-period", "2"},
       "--min-period needs a positive number, not '-1'"},
      {{"ev.txt", "--min-period", "1x", "--max-period", "2"},
       "--min-period needs a positive number, not '1x'"},
      {{"ev.txt", "--min-period", "nan", "--max-period", "2"},
       "--min-period needs a positive number, not 'nan'"},
      {{"ev.txt", "--min-period", "1", "--max-period", "inf"},
       "--max-period needs a positive number, not 'inf'"},
      {{"ev.txt", "--min-period", "1", "--max-period"}, "--max-period needs a value"},
      {{"ev.txt", "--min-period", "1", "--max-period", "2", "--periods", "1"},
       "--periods needs a whole number of at least 2, not '1'"},
      {{"ev.txt", "--min-period", "1", "--max-period", "2", "--periods", "2.5"},
       "--periods needs a whole number of at least 2, not '2.5'"},
      {{"ev.txt", "--min-period", "1", "--max-period", "2", "--periods", "5", "--samples-per-peak",
        "3"},
       "--samples-per-peak and --periods exclude each other"},
      // Apart as doubles, one value as 4-byte reals.
      {{"ev.txt", "--min-period", "1", "--max-period", "1.00000001", "--periods", "5"},
       "with --periods, --min-period and --max-period must stay apart, and positive, as 4-byte "
       "reals"},
      {{"ev.txt", "--min-period", "1", "--max-period", "2", "--window", "5"},
       "--window and --step go together"},
      {{"ev.txt", "--min-period", "1", "--max-period", "2", "--threads", "-1"},
       "--threads needs a whole number from 0 (every core) to 1024, not '-1'"},
      {{"ev.txt", "--min-period", "1", "--max-period", "2", "--threads", "1025"},
       "--threads needs a whole number from 0 (every core) to 1024, not '1025'"},
      {{"-", "--min-period", "1", "--max-period", "2"},
       "with the events from standard input ('-'), -o or --output names the result files"},
      {{"-", "--intervals", "-", "--output", "x", "--min-period", "1", "--max-period", "2"},
       "the events and the intervals cannot both come from standard input ('-')"},
      {{"ev.txt", "--min-period", "1", "--max-period", "2", "--quiet=yes"},
       "--quiet takes no value"},
      {{"--version=x"}, "--version takes no value"},
      {{"ev.txt", "--min-period", "1", "--max-period", "2", "--min-period", "1"},
       "--min-period given twice"},
      {{"ev.txt", "--min-period", "1", "--max-period", "2", "--frobnicate"},
       "unknown option '--frobnicate'"},
      {{"ev.txt", "other.txt", "--min-period", "1", "--max-period", "2"},
       "more than one event file given ('ev.txt' and 'other.txt')"},
      {{"ev.txt", "--min-period", "1", "--max-period", "2", "--output="},
       "--output needs a file name"},
      {{"ev.txt", "--min-period", "1", "--max-period", "2", "-o", "a.tsv", "--output", "b"},
       "-o and --output exclude each other"},
      {{"ev.txt", "--min-period", "1", "--max-period", "2", "-o", "a.tsv", "-o", "b.tsv"},
       "-o given twice"},
      {{"ev.txt", "--min-period", "1", "--max-period", "2", "--window", "5", "--step", "1", "-o",
        "w.grd"},
       "-o w.grd: with --window the grid is written to the table's name with .grd for its "
       "extension; give the table another extension, such as .tsv"},
  };
  // An -o that names no file.
  for (const std::string_view file : {"", "-", "/", "runs/", ".", "..", "runs/."}) {
    const Parsed parsed = parse({"ev.txt", "--min-period", "1", "--max-period", "2", "-o", file});
    EXPECT_EQ(parsed.status, CommandStatus::kUsage) << file;
    EXPECT_EQ(parsed.error,
              "-o needs the name of a file to write, not '" + std::string(file) + "'");
  }
  // An --output that names no file of its own.
  for (const std::string_view prefix : {"-", "/", "runs/", "./", ".", "..", "runs/.."}) {
    const Parsed parsed =
        parse({"ev.txt", "--min-period", "1", "--max-period", "2", "--output", prefix});
    EXPECT_EQ(parsed.status, CommandStatus::kUsage) << prefix;
    EXPECT_EQ(parsed.error,
              "--output needs the start of a file name, such as 'runs/quakes' for "
              "runs/quakes.spectrum.tsv, not '" +
                  std::string(prefix) + "'");
  }
  for (const std::string_view prefix : {"x", ".x", "runs/x", "../x", "x."}) {
    EXPECT_EQ(
        parse({"ev.txt", "--min-period", "1", "--max-period", "2", "--output", prefix}).status,
        CommandStatus::kRun)
        << prefix;
  }
  for (const Case& c : cases) {
    const Parsed parsed = parse(c.args);
    EXPECT_EQ(parsed.status, CommandStatus::kUsage) << c.error;
    EXPECT_EQ(parsed.error, c.error);
  }
}

TEST(SurveyCommand, ReadsEveryOptionInBothSpellings) {
  const Parsed parsed =
      parse({"--min-period=0.5", "ev.txt", "--max-period", "2", "--window", "30", "--step=10",
             "--threads", "3", "--quiet", "--sort", "--intervals", "on.txt", "--output", "out/x"});
  ASSERT_EQ(parsed.status, CommandStatus::kRun) << parsed.error;
  const SurveyCommand& c = parsed.command;
  EXPECT_EQ(c.events, "ev.txt");
  EXPECT_EQ(c.min_period, 0.5);
  EXPECT_EQ(c.max_period, 2.0);
  EXPECT_EQ(c.samples_per_peak, 5.0);
  EXPECT_EQ(c.periods, 0);
  EXPECT_EQ(c.window, 30.0);
  EXPECT_EQ(c.step, 10.0);
  EXPECT_EQ(c.threads, 3);
  EXPECT_TRUE(c.quiet);
  EXPECT_TRUE(c.sort);
  EXPECT_EQ(c.intervals, "on.txt");
  EXPECT_EQ(output_prefix(c), "out/x");
  EXPECT_EQ(c.arguments.size(), 16u);
}

TEST(SurveyCommand, HelpAndVersionWinAndAFileAfterDoubleDashIsAFile) {
  EXPECT_EQ(parse({"--help"}).status, CommandStatus::kHelp);
  EXPECT_EQ(parse({"ev.txt", "--version"}).status, CommandStatus::kVersion);
  EXPECT_EQ(parse({"ev.txt", "--bogus", "-h"}).status, CommandStatus::kUsage);
  const Parsed dashed = parse({"--min-period", "1", "--max-period", "2", "--", "-ev.txt"});
  ASSERT_EQ(dashed.status, CommandStatus::kRun) << dashed.error;
  EXPECT_EQ(dashed.command.events, "-ev.txt");
}

TEST(SurveyCommand, DefaultPrefixIsTheEventFileNameWithoutFolderAndExtension) {
  const struct {
    const char* events;
    const char* prefix;
  } cases[] = {
      {"quakes.txt", "quakes"}, {"data/quakes.txt", "quakes"},   {"quakes", "quakes"},
      {"a.b/quakes", "quakes"}, {"quakes.tar.gz", "quakes.tar"}, {".hidden", ".hidden"},
  };
  for (const auto& c : cases) {
    SurveyCommand command;
    command.events = c.events;
    EXPECT_EQ(output_prefix(command), c.prefix) << c.events;
  }
}

TEST(SurveyCommand, OutputPathsFromTheFileOrThePrefix) {
  const struct {
    std::vector<std::string_view> args;
    const char* table;
    const char* grid;
  } cases[] = {
      {{"data/ev.txt"}, "ev.spectrum.tsv", ""},
      {{"data/ev.txt", "--output", "r/x"}, "r/x.spectrum.tsv", ""},
      {{"data/ev.txt", "--output", "r/x", "--window", "5", "--step", "1"},
       "r/x.windows.tsv",
       "r/x.windows.grd"},
      {{"-", "-o", "r/x.tsv"}, "r/x.tsv", ""},
      {{"ev.txt", "-o=x"}, "x", ""},
      {{"ev.txt", "-o", "r.d/x.tsv", "--window", "5", "--step", "1"}, "r.d/x.tsv", "r.d/x.grd"},
      {{"ev.txt", "-o", "r.d/x", "--window", "5", "--step", "1"}, "r.d/x", "r.d/x.grd"},
      {{"ev.txt", "-o", "r/.x", "--window", "5", "--step", "1"}, "r/.x", "r/.x.grd"},
  };
  for (const auto& c : cases) {
    std::vector<std::string_view> args = c.args;
    args.insert(args.end(), {"--min-period", "1", "--max-period", "2"});
    const Parsed parsed = parse(args);
    ASSERT_EQ(parsed.status, CommandStatus::kRun) << parsed.error;
    const OutputPaths paths = output_paths(parsed.command);
    EXPECT_EQ(paths.table, c.table);
    EXPECT_EQ(paths.grid, c.grid) << c.table;
  }
}

TEST(SurveyCommand, QuotesTheCommandLineForAShell) {
  const std::vector<std::string> args = {"periodscan-survey", "my quakes.txt", "it's", "",
                                         "--min-period=0.5"};
  EXPECT_EQ(shell_quoted(args), "periodscan-survey 'my quakes.txt' 'it'\\''s' '' --min-period=0.5");
}

}  // namespace
}  // namespace periodscan
