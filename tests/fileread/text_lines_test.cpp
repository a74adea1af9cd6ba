#include "fileread/text_lines.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace periodscan {
namespace {

class TextLines : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string name = (std::filesystem::temp_directory_path() / "text-lines-XXXXXX").string();
    ASSERT_NE(::mkdtemp(name.data()), nullptr);
    folder_ = name;
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string file(const std::string& name, const std::string& content) {
    const std::string path = folder_ + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  // The lines read, or the error with the folder left out.
  std::string read(const std::string& path, LineLimits limits = {}, std::size_t stop_at = 0) {
    std::string text;
    std::string error;
    const bool ok = read_text_lines(
        path,
        [&](std::size_t number, std::string_view line) {
          if (number == stop_at) {
            error = "stopped";
            return false;
          }
          text += std::to_string(number) + "[" + std::string(line) + "]";
          return true;
        },
        &error, limits);
    if (ok) return text;
    const std::size_t at = error.find(folder_ + "/");
    if (at != std::string::npos) error.erase(at, folder_.size() + 1);
    return "error: " + error;
  }

  std::string folder_;
};

TEST_F(TextLines, SplitsLinesAndRefusesWhatIsNoTextFile) {
  const struct {
    std::string content;
    std::size_t max_line;
    std::string expected;
  } cases[] = {
      {"a\nb\r\n\nlast", kMaxLineBytes, "1[a]2[b]3[]4[last]"},
      {"\xEF\xBB\xBF"
       "1\n\xEF\xBB\xBF"
       "2\n",
       kMaxLineBytes,
       "1[1]2[\xEF\xBB\xBF"
       "2]"},
      {"", kMaxLineBytes, ""},
      {"12345678\r\nx", 8, "1[12345678]2[x]"},
      {"ok\n123456789\nx\n", 8,
       "error: f.txt:2: a line longer than 8 bytes: not a text file "
       "of numbers"},
      {std::string(100, '\0'), 8,
       "error: f.txt:1: a line longer than 8 bytes: not a text file "
       "of numbers"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(read(file("f.txt", c.content), LineLimits{c.max_line}), c.expected) << c.content;
  }
  EXPECT_EQ(read(file("f.txt", "a\nb\nc\n"), {}, 2), "error: stopped");
}

TEST_F(TextLines, OpensOnlyRegularFilesAndPipesThatAreWrittenTo) {
  std::filesystem::create_directory(folder_ + "/dir");
  ASSERT_EQ(::mkfifo((folder_ + "/fifo").c_str(), 0600), 0);
  const struct {
    std::string path;
    std::string expected;
  } cases[] = {
      {folder_ + "/dir", "error: dir: not a regular file (a folder)"},
      {"/dev/null", "error: /dev/null: not a regular file (a character device)"},
      {folder_ + "/missing", "error: missing: cannot open: No such file or directory"},
      {folder_ + "/fifo", "error: fifo: a pipe that nothing was written to for 0 s (no writer?)"},
  };
  for (const auto& c : cases) EXPECT_EQ(read(c.path, LineLimits{kMaxLineBytes, 50}), c.expected);
  EXPECT_EQ(input_name("-"), "standard input");
  EXPECT_EQ(input_name("a.txt"), "a.txt");
}

}  // namespace
}  // namespace periodscan
