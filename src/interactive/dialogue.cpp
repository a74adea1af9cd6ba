#include "interactive/dialogue.h"

#include <cstdint>

#include "scan/moving_window_scan.h"
#include "textio/free_reader.h"
#include "textio/list_record.h"

namespace periodscan {

namespace {

void prompt(Channels& io, const char* text) { write_list(io.console, {Item(text)}); }

// One answer for the given targets; true when it was read without a read
// error (the end of input does not come back: it is fatal).
bool answer(Channels& io, std::initializer_list<NumberTarget> targets) {
  return read_numbers(io.answers, std::span<const NumberTarget>(targets.begin(), targets.size()),
                      Handled::kReadErrors) <= 0;
}

void ask_shift(Channels& io, RunParameters& p) {
  for (;;) {
    prompt(io, "What is the shift of moving time window = ?");
    if (!answer(io, {&p.S}) || p.S <= 0.0f) continue;
    if (p.S > p.L) {
      write_list(io.console, {Item("Moving time window shift should be 0 < Tshift <="), Item(p.L)});
      continue;
    }
    // The windows are numbered by a 32-bit integer: a shift that would make
    // more of them than it can count is refused.
    if (!window_count(p.D, p.L, p.S)) {
      prompt(io, "Moving time window shift is too small !");
      continue;
    }
    return;
  }
}

}  // namespace

void ask_period_questions(Channels& io, RunParameters& p) {
  for (;;) {
    prompt(io, "What are the values of minimum and maximum periods (Tmin, Tmax) = ?");
    if (answer(io, {&p.Tmin, &p.Tmax}) && p.Tmin > 0.0f && p.Tmax > p.Tmin) break;
  }
  for (;;) {
    prompt(io, "What is the number of period values = ?");
    if (answer(io, {&p.NP}) && p.NP > 1) break;
  }
  // Starts out of range, so that an empty answer is asked again.
  int32_t regime = -1;
  for (;;) {
    prompt(io, "What will be the regime of program using:");
    prompt(io, "if estimate for the whole sample      - give 0");
    prompt(io, "if estimate in the moving time window - give 1");
    if (answer(io, {&regime}) && regime >= 0 && regime <= 1) break;
  }
  p.regime = static_cast<Regime>(regime);
}

void ask_window_questions(Channels& io, RunParameters& p) {
  for (;;) {
    prompt(io, "What is the length of time window = ?");
    if (!answer(io, {&p.L}) || p.L <= 0.0f) continue;
    if (p.L > p.D) {
      prompt(io, "Moving time window is too long !");
      continue;
    }
    break;
  }
  for (;;) {
    ask_shift(io, p);
    prompt(io, "What is the shift of time marks on time-frequency diagram = ?");
    if (answer(io, {&p.M})) return;
  }
}

}  // namespace periodscan
