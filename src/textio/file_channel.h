// The single file channel: the event-time file while it is read, then each
// result file in turn. At most one file is open at a time.
//
// The run reaches files only through this interface: the program uses the
// file system (DiskFileChannel), tests an in-memory store.
//
// Result files: `open_output` opens an existing file without emptying it and
// the first record written cuts it, so the file ends up holding exactly the
// records of this run, while a run that ends before its first record leaves
// an earlier file as it was. Records end in carriage return and line feed.
// A failure to open or write a result file, or to read the event-time file
// (an I/O error, as opposed to its end), throws FatalError naming it.
#pragma once

#include <string_view>

#include "textio/line_source.h"
#include "textio/record_sink.h"

namespace periodscan {

class FileChannel : public LineSource, public RecordSink {
 public:
  // Opens an existing regular file for reading. Returns false, showing
  // nothing, when it does not exist or cannot be opened or read as a file
  // (a directory, a device, a pipe, an empty name).
  virtual bool open_input(std::string_view name) = 0;

  // Opens or creates a file for writing; an existing file is cut by the first
  // record written.
  virtual void open_output(std::string_view name) = 0;

  // The next read starts at the first line again.
  virtual void rewind_file() = 0;

  // Writes out what is pending and releases the channel. Does nothing when
  // the channel is closed already.
  virtual void close_file() = 0;

  // Writes out the records written so far, so that they are in the file while
  // the run goes on.
  virtual void flush() = 0;
};

}  // namespace periodscan
