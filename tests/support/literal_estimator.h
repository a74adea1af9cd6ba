// A plain, single-threaded transcription of the estimator, written for
// clarity and kept apart from src/estimator: the log-likelihood increment,
// the phase and amplitude searches and the period grid, step by step in the
// order the routines are described, with every 4-byte rounding spelled out.
//
// The program's estimator must agree with it to the bit on every input; any
// faster version of the estimator is held to it, and the regime tests use it
// to compute the values they expect. Event arrays are 0-based here
// (t[0..N-1]); period numbers k are 1-based as in the period grid.
#pragma once

#include <cstdint>
#include <vector>

namespace periodscan::testing {

// DeltaLogLik for amplitude A, phase Fi and frequency Omega over t[0..N-1]
// observed on [t0, t[N-1]].
float literal_functi(float A, float Fi, float Omega, std::int32_t N, const float* t, float t0);

struct LiteralPhaseSearch {
  float Fi = 0.0f;             // the final midpoint phase
  float delta_log_lik = 0.0f;  // the increment there
  int functi_calls = 0;        // evaluations of literal_functi
};

// The phase search for a fixed amplitude A over [0, 6.2831855].
LiteralPhaseSearch literal_find_fi(float Omega, float A, std::int32_t N, const float* t, float t0);

struct LiteralAmplitudeSearch {
  float A = 0.0f;              // the final midpoint amplitude
  float Fi = 0.0f;             // the phase left by the last phase search
  float delta_log_lik = 0.0f;  // the increment at A
  // One entry per phase search, in call order: how many times that search
  // evaluated literal_functi.
  std::vector<int> functi_calls_per_phase_search;
};

// The amplitude search over [0, 1], each amplitude scored by a phase search.
LiteralAmplitudeSearch literal_find_afi(float Omega, std::int32_t N, const float* t, float t0);

struct LiteralGrid {
  float lgmin = 0.0f;
  float lgmax = 0.0f;
  float step = 0.0f;
  std::vector<float> omega;            // omega[k-1] is Omega(k)
  std::vector<float> reported_period;  // reported_period[k-1] for period k
};

// Static regime: log10(Tmax) enters the step unrounded.
LiteralGrid literal_static_grid(float Tmin, float Tmax, std::int32_t NP);
// Moving-window regime: the step is formed from rounded lgmin and lgmax.
LiteralGrid literal_window_grid(float Tmin, float Tmax, std::int32_t NP);

}  // namespace periodscan::testing
