#include "estimator/exposure.h"

#include <cassert>
#include <cmath>
#include <utility>

namespace periodscan {

namespace {

// sin(y)/y, accurate near 0 where the quotient would lose digits.
double sinc(double y) {
  if (std::fabs(y) < 1e-4) {
    const double y2 = y * y;
    return 1.0 - y2 / 6.0 + y2 * y2 / 120.0;
  }
  return std::sin(y) / y;
}

}  // namespace

Exposure Exposure::whole_span(double span) { return intervals({Interval{0.0, span}}); }

Exposure Exposure::intervals(std::vector<Interval> intervals) {
  Exposure exposure;
  exposure.parts_ = std::move(intervals);
  for (const Interval& part : exposure.parts_) {
    assert(part.end > part.start);
    exposure.total_ += part.end - part.start;
  }
  return exposure;
}

double Exposure::middle() const {
  if (parts_.empty()) return 0.0;
  return 0.5 * (parts_.front().start + parts_.back().end);
}

Exposure Exposure::scaled(int exponent) const {
  std::vector<Interval> parts;
  parts.reserve(parts_.size());
  for (const Interval& part : parts_) {
    parts.push_back({std::ldexp(part.start, -exponent), std::ldexp(part.end, -exponent)});
  }
  return intervals(std::move(parts));
}

Exposure::Moments Exposure::moments(double omega) const { return moments(omega, 0.0); }

// Each interval is written as its middle m and half-length h:
//   integral of cos(omega (x - origin)) = 2 h sinc(omega h) cos(omega (m - origin)),
// and the same with sin. Unlike the difference of two sines at the ends, this
// keeps its relative accuracy when omega*h is small (periods longer than the
// interval).
Exposure::Moments Exposure::moments(double omega, double origin) const {
  Moments m;
  for (const Interval& part : parts_) {
    const double half = 0.5 * (part.end - part.start);
    const double middle = 0.5 * (part.start + part.end) - origin;
    const double weight = 2.0 * half * sinc(omega * half);
    m.cos_integral += weight * std::cos(omega * middle);
    m.sin_integral += weight * std::sin(omega * middle);
  }
  return m;
}

}  // namespace periodscan
