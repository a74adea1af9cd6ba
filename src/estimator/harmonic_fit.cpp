#include "estimator/harmonic_fit.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <numbers>

namespace periodscan {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr int kMaxSteps = 60;
// Squared Newton decrement below which the search stops.
constexpr double kDecrementTolerance = 1e-22;
// The search gives up when |z| would pass this: A > 0.99999, left to the
// direct fit.
constexpr double kLargestRadius = 0.995;

struct Local {
  double value = 0.0;
  double gx = 0.0, gy = 0.0;
  double hxx = 0.0, hxy = 0.0, hyy = 0.0;  // of -DeltaLogLik
};

class Objective {
 public:
  explicit Objective(const HarmonicFitInput& in) : in_(in) {}

  // DeltaLogLik with the first `harmonics` sums; with derivatives when asked.
  Local at(std::complex<double> z, int harmonics, bool derivatives) const {
    std::complex<double> p = 0.0, d = 0.0, d1 = 0.0;
    for (int k = harmonics; k >= 1; --k) {
      const std::complex<double> beta = (k % 2 == 1 ? 1.0 : -1.0) * in_.sums[k - 1];
      if (derivatives) {
        d1 = d1 * z + d;
        d = d * z + beta;
      }
      p = p * z + beta / static_cast<double>(k);
    }
    const double x = z.real(), y = z.imag();
    const double a = in_.exposure_moment.real(), b = in_.exposure_moment.imag();
    const double q_minus_1 = x * x + y * y + 2.0 * (a * x - b * y);
    const double n = in_.count;
    Local out;
    out.value = 2.0 * (z * p).real() - n * std::log1p(q_minus_1);
    if (derivatives) {
      const double q = 1.0 + q_minus_1;
      const double qx = 2.0 * (x + a), qy = 2.0 * (y - b);
      out.gx = 2.0 * d.real() - n * qx / q;
      out.gy = -2.0 * d.imag() - n * qy / q;
      out.hxx = -(2.0 * d1.real() - n * (2.0 / q - qx * qx / (q * q)));
      out.hxy = -(-2.0 * d1.imag() + n * qx * qy / (q * q));
      out.hyy = -(-2.0 * d1.real() - n * (2.0 / q - qy * qy / (q * q)));
    }
    return out;
  }

 private:
  const HarmonicFitInput& in_;
};

// Harmonics needed for a cut error below `tolerance`/4 at radius r.
int harmonics_for(double r, double count, double tolerance, int available) {
  if (r <= 0.0) return 1;
  double term = 2.0 * count * r / (1.0 - r);  // bound with K = 0, times r^K/(K+1)
  for (int k = 1; k <= available; ++k) {
    term *= r;
    if (term / (k + 1) < 0.25 * tolerance) return k;
  }
  return available;
}

}  // namespace

std::optional<PeriodicFit> fit_from_harmonic_sums(const HarmonicFitInput& input, double tolerance) {
  assert(!input.sums.empty() && input.count > 0.0);
  const int available = static_cast<int>(input.sums.size());
  const double n = input.count;
  const Objective objective(input);

  // Rayleigh start: the maximiser of the quadratic expansion at z = 0.
  std::complex<double> z = std::conj(input.sums[0] / n - input.exposure_moment);
  if (std::abs(z) > 0.3) z *= 0.3 / std::abs(z);

  int harmonics =
      harmonics_for(std::min(kLargestRadius, std::abs(z) + 0.05), n, tolerance, available);
  double last_decrement = HUGE_VAL;
  Local here = objective.at(z, harmonics, true);
  for (int step = 0;; ++step) {
    if (step == kMaxSteps) return std::nullopt;
    const double det = here.hxx * here.hyy - here.hxy * here.hxy;
    double dx, dy, decrement;
    if (here.hxx > 0.0 && det > 0.0) {
      dx = (here.hyy * here.gx - here.hxy * here.gy) / det;
      dy = (here.hxx * here.gy - here.hxy * here.gx) / det;
      decrement = here.gx * dx + here.gy * dy;
    } else {
      // Not concave here: steepest ascent, scaled as the curvature 2N at z = 0.
      dx = here.gx / (2.0 * n);
      dy = here.gy / (2.0 * n);
      decrement = HUGE_VAL;
    }
    if (decrement <= kDecrementTolerance ||
        (decrement < 1e-14 && decrement >= 0.25 * last_decrement)) {
      // Converged for this cut; more harmonics if the radius asks for them.
      const int needed =
          harmonics_for(std::min(kLargestRadius, std::abs(z) + 0.01), n, tolerance, available);
      if (needed <= harmonics) break;
      harmonics = needed;
      here = objective.at(z, harmonics, true);
      last_decrement = HUGE_VAL;
      continue;
    }
    last_decrement = decrement;
    double t = 1.0;
    const double slope = here.gx * dx + here.gy * dy;
    bool accepted = false;
    for (int halving = 0; halving < 50; ++halving, t *= 0.5) {
      const std::complex<double> next(z.real() + t * dx, z.imag() + t * dy);
      if (std::abs(next) >= kLargestRadius) continue;
      const Local there = objective.at(next, harmonics, false);
      if (there.value >= here.value + 1e-4 * t * slope ||
          (t * std::abs(std::complex(dx, dy)) < 1e-15)) {
        z = next;
        accepted = true;
        break;
      }
    }
    if (!accepted) return std::nullopt;  // pressed against |z| = 1
    here = objective.at(z, harmonics, true);
  }

  // The bounds of the header, at the maximiser found.
  const double trace = here.hxx + here.hyy;
  const double det = here.hxx * here.hyy - here.hxy * here.hxy;
  const double lambda =
      det > 0.0 && trace > 0.0
          ? det / (0.5 * trace +
                   std::sqrt(0.25 * trace * trace - det > 0.0 ? 0.25 * trace * trace - det : 0.0))
          : 0.0;
  if (!(lambda > 0.0)) return std::nullopt;
  const double r = std::abs(z);
  const double e = input.sum_error;
  auto bounds_at = [&](double rb, double* value, double* gradient) {
    const double tail = std::pow(rb, harmonics);
    *value = 2.0 * n * tail * rb / ((harmonics + 1) * (1.0 - rb)) - 2.0 * e * std::log1p(-rb);
    *gradient = (2.0 * n * tail + 2.0 * e) / (1.0 - rb);
  };
  double value_bound = 0.0, gradient_bound = 0.0;
  bounds_at(std::min(r + 0.001, 0.9999), &value_bound, &gradient_bound);
  const double move = gradient_bound / lambda;
  const double rb = r + move + 0.001;
  if (rb >= 1.0) return std::nullopt;
  bounds_at(rb, &value_bound, &gradient_bound);
  const double amplitude_bound = 2.0 * gradient_bound / lambda;
  if (!(value_bound < tolerance && amplitude_bound < tolerance)) return std::nullopt;

  PeriodicFit fit;
  fit.delta_log_lik = std::max(0.0, objective.at(z, harmonics, false).value);
  fit.amplitude = 2.0 * r / (1.0 + r * r);
  if (fit.amplitude > 0.0) {
    double phase = std::atan2(z.imag(), z.real());
    if (phase < 0.0) phase += kTwoPi;
    if (phase >= kTwoPi) phase = 0.0;
    fit.phase = phase;
  }
  return fit;
}

}  // namespace periodscan
