// The file channel on the file system: files by name in the current folder.
//
// Result files: `open_output` opens an existing file without emptying it and
// the first record written cuts it, so the file ends up holding exactly the
// records of this run, while a run that ends before its first record leaves
// an earlier file as it was. Records end in carriage return and line feed.
// A failure to open or write a result file, or to read the event-time file
// (an I/O error, as opposed to its end), throws FatalError naming it.
#pragma once

#include <string>
#include <string_view>

#include "textio/fd_line_reader.h"
#include "textio/file_channel.h"

namespace periodscan {

class DiskFileChannel : public FileChannel {
 public:
  DiskFileChannel() = default;
  DiskFileChannel(const DiskFileChannel&) = delete;
  DiskFileChannel& operator=(const DiskFileChannel&) = delete;
  ~DiskFileChannel() override;  // releases the descriptor; writes nothing more

  // Opens an existing regular file for reading. Returns false, showing
  // nothing, when it does not exist or cannot be opened or read as a file
  // (a directory, a device, a pipe, an empty name).
  bool open_input(std::string_view name) override;

  // Opens or creates a file for writing; an existing file is cut by the first
  // record written.
  void open_output(std::string_view name) override;

  // The next read starts at the first line again.
  void rewind_file() override;

  // Writes out what is pending and releases the channel. Does nothing when
  // the channel is closed already.
  void close_file() override;

  // Writes out the records written so far, so that they are in the file while
  // the run goes on.
  void flush() override;

  bool is_open() const { return fd_ >= 0; }

  bool next_line(std::string_view* line) override;
  void put_record(std::string_view record) override;
  std::string_view channel_name() const override { return "file"; }
  std::string_view file_name() const override { return name_; }

 private:
  void write_failure();

  int fd_ = -1;
  bool writing_ = false;
  bool cut_done_ = false;
  std::string name_;
  std::string out_;
  FdLineReader reader_;
};

}  // namespace periodscan
