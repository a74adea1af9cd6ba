// Start-up and the end of the process.
#pragma once

#include <string>

#include "driver/main_routine.h"
#include "textio/channels.h"

namespace periodscan {

// Runs the program on the given channels and returns the exit status: 0 at
// the normal end, 1 after an error stop, 2 after a fatal failure, whose
// one-line report is then left in `report`.
int execute_run(Channels& io, std::string* report,
                const RegimeRunners& regimes = program_regimes());

// The process: standard output, standard input and standard error.
int run_program(const RegimeRunners& regimes = program_regimes());

}  // namespace periodscan
