// The trial frequencies of a survey, in cycles per time unit (f = 1/T).
//
// A resolving grid is uniform in frequency: from 1/Tmax to 1/Tmin in steps of
// 1/(K*span), K samples per peak width (a peak of a catalogue spanning
// `span` is about 1/span wide). The interactive program's grid (uniform in
// log10 T) can be given as a list instead.
//
// Example: resolving(0.25, 4, 100, 5) is 0.25, 0.252, ..., 4 cycles per unit,
// 1,876 frequencies; the last lands on 1/Tmin up to rounding and is kept.
// interactive_periods(1, 100, 5) lists Omega(k)/(2 pi) for the program's 4-byte
// Omega(k) = 6.2831855/T(k): the frequencies it fits at, whose periods agree
// with the ones it writes (1, 3.1622777, 10, 31.622776, 100) to about 3e-8.
#pragma once

#include <cstddef>
#include <vector>

namespace periodscan {

class FrequencyGrid {
 public:
  // first + i*step for i = 0..count-1.
  static FrequencyGrid uniform(double first, double step, std::size_t count);
  // From 1/max_period up to at most 1/min_period, step 1/(samples_per_peak*span).
  static FrequencyGrid resolving(double min_period, double max_period, double span,
                                 double samples_per_peak);
  // Any frequencies, in the given order.
  static FrequencyGrid listed(std::vector<double> frequencies);
  // The interactive program's static grid (Tmin, Tmax, NP as 4-byte values):
  // the frequencies of its 4-byte Omega(k), Tmin first.
  static FrequencyGrid interactive_periods(float Tmin, float Tmax, int NP);

  std::size_t size() const { return count_; }
  double at(std::size_t i) const {
    return listed_.empty() ? first_ + step_ * double(i) : listed_[i];
  }
  bool is_uniform() const { return listed_.empty(); }
  double first() const { return first_; }
  double step() const { return step_; }

 private:
  double first_ = 0.0;
  double step_ = 0.0;
  std::size_t count_ = 0;
  std::vector<double> listed_;
};

}  // namespace periodscan
