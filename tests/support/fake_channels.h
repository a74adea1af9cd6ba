// In-memory stand-ins for the console and the file channel, so that record
// layouts, the free-form reading, the dialogue and the regimes can be tested
// without a terminal or files.
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "textio/fatal_error.h"
#include "textio/file_channel.h"
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

// A folder in memory behind the file channel: each file's contents, records
// ended by "\r\n" as on disk. As on disk, a file opened for writing is cut
// by its first record, so an earlier file survives a run that writes nothing
// to it. Names in `refused` cannot be opened for writing (open failure).
class MemoryFileChannel : public FileChannel {
 public:
  std::map<std::string, std::string> files;
  std::set<std::string> refused;
  std::vector<std::string> opened;  // every name opened for writing, in order

  bool open_input(std::string_view name) override {
    auto it = files.find(std::string(name));
    if (it == files.end()) return false;
    name_ = name;
    reading_ = StringLineSource(it->second);
    return true;
  }
  void open_output(std::string_view name) override {
    name_ = name;
    if (refused.count(name_)) throw FatalError(FailureKind::kOpenFailure, "file", name_);
    opened.push_back(name_);
    files.try_emplace(name_);
    cut_done_ = false;
  }
  void rewind_file() override { open_input(name_); }
  void close_file() override {}
  void flush() override {}
  bool next_line(std::string_view* line) override { return reading_.next_line(line); }
  void put_record(std::string_view record) override {
    std::string& contents = files[name_];
    if (!cut_done_) contents.clear();
    cut_done_ = true;
    contents.append(record).append("\r\n");
  }
  std::string_view channel_name() const override { return "file"; }
  std::string_view file_name() const override { return name_; }

 private:
  std::string name_;
  bool cut_done_ = false;
  StringLineSource reading_{""};
};

}  // namespace periodscan::testing
