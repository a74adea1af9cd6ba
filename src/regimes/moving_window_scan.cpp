#include "regimes/moving_window_scan.h"

#include <algorithm>
#include <cassert>
#include <limits>

#include "estimator/amplitude_search.h"
#include "estimator/period_grid.h"
#include "textio/fatal_error.h"
#include "textio/fixed_record.h"
#include "textio/list_record.h"

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
    throw FatalError(FailureKind::kStorageExhausted, "memory", "none");
  }
  void* p = std::malloc(count * sizeof(T));
  if (p == nullptr) throw FatalError(FailureKind::kStorageExhausted, "memory", "none");
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

WindowScan scan_windows(RecordSink& console, std::span<const float> t, const RunParameters& p) {
  const std::optional<std::int32_t> nw = window_count(p.D, p.L, p.S);
  assert(nw && *nw >= 1 && p.NP >= 2 && t.size() >= 2);

  WindowScan scan;
  scan.nw = *nw;
  scan.np = p.NP;
  // The product of two int32_t values fits in 64 bits; obtain() refuses a
  // byte count beyond size_t on narrower platforms.
  if (static_cast<std::uint64_t>(scan.np) * static_cast<std::uint64_t>(scan.nw) >
      std::numeric_limits<std::size_t>::max()) {
    throw FatalError(FailureKind::kStorageExhausted, "memory", "none");
  }
  scan.window_events = obtain<float>(t.size());
  scan.matrix = obtain<float>(scan.cell_count());
  scan.counts = obtain<std::int32_t>(static_cast<std::size_t>(scan.nw));

  write_list(console, {Item(" ")});
  const PeriodGrid grid = window_period_grid(p.Tmin, p.Tmax, p.NP);
  scan.lgmin = grid.lgmin;
  scan.lgmax = grid.lgmax;

  const double first = t.front();
  float* const events = scan.window_events.get();
  for (std::int32_t w = 1; w <= scan.nw; ++w) {
    const double ws = first + static_cast<double>(w - 1) * static_cast<double>(p.S);
    const double we = ws + static_cast<double>(p.L);

    // The event list is non-decreasing, so the window's events are one run of
    // it: the same selection as testing every event, without the cost of the
    // events before the window.
    const float* j = std::lower_bound(t.data(), t.data() + t.size(), ws,
                                      [](float ti, double start) { return ti < start; });
    std::int32_t n = 0;
    for (; j != t.data() + t.size() && static_cast<double>(*j) <= we; ++j) events[n++] = *j;
    scan.counts[static_cast<std::size_t>(w - 1)] = n;

    const float t0 = static_cast<float>(ws);
    // t0 is never later than the first selected event, so the interval
    // [t0, last event] has length zero exactly when the last event is at t0.
    if (n <= 1 || events[n - 1] == t0) {
      for (std::int32_t k = 1; k <= scan.np; ++k) scan.cell(k, w) = kBlankMarker;
      continue;
    }
    for (std::int32_t k = 1; k <= scan.np; ++k) {
      const float omega = grid.omega(k);
      float A = 0.0f;
      float Fi = 0.0f;
      float delta_log_lik = 0.0f;
      FIND_AFI(omega, A, Fi, delta_log_lik, n, events, t0);
      scan.cell(k, w) = delta_log_lik;
      write_fixed(console, FixedLayout::kProgress2, {Item(scan.nw - w), Item(scan.np - k)});
    }
  }
  return scan;
}

}  // namespace periodscan
