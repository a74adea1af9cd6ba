#include "textio/fd_line_reader.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace periodscan {

namespace {
constexpr size_t kInitialBuffer = 1 << 16;
}

FdLineReader::FdLineReader() : buffer_(kInitialBuffer) {}

void FdLineReader::attach(int fd) {
  fd_ = fd;
  at_end_ = false;
  failed_ = false;
  too_long_ = false;
  begin_ = end_ = 0;
}

void FdLineReader::detach() { attach(-1); }

bool FdLineReader::fill() {
  if (at_end_ || fd_ < 0) return false;
  if (begin_ > 0) {
    // Move the unfinished line to the front before reading after it.
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
  for (;;) {
    ssize_t got = ::read(fd_, buffer_.data() + end_, buffer_.size() - end_);
    if (got > 0) {
      end_ += static_cast<size_t>(got);
      return true;
    }
    if (got < 0 && errno == EINTR) continue;
    failed_ = got < 0;
    at_end_ = true;
    return false;
  }
}

bool FdLineReader::stop_too_long() {
  too_long_ = true;
  at_end_ = true;
  begin_ = end_ = 0;
  return false;
}

bool FdLineReader::next_line(std::string_view* line) {
  size_t scanned = begin_;
  for (;;) {
    const char* start = buffer_.data() + scanned;
    const void* found = std::memchr(start, '\n', end_ - scanned);
    if (found != nullptr) {
      size_t newline = static_cast<size_t>(static_cast<const char*>(found) - buffer_.data());
      size_t stop = newline;
      if (stop > begin_ && buffer_[stop - 1] == '\r') --stop;
      if (max_line_ > 0 && stop - begin_ > max_line_) return stop_too_long();
      *line = std::string_view(buffer_.data() + begin_, stop - begin_);
      begin_ = newline + 1;
      return true;
    }
    size_t pending = end_ - begin_;
    // One byte more than the limit may still be the carriage return.
    if (max_line_ > 0 && pending > max_line_ + 1) return stop_too_long();
    if (!fill()) {
      if (pending == 0) return false;
      // A last line cut off after its carriage return ends like the others.
      if (buffer_[end_ - 1] == '\r') --pending;
      if (max_line_ > 0 && pending > max_line_) return stop_too_long();
      *line = std::string_view(buffer_.data() + begin_, pending);
      begin_ = end_;
      return true;
    }
    scanned = begin_ + pending;  // fill() moved the pending bytes to the front
  }
}

}  // namespace periodscan
