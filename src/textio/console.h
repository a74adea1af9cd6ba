// The console: standard output with its line control, and standard input as
// the source of answers.
//
// Console mode (standard output is a character device): the first character
// of every record controls the line and is not shown. A blank starts a new
// line; "+" returns to the start of the current line and overwrites it. Every
// record is sent as its visible text and a carriage return only; the line
// feed that finishes the line is owed until the next blank-control record or
// the next read from the console input, so that a countdown of "+" records
// runs on the one line that the record before it left.
//
// Plain mode (a file or a pipe): every record is written unchanged, first
// character included, and ended by carriage return and line feed.
#pragma once

#include <string>
#include <string_view>

#include "textio/fd_line_reader.h"
#include "textio/line_source.h"
#include "textio/record_sink.h"

namespace periodscan {

enum class ConsoleMode { kConsole, kPlain };

// Console mode when `fd` is a character device, plain mode otherwise.
ConsoleMode detect_console_mode(int fd);

class ConsoleOutput : public RecordSink {
 public:
  ConsoleOutput(int fd, ConsoleMode mode) : fd_(fd), mode_(mode) {}

  // Writes one record at once (the countdown must show while the work goes
  // on). A failed write throws FatalError.
  void put_record(std::string_view record) override;

  // Sends an owed line feed, if any: before a console read and at the end of
  // the run.
  void settle_line();

  ConsoleMode mode() const { return mode_; }

 private:
  void send(std::string_view bytes);

  int fd_;
  ConsoleMode mode_;
  bool line_feed_owed_ = false;
  std::string pending_;
};

// The stop line of an error stop, "Stop - Program terminated.", shown in full
// in either mode: in console mode the record carries a blank control
// character before the text; in plain mode it is the 26 characters alone.
void write_stop_line(RecordSink& console, ConsoleMode mode);

// Answers come from standard input; before every line is taken, the console
// output settles its owed line feed so that the typed answer starts on a line
// of its own.
class ConsoleInput : public LineSource {
 public:
  ConsoleInput(int fd, ConsoleOutput& output);

  bool next_line(std::string_view* line) override;
  std::string_view channel_name() const override { return "console input"; }
  std::string_view file_name() const override { return "standard input"; }

 private:
  ConsoleOutput& output_;
  FdLineReader reader_;
};

}  // namespace periodscan
