#include "interactive/event_list_reader.h"

#include <cstdint>
#include <limits>
#include <new>

#include "textio/fatal_error.h"
#include "textio/free_reader.h"
#include "textio/list_record.h"

namespace periodscan {

namespace {

void open_named_file(Channels& io) {
  for (;;) {
    write_list(io.console, {Item("Input filename= ?")});
    std::string name = trim_file_name(read_line64(io.answers));
    if (io.file.open_input(name)) return;
    write_list(io.console, {Item("No such file within current directory !")});
  }
}

// The counting pass: the number of lines that start with a number, up to the
// first that does not.
int32_t count_times(FileChannel& file) {
  int32_t n = 0;
  float scratch = 0.0f;
  const NumberTarget target[] = {&scratch};
  while (n < std::numeric_limits<int32_t>::max()) {
    int supplied = 0;
    int status = read_numbers(file, target, Handled::kReadErrorsAndEnd, &supplied);
    if (status != kReadOk || supplied == 0) break;
    ++n;
  }
  return n;
}

void error_stop(Channels& io, const char* fault) {
  write_list(io.console, {Item("Wrong structure of the input file !")});
  write_list(io.console, {Item(fault)});
  write_list(io.console, {Item("Press <Enter> to terminate...")});
  read_pause(io.answers);
  write_stop_line(io.console, io.console_mode);
}

}  // namespace

std::string trim_file_name(std::string_view line64) {
  size_t first = line64.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  size_t last = line64.find_last_not_of(' ');
  return std::string(line64.substr(first, last - first + 1));
}

std::optional<std::vector<float>> read_event_list(Channels& io) {
  open_named_file(io);
  const int32_t n = count_times(io.file);
  write_list(io.console, {Item("Number of time moments="), Item(n)});

  std::vector<float> t;
  try {
    t.resize(static_cast<size_t>(n));
  } catch (const std::bad_alloc&) {
    throw FatalError(FailureKind::kStorageExhausted, "file", std::string(io.file.file_name()));
  }

  io.file.rewind_file();
  for (int32_t i = 0; i < n; ++i) {
    const NumberTarget target[] = {&t[i]};
    int supplied = 0;
    read_numbers(io.file, target, Handled::kNone, &supplied);
    // The counting pass stopped before any line without a first number, so
    // meeting one here means the file changed between the two passes.
    if (supplied == 0) {
      throw FatalError(FailureKind::kWrongForm, "file", std::string(io.file.file_name()));
    }
  }
  io.file.close_file();

  for (int32_t i = 0; i + 1 < n; ++i) {
    if (t[i] > t[i + 1]) {
      error_stop(io, "The sequence of time moments must be with non-decreasing values.");
      return std::nullopt;
    }
  }
  if (n < 2 || t[n - 1] <= t[0]) {
    error_stop(io, "The process must have non-zero duration.");
    return std::nullopt;
  }
  return t;
}

}  // namespace periodscan
