// Start-up and the end of the process.
#pragma once

#include <string>

#include "interactive/main_routine.h"
#include "textio/channels.h"

namespace periodscan {

// The whole run on given channels: MAIN__ for the program.
using RunRoutine = RunEnd (*)(Channels& io);

// Runs `routine` on the given channels and returns the exit status: 0 at the
// normal end, 1 after an error stop, 2 after a fatal failure, whose one-line
// report is then left in `report`.
int execute_run(Channels& io, std::string* report, RunRoutine routine = MAIN__);

// The process: the floating-point environment and signals set up, `routine`
// run on standard output, standard input and standard error; returns the exit
// status.
int run_program(RunRoutine routine = MAIN__);

}  // namespace periodscan
