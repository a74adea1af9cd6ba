#include "assess/amplitude_limit.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "assess/rate_profile.h"
#include "estimator/periodic_fit.h"
#include "parallel/ordered_work.h"

namespace periodscan {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr int kPhaseSteps = 40;
constexpr int kHalvings = 30;
constexpr int kRootSteps = 100;
constexpr double kBracket = 1e-12;
constexpr double kGainTolerance = 1e-14;

// One frequency's events: the cos and sin of nu z_i, and the exposure's
// moments, formed once.
class PhaseProfile {
 public:
  PhaseProfile(const RateProfile& profile, std::vector<double>* cos_work,
               std::vector<double>* sin_work, double nu)
      : cos_(*cos_work), sin_(*sin_work), n_(double(profile.count())) {
    const auto z = profile.positions();
    cos_.resize(z.size());
    sin_.resize(z.size());
    for (std::size_t i = 0; i < z.size(); ++i) {
      cos_[i] = std::cos(nu * z[i]);
      sin_[i] = std::sin(nu * z[i]);
    }
    const RateProfile::ExposureMoments e = profile.exposure_moments(nu);
    c_ = e.c;
    s_ = e.s;
  }

  struct Point {
    double value = -HUGE_VAL;
    double d_amplitude = 0.0;
    double d_phase = 0.0;
    double d2_phase = 0.0;
    double d2_amplitude = 0.0;
    double d2_cross = 0.0;  // d2/dA dphase
  };

  Point at(double a, double phase) const {
    const double cp = std::cos(phase), sp = std::sin(phase);
    double sum_log = 0.0, sc = 0.0, ss = 0.0, sca = 0.0, scc = 0.0, ss2 = 0.0;
    Point out;
    for (std::size_t i = 0; i < cos_.size(); ++i) {
      const double c = cos_[i] * cp - sin_[i] * sp;
      const double s = sin_[i] * cp + cos_[i] * sp;
      const double r = 1.0 + a * c;
      if (!(r > 0.0)) return out;
      const double q = 1.0 / r;
      sum_log += std::log(r);
      sc += c * q;
      ss += s * q;
      sca += (c + a) * q * q;
      scc += c * c * q * q;
      ss2 += s * q * q;
    }
    const double j = cp * c_ - sp * s_;
    const double j_phase = -sp * c_ - cp * s_;
    const double d = 1.0 + a * j;
    if (!(d > 0.0)) return out;
    out.value = sum_log - n_ * std::log(d);
    out.d_amplitude = sc - n_ * j / d;
    out.d_phase = -a * ss - n_ * a * j_phase / d;
    out.d2_phase = -a * sca + n_ * a * a * j_phase * j_phase / (d * d) + n_ * a * j / d;
    out.d2_amplitude = -scc + n_ * j * j / (d * d);
    out.d2_cross = -ss2 - n_ * j_phase / (d * d);
    return out;
  }

  // The maximum over the phase at A = a, from `phase` (updated).
  Point best_phase(double a, double* phase) const {
    Point p = at(a, *phase);
    for (int step = 0; step < kPhaseSteps && std::isfinite(p.value); ++step) {
      // Converged where Newton's step would gain less than rounding shows.
      if (p.d2_phase < 0.0 && 0.5 * p.d_phase * p.d_phase / -p.d2_phase < kGainTolerance) break;
      double move = p.d2_phase < 0.0 ? -p.d_phase / p.d2_phase : std::copysign(0.1, p.d_phase);
      move = std::clamp(move, -0.5, 0.5);
      bool moved = false;
      for (int h = 0; h < kHalvings; ++h, move *= 0.5) {
        const Point trial = at(a, *phase + move);
        if (std::isfinite(trial.value) && trial.value >= p.value) {
          moved = trial.value > p.value && std::fabs(move) > 1e-13;
          *phase += move;
          p = trial;
          break;
        }
      }
      if (!moved || std::fabs(move) < 1e-11) break;
    }
    return p;
  }

 private:
  std::vector<double>& cos_;
  std::vector<double>& sin_;
  double n_;
  double c_ = 0.0, s_ = 0.0;
};

double limit_at(const RateProfile& profile, PeriodicFitter* fitter, std::vector<double>* cos_work,
                std::vector<double>* sin_work, double frequency, double kappa) {
  const double span = profile.span();
  const double nu = frequency * span;
  const PeriodicFit fit = fitter->fit(2.0 * kPi * frequency);
  if (fit.amplitude >= 1.0) return 1.0;
  const PhaseProfile phases(profile, cos_work, sin_work, nu);
  double phase = fit.phase + kPi * nu;
  // The best point itself, as this profile computes it.
  const PhaseProfile::Point best = phases.best_phase(fit.amplitude, &phase);
  const double peak = std::max(best.value, fit.delta_log_lik);
  const double target = peak - kDropOneSided * kappa;
  // The first try from the curvature of the profile at its peak (exact for a
  // parabola), then Newton's steps on A inside the bracket [inside, outside].
  // The bracket's top, 1, is not evaluated first: where every try stays
  // above the level the bracket closes on 1, the limit.
  double curvature = best.d2_amplitude;
  if (best.d2_phase < 0.0) curvature -= best.d2_cross * best.d2_cross / best.d2_phase;
  double inside = fit.amplitude, outside = 1.0;
  double inside_phase = phase;
  bool top_checked = false;  // whether the profile at A = 1 is known to lie below the level
  auto top_reaches = [&]() {
    top_checked = true;
    double top_phase = inside_phase;
    return phases.best_phase(1.0, &top_phase).value >= target;
  };
  double a = curvature < 0.0 ? inside + std::sqrt(2.0 * (peak - target) / -curvature) : 1.0;
  if (!(a > inside && a < outside)) a = 0.5 * (inside + outside);
  for (int step = 0; step < kRootSteps && outside - inside > kBracket; ++step) {
    double trial_phase = inside_phase;
    const PhaseProfile::Point p = phases.best_phase(a, &trial_phase);
    const double h = p.value - target;
    if (h >= 0.0) {
      inside = a;
      inside_phase = trial_phase;
    } else {
      outside = a;
    }
    if (std::isfinite(p.value) && std::fabs(h) < 1e-10) return a;
    const double next =
        std::isfinite(p.value) && p.d_amplitude < 0.0 ? a - h / p.d_amplitude : HUGE_VAL;
    if (next >= outside && outside == 1.0 && !top_checked) {
      if (top_reaches()) return 1.0;
      a = 0.5 * (inside + outside);
    } else {
      a = next > inside && next < outside ? next : 0.5 * (inside + outside);
    }
  }
  if (outside == 1.0 && !top_checked && top_reaches()) return 1.0;
  return 0.5 * (inside + outside);
}

}  // namespace

std::vector<double> amplitude_upper_limits(std::span<const double> x, const Exposure& exposure,
                                           std::span<const double> frequencies, double kappa,
                                           const SurveyOptions& options) {
  const RateProfile profile(x, exposure);
  const std::size_t total = frequencies.size();
  std::vector<double> limits(total);
  const int cores = available_cores();
  const int threads =
      std::max(1, std::min<int>(options.threads > 0 ? std::min(options.threads, cores) : cores,
                                int(std::max<std::size_t>(total, 1))));
  std::vector<PeriodicFitter> fitters;
  fitters.reserve(std::size_t(threads));
  for (int t = 0; t < threads; ++t) fitters.emplace_back(x, exposure);
  const auto workers = static_cast<std::size_t>(threads);
  std::vector<std::vector<double>> cos_work(workers), sin_work(workers);
  run_in_order(
      int64_t(total), threads,
      [&](int64_t i, int worker) {
        const auto w = std::size_t(worker);
        limits[std::size_t(i)] = limit_at(profile, &fitters[w], &cos_work[w], &sin_work[w],
                                          frequencies[std::size_t(i)], kappa);
      },
      [&](int64_t i) {
        if (options.progress) options.progress(std::size_t(i) + 1, total);
      });
  return limits;
}

std::vector<double> band_upper_limits(std::span<const double> x, const Exposure& exposure,
                                      const FrequencyGrid& grid, std::span<const double> best,
                                      double kappa, const SurveyOptions& options) {
  const std::size_t total = grid.size();
  std::vector<double> limits(total, std::numeric_limits<double>::quiet_NaN());
  if (total == 0) return limits;
  std::vector<double> fitted;
  if (best.size() != total) {
    SurveyOptions quiet;
    quiet.threads = options.threads;
    if (options.progress) {
      quiet.progress = [&](std::size_t, std::size_t) { options.progress(0, total); };
    }
    for (const SpectrumRow& row : survey_spectrum(x, grid, exposure, quiet)) {
      fitted.push_back(row.fit.amplitude);
    }
    best = fitted;
  }
  const RateProfile profile(x, exposure);
  auto amplitude = [&](std::size_t i) {
    const double a = best[i];
    return std::isfinite(a) ? std::clamp(a, 0.0, 1.0) : 0.0;
  };
  double largest = 0.0;
  for (std::size_t i = 0; i < total; ++i) largest = std::max(largest, amplitude(i));
  // Bounds on each limit around best A + delta: the distance shrinks with
  // A, and the exposure's moment J and the events' scatter (1/sqrt(N))
  // change the curvature of the profile.
  const double n = double(x.size());
  const double delta = std::sqrt(4.0 * kappa * kDropOneSided / n);
  const double slack = kScreenSlackA * largest + kScreenSlackN / std::sqrt(n);
  std::vector<double> upper(total), lower(total);
  double floor = 0.0;
  for (std::size_t i = 0; i < total; ++i) {
    const RateProfile::ExposureMoments m = profile.exposure_moments(grid.at(i) * profile.span());
    const double spread = slack + kScreenSlackJ * std::hypot(m.c, m.s);
    upper[i] = amplitude(i) + delta * (1.0 + spread);
    lower[i] = amplitude(i) + delta * std::max(0.0, 1.0 - spread);
    floor = std::max(floor, lower[i]);
  }
  // The frequencies of largest best A always; then every one whose bound
  // reaches the largest limit found, until none is left.
  std::vector<std::size_t> order(total);
  for (std::size_t i = 0; i < total; ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return amplitude(a) > amplitude(b); });
  std::vector<bool> done(total, false);
  std::vector<std::size_t> next(order.begin(),
                                order.begin() + std::ptrdiff_t(std::min(total, kScreenLeast)));
  double found_most = 0.0;
  while (true) {
    for (std::size_t i = 0; i < total; ++i) {
      if (!done[i] && upper[i] >= std::max(floor, found_most) &&
          std::find(next.begin(), next.end(), i) == next.end()) {
        next.push_back(i);
      }
    }
    if (next.empty()) break;
    std::sort(next.begin(), next.end());
    std::vector<double> chosen;
    for (const std::size_t i : next) chosen.push_back(grid.at(i));
    const std::vector<double> found = amplitude_upper_limits(x, exposure, chosen, kappa, options);
    for (std::size_t k = 0; k < next.size(); ++k) {
      limits[next[k]] = found[k];
      done[next[k]] = true;
      found_most = std::max(found_most, found[k]);
    }
    next.clear();
    floor = found_most;
  }
  return limits;
}

}  // namespace periodscan
