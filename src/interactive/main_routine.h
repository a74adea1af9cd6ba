// The run driver: the whole run from the help text to the regime's work.
#pragma once

#include <optional>
#include <vector>

#include "interactive/run_parameters.h"
#include "textio/channels.h"

namespace periodscan {

// What the dialogue settles: the event list and the accepted answers.
struct RunRequest {
  std::vector<float> t;
  RunParameters p;
};

// Help text, blank line, banner, separator and pause; the event list; the
// questions (for regime 1 the window questions too, with p.D set). Nothing
// after an error stop (the event file was rejected).
std::optional<RunRequest> hold_dialogue(Channels& io);

// MAIN__, the run: the dialogue, then the chosen regime's scan and result
// files. Returns how the run ended; a fatal failure comes out as FatalError.
RunEnd MAIN__(Channels& io);

}  // namespace periodscan
