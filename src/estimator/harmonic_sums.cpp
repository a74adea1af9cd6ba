#include "estimator/harmonic_sums.h"

#include <fftw3.h>
#include <sys/mman.h>

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <numbers>

#include "estimator/time_scale.h"
#include "parallel/ordered_work.h"

namespace periodscan {

namespace {

// Grid cells per mode, and kernel half-width in cells.
constexpr double kOversampling = 3.0;
constexpr int kHalfWidth = 13;
constexpr int kWidth = 2 * kHalfWidth;
constexpr double kRelativeError = 1e-13;
constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Harmonics per run (see compute).
constexpr int kRun = 4;  // a power of two: w^kRun by squaring
static_assert(kRun == 4);

// FFTW's planner is not thread-safe; plans are made and destroyed under this
// lock, executions (which are thread-safe) are not.
std::mutex& planner_lock() {
  static std::mutex lock;
  return lock;
}

// The smallest even n >= minimum of the form 2^a 3^b 5^c 7^d.
std::size_t fft_size(std::size_t minimum) {
  std::size_t best = 2;
  while (best < minimum) best *= 2;
  for (std::size_t p7 = 1; p7 < best; p7 *= 7) {
    for (std::size_t p5 = p7; p5 < best; p5 *= 5) {
      for (std::size_t p3 = p5; p3 < best; p3 *= 3) {
        std::size_t n = p3 * 2;
        while (n < minimum) n *= 2;
        best = std::min(best, n);
      }
    }
  }
  return best;
}

// The largest distance of an event from the origin.
double extent(std::span<const double> x, double origin) {
  double reach = 0.0;
  for (double xi : x) reach = std::max(reach, std::fabs(xi - origin));
  return reach;
}

// (a.re*b.re - a.im*b.im, a.re*b.im + a.im*b.re), as written.
inline HarmonicSums::Complex times(HarmonicSums::Complex a, HarmonicSums::Complex b) {
  return HarmonicSums::Complex{a[0] * b[0] - a[1] * b[1], a[0] * b[1] + a[1] * b[0]};
}

}  // namespace

double reduce_to_grid(double position, double cells) {
  if (std::fabs(position) < 0x1p53) {
    const double fast = position - cells * std::floor(position / cells);
    if (fast >= -1.0 && fast < cells) return fast;
  }
  if (!std::isfinite(position)) return 0.0;
  double r = std::fmod(position, cells);  // exact, in (-cells, cells)
  if (r < 0.0) r += cells;
  return r < cells ? r : 0.0;  // r + cells rounds to cells for r just below 0
}

namespace {

// exp(z), exp(-z) for |z| <= 0.1 and exp(-v^2/4tau) for |v| <= 1/2, that
// is, exp(-y) for 0 <= y = v z <= 0.05, by their series (the terms left out
// are below 3e-17 of the sum).
struct Gaussian {
  double plus, minus, middle;
};
inline Gaussian gaussian_factors(double z, double v) {
  const double z2 = z * z;
  const double even =
      1.0 + z2 * (1.0 / 2 +
                  z2 * (1.0 / 24 + z2 * (1.0 / 720 + z2 * (1.0 / 40320 + z2 * (1.0 / 3628800)))));
  const double odd =
      z * (1.0 + z2 * (1.0 / 6 + z2 * (1.0 / 120 + z2 * (1.0 / 5040 + z2 * (1.0 / 362880)))));
  const double y = v * z;
  double middle = 1.0 / 40320;
  for (const double c : {-1.0 / 5040, 1.0 / 720, -1.0 / 120, 1.0 / 24, -1.0 / 6, 1.0 / 2, -1.0})
    middle = c + y * middle;
  middle = 1.0 + y * middle;
  return {even + odd, even - odd, middle};
}

// reduce_to_grid, its common case inline.
inline double grid_position(double position, double cells) {
  if (std::fabs(position) < 0x1p53) {
    const double fast = position - cells * std::floor(position / cells);
    if (fast >= -1.0 && fast < cells) return fast;
  }
  return reduce_to_grid(position, cells);
}

}  // namespace

namespace {

using Complex = HarmonicSums::Complex;
// Two complex numbers, cells c and c + 1.
using Pair = double __attribute__((vector_size(32)));
// The kernel's cells pair up as (12, 13) in the middle, (14 + 2q, 15 + 2q)
// above and (10 - 2q, 11 - 2q) below, q = 0 .. kPairs - 1.
constexpr int kPairs = (kHalfWidth - 1) / 2;
static_assert(kHalfWidth == 2 * kPairs + 1);

struct KernelTables {
  double middle;  // exp(-(1/2)^2/4tau)
  Pair above[kPairs], below[kPairs];
};

// One run of harmonics low..high (within the run `run` of kRun) of every
// event, spread onto grids[0 .. high-low].
struct RunOfHarmonics {
  std::size_t events;
  const double* position;
  const Complex* step;
  int run, low, high;
  Complex* const* grids;
  std::ptrdiff_t cells;
  double cells_real, quarter_over_tau;
  const KernelTables* tables;
};

// *p, p[1] += value (by reference: no vector in a call's registers, whose
// convention would differ between the builds of spread_run).
inline void add_pair(Complex* p, const Pair& value) {
  Pair sum;
  std::memcpy(&sum, p, sizeof sum);
  sum += value;
  std::memcpy(p, &sum, sizeof sum);
}

// The cells of a pair are two neighbours, so where the processor has 256-bit
// vectors each pair is one multiplication and one addition; the operations,
// and so the bits, are the same either way.
#if defined(__x86_64__) && defined(__GNUC__) && __has_attribute(target_clones)
__attribute__((target_clones("avx2", "default")))
#endif
void spread_run(const RunOfHarmonics& job) {
  const KernelTables& t = *job.tables;
  for (std::size_t i = 0; i < job.events; ++i) {
    const Complex step = job.step[i];
    const Complex square = times(step, step);
    const Complex stride = times(square, square);  // exp(i kRun omega_mid x)
    Complex w = step;
    for (int r = 0; r < job.run; ++r) w = times(w, stride);
    const int anchor = job.run * kRun + 1;
    for (int k = anchor + 1; k < job.low; ++k) w = times(w, step);
    for (int k = job.low; k <= job.high; ++k) {
      if (k > anchor) w = times(w, step);
      const double xi = grid_position(static_cast<double>(k) * job.position[i], job.cells_real);
      const double cell_below = std::floor(xi);
      // The cells cell_below - 12 .. cell_below + 13 lie at distances
      // d = m - v from the point, m = -12.5 .. 12.5, v = xi - cell_below
      // - 1/2 in [-1/2, 1/2), and phi(d) = exp(-m^2/4tau) exp(-v^2/4tau)
      // exp(m v/2tau): the middle factor and exp(+-v/4tau) by short
      // series, the powers of exp(+-v/2tau) by products outwards, two cells
      // at a time.
      const double v = (xi - cell_below) - 0.5;
      const Gaussian factors = gaussian_factors(v * job.quarter_over_tau, v);
      const Complex weight = w * factors.middle;
      const double up_step = factors.plus * factors.plus;
      const double down_step = factors.minus * factors.minus;
      const Complex up0 = weight * factors.plus, down0 = weight * factors.minus;
      const Complex up1 = up0 * up_step, down1 = down0 * down_step;
      const Complex up2 = up1 * up_step, down2 = down1 * down_step;
      const Pair middle = Pair{down0[0], down0[1], up0[0], up0[1]} * t.middle;
      Pair up = Pair{up1[0], up1[1], up2[0], up2[1]};
      Pair down = Pair{down2[0], down2[1], down1[0], down1[1]};
      const double up_stride = up_step * up_step, down_stride = down_step * down_step;
      auto spread = [&](auto&& add) {
        add(kHalfWidth - 1, middle);
        for (int q = 0; q < kPairs; ++q) {
          add(kHalfWidth + 1 + 2 * q, up * t.above[q]);
          add(kHalfWidth - 3 - 2 * q, down * t.below[q]);
          up *= up_stride;
          down *= down_stride;
        }
      };
      Complex* g = job.grids[k - job.low];
      auto start = static_cast<std::ptrdiff_t>(cell_below) - (kHalfWidth - 1);
      if (start >= 0 && start + kWidth <= job.cells) {
        Complex* target = g + start;
        spread([target](int c, const Pair& value) { add_pair(target + c, value); });
      } else {
        if (start < 0) start += job.cells;
        const std::ptrdiff_t cells = job.cells;
        spread([g, start, cells](int c, const Pair& value) {
          std::ptrdiff_t l = start + c;
          if (l >= cells) l -= cells;
          g[l] += Complex{value[0], value[1]};
          if (++l >= cells) l -= cells;
          g[l] += Complex{value[2], value[3]};
        });
      }
    }
  }
}

}  // namespace

void HarmonicSums::FftwFree::operator()(double* p) const { fftw_free(p); }
void HarmonicSums::Free::operator()(double* p) const { std::free(p); }

// The kernel in grid units is phi(d) = exp(-d^2/(4 tau)) for |d| <= kHalfWidth,
// with transform psi(nu) = sqrt(4 pi tau) exp(-tau nu^2). tau balances the
// truncation error exp(-W^2/(4 tau)) against the aliasing error
// exp(-4 pi^2 tau (1 - 1/sigma)) at the band edge nu = pi/sigma.
HarmonicSums::HarmonicSums(std::span<const double> x, double origin, double delta,
                           std::size_t capacity, int harmonics, int threads)
    : scale_(time_scale_exponent(extent(x, origin))),
      relative_(x.size()),
      delta_(std::ldexp(delta, scale_)),
      capacity_(capacity),
      harmonics_(harmonics),
      // No more threads than runs of harmonics: each holds kRun grids.
      threads_(std::min(threads, (harmonics + kRun - 1) / kRun)),
      error_bound_(kRelativeError * static_cast<double>(x.size())),
      cells_(fft_size(std::max<std::size_t>(
          static_cast<std::size_t>(kOversampling * static_cast<double>(capacity)) + 1,
          2 * kWidth))),
      tau_(kHalfWidth / (4.0 * std::numbers::pi * std::sqrt(1.0 - 1.0 / kOversampling))),
      position_(x.size()),
      step_(x.size()) {
  assert(capacity >= 1 && harmonics >= 1 && threads >= 1);
  // The sums are written once per block, harmonic by harmonic; in huge pages
  // where the system offers them, since faulting in megabytes of small pages
  // costs as much as the sums of a small catalogue themselves.
  std::size_t bytes = 2 * sizeof(double) * capacity * static_cast<std::size_t>(harmonics);
  bytes = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  void* storage = std::aligned_alloc(kHugePage, bytes);
  if (storage == nullptr) throw std::bad_alloc();
  madvise(storage, bytes, MADV_HUGEPAGE);  // a hint only
  sums_.reset(static_cast<double*>(storage));
  const double cell = 2.0 * std::numbers::pi / static_cast<double>(cells_);
  for (std::size_t i = 0; i < x.size(); ++i) {
    relative_[i] = std::ldexp(x[i] - origin, -scale_);
    position_[i] = delta_ * relative_[i] / cell;
  }
  for (int t = 0; t < threads_ * kRun; ++t) {
    auto* p = static_cast<double*>(fftw_malloc(2 * sizeof(double) * cells_));
    if (p == nullptr) throw std::bad_alloc();
    grids_.emplace_back(p);
  }
  auto* grid = reinterpret_cast<fftw_complex*>(grids_[0].get());
  std::lock_guard<std::mutex> guard(planner_lock());
  plan_ = fftw_plan_dft_1d(static_cast<int>(cells_), grid, grid, FFTW_BACKWARD, FFTW_ESTIMATE);
}

HarmonicSums::~HarmonicSums() {
  std::lock_guard<std::mutex> guard(planner_lock());
  fftw_destroy_plan(plan_);
}

void HarmonicSums::copy(std::size_t j, std::span<std::complex<double>> out) const {
  assert(out.size() <= static_cast<std::size_t>(harmonics_));
  for (std::size_t k = 0; k < out.size(); ++k) out[k] = at(j, static_cast<int>(k + 1));
}

// For harmonic k: the weights exp(i k omega_mid (x_i - origin)) at the points
// k*position_i (mod cells_), spread, transformed, and the modes
// m = j - count/2 divided by the kernel's transform.
//
// The harmonics go in runs of kRun, events outer and the run's harmonics
// inner, so that an event's work that does not depend on k is done once per
// run. The weights are powers of w = exp(i omega_mid (x_i - origin)), which
// takes one sincos per event and call: w^k = w^a w^(k-a), a = 1 + kRun*r the
// run's first harmonic, w^a = w (w^kRun)^r: for harmonic k about k/kRun + kRun
// complex products, each rounded to about 2e-16 (16 of them, 4e-15 relative
// at most, for k = 40), beside the rounding of the phase itself (about
// k*1e-16 of the phase, as in a direct sum). Every harmonic's weight is the same
// product whichever call or thread computes it.
void HarmonicSums::compute(double omega0, std::size_t count, int first, int last) {
  assert(count >= 1 && count <= capacity_ && first >= 1 && last <= harmonics_ && first <= last);
  count_ = count;
  const std::size_t n_events = relative_.size();
  const double cell = 2.0 * std::numbers::pi / static_cast<double>(cells_);
  const auto half = static_cast<std::ptrdiff_t>(count / 2);
  const double omega_mid = std::ldexp(omega0, scale_) + static_cast<double>(half) * delta_;
  const double tau = tau_;

  // exp(-m^2/(4 tau)) for m = 1/2, 3/2, .. kHalfWidth - 1/2, in the pairs
  // spread_run adds.
  double table[kHalfWidth];
  for (int i = 0; i < kHalfWidth; ++i) {
    const double m = i + 0.5;
    table[i] = std::exp(-m * m / (4.0 * tau));
  }
  KernelTables tables;
  tables.middle = table[0];
  for (int q = 0; q < kPairs; ++q) {
    const double near = table[2 * q + 1], far = table[2 * q + 2];
    tables.above[q] = Pair{near, near, far, far};
    tables.below[q] = Pair{far, far, near, near};
  }
  const double quarter_over_tau = 0.25 / tau;
  // 1/psi(m * cell) for the modes m = -half .. count-1-half.
  std::vector<double> deconvolve(count);
  for (std::size_t j = 0; j < count; ++j) {
    const double nu = static_cast<double>(static_cast<std::ptrdiff_t>(j) - half) * cell;
    deconvolve[j] = std::exp(tau * nu * nu) / std::sqrt(4.0 * std::numbers::pi * tau);
  }
  const auto n_signed = static_cast<std::ptrdiff_t>(cells_);
  const double n_real = static_cast<double>(cells_);

  // exp(i omega_mid (x_i - origin)), in pieces over the threads.
  const std::size_t piece = 1 << 14;
  run_in_order(
      static_cast<int64_t>((n_events + piece - 1) / piece), threads_,
      [&](int64_t item, int) {
        const std::size_t begin = static_cast<std::size_t>(item) * piece;
        const std::size_t end = std::min(n_events, begin + piece);
        for (std::size_t i = begin; i < end; ++i) {
          const double phase = omega_mid * relative_[i];
          step_[i] = Complex{std::cos(phase), std::sin(phase)};
        }
      },
      [](int64_t) {});

  // The runs of harmonics first..last, each within one run of kRun.
  const int first_run = (first - 1) / kRun, last_run = (last - 1) / kRun;
  run_in_order(
      last_run - first_run + 1, threads_,
      [&](int64_t item, int worker) {
        const int run = first_run + static_cast<int>(item);
        const int anchor = run * kRun + 1;
        const int low = std::max(first, anchor), high = std::min(last, anchor + kRun - 1);
        const int width = high - low + 1;
        Complex* grids[kRun];
        for (int r = 0; r < width; ++r) {
          double* g = grids_[static_cast<std::size_t>(worker * kRun + r)].get();
          std::fill_n(g, 2 * cells_, 0.0);
          grids[r] = reinterpret_cast<Complex*>(g);
        }
        RunOfHarmonics job{
            relative_.size(), position_.data(), step_.data(),     run,    low, high, grids,
            n_signed,         n_real,           quarter_over_tau, &tables};
        spread_run(job);
        for (int k = low; k <= high; ++k) {
          auto* grid = reinterpret_cast<fftw_complex*>(grids[k - low]);
          fftw_execute_dft(plan_, grid, grid);
          const double* g = reinterpret_cast<const double*>(grid);
          double* row = sums_.get() + 2 * static_cast<std::size_t>(k - 1) * capacity_;
          for (std::size_t j = 0; j < count; ++j) {
            std::ptrdiff_t mode = static_cast<std::ptrdiff_t>(j) - half;
            if (mode < 0) mode += n_signed;
            row[2 * j] = g[2 * mode] * deconvolve[j];
            row[2 * j + 1] = g[2 * mode + 1] * deconvolve[j];
          }
        }
      },
      [](int64_t) {});
}

}  // namespace periodscan
