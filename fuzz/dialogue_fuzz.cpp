// The whole run, from the help text to the regime's last result file, with
// the fuzz input as the console input.
//
// The run works in a scratch folder that holds a few event-time files (one
// good sample, one with further columns and a heading, one out of order, one
// of a single time, an empty one, a folder, a pipe and a link to itself).
// Checked after every run:
//   - it ended in one of the three ways: a normal end, an error stop (its
//     stop line last) or the fatal report of the end of the console input,
//     the only failure that can happen here; never a crash or an escaping
//     exception;
//   - no result file exists unless the dialogue finished and a regime ran
//     (the regime's line " " follows the help text's);
//   - after a normal end, exactly the files of one regime exist, in their
//     record layouts, and the normalised grid exists only when every window
//     count is at least 1.
// The harness keeps runs short, without changing what the program does with
// an answer it gets: file names with a "/" end the console input (so nothing
// outside the folder is read), a number of periods above kMaxPeriods is
// answered as kMaxPeriods, and a window shift below kMinShift as kMinShift.
// Every good sample lasts 2 time units, so a run has at most
// kMaxPeriods * (2 / kMinShift + 1) searches of three events.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "interactive/run.h"
#include "textio/channels.h"
#include "textio/disk_file_channel.h"
#include "textio/free_reader.h"

namespace periodscan::fuzz {
namespace {

constexpr int32_t kMaxPeriods = 4;
constexpr float kMinShift = 0.25f;

constexpr const char* kResultFiles[] = {"ZUM_out.dat", "ZUM_out.grd", "NumbOfEvents_in_Windows.dat",
                                        "ZUM_out_Normalized.grd"};

const std::string kFilePrompt = " Input filename= ?";
const std::string kNumberPrompt = " What is the number of period values = ?";
const std::string kShiftPrompt = " What is the shift of moving time window = ?";
const std::string kEndOfInputReport =
    "periodscan: fatal error: end of input during a read (channel: console input, file: "
    "standard input)";

void make_folder() {
  InScratchFolder here;
  std::ofstream("ev.txt") << "0\n0.5\n2\n";
  std::ofstream("cols.txt") << "0 9\n1,8\n2\tx\nword\n7\n";
  std::ofstream("down.txt") << "2\n1\n";
  std::ofstream("one.txt") << "5\n";
  std::ofstream("empty.txt");
  if (::mkdir("adir", 0755) != 0 || ::mkfifo("afifo", 0644) != 0 ||
      ::symlink("loop", "loop") != 0) {
    broken("making the scratch folder");
  }
}

// The first number of a line as one answer of the given kind would read it.
template <typename T>
bool first_number(std::string_view line, T* value) {
  ByteLines one(line);
  const NumberTarget target[] = {value};
  int supplied = 0;
  return read_numbers(one, target, Handled::kReadErrorsAndEnd, &supplied) == kReadOk &&
         supplied == 1;
}

// The console input, with the bounds above applied to the answer to the
// question last written to the console.
class BoundedAnswers : public LineSource {
 public:
  BoundedAnswers(std::string_view bytes, const ConsoleRecords& console)
      : lines_(bytes), console_(console) {}

  bool next_line(std::string_view* line) override {
    if (!lines_.next_line(line)) return false;
    const std::string& asked = console_.records.empty() ? kFilePrompt : console_.records.back();
    if (asked == kFilePrompt && line->find('/') != std::string_view::npos) return false;
    int32_t periods = 0;
    if (asked == kNumberPrompt && first_number(*line, &periods) && periods > kMaxPeriods) {
      replacement_ = std::to_string(kMaxPeriods);
      *line = replacement_;
    }
    float shift = 0.0f;
    if (asked == kShiftPrompt && first_number(*line, &shift) && shift > 0.0f && shift < kMinShift) {
      replacement_ = "0.25";
      *line = replacement_;
    }
    return true;
  }
  std::string_view channel_name() const override { return "console input"; }
  std::string_view file_name() const override { return "standard input"; }

 private:
  ByteLines lines_;
  const ConsoleRecords& console_;
  std::string replacement_;
};

bool exists(const char* name) {
  struct stat st;
  return ::lstat(name, &st) == 0;
}

std::string contents(const char* name) {
  std::ifstream in(name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every record of a file has `width` characters and ends in CR LF.
bool fixed_records(const std::string& text, size_t width) {
  if (text.empty() || text.size() % (width + 2) != 0) return false;
  for (size_t at = 0; at < text.size(); at += width + 2) {
    if (text.compare(at + width, 2, "\r\n") != 0) return false;
  }
  return true;
}

void check_regime_files() {
  if (exists("ZUM_out.dat")) {
    FUZZ_CHECK(!exists("ZUM_out.grd") && !exists("NumbOfEvents_in_Windows.dat") &&
                   !exists("ZUM_out_Normalized.grd"),
               "files of both regimes");
    FUZZ_CHECK(fixed_records(contents("ZUM_out.dat"), 45), contents("ZUM_out.dat"));
    return;
  }
  const std::string grid = contents("ZUM_out.grd");
  FUZZ_CHECK(grid.compare(0, 6, "DSAA\r\n") == 0, grid);
  const std::string counts = contents("NumbOfEvents_in_Windows.dat");
  FUZZ_CHECK(fixed_records(counts, 25), counts);
  bool empty_window = false;
  for (size_t at = 0; at < counts.size(); at += 27) {
    // Columns 16-25: the count; a count of 0 is ten blanks.
    if (counts.compare(at + 15, 10, std::string(10, ' ')) == 0) empty_window = true;
  }
  FUZZ_CHECK(exists("ZUM_out_Normalized.grd") == !empty_window, counts);
}

}  // namespace
}  // namespace periodscan::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  periodscan::fuzz::make_folder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace periodscan;
  using namespace periodscan::fuzz;
  InScratchFolder here;
  for (const char* name : kResultFiles) std::remove(name);

  ConsoleRecords console;
  BoundedAnswers answers(std::string_view(reinterpret_cast<const char*>(data), size), console);
  DiskFileChannel file;
  Channels io{console, answers, file, ConsoleMode::kPlain};
  std::string report;
  const int status = execute_run(io, &report);

  if (std::getenv("FUZZ_VERBOSE") != nullptr) {
    // For triage: how the run ended, and what it left.
    std::fprintf(stderr, "status %d, %zu console records, last: %s\n", status,
                 console.records.size(), console.records.back().c_str());
    for (const char* name : kResultFiles) {
      if (exists(name)) std::fprintf(stderr, "  left %s\n", name);
    }
  }

  int blank_lines = 0;
  for (const std::string& record : console.records) blank_lines += record == "  ";
  const bool regime_ran = blank_lines >= 2;  // the help text's, then the regime's

  switch (status) {
    case 0:
      FUZZ_CHECK(report.empty(), report);
      FUZZ_CHECK(regime_ran, "normal end without a regime");
      check_regime_files();
      return 0;
    case 1:
      FUZZ_CHECK(report.empty(), report);
      FUZZ_CHECK(console.records.back() == "Stop - Program terminated.", console.records.back());
      break;
    case 2:
      FUZZ_CHECK(report == kEndOfInputReport, report);
      break;
    default:
      broken("exit status", std::to_string(status));
  }
  FUZZ_CHECK(!regime_ran, "a regime ran, but the run did not end normally");
  for (const char* name : kResultFiles) FUZZ_CHECK(!exists(name), name);
  return 0;
}
