// A source of lines for the free-form reading: the console input or the file
// channel.
#pragma once

#include <string_view>

namespace periodscan {

class LineSource {
 public:
  virtual ~LineSource() = default;

  // Gives the next line without its ending: a line ends at a line feed, and a
  // carriage return just before it is not part of the line; a last line
  // without a line feed is still a line. The view stays valid until the next
  // call. Returns false at the end of input.
  virtual bool next_line(std::string_view* line) = 0;

  // For the fatal error report.
  virtual std::string_view channel_name() const = 0;
  virtual std::string_view file_name() const = 0;
};

}  // namespace periodscan
