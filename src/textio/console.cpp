#include "textio/console.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "textio/fatal_error.h"
#include "textio/fd_writer.h"
#include "textio/layout.h"

namespace periodscan {

namespace {
constexpr std::string_view kStopText = "Stop - Program terminated.";
}

ConsoleMode detect_console_mode(int fd) {
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISCHR(st.st_mode)) return ConsoleMode::kConsole;
  return ConsoleMode::kPlain;
}

void ConsoleOutput::send(std::string_view bytes) {
  if (!write_all(fd_, bytes)) {
    throw FatalError(FailureKind::kWriteFailure, "console output", "standard output");
  }
}

void ConsoleOutput::put_record(std::string_view record) {
  pending_.clear();
  if (mode_ == ConsoleMode::kPlain) {
    pending_.append(record);
    pending_.append("\r\n");
  } else {
    char control = record.empty() ? ' ' : record.front();
    if (!record.empty()) record.remove_prefix(1);
    if (control != kProgressControl && line_feed_owed_) pending_.push_back('\n');
    pending_.append(record);
    pending_.push_back('\r');
    line_feed_owed_ = true;
  }
  send(pending_);
}

void ConsoleOutput::settle_line() {
  if (line_feed_owed_) {
    line_feed_owed_ = false;
    send("\n");
  }
}

void write_stop_line(RecordSink& console, ConsoleMode mode) {
  if (mode == ConsoleMode::kConsole) {
    std::string record = " ";
    record.append(kStopText);
    console.put_record(record);
  } else {
    console.put_record(kStopText);
  }
}

ConsoleInput::ConsoleInput(int fd, ConsoleOutput& output) : output_(output) { reader_.attach(fd); }

bool ConsoleInput::next_line(std::string_view* line) {
  output_.settle_line();
  return reader_.next_line(line);
}

}  // namespace periodscan
