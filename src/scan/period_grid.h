// The period grid: NP trial periods from Tmin upwards, evenly spaced in
// log10 T, each with its angular frequency Omega as a 4-byte real.
//
// Periods are numbered k = 1..NP (period 1 is Tmin). With lgmin and step
// 4-byte reals fixed when the grid is made:
//
//   x(k)     = (k - 1)*step + lgmin        double, product first
//   T(k)     = 10**x(k)                    double (pow)
//   Omega(k) = 6.2831855/T(k)              rounded
//   reported period = 6.2831855/Omega(k)   rounded: computed back from the
//                                          4-byte frequency, not from T(k)
//
// The two regimes build lgmin and step slightly differently:
//   static grid: lgmin = log10(Tmin) rounded,
//                step  = (log10(Tmax) - lgmin)/(NP - 1) rounded, with
//                log10(Tmax) NOT rounded first;
//   window grid: lgmin = log10(Tmin) and lgmax = log10(Tmax), both rounded,
//                step  = (lgmax - lgmin)/(NP - 1) rounded.
// lgmax is log10(Tmax) rounded in both; only the window grid builds its step
// from it (the grid files put lgmin and lgmax on their period axis).
//
// The last period is Tmax only up to this rounding and is not forced to it.
// Examples (static grid):
//   Tmin = 1, Tmax = 100, NP = 5: lgmin 0, step 0.5; Omega 6.2831855,
//     1.9869177, 0.62831855, 0.19869177, 0.062831856; reported periods 1,
//     3.1622777, 10, 31.622776, 100.
//   Tmin = 10, Tmax = 1000, NP = 201: step 0.0099999998, last reported
//     period 999.99994.
//   Tmin = 0.5, Tmax = 2000, NP = 4: reported 0.5, 7.9370055, 125.99212,
//     2000.0004.
//
// Nothing is checked: the dialogue guarantees 0 < Tmin < Tmax and NP >= 2.
#pragma once

#include <cstdint>

namespace periodscan {

struct PeriodGrid {
  float lgmin = 0.0f;  // log10(Tmin), rounded
  float lgmax = 0.0f;  // log10(Tmax), rounded
  float step = 0.0f;   // spacing in log10 T, rounded
  std::int32_t np = 0;

  // Decimal logarithm x(k) of period k (1-based), unrounded.
  double log_period(std::int32_t k) const;
  // Omega(k) of period k (1-based), the frequency handed to FIND_AFI.
  float omega(std::int32_t k) const;
  // The period written for period k (1-based): 6.2831855/Omega(k), rounded.
  float reported_period(std::int32_t k) const;
};

// Grid of the static regime (log10(Tmax) enters step unrounded).
PeriodGrid static_period_grid(float Tmin, float Tmax, std::int32_t NP);

// Grid of the moving-window regime (step built from rounded lgmin, lgmax).
PeriodGrid window_period_grid(float Tmin, float Tmax, std::int32_t NP);

}  // namespace periodscan
