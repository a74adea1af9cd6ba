#include "assess/rate_profile.h"

#include <cmath>
#include <numbers>

namespace periodscan {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// sin(y)/y and its first two derivatives, by their series near 0 where the
// closed forms lose digits.
struct Sinc {
  double f0, f1, f2;
};
Sinc sinc(double y) {
  const double y2 = y * y;
  if (std::fabs(y) < 1e-2) {
    return {1.0 - y2 / 6.0 + y2 * y2 / 120.0, -y / 3.0 + y * y2 / 30.0 - y * y2 * y2 / 840.0,
            -1.0 / 3.0 + y2 / 10.0 - y2 * y2 / 168.0};
  }
  const double s = std::sin(y), c = std::cos(y);
  return {s / y, (y * c - s) / y2, ((2.0 - y2) * s - 2.0 * y * c) / (y2 * y)};
}

}  // namespace

RateProfile::RateProfile(std::span<const double> x, const Exposure& exposure)
    : span_(x.empty() ? 0.0 : x.back()), z_(x.size()) {
  const double middle = 0.5 * span_;
  const double scale = kTwoPi / span_;
  for (std::size_t i = 0; i < x.size(); ++i) z_[i] = (x[i] - middle) * scale;
  for (const Interval& part : exposure.parts()) {
    parts_.push_back({(part.start - middle) * scale, (part.end - middle) * scale});
    total_ += parts_.back().end - parts_.back().start;
  }
}

// Each part, of middle m and half-length h, contributes
//   K(nu) = integral of exp(i nu z) = exp(i nu m) 2 h sinc(nu h),
//   K' = exp(i nu m) (i m F + F'),  K'' = exp(i nu m) (-m^2 F + 2 i m F' + F''),
// F = 2 h sinc(nu h): the cos integral is Re K and the sin integral Im K.
RateProfile::ExposureMoments RateProfile::exposure_moments(double nu) const {
  ExposureMoments out;
  for (const Interval& part : parts_) {
    const double h = 0.5 * (part.end - part.start);
    const double m = 0.5 * (part.start + part.end);
    const Sinc s = sinc(nu * h);
    const double f0 = 2.0 * h * s.f0, f1 = 2.0 * h * h * s.f1, f2 = 2.0 * h * h * h * s.f2;
    const double ce = std::cos(nu * m), se = std::sin(nu * m);
    // exp(i nu m) (a + i b) = (ce a - se b) + i (se a + ce b)
    auto add = [&](double a, double b, double* re, double* im) {
      *re += ce * a - se * b;
      *im += se * a + ce * b;
    };
    add(f0, 0.0, &out.c, &out.s);
    add(f1, m * f0, &out.c1, &out.s1);
    add(f2 - m * m * f0, 2.0 * m * f1, &out.c2, &out.s2);
  }
  for (double* v : {&out.c, &out.s, &out.c1, &out.s1, &out.c2, &out.s2}) *v /= total_;
  return out;
}

double RateProfile::value(double nu, double amplitude, double phase) const {
  double total = 0.0;
  for (const double z : z_) {
    const double r = 1.0 + amplitude * std::cos(nu * z + phase);
    if (!(r > 0.0)) return -HUGE_VAL;
    total += std::log(r);
  }
  const ExposureMoments e = exposure_moments(nu);
  const double j = std::cos(phase) * e.c - std::sin(phase) * e.s;
  const double d = 1.0 + amplitude * j;
  if (!(d > 0.0)) return -HUGE_VAL;
  return total - double(z_.size()) * std::log(d);
}

// The events' part: with r = 1 + A cos theta, c = cos theta, s = sin theta,
//   d/dA ln r = c/r,  d/dtheta = -A s/r,
//   d2/dA2 = -c^2/r^2,  d2/dA dtheta = -s/r^2,  d2/dtheta2 = -A (c + A)/r^2,
// and theta = nu z + phi. The exposure's part, -N ln D with D = 1 + A J,
// J = cos(phi) C - sin(phi) S (per unit of exposure), by the chain rule.
ProfileDerivatives RateProfile::derivatives(double nu, double amplitude, double phase) const {
  ProfileDerivatives out;
  double sum_log = 0.0, sc = 0.0, ss = 0.0, szs = 0.0, scc = 0.0, ss2 = 0.0, szs2 = 0.0;
  double sca = 0.0, szca = 0.0, sz2ca = 0.0;
  const double a = amplitude;
  for (const double z : z_) {
    const double theta = nu * z + phase;
    const double c = std::cos(theta), s = std::sin(theta);
    const double r = 1.0 + a * c;
    if (!(r > 0.0)) {
      out.value = -HUGE_VAL;
      return out;
    }
    const double q = 1.0 / r, q2 = q * q;
    sum_log += std::log(r);
    sc += c * q;
    ss += s * q;
    szs += z * s * q;
    scc += c * c * q2;
    ss2 += s * q2;
    szs2 += z * s * q2;
    const double ca = (c + a) * q2;
    sca += ca;
    szca += z * ca;
    sz2ca += z * z * ca;
  }
  // order: 0 nu, 1 A, 2 phi
  double g[3] = {-a * szs, sc, -a * ss};
  double h[3][3] = {
      {-a * sz2ca, -szs2, -a * szca}, {-szs2, -scc, -ss2}, {-a * szca, -ss2, -a * sca}};

  const double n = double(z_.size());
  const ExposureMoments e = exposure_moments(nu);
  const double cp = std::cos(phase), sp = std::sin(phase);
  const double j = cp * e.c - sp * e.s;
  const double j_nu = cp * e.c1 - sp * e.s1;
  const double j_nunu = cp * e.c2 - sp * e.s2;
  const double j_phi = -sp * e.c - cp * e.s;
  const double j_nuphi = -sp * e.c1 - cp * e.s1;
  const double j_phiphi = -j;
  const double d = 1.0 + a * j;
  if (!(d > 0.0)) {
    out.value = -HUGE_VAL;
    return out;
  }
  const double l_a = -n * j / d, l_j = -n * a / d;
  const double l_aa = n * j * j / (d * d), l_aj = -n / (d * d), l_jj = n * a * a / (d * d);
  const double jd[3] = {j_nu, 0.0, j_phi};
  g[0] += l_j * j_nu;
  g[1] += l_a;
  g[2] += l_j * j_phi;
  h[0][0] += l_jj * j_nu * j_nu + l_j * j_nunu;
  h[0][2] += l_jj * j_nu * j_phi + l_j * j_nuphi;
  h[2][2] += l_jj * j_phi * j_phi + l_j * j_phiphi;
  h[1][1] += l_aa;
  h[0][1] += l_aj * jd[0];
  h[1][2] += l_aj * jd[2];
  h[2][0] = h[0][2];
  h[1][0] = h[0][1];
  h[2][1] = h[1][2];

  out.value = sum_log - n * std::log(d);
  for (int i = 0; i < 3; ++i) {
    out.gradient[i] = g[i];
    for (int k = 0; k < 3; ++k) out.hessian[i][k] = h[i][k];
  }
  return out;
}

}  // namespace periodscan
