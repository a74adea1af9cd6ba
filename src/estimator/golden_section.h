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

// One golden-section search, one trial point at a time: point() is the point
// to score next and take() hands its score back. This form lets a caller run
// several searches side by side; golden_section_max below runs one to its end.
class GoldenSection {
 public:
  GoldenSection(float lower, float upper) : a_(lower), b_(upper) { begin_pass(); }

  // The point to score next: a trial point, or at the end the midpoint.
  float point() const { return point_; }

  // Takes the score of point(). Returns true when that was the midpoint's,
  // and the search is over.
  bool take(float score) {
    switch (step_) {
      case Step::kLeft:
        f1_ = score;
        if (right_due_) {
          x2_ = static_cast<float>(static_cast<double>(w_) * kGoldenUpperFraction + a_);
          point_ = x2_;
          step_ = Step::kRight;
        } else {
          end_pass();
        }
        return false;
      case Step::kRight:
        f2_ = score;
        end_pass();
        return false;
      case Step::kMidpoint:
        result_ = score;
        step_ = Step::kDone;
        return true;
      case Step::kDone:
        break;
    }
    return true;
  }

  // The score of the midpoint, once take() has returned true.
  float result() const { return result_; }

 private:
  enum class Step { kLeft, kRight, kMidpoint, kDone };

  // Starts a pass: the width, then the due point (the left one first).
  void begin_pass() {
    w_ = static_cast<float>(static_cast<double>(b_) - a_);
    if (left_due_) {
      x1_ = static_cast<float>(static_cast<double>(w_) * kGoldenLowerFraction + a_);
      point_ = x1_;
      step_ = Step::kLeft;
    } else {
      x2_ = static_cast<float>(static_cast<double>(w_) * kGoldenUpperFraction + a_);
      point_ = x2_;
      step_ = Step::kRight;
    }
  }

  // The due points are scored: stop, or shrink the bracket and go on.
  void end_pass() {
    if (w_ < kGoldenStopWidth) {
      point_ = static_cast<float>((static_cast<double>(a_) + b_) * 0.5);
      step_ = Step::kMidpoint;
      return;
    }
    if (f1_ > f2_) {
      b_ = x2_;
      x2_ = x1_;
      f2_ = f1_;
      left_due_ = true;
      right_due_ = false;
    } else {
      a_ = x1_;
      x1_ = x2_;
      f1_ = f2_;
      left_due_ = false;
      right_due_ = true;
    }
    begin_pass();
  }

  float a_, b_;
  float w_ = 0.0f;
  float x1_ = 0.0f, x2_ = 0.0f;
  float f1_ = 0.0f, f2_ = 0.0f;
  bool left_due_ = true;
  bool right_due_ = true;
  Step step_ = Step::kLeft;
  float point_ = 0.0f;
  float result_ = 0.0f;
};

// `score` is any callable taking no argument and returning the objective, as
// a 4-byte real, at the value currently in `slot`.
template <typename Objective>
float golden_section_max(float lower, float upper, float& slot, Objective&& score) {
  GoldenSection search(lower, upper);
  do {
    slot = search.point();
  } while (!search.take(score()));
  return search.result();
}

}  // namespace periodscan
