// FIND_FI: for a fixed amplitude A, the phase search. It runs the
// golden-section search of golden_section.h over Fi in [0, 6.2831855], each
// phase scored by FUNCTI, and returns in DeltaLogLik the increment at the
// midpoint of the final bracket.
//
// Fi is the trial slot: every trial phase is written to it and that same Fi
// is handed to FUNCTI, so its value on entry is never read and its value on
// return (the final midpoint) is not part of the result. DeltaLogLik is
// written by every FUNCTI call and holds the last one on return.
//
// Cost: FUNCTI is called 36 times (35 on some searches that close in on a
// phase between 4 and 2*pi). The bracket is not a circle: a maximum at phase
// 0 is found near either end. Example: if every phase scores the same, the
// search ends with Fi = 6.283185.
//
// Arguments are in the order of FUNCTI's with Omega first; N, t and t0 are
// passed through unchanged. Nothing is checked.
#pragma once

#include <cstdint>

namespace periodscan {

void FIND_FI(const float& Omega, const float& A, float& Fi, float& DeltaLogLik,
             const std::int32_t& N, const float t[], const float& t0);

}  // namespace periodscan
