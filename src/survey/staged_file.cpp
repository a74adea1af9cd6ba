#include "survey/staged_file.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <random>
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

// Every signal whose default action ends the process and that can be
// caught, but for the faults of the program itself (SIGSEGV, SIGBUS, SIGFPE,
// SIGILL, SIGTRAP), which are left to the sanitizers and debuggers.
constexpr int kEndingSignals[] = {
    SIGHUP,    SIGINT,  SIGQUIT, SIGABRT,   SIGTERM, SIGUSR1, SIGUSR2, SIGPIPE,
    SIGALRM,   SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGPOLL, SIGSYS,
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
};

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
  for (const int signal_number : kEndingSignals) {
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

// Holds back the ending signals for its lifetime: one that comes meanwhile
// is delivered at the end.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal_number : kEndingSignals) sigaddset(&set, signal_number);
    ::pthread_sigmask(SIG_BLOCK, &set, &saved_);
  }
  ~SignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t saved_;
};

constexpr std::string_view kTemporarySuffix = ".tmp-XXXXXX";

// "PATH.tmp-XXXXXX", the template of a temporary name for `path`. When that
// name would be longer than its folder allows, the last part of PATH is cut
// (at a whole UTF-8 character) to make room for the suffix.
std::string temporary_template(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
  const std::string folder =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  const std::size_t name_max = limit > 0 ? static_cast<std::size_t>(limit) : 255;
  std::string name = path;
  if (path.size() - start + kTemporarySuffix.size() > name_max) {
    std::size_t keep =
        name_max > kTemporarySuffix.size() ? name_max - kTemporarySuffix.size() : std::size_t{0};
    while (keep > 0 && (static_cast<unsigned char>(path[start + keep]) & 0xC0) == 0x80) --keep;
    name.resize(start + keep);
  }
  name.append(kTemporarySuffix);
  return name;
}

// A second name for the file at `path`, in its folder, that no file had:
// "PATH.tmp-" and six random characters, made as a hard link. Empty when
// there is no file at `path` (or a folder), or the file system has no hard
// links.
std::string link_aside(const std::string& path) {
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return {};
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device random;
  const std::string pattern = temporary_template(path);
  const std::size_t letters = pattern.size() - 6;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = pattern;
    for (std::size_t i = letters; i < name.size(); ++i) {
      name[i] = kLetters[random() % (sizeof kLetters - 1)];
    }
    if (::link(path.c_str(), name.c_str()) == 0) return name;
    if (errno != EEXIST) break;
  }
  return {};
}

bool is_folder(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

StagedFile::~StagedFile() { discard(); }

bool StagedFile::open(const std::string& path, std::string* error) {
  discard();
  install_handler();
  path_ = path;
  const std::string pattern = temporary_template(path);
  std::vector<char> name(pattern.begin(), pattern.end());
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

bool commit_together(StagedFile* first, StagedFile* second, std::string* error) {
  const auto give_up = [&] {
    first->discard();
    second->discard();
    return false;
  };
  if (!first->close(error) || !second->close(error)) return give_up();
  // Neither name is taken while a signal could end the run between the two.
  SignalsHeld held;
  // The earlier file of the first name is kept under another name until the
  // second is in place, to be put back should the second rename fail.
  const std::string aside = link_aside(first->path());
  // Without that second name, at least what is known to fail is found first.
  if (aside.empty() && is_folder(second->path())) {
    *error = second->path() + ": a folder of that name is in the way";
    return give_up();
  }
  if (!first->commit(error)) {
    if (!aside.empty()) ::unlink(aside.c_str());
    return give_up();
  }
  if (!second->commit(error)) {
    if (aside.empty()) {
      ::unlink(first->path().c_str());
    } else {
      ::rename(aside.c_str(), first->path().c_str());
    }
    return false;
  }
  if (!aside.empty()) ::unlink(aside.c_str());
  return true;
}

}  // namespace periodscan
