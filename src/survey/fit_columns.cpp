#include "survey/fit_columns.h"

#include <cmath>
#include <limits>
#include <numbers>

namespace periodscan {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// value reduced into [0, modulus), for -2 modulus < value < 2 modulus.
double wrap(double value, double modulus) {
  if (value < 0.0) value += modulus;
  if (value < 0.0) value += modulus;
  if (value >= modulus) value -= modulus;
  // value + modulus may round up to modulus itself.
  return value >= modulus ? 0.0 : value;
}

}  // namespace

SpectrumColumns spectrum_columns(double frequency, const SpectrumRow& row, double fit_origin,
                                 double t1) {
  SpectrumColumns columns;
  columns.frequency = frequency;
  columns.period = 1.0 / frequency;
  columns.delta_log_lik = row.fit.delta_log_lik;
  columns.amplitude = row.fit.amplitude;
  columns.rayleigh_z = row.rayleigh_z;
  if (row.fit.amplitude == 0.0) {
    columns.phase = 0.0;
    columns.peak_time = kNaN;
    return columns;
  }
  // Shifts are taken in whole turns and reduced before they are scaled back,
  // which keeps the digits that a shift of many thousand turns would lose.
  const double turn = row.fit.phase / kTwoPi;  // in [0, 1)
  if (fit_origin == t1) {
    columns.phase = row.fit.phase;
  } else {
    const double shift = frequency * (t1 - fit_origin);
    const double turns = turn + (shift - std::floor(shift));
    columns.phase = wrap(turns - std::floor(turns), 1.0) * kTwoPi;
    if (columns.phase >= kTwoPi) columns.phase = 0.0;
  }
  // fmod is exact; the peak lies turn periods before fit_origin's place in
  // the cycle.
  const double place = std::fmod(fit_origin, columns.period);
  columns.peak_time = wrap(place - turn * columns.period, columns.period);
  return columns;
}

SpectrumColumns blank_columns(double frequency) {
  SpectrumColumns columns;
  columns.frequency = frequency;
  columns.period = 1.0 / frequency;
  columns.delta_log_lik = kNaN;
  columns.amplitude = kNaN;
  columns.phase = kNaN;
  columns.peak_time = kNaN;
  columns.rayleigh_z = kNaN;
  return columns;
}

double rate_maximum_near(double peak_time, double period, double time) {
  return peak_time + std::round((time - peak_time) / period) * period;
}

}  // namespace periodscan
