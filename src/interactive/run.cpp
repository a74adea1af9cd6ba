#include "interactive/run.h"

#include <fenv.h>
#include <signal.h>
#include <unistd.h>

#include <new>

#include "textio/disk_file_channel.h"
#include "textio/fatal_error.h"

namespace periodscan {

int execute_run(Channels& io, std::string* report, RunRoutine routine) {
  try {
    RunEnd end = routine(io);
    // A result file still open is closed by the end of the run.
    io.file.close_file();
    return end == RunEnd::kNormal ? kNormalExitStatus : kErrorStopExitStatus;
  } catch (const FatalError& error) {
    *report = fatal_report(error);
  } catch (const std::bad_alloc&) {
    *report = fatal_report(memory_exhausted());
  }
  return kFatalExitStatus;
}

int run_program(RunRoutine routine) {
  // Every floating-point exception stays masked: a division by zero gives an
  // infinity, an invalid operation a not-a-number, and the run goes on.
  fedisableexcept(FE_ALL_EXCEPT);
  // A console output that is a pipe closed by its reader is a failed write,
  // reported like any other, rather than a silent end by signal.
  signal(SIGPIPE, SIG_IGN);

  ConsoleOutput console(STDOUT_FILENO, detect_console_mode(STDOUT_FILENO));
  ConsoleInput answers(STDIN_FILENO, console);
  DiskFileChannel file;
  Channels io{console, answers, file, console.mode()};
  std::string report;
  int status = execute_run(io, &report, routine);
  try {
    // The last record may still owe its line feed on a console.
    console.settle_line();
  } catch (const FatalError&) {
    // Standard output is gone; the exit status still tells how the run ended.
  }
  if (!report.empty()) {
    report.push_back('\n');
    // Nothing more can be done if the report itself cannot be written.
    ssize_t ignored = ::write(STDERR_FILENO, report.data(), report.size());
    (void)ignored;
  }
  return status;
}

}  // namespace periodscan
