// What the fuzz targets share: a check that stops the fuzzer, a line source
// over the input bytes, a console that keeps its records, and a scratch
// folder for the targets that open files.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "textio/line_source.h"
#include "textio/record_sink.h"

namespace periodscan::fuzz {

// Reports a broken expectation and aborts, which libFuzzer records as a crash
// together with the input.
[[noreturn]] inline void broken(const char* what, std::string_view detail = {}) {
  std::fprintf(stderr, "fuzz check failed: %s %.*s\n", what, static_cast<int>(detail.size()),
               detail.data());
  std::abort();
}

#define FUZZ_CHECK(condition, detail)                                 \
  do {                                                                \
    if (!(condition)) ::periodscan::fuzz::broken(#condition, detail); \
  } while (false)

// The lines of a byte string, split as the real sources split them: a line
// ends at a line feed, a carriage return just before it is dropped, and a
// last line without a line feed (a carriage return ending it dropped too) is
// still a line.
class ByteLines : public LineSource {
 public:
  explicit ByteLines(std::string_view bytes, std::string_view channel = "console input",
                     std::string_view file = "standard input")
      : bytes_(bytes), channel_(channel), file_(file) {}

  bool next_line(std::string_view* line) override {
    if (pos_ >= bytes_.size()) return false;
    size_t end = bytes_.find('\n', pos_);
    const size_t next = end == std::string_view::npos ? bytes_.size() : end + 1;
    if (end == std::string_view::npos) end = bytes_.size();
    size_t stop = end;
    if (stop > pos_ && bytes_[stop - 1] == '\r') --stop;
    *line = bytes_.substr(pos_, stop - pos_);
    pos_ = next;
    return true;
  }
  std::string_view channel_name() const override { return channel_; }
  std::string_view file_name() const override { return file_; }

 private:
  std::string_view bytes_;
  std::string_view channel_;
  std::string_view file_;
  size_t pos_ = 0;
};

// The console output, kept record by record.
class ConsoleRecords : public RecordSink {
 public:
  void put_record(std::string_view record) override { records.emplace_back(record); }
  std::vector<std::string> records;
};

inline const std::string& scratch_folder();

inline void remove_scratch_folder() {
  std::error_code ignored;
  std::filesystem::remove_all(scratch_folder(), ignored);
}

// A fresh folder under $TMPDIR (or /tmp), made once per process and removed
// when the process ends normally. Its name is never destroyed, so that the
// removal at exit can still use it.
inline const std::string& scratch_folder() {
  static const std::string& path = *[] {
    const char* base = std::getenv("TMPDIR");
    auto* made = new std::string(std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                                 "/periodscan-fuzz-XXXXXX");
    if (mkdtemp(made->data()) == nullptr) broken("mkdtemp", *made);
    std::atexit(remove_scratch_folder);
    return made;
  }();
  return path;
}

// Works in the scratch folder for its lifetime, then goes back: the program
// opens its files by bare names in the current folder.
class InScratchFolder {
 public:
  InScratchFolder() : saved_(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (saved_ < 0 || ::chdir(scratch_folder().c_str()) != 0)
      broken("chdir into the scratch folder");
  }
  ~InScratchFolder() {
    if (::fchdir(saved_) != 0) broken("chdir back");
    ::close(saved_);
  }
  InScratchFolder(const InScratchFolder&) = delete;
  InScratchFolder& operator=(const InScratchFolder&) = delete;

 private:
  int saved_;
};

}  // namespace periodscan::fuzz
