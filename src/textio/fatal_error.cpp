#include "textio/fatal_error.h"

#include <utility>

namespace periodscan {

FatalError::FatalError(FailureKind kind, std::string channel, std::string file)
    : std::runtime_error(failure_kind_text(kind)),
      kind_(kind),
      channel_(std::move(channel)),
      file_(std::move(file)) {}

const char* failure_kind_text(FailureKind kind) {
  switch (kind) {
    case FailureKind::kEndOfInput:
      return "end of input during a read";
    case FailureKind::kWrongForm:
      return "a value of a wrong form";
    case FailureKind::kOutOfRange:
      return "a value out of range";
    case FailureKind::kFileNotFound:
      return "file not found";
    case FailureKind::kOpenFailure:
      return "open failure";
    case FailureKind::kWriteFailure:
      return "failure during a write";
    case FailureKind::kReadFailure:
      return "failure during a read";
    case FailureKind::kStorageExhausted:
      return "storage exhausted";
  }
  return "unknown failure";
}

std::string fatal_report(const FatalError& error) {
  std::string line = "periodscan: fatal error: ";
  line += failure_kind_text(error.kind());
  line += " (channel: ";
  line += error.channel();
  line += ", file: ";
  line += error.file();
  line += ")";
  return line;
}

}  // namespace periodscan
