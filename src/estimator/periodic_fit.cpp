#include "estimator/periodic_fit.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <numbers>

#include "estimator/time_scale.h"

namespace periodscan {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// A Newton pass stops the search once the expected gain, half the squared
// Newton decrement, is below this (log-likelihood units).
constexpr double kDecrementTolerance = 1e-20;
// Above this squared decrement the step is damped to 1/(1 + decrement), which
// keeps a self-concordant function's iterate inside its domain.
constexpr double kDampingThreshold = 0.0625;
constexpr int kMaxPasses = 100;
constexpr int kMaxCircleSteps = 200;
// Visits to the circle A = 1 before its best point is taken as the answer
// (one or two in practice: a first landing in the wrong gap, then the right).
constexpr int kMaxCircleVisits = 8;
// Relative slack of the optimality condition at A = 1.
constexpr double kCircleConditionSlack = 1e-10;

double dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

}  // namespace

// Solves m d = g by Cholesky. A matrix that is singular to working precision
// (two or three events, or a period far longer than the span, where 1 and
// cos are nearly the same column) gets a ridge of relative size 1e-13, raised
// a hundredfold at a time; a ridge of 1e3 times the largest diagonal factors
// any finite positive semi-definite matrix, so kMaxRidges tries are enough.
// A matrix or gradient holding inf or NaN, or one that still cannot be
// factored, gives d = 0: a step that ends the search.
Vec3 solve_newton_step(const Sym3& m, const Vec3& g) {
  constexpr int kMaxRidges = 20;
  const Vec3 zero;
  for (double v : {m.m00, m.m01, m.m02, m.m11, m.m12, m.m22, g[0], g[1], g[2]}) {
    if (!std::isfinite(v)) return zero;
  }
  const double scale = std::max({m.m00, m.m11, m.m22, 1e-300});
  double ridge = 0.0;
  for (int attempt = 0; attempt < kMaxRidges;
       ++attempt, ridge = ridge == 0.0 ? 1e-13 * scale : ridge * 100.0) {
    const double a00 = m.m00 + ridge, a11 = m.m11 + ridge, a22 = m.m22 + ridge;
    if (!(a00 > 0.0)) continue;
    const double l00 = std::sqrt(a00);
    const double l10 = m.m01 / l00, l20 = m.m02 / l00;
    const double d11 = a11 - l10 * l10;
    if (!(d11 > 1e-15 * scale)) continue;
    const double l11 = std::sqrt(d11);
    const double l21 = (m.m12 - l20 * l10) / l11;
    const double d22 = a22 - l20 * l20 - l21 * l21;
    if (!(d22 > 1e-15 * scale)) continue;
    const double l22 = std::sqrt(d22);
    const double y0 = g[0] / l00;
    const double y1 = (g[1] - l10 * y0) / l11;
    const double y2 = (g[2] - l20 * y0 - l21 * y1) / l22;
    Vec3 d;
    d[2] = y2 / l22;
    d[1] = (y1 - l21 * d[2]) / l11;
    d[0] = (y0 - l10 * d[1] - l20 * d[2]) / l00;
    if (!(std::isfinite(d[0]) && std::isfinite(d[1]) && std::isfinite(d[2]))) return zero;
    return d;
  }
  return zero;
}

namespace {

// 1 + cos(u) from cos u and sin u without the cancellation near u = pi.
double one_plus_cos(double c, double s) { return c >= 0.0 ? 1.0 + c : s * s / (1.0 - c); }

// The largest t in (0, limit] with beta + t*d inside the cone
// b0 >= |(b1, b2)|; `limit` itself when the cone does not stop the step,
// else the t at which the segment meets the cone (the exit of the nappe that
// holds beta, the first positive root of q(t) = (b0 + t d0)^2 - |b12 + t d12|^2).
double cone_exit(const Vec3& b, const Vec3& d, double limit, bool* hits) {
  const double q0 = std::max(0.0, b[0] * b[0] - b[1] * b[1] - b[2] * b[2]);
  const double p = b[0] * d[0] - b[1] * d[1] - b[2] * d[2];
  const double r = d[0] * d[0] - d[1] * d[1] - d[2] * d[2];
  double root = HUGE_VAL;
  if (r == 0.0) {
    if (p < 0.0) root = -q0 / (2.0 * p);
  } else {
    const double disc = p * p - q0 * r;
    if (disc >= 0.0) {
      const double qq = -(p + std::copysign(std::sqrt(disc), p));
      const double t1 = qq / r;
      const double t2 = qq != 0.0 ? q0 / qq : HUGE_VAL;
      if (t1 > 0.0) root = std::min(root, t1);
      if (t2 > 0.0) root = std::min(root, t2);
    }
  }
  *hits = root <= limit;
  return *hits ? root : limit;
}

}  // namespace

double wrap_phase(double phase) {
  double f = std::fmod(phase, kTwoPi);
  if (f < 0.0) f += kTwoPi;
  if (f >= kTwoPi) f = 0.0;
  return f + 0.0;  // a zero from fmod may be -0
}

PeriodicFitter::PeriodicFitter(std::span<const double> x, const Exposure& exposure)
    : scale_(time_scale_exponent(x, exposure)),
      exposure_(exposure.scaled(scale_)),
      origin_(exposure_.middle()),
      position_(x.size()),
      cos_(x.size()),
      sin_(x.size()) {
  const double middle = exposure.middle();
  for (std::size_t i = 0; i < x.size(); ++i) position_[i] = std::ldexp(x[i] - middle, -scale_);
}

PeriodicFit PeriodicFitter::fit(double omega_unscaled) {
  const double omega = std::ldexp(omega_unscaled, scale_);
  const std::size_t n = position_.size();
  const double count = static_cast<double>(n);
  const double* c = cos_.data();
  const double* s = sin_.data();

  // Phases about the middle of the exposure: the fit's phase is turned back
  // to the first event at the end.
  double sum_c = 0.0, sum_s = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double theta = omega * position_[i];
    cos_[i] = std::cos(theta);
    sin_[i] = std::sin(theta);
    sum_c += cos_[i];
    sum_s += sin_[i];
  }
  rayleigh_z_ = (sum_c * sum_c + sum_s * sum_s) / count;

  const Exposure::Moments moments = exposure_.moments(omega, origin_);
  const double total = exposure_.total();
  Vec3 m;
  m[0] = total;
  m[1] = moments.cos_integral;
  m[2] = moments.sin_integral;

  // Rayleigh start: the maximiser of the quadratic expansion in a = b12/b0,
  // kept well inside the cone.
  double a1 = 2.0 * (sum_c / count - m[1] / total);
  double a2 = 2.0 * (sum_s / count - m[2] / total);
  const double a_start = std::hypot(a1, a2);
  if (a_start > 0.5) {
    a1 *= 0.5 / a_start;
    a2 *= 0.5 / a_start;
  }
  Vec3 beta;
  beta[0] = count / (total + a1 * m[1] + a2 * m[2]);
  beta[1] = beta[0] * a1;
  beta[2] = beta[0] * a2;

  // Gradient g and minus the Hessian of the log-likelihood at beta; false
  // where the rate is not positive at some event.
  Vec3 g;
  Sym3 h;
  auto newton_pass = [&](const Vec3& b) {
    Vec3 gs;
    Sym3 hs;
    for (std::size_t i = 0; i < n; ++i) {
      const double rate = b[0] + b[1] * c[i] + b[2] * s[i];
      if (!(rate > 0.0)) return false;
      const double w = 1.0 / rate;
      const double wc = w * c[i], ws = w * s[i];
      gs[0] += w;
      gs[1] += wc;
      gs[2] += ws;
      hs.m00 += w * w;
      hs.m01 += w * wc;
      hs.m02 += w * ws;
      hs.m11 += wc * wc;
      hs.m12 += wc * ws;
      hs.m22 += ws * ws;
    }
    for (int k = 0; k < 3; ++k) g[k] = gs[k] - m[k];
    h = hs;
    return true;
  };

  bool on_circle = false;
  double circle_phase = 0.0;  // the phase on the circle A = 1, about the origin
  double last_decrement = HUGE_VAL;

  // On the circle A = 1 the log-likelihood with Mju maximised out is
  //   psi(F) = sum ln(1 + cos(theta_i + F)) - N ln J(F),
  //   J(F) = E + C cos F - S sin F,
  // -infinity where an event sits at the zero of the rate. Within the gap
  // between two such phases the event terms are strictly concave, and the
  // search below keeps a bracket [lo, hi] on the sign of psi'.
  auto maximise_on_circle = [&](double phase) {
    double lo = -HUGE_VAL, hi = HUGE_VAL;
    {
      const double cf = std::cos(phase), sf = std::sin(phase);
      double left = -kTwoPi, right = kTwoPi;
      for (std::size_t i = 0; i < n; ++i) {
        const double cu = c[i] * cf - s[i] * sf;
        const double su = s[i] * cf + c[i] * sf;
        // Signed distance from `phase` to where event i sits at the zero.
        const double d = std::atan2(su, -cu);
        if (d > 0.0) {
          right = std::min(right, d);
        } else {
          left = std::max(left, d);
        }
      }
      if (left == -kTwoPi) left = right - kTwoPi;
      if (right == kTwoPi) right = left + kTwoPi;
      lo = phase + left;
      hi = phase + right;
    }
    // An event exactly at the zero of the landing point closes the gap there.
    double f = phase > lo && phase < hi ? phase : 0.5 * (lo + hi);
    for (int step = 0; step < kMaxCircleSteps; ++step) {
      const double cf = std::cos(f), sf = std::sin(f);
      double tan_sum = 0.0, curv_sum = 0.0;
      for (std::size_t i = 0; i < n; ++i) {
        const double cu = c[i] * cf - s[i] * sf;
        const double su = s[i] * cf + c[i] * sf;
        const double opc = one_plus_cos(cu, su);
        tan_sum += su / opc;
        curv_sum += 1.0 / opc;
      }
      const double j = m[0] + m[1] * cf - m[2] * sf;
      const double p = m[1] * sf + m[2] * cf;
      const double d1 = -tan_sum + count * p / j;
      const double d2 = -curv_sum + count * ((j - m[0]) / j + (p / j) * (p / j));
      if (d1 > 0.0) {
        lo = f;
      } else {
        hi = f;
      }
      double next = d2 < 0.0 ? f - d1 / d2 : HUGE_VAL;
      if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
      const bool done = std::fabs(next - f) <= 1e-15 * (1.0 + std::fabs(f)) || d1 == 0.0;
      f = next;
      if (done || hi - lo <= 4e-16 * (1.0 + std::fabs(f))) break;
    }
    return f;
  };

  // Whether the point on the circle at phase f is the maximum over the cone:
  // moving inside (raising Mju at fixed (b1, b2)) must not gain, that is
  // sum 1/rate_i <= E with Mju = N/J.
  auto circle_condition_holds = [&](double f) {
    const double cf = std::cos(f), sf = std::sin(f);
    double inv_sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
      inv_sum += 1.0 / one_plus_cos(c[i] * cf - s[i] * sf, s[i] * cf + c[i] * sf);
    }
    const double j = m[0] + m[1] * cf - m[2] * sf;
    return j / count * inv_sum - m[0] <= kCircleConditionSlack * m[0];
  };

  int circle_visits = 0;
  for (int pass = 0; pass < kMaxPasses; ++pass) {
    if (on_circle) {
      circle_phase = maximise_on_circle(circle_phase);
      if (++circle_visits == kMaxCircleVisits || circle_condition_holds(circle_phase)) break;
      // The maximum is inside: step in from this point of the circle.
      const double cf = std::cos(circle_phase), sf = std::sin(circle_phase);
      const double j = m[0] + m[1] * cf - m[2] * sf;
      beta[0] = count / j;
      beta[1] = beta[0] * cf;
      beta[2] = -beta[0] * sf;
      if (!newton_pass(beta)) break;
      Vec3 d = solve_newton_step(h, g);
      // Inward means lowering |b12| - b0 to first order.
      if (-d[0] + (beta[1] * d[1] + beta[2] * d[2]) / beta[0] >= 0.0) {
        // Newton points out of the cone; the gradient points in, since the
        // circle search left only its component across the circle.
        const double curvature = dot(g, h.times(g));
        const double t = curvature > 0.0 ? dot(g, g) / curvature : 1.0;
        for (int k = 0; k < 3; ++k) d[k] = t * g[k];
      }
      bool hits = false;
      const double t = cone_exit(beta, d, 1.0, &hits);
      const double step = hits ? 0.5 * t : t;
      for (int k = 0; k < 3; ++k) beta[k] += step * d[k];
      on_circle = false;
      last_decrement = HUGE_VAL;
      continue;
    }

    if (!newton_pass(beta)) break;  // not reached: every step keeps the rate positive
    const Vec3 d = solve_newton_step(h, g);
    const double decrement = dot(g, d);
    if (decrement <= kDecrementTolerance ||
        (decrement < 1e-12 && decrement >= 0.25 * last_decrement)) {
      break;  // converged, or at the rounding floor
    }
    last_decrement = decrement;
    double t = decrement > kDampingThreshold ? 1.0 / (1.0 + std::sqrt(decrement)) : 1.0;
    bool hits = false;
    t = cone_exit(beta, d, t, &hits);
    Vec3 next;
    for (int k = 0; k < 3; ++k) next[k] = beta[k] + t * d[k];
    if (hits) {
      on_circle = true;
      circle_phase = std::atan2(-next[2], next[1]);
      continue;
    }
    // The damped step stays where every rate is positive, but a ridged
    // solve gives up that guarantee: halve until it holds.
    bool positive = false;
    for (int halving = 0; halving < 60 && !positive; ++halving) {
      positive = true;
      for (std::size_t i = 0; i < n && positive; ++i) {
        positive = next[0] + next[1] * c[i] + next[2] * s[i] > 0.0;
      }
      if (!positive) {
        t *= 0.5;
        for (int k = 0; k < 3; ++k) next[k] = beta[k] + t * d[k];
      }
    }
    if (!positive) break;
    beta = next;
  }

  PeriodicFit result;
  double sum_log = 0.0;
  double phase_about_origin = 0.0;
  double exposure_term = 0.0;
  if (on_circle) {
    const double cf = std::cos(circle_phase), sf = std::sin(circle_phase);
    for (std::size_t i = 0; i < n; ++i) {
      sum_log += std::log(one_plus_cos(c[i] * cf - s[i] * sf, s[i] * cf + c[i] * sf));
    }
    exposure_term = (m[1] * cf - m[2] * sf) / m[0];
    result.amplitude = 1.0;
    phase_about_origin = circle_phase;
  } else {
    const double b1 = beta[1] / beta[0], b2 = beta[2] / beta[0];
    for (std::size_t i = 0; i < n; ++i) sum_log += std::log1p(b1 * c[i] + b2 * s[i]);
    exposure_term = (b1 * m[1] + b2 * m[2]) / m[0];
    result.amplitude = std::min(1.0, std::hypot(b1, b2));
    phase_about_origin = result.amplitude > 0.0 ? std::atan2(-b2, b1) : 0.0;
  }
  result.delta_log_lik = std::max(0.0, sum_log - count * std::log1p(exposure_term));
  result.phase = result.amplitude > 0.0 ? wrap_phase(phase_about_origin - omega * origin_) : 0.0;
  return result;
}

PeriodicFit fit_periodic_rate(std::span<const double> x, double omega, const Exposure& exposure) {
  PeriodicFitter fitter(x, exposure);
  return fitter.fit(omega);
}

}  // namespace periodscan
