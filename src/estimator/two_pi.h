// 2*pi as the program holds it: the 4-byte real 6.2831855.
//
// It is the one value of 2*pi everywhere: the upper end of the phase search,
// the numerator of Omega = 2*pi/T in the period grid, and of the period
// reported back from a 4-byte frequency, T = 2*pi/Omega. Its exact value is
// 6.28318548202514648..., a little above 2*pi; because the same value is used
// going to Omega and coming back, T = 1 gives Omega = 6.2831855 and a reported
// period of exactly 1.
#pragma once

namespace periodscan {

inline constexpr float kTwoPi = 6.2831855f;

}  // namespace periodscan
