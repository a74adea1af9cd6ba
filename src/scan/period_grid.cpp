#include "scan/period_grid.h"

#include <cassert>
#include <cmath>

#include "estimator/two_pi.h"

namespace periodscan {

double PeriodGrid::log_period(std::int32_t k) const {
  assert(k >= 1 && k <= np);
  return static_cast<double>(k - 1) * step + lgmin;
}

float PeriodGrid::omega(std::int32_t k) const {
  const double period = std::pow(10.0, log_period(k));
  return static_cast<float>(kTwoPi / period);
}

float PeriodGrid::reported_period(std::int32_t k) const {
  return static_cast<float>(static_cast<double>(kTwoPi) / omega(k));
}

PeriodGrid static_period_grid(float Tmin, float Tmax, std::int32_t NP) {
  PeriodGrid grid;
  grid.np = NP;
  grid.lgmin = static_cast<float>(std::log10(static_cast<double>(Tmin)));
  const double lg_tmax = std::log10(static_cast<double>(Tmax));
  grid.lgmax = static_cast<float>(lg_tmax);
  grid.step = static_cast<float>((lg_tmax - grid.lgmin) / static_cast<double>(NP - 1));
  return grid;
}

PeriodGrid window_period_grid(float Tmin, float Tmax, std::int32_t NP) {
  PeriodGrid grid;
  grid.np = NP;
  grid.lgmin = static_cast<float>(std::log10(static_cast<double>(Tmin)));
  grid.lgmax = static_cast<float>(std::log10(static_cast<double>(Tmax)));
  grid.step = static_cast<float>((static_cast<double>(grid.lgmax) - grid.lgmin) /
                                 static_cast<double>(NP - 1));
  return grid;
}

}  // namespace periodscan
