// In-memory stand-ins for the console and the file channel, so that record
// layouts, the free-form reading and the dialogue can be tested without a
// terminal or files.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "textio/line_source.h"
#include "textio/record_sink.h"

namespace periodscan::testing {

// Collects every record written to it, without record endings.
class RecordCollector : public RecordSink {
 public:
  void put_record(std::string_view record) override { records.emplace_back(record); }
  std::vector<std::string> records;
};

// Serves the lines of a text; "\n" ends a line and a "\r" before it is
// dropped, as the real sources do. A last line without "\n" is a line too,
// and a "\r" that ends it is dropped as well.
class StringLineSource : public LineSource {
 public:
  explicit StringLineSource(std::string text) : text_(std::move(text)) {}

  bool next_line(std::string_view* line) override {
    if (pos_ >= text_.size()) return false;
    size_t end = text_.find('\n', pos_);
    size_t next = end == std::string::npos ? text_.size() : end + 1;
    if (end == std::string::npos) end = text_.size();
    size_t stop = end;
    if (stop > pos_ && text_[stop - 1] == '\r') --stop;
    *line = std::string_view(text_).substr(pos_, stop - pos_);
    pos_ = next;
    ++lines_read;
    return true;
  }
  std::string_view channel_name() const override { return "console input"; }
  std::string_view file_name() const override { return "standard input"; }

  int lines_read = 0;

 private:
  std::string text_;
  size_t pos_ = 0;
};

}  // namespace periodscan::testing
