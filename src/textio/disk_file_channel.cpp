#include "textio/disk_file_channel.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>

#include "textio/fatal_error.h"
#include "textio/fd_writer.h"

namespace periodscan {

namespace {
constexpr size_t kOutputChunk = 1 << 16;
}

DiskFileChannel::~DiskFileChannel() {
  if (fd_ >= 0) ::close(fd_);
}

bool DiskFileChannel::open_input(std::string_view name) {
  assert(fd_ < 0);
  name_.assign(name);
  if (name_.empty() || name_.find('\0') != std::string::npos) return false;
  // Only a regular file can be read twice, as the reader needs. Anything else
  // is refused before it is opened: opening a pipe would release a writer
  // waiting for a reader, and opening a device can act on the device.
  struct stat st;
  if (::stat(name_.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  // Checked again on what was opened, in case the name changed in between:
  // non-blocking, so that a pipe put in its place does not hang the dialogue,
  // and never as the controlling terminal.
  int fd = ::open(name_.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  fd_ = fd;
  writing_ = false;
  reader_.attach(fd_);
  return true;
}

void DiskFileChannel::open_output(std::string_view name) {
  assert(fd_ < 0);
  name_.assign(name);
  int fd = ::open(name_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) throw FatalError(FailureKind::kOpenFailure, "file", name_);
  fd_ = fd;
  writing_ = true;
  cut_done_ = false;
  out_.clear();
}

void DiskFileChannel::rewind_file() {
  assert(fd_ >= 0 && !writing_);
  if (::lseek(fd_, 0, SEEK_SET) != 0) {
    throw FatalError(FailureKind::kEndOfInput, "file", name_);
  }
  reader_.attach(fd_);
}

void DiskFileChannel::write_failure() {
  // The file is given up: nothing more is written to it, and the report
  // names it.
  ::close(fd_);
  fd_ = -1;
  out_.clear();
  throw FatalError(FailureKind::kWriteFailure, "file", name_);
}

void DiskFileChannel::flush() {
  if (fd_ < 0 || !writing_) return;
  if (!write_all(fd_, out_)) write_failure();
  out_.clear();
}

void DiskFileChannel::close_file() {
  if (fd_ < 0) return;
  if (writing_) flush();
  int fd = fd_;
  fd_ = -1;
  reader_.detach();
  if (::close(fd) != 0 && writing_) {
    throw FatalError(FailureKind::kWriteFailure, "file", name_);
  }
}

bool DiskFileChannel::next_line(std::string_view* line) {
  assert(fd_ >= 0 && !writing_);
  if (reader_.next_line(line)) return true;
  // An I/O error is not the end of the file: taken for it, the counting pass
  // would pass a cut sample off as the whole one.
  if (reader_.failed()) throw FatalError(FailureKind::kReadFailure, "file", name_);
  return false;
}

void DiskFileChannel::put_record(std::string_view record) {
  assert(fd_ >= 0 && writing_);
  if (!cut_done_) {
    // The first record of this run: whatever an earlier run left in the file
    // goes. Devices (a result name linked to a device) cannot be cut.
    cut_done_ = true;
    struct stat st;
    if (fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) && ::ftruncate(fd_, 0) != 0) {
      write_failure();
    }
  }
  out_.append(record);
  out_.append("\r\n");
  if (out_.size() >= kOutputChunk) flush();
}

}  // namespace periodscan
