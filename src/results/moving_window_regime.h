// Regime 1, the estimate in a moving time window, from the scan to its last
// result file:
//   1. the scan (moving_window_scan.h), with its console countdown;
//   2. the finishing pass, then "ZUM_out.grd", closed;
//   3. "NumbOfEvents_in_Windows.dat", closed;
//   4. only if every window holds at least one event: each window's column
//      divided by its count, finished again and written as
//      "ZUM_out_Normalized.grd", closed. Otherwise an earlier normalised
//      grid is left as it was, and nothing is said about it.
// No file is opened before the scan is done, so a run that ends during the
// scan (storage exhausted, end of the console) leaves earlier result files
// untouched. Both grids share nx, ny, xmin, xmax, ymin and ymax.
#pragma once

#include <vector>

#include "scan/moving_window_scan.h"
#include "textio/channels.h"

namespace periodscan {

// t is the event list; p holds the accepted answers, D included, and M the
// time-mark shift. The console shows the line " " before the first window and
// the progress record (Nw - w, NP - k) after each searched cell.
void run_moving_window_regime(Channels& io, const std::vector<float>& t,
                              const WindowScanParameters& p, float M);

}  // namespace periodscan
