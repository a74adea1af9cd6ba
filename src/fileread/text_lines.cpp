#include "fileread/text_lines.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "textio/fd_line_reader.h"

namespace periodscan {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string what_it_is(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a plain file";
}

bool readable_kind(mode_t mode, bool standard_input) {
  // A terminal on standard input is typed into; a device named on the
  // command line is refused.
  return S_ISREG(mode) || S_ISFIFO(mode) || (standard_input && S_ISCHR(mode));
}

std::string not_regular(const std::string& name, mode_t mode) {
  return name + ": not a regular file (" + what_it_is(mode) + ")";
}

// Opens a named input; -1 with *error set on failure.
int open_named(const std::string& path, const LineLimits& limits, std::string* error) {
  // Looked at before it is opened: opening a device can have effects.
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) {
    *error = path + ": cannot open: " + std::strerror(errno);
    return -1;
  }
  if (!readable_kind(info.st_mode, false)) {
    *error = not_regular(path, info.st_mode);
    return -1;
  }
  // Without O_NONBLOCK, opening a FIFO waits for a writer, for ever.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    *error = path + ": cannot open: " + std::strerror(errno);
    return -1;
  }
  // It may have been replaced in between.
  if (::fstat(fd, &info) != 0 || !readable_kind(info.st_mode, false)) {
    *error = not_regular(path, info.st_mode);
    ::close(fd);
    return -1;
  }
  if (S_ISFIFO(info.st_mode)) {
    // Until a writer has come, a read would end at once, as if the pipe
    // were empty: wait for its first bytes, or for it to close.
    pollfd wait{fd, POLLIN, 0};
    int ready;
    do {
      ready = ::poll(&wait, 1, limits.pipe_wait_ms);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) {
      *error = path + ": a pipe that nothing was written to for " +
               std::to_string(limits.pipe_wait_ms / 1000) + " s (no writer?)";
      ::close(fd);
      return -1;
    }
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    *error = path + ": cannot read: " + std::strerror(errno);
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

std::string input_name(std::string_view path) {
  return path == kStandardInput ? "standard input" : std::string(path);
}

bool read_text_lines(const std::string& path, const LineHandler& handler, std::string* error,
                     const LineLimits& limits) {
  const bool standard_input = path == kStandardInput;
  const std::string name = input_name(path);
  int fd = STDIN_FILENO;
  if (standard_input) {
    struct stat info;
    if (::fstat(fd, &info) != 0) {
      *error = name + ": cannot read: " + std::strerror(errno);
      return false;
    }
    if (!readable_kind(info.st_mode, true)) {
      *error = not_regular(name, info.st_mode);
      return false;
    }
  } else {
    fd = open_named(path, limits, error);
    if (fd < 0) return false;
  }
  FdLineReader reader;
  reader.attach(fd);
  reader.set_max_line(limits.max_line);
  std::string_view line;
  std::size_t number = 0;
  bool stopped = false;
  while (!stopped && reader.next_line(&line)) {
    ++number;
    if (number == 1 && line.starts_with(kByteOrderMark)) line.remove_prefix(kByteOrderMark.size());
    stopped = !handler(number, line);
  }
  const int read_errno = errno;
  if (!standard_input) ::close(fd);
  if (stopped) return false;
  if (reader.too_long()) {
    *error = name + ":" + std::to_string(number + 1) + ": a line longer than " +
             std::to_string(limits.max_line) + " bytes: not a text file of numbers";
    return false;
  }
  if (reader.failed()) {
    *error = name + ": cannot read: " + std::strerror(read_errno);
    return false;
  }
  return true;
}

}  // namespace periodscan
