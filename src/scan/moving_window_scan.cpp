#include "scan/moving_window_scan.h"

#include <algorithm>
#include <cassert>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "estimator/cached_search.h"
#include "parallel/ordered_work.h"
#include "scan/period_grid.h"
#include "scan/period_pairs.h"

namespace periodscan {

namespace {

// 2**31: the first quotient whose truncation no longer fits in int32_t.
constexpr double kWindowCountLimit = 2147483648.0;

// Obtains room for `count` values of T, not filled. malloc rather than new,
// so that a failure comes back as a null pointer here, also under the
// address sanitizer, instead of ending the process elsewhere.
template <typename T>
Storage<T> obtain(std::size_t count) {
  if (count > std::numeric_limits<std::size_t>::max() / sizeof(T)) {
    throw std::bad_alloc();
  }
  void* p = std::malloc(count * sizeof(T));
  if (p == nullptr) throw std::bad_alloc();
  return Storage<T>(static_cast<T*>(p));
}

}  // namespace

double window_count_quotient(float D, float L, float S) {
  return (static_cast<double>(D) - static_cast<double>(L)) / static_cast<double>(S) + 1.0;
}

std::optional<std::int32_t> window_count(float D, float L, float S) {
  const double quotient = window_count_quotient(D, L, S);
  // Written so that a quotient that is not a number is refused as well.
  if (!(quotient < kWindowCountLimit)) return std::nullopt;
  return static_cast<std::int32_t>(quotient);
}

namespace {

// Where window w's events lie in the event list, and where its observation
// interval starts.
struct WindowEvents {
  const float* first;  // the window's events are first[0..n-1]
  std::int32_t n;
  float t0;  // the window start, rounded
  // Searched: two or more events, not all at the start (an interval of length
  // zero has no finite log-likelihood).
  bool searched() const { return n >= 2 && first[n - 1] != t0; }
};

// The event list is non-decreasing, so the events with ws <= t(j) <= we are
// one run of it: the same selection, in the same order, as testing every
// event, found by two binary searches.
WindowEvents window_events(std::span<const float> t, const WindowScanParameters& p,
                           std::int32_t w) {
  const double ws =
      static_cast<double>(t.front()) + static_cast<double>(w - 1) * static_cast<double>(p.S);
  const double we = ws + static_cast<double>(p.L);
  const float* begin = t.data();
  const float* end = t.data() + t.size();
  const float* lo =
      std::lower_bound(begin, end, ws, [](float ti, double start) { return ti < start; });
  const float* hi = std::upper_bound(lo, end, we, [](double stop, float ti) { return stop < ti; });
  return {lo, static_cast<std::int32_t>(hi - lo), static_cast<float>(ws)};
}

}  // namespace

WindowScan scan_windows(std::span<const float> t, const WindowScanParameters& p,
                        const WindowScanProgress& progress) {
  const std::optional<std::int32_t> nw = window_count(p.D, p.L, p.S);
  assert(nw && *nw >= 1 && p.NP >= 2 && t.size() >= 2);

  WindowScan scan;
  scan.nw = *nw;
  scan.np = p.NP;
  // The product of two int32_t values fits in 64 bits; obtain() refuses a
  // byte count beyond size_t on narrower platforms.
  if (static_cast<std::uint64_t>(scan.np) * static_cast<std::uint64_t>(scan.nw) >
      std::numeric_limits<std::size_t>::max()) {
    throw std::bad_alloc();
  }
  scan.matrix = obtain<float>(scan.cell_count());
  scan.counts = obtain<std::int32_t>(static_cast<std::size_t>(scan.nw));

  progress.started();
  const PeriodGrid grid = window_period_grid(p.Tmin, p.Tmax, p.NP);
  scan.lgmin = grid.lgmin;
  scan.lgmax = grid.lgmax;

  // Each window's periods are taken two at a time (their searches run side
  // by side over the window's events); every (window, pair of periods) is one
  // piece of work, numbered window by window as the matrix is stored. The
  // pieces run on every core and write only their own cells (the first pair
  // of a window also its count); progress is reported in order
  // as the pieces are done.
  const std::int32_t pairs = period_pairs(scan.np);
  const std::int64_t pieces = static_cast<std::int64_t>(scan.nw) * pairs;
  const int threads = static_cast<int>(std::min<std::int64_t>(available_cores(), pieces));
  WorkerCaches caches(threads);
  const auto window_of = [&](std::int64_t i) { return static_cast<std::int32_t>(i / pairs) + 1; };
  const auto periods_of = [&](std::int64_t i) {
    return period_pair(scan.np, static_cast<std::int32_t>(i % pairs));
  };

  run_in_order(
      pieces, threads,
      [&](std::int64_t i, int worker) {
        const std::int32_t w = window_of(i);
        const PeriodPair periods = periods_of(i);
        const WindowEvents events = window_events(t, p, w);
        if (periods.first == 1) scan.counts[static_cast<std::size_t>(w - 1)] = events.n;
        if (!events.searched()) {
          for (std::int32_t j = 0; j < periods.count; ++j) {
            scan.cell(periods.first + j, w) = kBlankMarker;
          }
          return;
        }
        float omegas[2];
        SearchResult found[2];
        for (std::int32_t j = 0; j < periods.count; ++j) omegas[j] = grid.omega(periods.first + j);
        const std::size_t count = static_cast<std::size_t>(periods.count);
        find_afi_side_by_side({omegas, count}, {found, count}, events.n, events.first, events.t0,
                              caches.of(worker));
        for (std::int32_t j = 0; j < periods.count; ++j) {
          scan.cell(periods.first + j, w) = found[j].delta_log_lik;
        }
      },
      [&](std::int64_t i) {
        const std::int32_t w = window_of(i);
        if (!window_events(t, p, w).searched()) return;  // blank windows show nothing
        const PeriodPair periods = periods_of(i);
        for (std::int32_t k = periods.first; k < periods.first + periods.count; ++k) {
          progress.cell_done(scan.nw - w, scan.np - k);
        }
      });
  return scan;
}

}  // namespace periodscan
