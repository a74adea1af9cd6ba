// The estimate over the whole sample at every period of the static grid
// (scan/period_grid.h), spread over the cores, with each period's result
// handed on in grid order as soon as it and every period before it are done.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "estimator/cached_search.h"

namespace periodscan {

struct PeriodScanDelivery {
  // Called once the scan's storage is obtained, before any period is done.
  std::function<void()> started;
  // Period k (1-based, Tmin first) with its reported period and the search's
  // result, in increasing k, on the calling thread.
  std::function<void(std::int32_t k, float reported_period, const SearchResult& found)> period_done;
};

// t: the event list (non-decreasing, t.back() > t.front()), observed from
// its first event to its last. The results equal FIND_AFI's at every Omega(k)
// to the bit. Storage that cannot be had throws std::bad_alloc before
// `started`; an exception thrown by `period_done` stops the scan and goes on
// to the caller.
void scan_periods(std::span<const float> t, float Tmin, float Tmax, std::int32_t NP,
                  const PeriodScanDelivery& delivery);

}  // namespace periodscan
