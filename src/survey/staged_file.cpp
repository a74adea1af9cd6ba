#include "survey/staged_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "textio/fd_writer.h"

namespace periodscan {

namespace {

constexpr std::size_t kFlushSize = std::size_t{1} << 20;

// The temporary files the signal handler removes. A handler may only touch
// plain memory, so the names are kept in fixed arrays, and a slot is marked
// in use only after its name is complete.
constexpr int kSlots = 4;
constexpr std::size_t kMaxPath = 4096;
char slot_paths[kSlots][kMaxPath];
volatile std::sig_atomic_t slot_used[kSlots];
bool handler_installed = false;

extern "C" void remove_temporaries_and_die(int signal_number) {
  for (int i = 0; i < kSlots; ++i) {
    if (slot_used[i]) ::unlink(slot_paths[i]);
  }
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

void install_handler() {
  if (handler_installed) return;
  handler_installed = true;
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    // An ignored signal (nohup) stays ignored.
    if (::sigaction(signal_number, nullptr, &action) == 0 && action.sa_handler == SIG_IGN) {
      continue;
    }
    std::memset(&action, 0, sizeof action);
    action.sa_handler = remove_temporaries_and_die;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal_number, &action, nullptr);
  }
}

int claim_slot(const std::string& temporary) {
  if (temporary.size() >= kMaxPath) return -1;
  for (int i = 0; i < kSlots; ++i) {
    if (slot_used[i]) continue;
    std::memcpy(slot_paths[i], temporary.c_str(), temporary.size() + 1);
    slot_used[i] = 1;
    return i;
  }
  return -1;
}

void release_slot(int slot) {
  if (slot >= 0) slot_used[slot] = 0;
}

}  // namespace

StagedFile::~StagedFile() { discard(); }

bool StagedFile::open(const std::string& path, std::string* error) {
  discard();
  install_handler();
  path_ = path;
  std::vector<char> name(path.begin(), path.end());
  const std::string_view suffix = ".tmp-XXXXXX";
  name.insert(name.end(), suffix.begin(), suffix.end());
  name.push_back('\0');
  fd_ = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd_ < 0) {
    *error = path + ": cannot create: " + std::strerror(errno);
    return false;
  }
  temporary_ = name.data();
  slot_ = claim_slot(temporary_);
  // mkstemp makes the file private; give it the mode a plain create would.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd_, 0666 & ~mask);
  buffer_.clear();
  return true;
}

bool StagedFile::flush(std::string* error) {
  if (!write_all(fd_, buffer_)) {
    *error = path_ + ": cannot write: " + std::strerror(errno);
    discard();
    return false;
  }
  buffer_.clear();
  return true;
}

bool StagedFile::flush_if_full(std::string* error) {
  return buffer_.size() < kFlushSize || flush(error);
}

bool StagedFile::close(std::string* error) {
  if (fd_ < 0) {
    if (!temporary_.empty()) return true;  // closed before
    *error = path_ + ": not open";
    return false;
  }
  if (!flush(error)) return false;
  const int fd = fd_;
  fd_ = -1;
  // On the disk before the rename, so that a crash after it cannot leave
  // PATH empty or cut (the rename may reach the disk before the data).
  const bool synced = ::fsync(fd) == 0;
  if (::close(fd) != 0 || !synced) {
    *error = path_ + ": cannot write: " + std::strerror(errno);
    discard();
    return false;
  }
  return true;
}

bool StagedFile::commit(std::string* error) {
  if (!close(error)) return false;
  if (::rename(temporary_.c_str(), path_.c_str()) != 0) {
    *error = path_ + ": cannot rename " + temporary_ + " to it: " + std::strerror(errno);
    discard();
    return false;
  }
  release_slot(slot_);
  slot_ = -1;
  temporary_.clear();
  return true;
}

void StagedFile::discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  release_slot(slot_);
  slot_ = -1;
  temporary_.clear();
  buffer_.clear();
}

}  // namespace periodscan
