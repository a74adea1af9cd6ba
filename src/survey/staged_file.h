// A result file that appears whole or not at all.
//
// The text goes to a temporary file in the same folder ("PATH.tmp-XXXXXX")
// and is renamed to PATH once complete, so a run that fails, or is ended by
// a signal (any that ends a process by default and can be caught: SIGINT,
// SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGXFSZ, SIGUSR1, ...), leaves no
// half-written file and keeps an older file of that name as it was; the
// process then ends by the signal as it would have. (A SIGKILL or a power cut
// can still leave the temporary file behind, never PATH half written.) The
// temporary name is one no file has, so a temporary file left by a killed
// run never stands in the way. Where "PATH.tmp-XXXXXX" would be too long a
// name for the folder, the part before ".tmp-" is cut short.
#pragma once

#include <string>
#include <string_view>

namespace periodscan {

class StagedFile {
 public:
  StagedFile() = default;
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;
  ~StagedFile();  // discards the temporary file unless committed

  // Creates the temporary file for `path`. False with *error set
  // ("PATH: cannot create ...") on failure.
  bool open(const std::string& path, std::string* error);

  // Text is gathered in buffer() and written out now and then.
  std::string* buffer() { return &buffer_; }
  // Writes the buffer out once it has grown large; false with *error set
  // when the write fails.
  bool flush_if_full(std::string* error);

  // Writes what is left and closes the temporary file. False with *error
  // set on failure (the temporary file is removed).
  bool close(std::string* error);

  // Closes the temporary file if still open and renames it to the path.
  // False with *error set on failure (the temporary file is removed).
  bool commit(std::string* error);

  // Removes the temporary file.
  void discard();

  const std::string& path() const { return path_; }

 private:
  bool flush(std::string* error);

  std::string path_;
  std::string temporary_;
  std::string buffer_;
  int fd_ = -1;
  int slot_ = -1;  // in the list the signal handler cleans up
};

// Commits two staged files as one: both take their names, or neither does
// and the earlier files of both names stay as they were. False with *error
// set on failure (both temporary files are removed).
bool commit_together(StagedFile* first, StagedFile* second, std::string* error);

}  // namespace periodscan
