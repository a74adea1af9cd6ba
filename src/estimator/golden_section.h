// The golden-section search that both the amplitude search and the phase
// search run; they differ only in their bracket and their objective.
//
// The search maximises an objective g over [lower, upper]. Every quantity it
// keeps (bracket ends a and b, width w, interior points x1 < x2 and their
// scores f1, f2) is a 4-byte real; arithmetic between them is in double and
// rounded to a 4-byte real where the value is stored:
//
//   w  = b - a                      rounded
//   x1 = w*0.381966 + a             rounded   (always from the lower end)
//   x2 = w*0.618034 + a             rounded
//   m  = (a + b)*0.5                rounded
//
// A pass computes and scores the point that is due (both in the first pass,
// left before right), then stops if w < 1e-6. Otherwise, if f1 > f2
// (strictly; a not-a-number compares false) the bracket becomes [a, x2] and
// the left point is due, else it becomes [x1, b] and the right point is due.
// The point that stays keeps its stored value and score. After the last pass
// the midpoint m is scored and that score is the result: not the best of f1
// and f2, and the point scored in the last pass is never used.
//
// The objective is handed its argument through a trial slot: every trial
// point, and finally m, is written to `slot` just before `score()` is
// called, and `score()` reads the slot itself. On return `slot` holds m.
//
// Evaluation count: 2 + (number of shrinks) + 1. On [0, 1] the width falls
// below 1e-6 after 29 shrinks whatever the objective does, so the objective
// is scored 32 times. On [0, 6.2831855] it takes 33 shrinks (36 scores),
// except that near the top of the bracket, where 4-byte reals are about
// 4.8e-7 apart, rounding of the trial points can end it after 32 (35).
//
// Example: an objective that returns the same value everywhere ties every
// comparison, so the bracket creeps to the upper end: on [0, 1] the slot
// ends at 0.99999952f, on [0, 6.2831855] at 6.283185f.
#pragma once

namespace periodscan {

inline constexpr float kGoldenLowerFraction = 0.381966f;
inline constexpr float kGoldenUpperFraction = 0.618034f;
inline constexpr float kGoldenStopWidth = 1e-6f;

// `score` is any callable taking no argument and returning the objective, as
// a 4-byte real, at the value currently in `slot`.
template <typename Objective>
float golden_section_max(float lower, float upper, float& slot, Objective&& score) {
  float a = lower;
  float b = upper;
  float x1 = 0.0f;
  float x2 = 0.0f;
  float f1 = 0.0f;
  float f2 = 0.0f;
  bool left_due = true;
  bool right_due = true;
  for (;;) {
    const float w = static_cast<float>(static_cast<double>(b) - a);
    if (left_due) {
      x1 = static_cast<float>(static_cast<double>(w) * kGoldenLowerFraction + a);
      slot = x1;
      f1 = score();
    }
    if (right_due) {
      x2 = static_cast<float>(static_cast<double>(w) * kGoldenUpperFraction + a);
      slot = x2;
      f2 = score();
    }
    if (w < kGoldenStopWidth) break;
    if (f1 > f2) {
      b = x2;
      x2 = x1;
      f2 = f1;
      left_due = true;
      right_due = false;
    } else {
      a = x1;
      x1 = x2;
      f1 = f2;
      left_due = false;
      right_due = true;
    }
  }
  slot = static_cast<float>((static_cast<double>(a) + b) * 0.5);
  return score();
}

}  // namespace periodscan
