#include "support/literal_estimator.h"

#include <cmath>

namespace periodscan::testing {

namespace {

const float kTwoPi = 6.2831855f;
const float kLowerFraction = 0.381966f;
const float kUpperFraction = 0.618034f;
const float kStopWidth = 1e-6f;

// Stores a double as a 4-byte real.
float store(double value) { return static_cast<float>(value); }

}  // namespace

float literal_functi(float A, float Fi, float Omega, std::int32_t N, const float* t, float t0) {
  // Step 1.
  float Lobs = store(static_cast<double>(t[N - 1]) - static_cast<double>(t0));
  // Step 2: Lobs times Omega, plus Fi, sine.
  double product = static_cast<double>(Lobs) * static_cast<double>(Omega);
  float s = store(std::sin(product + static_cast<double>(Fi)));
  // Step 3: difference of sines, times A, divided by Omega, plus Lobs.
  double difference = static_cast<double>(s) - std::sin(static_cast<double>(Fi));
  double J = difference * static_cast<double>(A);
  J = J / static_cast<double>(Omega);
  J = J + static_cast<double>(Lobs);
  // Step 4.
  float Nr = static_cast<float>(N);
  // Step 5.
  double r = static_cast<double>(Nr) / J;
  r = r * static_cast<double>(Lobs);
  r = r / static_cast<double>(Nr);
  // Step 6.
  float sum = store(static_cast<double>(Nr) * std::log(r));
  // Step 7, i = 1..N.
  for (std::int32_t i = 1; i <= N; ++i) {
    double u = static_cast<double>(t[i - 1]) - static_cast<double>(t0);
    u = u * static_cast<double>(Omega);
    u = u + static_cast<double>(Fi);
    double c = std::cos(u);
    double term = std::log(1.0 + static_cast<double>(A) * c);
    sum = store(static_cast<double>(sum) + term);
  }
  return sum;
}

LiteralPhaseSearch literal_find_fi(float Omega, float A, std::int32_t N, const float* t, float t0) {
  LiteralPhaseSearch out;
  float a = 0.0f;
  float b = kTwoPi;
  float x1 = 0.0f, x2 = 0.0f, f1 = 0.0f, f2 = 0.0f;
  bool left_due = true;
  bool right_due = true;
  while (true) {
    float w = store(static_cast<double>(b) - static_cast<double>(a));
    if (left_due) {
      x1 = store(static_cast<double>(w) * static_cast<double>(kLowerFraction) +
                 static_cast<double>(a));
      out.Fi = x1;
      f1 = literal_functi(A, out.Fi, Omega, N, t, t0);
      ++out.functi_calls;
    }
    if (right_due) {
      x2 = store(static_cast<double>(w) * static_cast<double>(kUpperFraction) +
                 static_cast<double>(a));
      out.Fi = x2;
      f2 = literal_functi(A, out.Fi, Omega, N, t, t0);
      ++out.functi_calls;
    }
    if (w < kStopWidth) break;
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
  out.Fi = store((static_cast<double>(a) + static_cast<double>(b)) * 0.5);
  out.delta_log_lik = literal_functi(A, out.Fi, Omega, N, t, t0);
  ++out.functi_calls;
  return out;
}

LiteralAmplitudeSearch literal_find_afi(float Omega, std::int32_t N, const float* t, float t0) {
  LiteralAmplitudeSearch out;
  // Scores amplitude x with a phase search and records its cost.
  auto score = [&](float x) {
    LiteralPhaseSearch phase = literal_find_fi(Omega, x, N, t, t0);
    out.Fi = phase.Fi;
    out.functi_calls_per_phase_search.push_back(phase.functi_calls);
    return phase.delta_log_lik;
  };
  float a = 0.0f;
  float b = 1.0f;
  float x1 = 0.0f, x2 = 0.0f, f1 = 0.0f, f2 = 0.0f;
  bool left_due = true;
  bool right_due = true;
  while (true) {
    float w = store(static_cast<double>(b) - static_cast<double>(a));
    if (left_due) {
      x1 = store(static_cast<double>(w) * static_cast<double>(kLowerFraction) +
                 static_cast<double>(a));
      f1 = score(x1);
    }
    if (right_due) {
      x2 = store(static_cast<double>(w) * static_cast<double>(kUpperFraction) +
                 static_cast<double>(a));
      f2 = score(x2);
    }
    if (w < kStopWidth) break;
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
  out.A = store((static_cast<double>(a) + static_cast<double>(b)) * 0.5);
  out.delta_log_lik = score(out.A);
  return out;
}

namespace {

void fill_grid(LiteralGrid& grid, std::int32_t NP) {
  for (std::int32_t k = 1; k <= NP; ++k) {
    double x = static_cast<double>(k - 1) * static_cast<double>(grid.step);
    x = x + static_cast<double>(grid.lgmin);
    double T = std::pow(10.0, x);
    float Omega = store(static_cast<double>(kTwoPi) / T);
    grid.omega.push_back(Omega);
    grid.reported_period.push_back(store(static_cast<double>(kTwoPi) / static_cast<double>(Omega)));
  }
}

}  // namespace

LiteralGrid literal_static_grid(float Tmin, float Tmax, std::int32_t NP) {
  LiteralGrid grid;
  grid.lgmin = store(std::log10(static_cast<double>(Tmin)));
  double lg_tmax = std::log10(static_cast<double>(Tmax));
  grid.lgmax = store(lg_tmax);
  grid.step = store((lg_tmax - static_cast<double>(grid.lgmin)) / static_cast<double>(NP - 1));
  fill_grid(grid, NP);
  return grid;
}

LiteralGrid literal_window_grid(float Tmin, float Tmax, std::int32_t NP) {
  LiteralGrid grid;
  grid.lgmin = store(std::log10(static_cast<double>(Tmin)));
  grid.lgmax = store(std::log10(static_cast<double>(Tmax)));
  grid.step = store((static_cast<double>(grid.lgmax) - static_cast<double>(grid.lgmin)) /
                    static_cast<double>(NP - 1));
  fill_grid(grid, NP);
  return grid;
}

}  // namespace periodscan::testing
