// Buffered reading of lines from a file descriptor, shared by the console
// input and the file channel.
//
// The buffer is obtained once and reused, so a file of millions of short lines
// is read without an allocation per line; it grows only for a line longer than
// itself (a line of several megabytes is kept whole). Bytes are passed through
// as they are: NUL and other binary bytes stay part of the line.
#pragma once

#include <string_view>
#include <vector>

namespace periodscan {

class FdLineReader {
 public:
  FdLineReader();

  void attach(int fd);  // starts reading `fd` from its current position
  void detach();        // forgets the descriptor and anything buffered

  // The next line without its line feed, or its carriage return + line feed.
  // A last line without a line feed is still a line (a carriage return that
  // ends it is dropped too). Returns false at the end
  // of input; a failing read(2) ends the input too, and failed() then tells
  // the two apart.
  bool next_line(std::string_view* line);

  // True when the input ended because read(2) failed (an I/O error), not at
  // the end of the file.
  bool failed() const { return failed_; }

  // With a limit, a line longer than `bytes` (without its line end) ends the
  // input instead of growing the buffer further, and too_long() then says
  // so; the buffer stays under twice the limit. No limit by default.
  void set_max_line(size_t bytes) { max_line_ = bytes; }
  bool too_long() const { return too_long_; }

 private:
  bool fill();  // reads more bytes after end_; false when none came
  bool stop_too_long();

  int fd_ = -1;
  bool at_end_ = false;
  bool failed_ = false;
  bool too_long_ = false;
  size_t max_line_ = 0;  // 0: no limit
  std::vector<char> buffer_;
  size_t begin_ = 0;  // first byte not yet handed out
  size_t end_ = 0;    // one past the last byte read
};

}  // namespace periodscan
