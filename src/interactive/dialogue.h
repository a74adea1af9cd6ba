// The questions of the run, each asked until its answer is accepted.
//
// An answer is one free-form read that handles read errors: an unreadable
// answer repeats the question; the end of the console input ends the run with
// the fatal error report. Numbers after those a question needs are ignored,
// and an empty line is no answer (the read waits for the next line). A target
// that gets an empty value (a lone ",") keeps its value; the values start as
// ones that every check rejects, so an empty first answer is asked again.
#pragma once

#include "interactive/run_parameters.h"
#include "textio/channels.h"

namespace periodscan {

// Tmin and Tmax (rejected: unreadable, Tmin <= 0, Tmax <= Tmin), NP
// (rejected: unreadable, NP <= 1) and the regime (rejected: unreadable, not 0
// or 1; all three regime lines again).
void ask_period_questions(Channels& io, RunParameters& p);

// The moving-window questions, given p.D: the window length L (rejected:
// unreadable or L <= 0; L > D with "Moving time window is too long !"), the
// shift S (rejected: unreadable or S <= 0; S > L with the line naming L; a
// shift that would make more windows than a 32-bit count holds with "Moving
// time window shift is too small !") and
// the time-mark shift M (any number; an unreadable answer goes back to the
// shift question).
void ask_window_questions(Channels& io, RunParameters& p);

}  // namespace periodscan
