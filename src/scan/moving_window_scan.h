// The moving-window scan of regime 1: a window of length L slides along the
// event list in steps of S; every window holding at least two events is
// searched at every period of the window grid, and the increments fill the
// time-frequency matrix.
//
// Windows: Nw = trunc((D - L)/S + 1), in double from the 4-byte D, L and S.
// Window w (1-based) starts at ws = t(1) + (w - 1)*S and ends at we = ws + L,
// both in double and unrounded; it holds every event with ws <= t <= we, so
// both ends are inclusive and an event may lie in several windows. Rounding
// matters: with t(1) = 0, t(N) = 1, L = 0.3 and S = 0.1 (4-byte values) the
// quotient falls just short of 8 and Nw is 7; with L = 0.5 it is 5. With
// t(1) = 0.3 and t(N) = 100, D is 99.69999695 and the window of L = D ends at
// 99.99999696, so events at t(N) lie in no window.
//
// A window's events go to FIND_AFI with t0 = ws rounded to a 4-byte real;
// the observation interval ends at the window's last event. A window with
// fewer than two events, or whose events all lie at t0 (an interval of
// length zero, on which the log-likelihood has no finite value), gets the
// blank marker in its whole column and no search. Its count is kept all the
// same.
//
// Progress: `started` is called once the storage is obtained, before the
// first window; then, in window and period order, `cell_done(Nw - w, NP - k)`
// after each searched cell, both counting down to 0. Blank columns report
// nothing.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <span>

namespace periodscan {

// The 4-byte real nearest to 1e-35: what a cell holds when its window was not
// searched. The grid writer compares against this same 4-byte value.
inline constexpr float kBlankMarker = std::bit_cast<float>(std::uint32_t{0x0554AD2E});
static_assert(kBlankMarker == 1e-35f);

// (D - L)/S + 1 in double, before truncation.
double window_count_quotient(float D, float L, float S);

// Nw, the number of windows, or nothing when the quotient does not fit in a
// 32-bit signed integer (a shift too small for the sample). With the values
// the dialogue accepts (0 < L <= D, 0 < S <= L) the result is at least 1.
// D = 10, L = 3, S = 1.5 gives 5.
std::optional<std::int32_t> window_count(float D, float L, float S);

// Storage obtained once, at its exact size, without filling it: every cell
// and count is written by the scan before it is read.
template <typename T>
struct FreeStorage {
  void operator()(T* p) const { std::free(p); }
};
template <typename T>
using Storage = std::unique_ptr<T[], FreeStorage<T>>;

// The scan's part of the accepted answers.
struct WindowScanParameters {
  float Tmin = 0.0f;  // 0 < Tmin < Tmax
  float Tmax = 0.0f;
  std::int32_t NP = 0;  // NP >= 2
  float D = 0.0f;       // t(N) - t(1) rounded to a 4-byte real
  float L = 0.0f;       // window length, 0 < L <= D
  float S = 0.0f;       // window shift, 0 < S <= L
};

struct WindowScanProgress {
  std::function<void()> started;
  std::function<void(std::int32_t windows_left, std::int32_t periods_left)> cell_done;
};

// What the scan hands on to the grid and count files.
struct WindowScan {
  std::int32_t nw = 0;  // windows
  std::int32_t np = 0;  // periods
  float lgmin = 0.0f;   // log10(Tmin), rounded: bottom of the period axis
  float lgmax = 0.0f;   // log10(Tmax), rounded: top of the period axis

  Storage<float> matrix;         // NP x Nw cells, window by window
  Storage<std::int32_t> counts;  // events per window

  std::size_t cell_count() const {
    return static_cast<std::size_t>(np) * static_cast<std::size_t>(nw);
  }
  // Cell (k, w): period k, window w, both 1-based.
  float& cell(std::int32_t k, std::int32_t w) {
    return matrix[static_cast<std::size_t>(w - 1) * static_cast<std::size_t>(np) +
                  static_cast<std::size_t>(k - 1)];
  }
  std::span<float> cells() { return {matrix.get(), cell_count()}; }
  std::span<const std::int32_t> window_counts() const {
    return {counts.get(), static_cast<std::size_t>(nw)};
  }
};

// Runs the scan over the event list t (non-decreasing, t.back() > t.front())
// with the parameters as the dialogue accepted them. The storage is obtained
// before anything is reported; if it cannot be had (including a matrix too
// large to be addressed) std::bad_alloc is thrown and nothing has been
// reported.
WindowScan scan_windows(std::span<const float> t, const WindowScanParameters& p,
                        const WindowScanProgress& progress);

}  // namespace periodscan
