// The fatal error report: how the run ends when an input or output operation
// fails where no retry is foreseen, or storage cannot be obtained.
//
// The text-record operations throw FatalError; the run driver catches it once,
// writes the one-line report on standard error and ends the process with
// kFatalExitStatus. Files already closed stay as they are.
#pragma once

#include <stdexcept>
#include <string>

namespace periodscan {

enum class FailureKind {
  kEndOfInput,        // end of input during a read
  kWrongForm,         // a value of a wrong form
  kOutOfRange,        // a value out of range
  kFileNotFound,      // file not found
  kOpenFailure,       // open failure
  kWriteFailure,      // failure during a write
  kReadFailure,       // failure during a read (an I/O error, not the end)
  kStorageExhausted,  // storage exhausted
};

inline constexpr int kFatalExitStatus = 2;

class FatalError : public std::runtime_error {
 public:
  // `channel` names the channel ("console input", "console output", "file");
  // `file` names the file on it ("standard input", "ZUM_out.dat", ...).
  FatalError(FailureKind kind, std::string channel, std::string file);

  FailureKind kind() const { return kind_; }
  const std::string& channel() const { return channel_; }
  const std::string& file() const { return file_; }

 private:
  FailureKind kind_;
  std::string channel_;
  std::string file_;
};

// Storage for the run's own data (the matrix, the window counts, the
// searches' work space) could not be obtained: reported on the channel
// "memory", file "none".
inline FatalError memory_exhausted() {
  return FatalError(FailureKind::kStorageExhausted, "memory", "none");
}

// The words that name a failure kind, e.g. "end of input during a read".
const char* failure_kind_text(FailureKind kind);

// The report line, without its line end, e.g.
//   periodscan: fatal error: end of input during a read (channel: console
//   input, file: standard input)
// (on one line).
std::string fatal_report(const FatalError& error);

}  // namespace periodscan
