#include "assess/peak_intervals.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "assess/rate_profile.h"
#include "estimator/periodic_fit.h"
#include "parallel/ordered_work.h"

namespace periodscan {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr int kNewtonSteps = 60;
constexpr int kLineSearchHalvings = 40;
constexpr double kTolerance = 1e-12;
constexpr double kGainTolerance = 1e-14;
constexpr int kRootSteps = 100;
// An end is found when the profile there is this close to the level, or its
// bracket this small relative to the reach.
constexpr double kLevelTolerance = 1e-10;
constexpr double kBracket = 1e-12;
constexpr double kMaxCycles = 1.5;

// Coordinates q = (nu, s, phase), A = sin^2 s. A profile holds q on the line
// q = base + M y of its free coordinates y (one to three of them).
struct Line {
  int free = 3;
  double base[3] = {0.0, 0.0, 0.0};
  double m[3][3] = {{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}};  // [q][y]

  std::array<double, 3> at(const double* y) const {
    std::array<double, 3> q{};
    for (int k = 0; k < 3; ++k) {
      q[k] = base[k];
      for (int j = 0; j < free; ++j) q[k] += m[k][j] * y[j];
    }
    return q;
  }
};

double sin2(double s) {
  const double v = std::sin(s);
  return v * v;
}

double value_at(const RateProfile& profile, const Line& line, const double* y) {
  const auto q = line.at(y);
  return profile.value(q[0], sin2(q[1]), q[2]);
}

// Cholesky solution of (-h) d = g for a d x d matrix; false where -h is not
// positive definite.
bool solve_negative(int d, double h[3][3], const double* g, double* out) {
  double l[3][3] = {};
  for (int i = 0; i < d; ++i) {
    for (int j = 0; j <= i; ++j) {
      double v = -h[i][j];
      for (int k = 0; k < j; ++k) v -= l[i][k] * l[j][k];
      if (i == j) {
        if (!(v > 0.0)) return false;
        l[i][i] = std::sqrt(v);
      } else {
        l[i][j] = v / l[j][j];
      }
    }
  }
  double y[3];
  for (int i = 0; i < d; ++i) {
    double v = g[i];
    for (int k = 0; k < i; ++k) v -= l[i][k] * y[k];
    y[i] = v / l[i][i];
  }
  for (int i = d - 1; i >= 0; --i) {
    double v = y[i];
    for (int k = i + 1; k < d; ++k) v -= l[k][i] * out[k];
    out[i] = v / l[i][i];
  }
  for (int i = 0; i < d; ++i) {
    if (!std::isfinite(out[i])) return false;
  }
  return true;
}

// The maximum along the line from y (Newton's method with a halving line
// search; a gradient step where the Hessian is not negative definite).
// Returns the value there; y is updated, and *last (when given) holds the
// derivatives in (nu, A, phase) there.
double maximise(const RateProfile& profile, const Line& line, double* y,
                ProfileDerivatives* last = nullptr) {
  double value = value_at(profile, line, y);
  const int d = line.free;
  bool current = false;  // whether p holds the derivatives at y
  ProfileDerivatives p;
  for (int step = 0; step < kNewtonSteps && std::isfinite(value); ++step) {
    const auto q = line.at(y);
    p = profile.derivatives(q[0], sin2(q[1]), q[2]);
    current = true;
    // From (nu, A, phase) to q: dA/ds = sin 2s, d2A/ds2 = 2 cos 2s.
    const double a1 = std::sin(2.0 * q[1]), a2 = 2.0 * std::cos(2.0 * q[1]);
    double gq[3] = {p.gradient[0], p.gradient[1] * a1, p.gradient[2]};
    double hq[3][3];
    for (int i = 0; i < 3; ++i) {
      for (int k = 0; k < 3; ++k) {
        hq[i][k] = p.hessian[i][k] * (i == 1 ? a1 : 1.0) * (k == 1 ? a1 : 1.0);
      }
    }
    hq[1][1] += p.gradient[1] * a2;
    double g[3] = {}, h[3][3] = {};
    for (int j = 0; j < d; ++j) {
      for (int k = 0; k < 3; ++k) g[j] += line.m[k][j] * gq[k];
      for (int i = 0; i < d; ++i) {
        for (int k = 0; k < 3; ++k) {
          for (int l = 0; l < 3; ++l) h[j][i] += line.m[k][j] * hq[k][l] * line.m[l][i];
        }
      }
    }
    double dir[3] = {};
    if (solve_negative(d, h, g, dir)) {
      // Converged where Newton's step would gain less than rounding shows.
      double gain = 0.0;
      for (int j = 0; j < d; ++j) gain += 0.5 * g[j] * dir[j];
      if (gain < kGainTolerance) break;
    } else {
      double scale = 1.0;
      for (int j = 0; j < d; ++j) scale = std::max(scale, std::fabs(h[j][j]));
      for (int j = 0; j < d; ++j) dir[j] = g[j] / scale;
    }
    double length = 1.0;
    bool moved = false;
    for (int halving = 0; halving < kLineSearchHalvings; ++halving, length *= 0.5) {
      double trial[3];
      for (int j = 0; j < d; ++j) trial[j] = y[j] + length * dir[j];
      const double v = value_at(profile, line, trial);
      if (std::isfinite(v) && v >= value) {
        moved = v - value > kTolerance;
        std::copy(trial, trial + d, y);
        value = v;
        current = false;
        break;
      }
    }
    if (!moved) break;
  }
  if (last != nullptr) {
    if (!current) {
      const auto q = line.at(y);
      p = profile.derivatives(q[0], sin2(q[1]), q[2]);
    }
    *last = p;
  }
  return value;
}

enum class Kind { kFrequency, kAmplitude, kPhase, kTime };

// The line of the profile with `kind` held at `v` (in nu units for the
// frequency, radians for the phase, z units for the time relative to the
// middle).
Line profile_line(Kind kind, double v) {
  Line line;
  line.free = 2;
  for (auto& row : line.m) row[0] = row[1] = row[2] = 0.0;
  switch (kind) {
    case Kind::kFrequency:
      line.base[0] = v;
      line.m[1][0] = line.m[2][1] = 1.0;
      break;
    case Kind::kAmplitude:
      line.base[1] = std::asin(std::sqrt(v));
      line.m[0][0] = line.m[2][1] = 1.0;
      break;
    case Kind::kPhase:
      line.base[2] = v;
      line.m[0][0] = line.m[1][1] = 1.0;
      break;
    case Kind::kTime:  // phase = -nu tau
      line.m[0][0] = line.m[1][1] = 1.0;
      line.m[2][0] = -v;
      break;
  }
  return line;
}

// The free coordinates of a profile at the point q.
void free_coordinates(Kind kind, const std::array<double, 3>& q, double* y) {
  const int first = kind == Kind::kFrequency ? 1 : 0;
  const int second = kind == Kind::kPhase || kind == Kind::kTime ? 1 : 2;
  y[0] = q[first];
  y[1] = q[second];
}

struct End {
  double value;
  bool bounded;
};

// The slope of a profile in the value held fixed, from the derivatives at
// its maximum over the free coordinates (where their own slopes vanish).
double held_slope(Kind kind, const ProfileDerivatives& p, const double* y) {
  switch (kind) {
    case Kind::kFrequency:
      return p.gradient[0];
    case Kind::kAmplitude:
      return p.gradient[1];
    case Kind::kPhase:
      return p.gradient[2];
    case Kind::kTime:  // phase = -nu tau
      return -y[0] * p.gradient[2];
  }
  return 0.0;
}

// Stepping out from the estimate (2 %, 4 %, ... of the reach) until the
// profile falls below the target, then Newton's steps on the held value kept
// inside the bracket (bisection where a step would leave it).
End find_end(const RateProfile& profile, Kind kind, double estimate, const std::array<double, 3>& q,
             double target, double direction, double limit) {
  const double reach = std::fabs(limit - estimate);
  if (reach == 0.0) return {limit, false};
  double inside = estimate, outside = 0.0;
  double y[2];
  free_coordinates(kind, q, y);
  double gap = 0.02 * reach;
  double v = 0.0, z = 0.0, slope = 0.0;
  double trial[2];
  // The profile with the held value at v, maximised from y: its value z, its
  // slope in v, and the free coordinates in trial.
  const auto evaluate = [&] {
    trial[0] = y[0], trial[1] = y[1];
    ProfileDerivatives p;
    z = maximise(profile, profile_line(kind, v), trial, &p);
    slope = held_slope(kind, p, trial);
  };
  while (true) {
    v = estimate + direction * std::min(gap, reach);
    evaluate();
    if (!(z >= target)) {
      outside = v;
      break;
    }
    if (gap >= reach) return {limit, false};
    inside = v;
    y[0] = trial[0], y[1] = trial[1];
    gap *= 2.0;
  }
  for (int i = 0; i < kRootSteps; ++i) {
    if (std::fabs(outside - inside) <= kBracket * reach) break;
    const double newton = std::isfinite(z) && slope != 0.0 ? v - (z - target) / slope : HUGE_VAL;
    const bool within = std::isfinite(newton) && (newton - inside) * (newton - outside) < 0.0;
    v = within ? newton : 0.5 * (inside + outside);
    evaluate();
    if (!(z >= target)) {
      outside = v;
    } else {
      inside = v;
      y[0] = trial[0], y[1] = trial[1];
    }
    if (std::isfinite(z) && std::fabs(z - target) < kLevelTolerance) return {v, true};
  }
  return {0.5 * (inside + outside), true};
}

}  // namespace

PeakIntervals peak_intervals(std::span<const double> x, const Exposure& exposure, double frequency,
                             double kappa, int threads) {
  const RateProfile profile(x, exposure);
  const double span = profile.span();
  const double omega = 2.0 * kPi * frequency;
  const PeriodicFit start = fit_periodic_rate(x, omega, exposure);
  // The fit's phase is at x = 0; at the middle it is pi nu further on.
  double q[3] = {frequency * span, std::asin(std::sqrt(std::min(1.0, start.amplitude))),
                 start.phase + kPi * frequency * span};
  Line whole;
  const double best = maximise(profile, whole, q);
  const double target = best - kDropTwoSided * kappa;
  const double nu = q[0];
  const double a_hat = sin2(q[1]);
  const double mid = std::remainder(q[2], 2.0 * kPi);
  const std::array<double, 3> at{nu, q[1], mid};
  const double tau = -mid / nu;  // z units, relative to the middle
  const double half = kPi / nu;

  struct Search {
    Kind kind;
    double estimate, direction, limit;
  };
  const Search searches[8] = {
      {Kind::kFrequency, nu, -1.0, std::max(nu - kMaxCycles, 0.5 * nu)},
      {Kind::kFrequency, nu, 1.0, nu + kMaxCycles},
      {Kind::kAmplitude, a_hat, -1.0, 0.0},
      {Kind::kAmplitude, a_hat, 1.0, 1.0},
      {Kind::kPhase, mid, -1.0, mid - kPi},
      {Kind::kPhase, mid, 1.0, mid + kPi},
      {Kind::kTime, tau, -1.0, tau - half},
      {Kind::kTime, tau, 1.0, tau + half},
  };
  End ends[8];
  run_in_order(
      8, std::max(1, std::min(threads > 0 ? threads : available_cores(), 8)),
      [&](int64_t i, int) {
        const Search& s = searches[i];
        ends[i] = find_end(profile, s.kind, s.estimate, at, target, s.direction, s.limit);
      },
      [](int64_t) {});

  PeakIntervals out;
  out.delta_log_lik = best;
  auto interval = [&](int k, double scale, double shift) {
    return ProfileInterval{searches[k].estimate * scale + shift, ends[k].value * scale + shift,
                           ends[k + 1].value * scale + shift, ends[k].bounded, ends[k + 1].bounded};
  };
  out.frequency = interval(0, 1.0 / span, 0.0);
  out.amplitude = interval(2, 1.0, 0.0);
  out.amplitude.lo_bounded = ends[2].bounded || ends[2].value == 0.0;
  out.amplitude.hi_bounded = ends[3].bounded || ends[3].value == 1.0;
  out.phase = interval(4, 1.0, 0.0);
  out.peak_time = interval(6, span / (2.0 * kPi), 0.5 * span);
  return out;
}

}  // namespace periodscan
