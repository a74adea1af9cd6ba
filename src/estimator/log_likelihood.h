// FUNCTI: the log-likelihood increment DeltaLogLik of the intensity law
// Lambda(t) = Mju*(1 + A*cos(Omega*(t - t0) + Fi)) over the constant-rate law,
// for event times t[0..N-1] observed on [t0, t[N-1]], with the mean rate Mju
// maximised out in closed form in both laws:
//
//   DeltaLogLik = N*ln(Lobs/J) + sum_i ln(1 + A*cos(Omega*(t[i] - t0) + Fi)),
//   Lobs = t[N-1] - t0,  J = Lobs + A*(sin(Omega*Lobs + Fi) - sin(Fi))/Omega.
//
// Rounding: 4-byte reals are stored at exactly these points, everything else
// is double (sin, cos and log are the C library's double functions):
//   Lobs = t[N-1] - t0                                rounded
//   s    = sin(Lobs*Omega + Fi)                       rounded
//   J    = (s - sin(Fi))*A/Omega + Lobs               double
//   r    = ((Nr/J)*Lobs)/Nr, Nr = N as a 4-byte real  double
//   sum  = Nr*ln(r)                                   rounded
//   sum  = sum + ln(1 + A*cos((t[i] - t0)*Omega + Fi)), i = 0..N-1 in order,
//          rounded after every addition.
// The operand orders shown are the ones used; changing them changes bits.
//
// Example: t = {0, 1}, t0 = 0, Omega = 6.2831855, A = 0.5, Fi = 0 gives
// Lobs = 1, J = 1 (to 2e-8) and two terms ln 1.5: DeltaLogLik = 0.81093.
// With Omega = 3.1415927 the terms are ln 1.5 and ln 0.5: -0.28768, returned
// as it is. A = 0 gives 0 for every Omega and Fi (up to the rounding of r).
//
// Arguments follow the calling convention of the searches: all by reference,
// in this order, only DeltaLogLik written. Nothing is checked: the callers
// guarantee N >= 2, 0 <= A < 1 and Lobs > 0. With Lobs = 0 (every event at
// t0) J is 0 and the result is not a finite number; callers must not pass
// such an interval.
#pragma once

#include <cstdint>

namespace periodscan {

void FUNCTI(const float& A, const float& Fi, const float& Omega, float& DeltaLogLik,
            const std::int32_t& N, const float t[], const float& t0);

// The running sum's starting value Nr*ln(r), rounded: the part of the
// increment that does not depend on the events one by one. FUNCTI starts its
// sum here, and so does every search that forms the sum its own way.
float log_likelihood_start(double a, double fi, double omega, std::int32_t N, const float t[],
                           double origin);

}  // namespace periodscan
