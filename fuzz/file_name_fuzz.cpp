// The file-name answer: the 64-character line read, the trimming of the name,
// and the opening of the event-time file by that name.
//
// Every line of the input is one answer. Checked: the line read holds exactly
// 64 characters, the line's first 64 followed by blanks; the name is that
// text without leading and trailing blanks (only the blank counts) and is
// empty only for a text of blanks; the end of the input ends the run with the
// report of the console input. Names without a "/" are opened in a scratch
// folder that holds a regular file, a link to it, a folder, a pipe and a
// link to itself: only the regular file and the link to it open, and the
// channel is closed again. Names with a "/" are not opened, so that the
// fuzzer never touches files outside its folder.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "interactive/event_list_reader.h"
#include "textio/disk_file_channel.h"
#include "textio/fatal_error.h"
#include "textio/free_reader.h"

namespace periodscan::fuzz {
namespace {

constexpr size_t kLineLength = 64;

void make_folder() {
  InScratchFolder here;
  std::ofstream("ev.txt") << "0\n1\n2\n";
  if (::symlink("ev.txt", "evlink") != 0 || ::mkdir("adir", 0755) != 0 ||
      ::mkfifo("afifo", 0644) != 0 || ::symlink("loop", "loop") != 0) {
    broken("making the scratch folder");
  }
}

void check_answer(std::string_view line, const std::string& text) {
  FUZZ_CHECK(text.size() == kLineLength, text);
  const std::string_view kept = line.substr(0, std::min(line.size(), kLineLength));
  FUZZ_CHECK(std::string_view(text).substr(0, kept.size()) == kept, text);
  FUZZ_CHECK(text.find_first_not_of(' ', kept.size()) == std::string::npos, text);

  const std::string name = trim_file_name(text);
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) {
    FUZZ_CHECK(name.empty(), name);
    return;
  }
  const size_t last = text.find_last_not_of(' ');
  FUZZ_CHECK(name == text.substr(first, last - first + 1), name);

  if (name.find('/') != std::string::npos) return;
  DiskFileChannel file;
  const bool opened = file.open_input(name);
  FUZZ_CHECK(opened == (name == "ev.txt" || name == "evlink"), name);
  FUZZ_CHECK(file.is_open() == opened, name);
  file.close_file();
  FUZZ_CHECK(!file.is_open(), name);
}

}  // namespace
}  // namespace periodscan::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  periodscan::fuzz::make_folder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace periodscan;
  using namespace periodscan::fuzz;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  InScratchFolder here;
  ByteLines answers(bytes);
  ByteLines lines(bytes);  // the same lines, to compare with
  for (;;) {
    std::string_view line;
    const bool more = lines.next_line(&line);
    try {
      const std::string text = read_line64(answers);
      FUZZ_CHECK(more, "a line read after the end");
      check_answer(line, text);
    } catch (const FatalError& error) {
      FUZZ_CHECK(!more, "a line lost");
      FUZZ_CHECK(error.kind() == FailureKind::kEndOfInput, error.what());
      FUZZ_CHECK(error.channel() == "console input" && error.file() == "standard input",
                 error.channel());
      break;
    }
  }
  return 0;
}
