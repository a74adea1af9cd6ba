// Reading a text input line by line, shared by the survey's readers of event
// and interval files.
//
// The input is a file named by its path, or standard input for "-". Only a
// regular file or a pipe (a FIFO, or standard input from a pipe or a
// terminal) is read: a folder, a device or a socket is refused without being
// read, so that /dev/zero or a tape is never opened. A FIFO is opened without
// waiting for a writer; one that no writer has written to or closed within a
// while is refused instead of blocking the run forever.
//
// Lines end at a line feed (a carriage return before it is dropped); a
// byte-order mark at the start of the first line is dropped. A line longer
// than the limit (a binary file, or a file without line ends) stops the
// reading with a message naming the file and the line.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace periodscan {

inline constexpr std::string_view kStandardInput = "-";
inline constexpr std::size_t kMaxLineBytes = std::size_t{1} << 20;  // 1 MiB
inline constexpr int kPipeWaitMilliseconds = 10'000;

// The name of an input in messages: the path, or "standard input" for "-".
std::string input_name(std::string_view path);

// Called for each line with its number (from 1); returns false to stop the
// reading, having set the error itself.
using LineHandler = std::function<bool(std::size_t number, std::string_view line)>;

struct LineLimits {
  std::size_t max_line = kMaxLineBytes;
  int pipe_wait_ms = kPipeWaitMilliseconds;
};

// Reads `path` ("-": standard input) and hands each line to `handler`.
// False when the handler stops (with its error), or with *error set
// ("NAME: ..." or "NAME:LINE: ...") when the input cannot be opened or read,
// is not a regular file or a pipe, or holds a line longer than the limit.
bool read_text_lines(const std::string& path, const LineHandler& handler, std::string* error,
                     const LineLimits& limits = {});

}  // namespace periodscan
