// An independent maximiser of DeltaLogLik(A, Fi) for the fit tests: a grid
// over A in [0, 1] and Fi, then a compass search with shrinking steps from the
// best grid point. It shares no code with the library: the exposure integrals
// are the plain differences of sines, and the objective is written as in the
// fit's header comment.
#pragma once

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace periodscan::testing {

struct BruteInterval {
  double start, end;
};

struct BruteFit {
  double delta_log_lik = 0.0;
  double amplitude = 0.0;
  double phase = 0.0;
};

inline double brute_objective(std::span<const double> x, double omega,
                              std::span<const BruteInterval> parts, double a, double fi) {
  double total = 0.0, c = 0.0, s = 0.0;
  for (const BruteInterval& p : parts) {
    total += p.end - p.start;
    c += (std::sin(omega * p.end) - std::sin(omega * p.start)) / omega;
    s += (std::cos(omega * p.start) - std::cos(omega * p.end)) / omega;
  }
  double sum = 0.0;
  for (const double xi : x) sum += std::log(1.0 + a * std::cos(omega * xi + fi));
  if (std::isnan(sum)) return -HUGE_VAL;
  return sum - static_cast<double>(x.size()) *
                   std::log(1.0 + a * (c * std::cos(fi) - s * std::sin(fi)) / total);
}

inline BruteFit brute_force_fit(std::span<const double> x, double omega,
                                std::span<const BruteInterval> parts) {
  constexpr double kTwoPi = 2.0 * std::numbers::pi;
  BruteFit best{brute_objective(x, omega, parts, 0.0, 0.0), 0.0, 0.0};
  for (int ia = 1; ia <= 50; ++ia) {
    for (int ifi = 0; ifi < 180; ++ifi) {
      const double a = ia / 50.0, fi = kTwoPi * ifi / 180.0;
      const double v = brute_objective(x, omega, parts, a, fi);
      if (v > best.delta_log_lik) best = {v, a, fi};
    }
  }
  const double dirs[8][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1}, {-1, -1}, {1, -1}, {-1, 1}};
  for (double step = 0.02; step > 1e-13;) {
    bool moved = false;
    for (const auto& d : dirs) {
      const double a = std::clamp(best.amplitude + step * d[0], 0.0, 1.0);
      const double fi = best.phase + step * d[1];
      const double v = brute_objective(x, omega, parts, a, fi);
      if (v > best.delta_log_lik) {
        best = {v, a, fi};
        moved = true;
      }
    }
    if (!moved) step *= 0.5;
  }
  best.phase = std::fmod(std::fmod(best.phase, kTwoPi) + kTwoPi, kTwoPi);
  return best;
}

// The first column of an example catalogue, relative to its first event.
inline std::vector<double> read_example_times(const std::string& name) {
  // This header sits in tests/estimator/ of the source tree.
  const std::filesystem::path root =
      std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();
  std::ifstream in(root / "examples" / name);
  std::vector<double> x;
  std::string line;
  while (std::getline(in, line)) {
    try {
      x.push_back(std::stod(line));
    } catch (...) {
      break;
    }
  }
  for (std::size_t i = x.size(); i-- > 0;) x[i] -= x[0];
  return x;
}

}  // namespace periodscan::testing
