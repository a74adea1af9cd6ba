#include "assess/amplitude_limit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "assess/rate_profile.h"
#include "estimator/periodic_fit.h"

namespace periodscan {
namespace {

constexpr double kPi = std::numbers::pi;

// Poisson events over [0, span] with rate 1 + a cos(2 pi x / period).
std::vector<double> modulated(double span, double rate, double a, double period, unsigned seed) {
  std::mt19937_64 g(seed);
  auto uniform = [&] { return double(g() >> 11) * 0x1.0p-53; };
  std::vector<double> x{0.0};
  for (double t = 0.0;;) {
    t -= std::log(1.0 - uniform()) / (rate * (1.0 + a));
    if (t >= span) break;
    if (uniform() * (1.0 + a) < 1.0 + a * std::cos(2.0 * kPi * t / period)) x.push_back(t);
  }
  x.push_back(span);
  return x;
}

// The profile over the phase by brute force: a fine grid, then golden steps.
double phase_profile(const RateProfile& profile, double nu, double a) {
  double best = -HUGE_VAL, at = 0.0;
  for (int k = 0; k < 720; ++k) {
    const double phase = 2.0 * kPi * k / 720.0;
    const double v = profile.value(nu, a, phase);
    if (v > best) best = v, at = phase;
  }
  double lo = at - 2.0 * kPi / 720.0, hi = at + 2.0 * kPi / 720.0;
  for (int i = 0; i < 100; ++i) {
    const double m1 = lo + (hi - lo) / 3.0, m2 = hi - (hi - lo) / 3.0;
    if (profile.value(nu, a, m1) < profile.value(nu, a, m2)) {
      lo = m1;
    } else {
      hi = m2;
    }
  }
  return profile.value(nu, a, 0.5 * (lo + hi));
}

// At the limit the profile over the phase lies kappa * 1.3528 below the
// best fit, over the whole span and over intervals with gaps; the limits do
// not depend on the thread count, and the band's largest is found without
// working out every frequency.
TEST(AmplitudeLimitTest, ProfileFallsByTheDropAtTheLimit) {
  const std::vector<double> x = modulated(200.0, 3.0, 0.2, 9.0, 4);
  std::vector<double> frequencies;
  for (int i = 0; i < 40; ++i) frequencies.push_back(0.05 + i / 200.0);
  struct Case {
    Exposure exposure;
    double kappa;
  };
  const Case cases[] = {{Exposure::whole_span(200.0), 1.0},
                        {Exposure::whole_span(200.0), 3.0},
                        {Exposure::intervals({{0.0, 70.0}, {70.0, 120.0}, {121.0, 200.0}}), 1.0}};
  for (const Case& c : cases) {
    SurveyOptions one, two;
    one.threads = 1;
    two.threads = 2;
    const std::vector<double> limits =
        amplitude_upper_limits(x, c.exposure, frequencies, c.kappa, one);
    EXPECT_EQ(limits, amplitude_upper_limits(x, c.exposure, frequencies, c.kappa, two));
    const RateProfile profile(x, c.exposure);
    for (std::size_t i = 0; i < frequencies.size(); i += 13) {
      const PeriodicFit fit = fit_periodic_rate(x, 2.0 * kPi * frequencies[i], c.exposure);
      EXPECT_GT(limits[i], fit.amplitude);
      EXPECT_NEAR(phase_profile(profile, frequencies[i] * 200.0, limits[i]),
                  fit.delta_log_lik - kDropOneSided * c.kappa, 1e-6)
          << "frequency " << frequencies[i];
    }
    const std::vector<double> band = band_upper_limits(
        x, c.exposure, FrequencyGrid::uniform(0.05, 1.0 / 200.0, 40), {}, c.kappa, one);
    double most = 0.0, most_band = 0.0;
    for (std::size_t i = 0; i < limits.size(); ++i) {
      most = std::max(most, limits[i]);
      if (std::isfinite(band[i])) most_band = std::max(most_band, band[i]);
    }
    EXPECT_NEAR(most_band, most, 1e-9);
  }
}

TEST(AmplitudeLimitTest, FewEventsReachTheBound) {
  const std::vector<double> x = {0.0, 0.3, 5.0, 9.0, 10.0};
  const std::vector<double> f = {0.2};
  EXPECT_EQ(amplitude_upper_limits(x, Exposure::whole_span(10.0), f, 1.0, SurveyOptions())[0], 1.0);
}

}  // namespace
}  // namespace periodscan
