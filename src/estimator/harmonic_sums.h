// Harmonic sums of a catalogue over a uniform grid of frequencies:
//
//   S_k(j) = sum_i exp(i k omega_j (x_i - origin)),
//   omega_j = omega_0 + j*delta,  j = 0..count-1,  k = 1..harmonics,
//
// by one type-1 non-uniform FFT per harmonic instead of count*N sines and
// cosines. For harmonic k the sum is sum_i c_i exp(i m tau_i) with weights
// c_i = exp(i k omega_mid (x_i - origin)) (omega_mid the middle frequency)
// and points tau_i = k delta (x_i - origin), m = j - count/2: each point is
// spread onto a periodic grid of n >= 3*count cells with a truncated Gaussian
// of 2*13 cells, the grid is transformed by FFTW, and each mode is divided by
// the Gaussian's Fourier transform.
//
// The spreading, which is nearly all the cost, takes per event one sincos
// for all harmonics (c_i for harmonic k is a product of powers of the first
// harmonic's, at most about k/4 + 4 complex products) and per event and
// harmonic no exp: the Gaussian at the 26 cells is a fixed table times
// exp(-v^2/4tau) exp(m v/2tau), v the point's offset from the middle of its
// cell, the first factors by short series and the powers outwards by
// products. Events go outermost, four harmonics (four grids) inner;
// neighbouring cells go in pairs, one 256-bit vector each where the
// processor has AVX2.
//
// Accuracy: |S_k(j) - exact| <= error_bound() for every k and j, with
// error_bound() = 1e-13 * N. The kernel's truncation and aliasing errors
// are each about exp(-pi*13*sqrt(2/3)) = 3.3e-15 of sum_i |c_i| = N before
// the division by the transform (at most about 4 at the band edge); the
// products above add at most about 1e-14 relative to a term (4e-15 for the
// weights of 40 harmonics, a few 1e-16 per kernel value along 13 cells).
// Against sums in extended precision the largest error found is 1.4e-14 N
// (3.8e-15 N on the random catalogues of the tests).
// Example: two events at x = 0 and 1 about origin 0, delta = pi, computed at
// omega_0 = 0 for count = 3: S_1 = 2, 0, 2 and S_2 = 2, 2, 2, each within
// 2e-13.
//
// Like a direct sum, each term carries the rounding of its phase
// k*omega*(x_i - origin) in double precision, about 1e-16 of that phase.
//
// The sums do not depend on how many threads compute them, nor on the
// processor's vectors, nor on which call computes a harmonic: every harmonic
// is computed whole by one thread with the same operations. Inside, positions
// and frequencies are in units of a power of two near the events' extent
// about the origin (estimator/time_scale.h), which leaves every phase the
// same bits.
#pragma once

#include <complex>
#include <cstddef>
#include <memory>
#include <span>
#include <vector>

struct fftw_plan_s;

namespace periodscan {

// A point's position on the periodic grid of `cells` cells, for the spread:
// `position` reduced modulo cells, in [-1, cells), so that the kernel's
// cells, counted from floor(result) - 12 and wrapped once, all lie in the
// grid. Below 2^53 cells (every position of a survey that passes
// scan/survey_scale.h) that is position - cells*floor(position/cells), as it
// always was (slightly below 0 where position/cells rounds up to a whole
// number); beyond, where that formula can land anywhere, and wherever it
// would leave the range, the exact remainder in [0, cells); 0 for inf or NaN.
// Example: cells 24: 50 gives 2, -1 gives 23, 2^70 gives 16.
double reduce_to_grid(double position, double cells);

class HarmonicSums {
 public:
  // Storage for grids of up to `capacity` frequencies `delta` apart (the
  // events are copied). threads >= 1 share the harmonics.
  HarmonicSums(std::span<const double> x, double origin, double delta, std::size_t capacity,
               int harmonics, int threads);
  ~HarmonicSums();
  HarmonicSums(const HarmonicSums&) = delete;
  HarmonicSums& operator=(const HarmonicSums&) = delete;

  // The sums at omega_j = omega0 + j*delta, j < count <= capacity, in place
  // of the previous ones. The storage is reused from call to call, so a
  // survey walks a long grid block by block in bounded memory.
  void compute(double omega0, std::size_t count) { compute(omega0, count, 1, harmonics_); }
  // Only harmonics first..last (1-based); the others keep what they hold, so
  // that a caller can start with a few harmonics and add the rest for the
  // same omega0 and count when they are needed. Each harmonic comes out the
  // same whichever call computes it.
  void compute(double omega0, std::size_t count, int first, int last);

  std::size_t count() const { return count_; }
  int harmonics() const { return harmonics_; }
  // S_k(j), k = 1..harmonics().
  std::complex<double> at(std::size_t j, int k) const {
    const double* p = sums_.get() + 2 * (static_cast<std::size_t>(k - 1) * capacity_ + j);
    return {p[0], p[1]};
  }
  // S_1(j) .. S_m(j) into out[0 .. m-1], m = out.size() <= harmonics().
  void copy(std::size_t j, std::span<std::complex<double>> out) const;
  double error_bound() const { return error_bound_; }

  // A complex number (re, im) as one vector register.
  using Complex = double __attribute__((vector_size(16)));

 private:
  struct FftwFree {
    void operator()(double* p) const;
  };
  using Buffer = std::unique_ptr<double[], FftwFree>;
  struct Free {
    void operator()(double* p) const;
  };

  int scale_;                     // units of 2^scale_ inside
  std::vector<double> relative_;  // (x_i - origin)*2^-scale_
  double delta_;                  // scaled
  std::size_t capacity_;
  std::size_t count_ = 0;
  int harmonics_;
  int threads_;
  double error_bound_;
  std::size_t cells_;                     // FFT length
  double tau_;                            // kernel variance parameter, in cells^2
  std::vector<double> position_;          // delta (x_i - origin), in cells
  std::vector<Complex> step_;             // exp(i omega_mid (x_i - origin))
  std::unique_ptr<double[], Free> sums_;  // harmonic-major, (re, im) pairs
  std::vector<Buffer> grids_;             // four per thread
  fftw_plan_s* plan_ = nullptr;
};

}  // namespace periodscan
