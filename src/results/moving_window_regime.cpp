#include "results/moving_window_regime.h"

#include <algorithm>
#include <cstdint>

#include "results/count_file.h"
#include "results/grid_file.h"
#include "scan/moving_window_scan.h"
#include "textio/fixed_record.h"
#include "textio/list_record.h"

namespace periodscan {

void run_moving_window_regime(Channels& io, const std::vector<float>& t,
                              const WindowScanParameters& p, float M) {
  WindowScan scan = scan_windows(t, p,
                                 {.started = [&] { write_list(io.console, {Item(" ")}); },
                                  .cell_done =
                                      [&](std::int32_t windows_left, std::int32_t periods_left) {
                                        write_fixed(io.console, FixedLayout::kProgress2,
                                                    {Item(windows_left), Item(periods_left)});
                                      }});

  GridHeader header;
  header.nx = scan.nw;
  header.ny = scan.np;
  header.xmin = first_time_mark(M, p.L);
  header.xmax = time_mark(header.xmin, p.S, scan.nw);
  header.ymin = scan.lgmin;
  header.ymax = scan.lgmax;

  // Finishes the cells as they are now and writes them as a grid file.
  auto write_finished_grid = [&](const char* name) {
    const ZRange z = finish_cells(scan.cells());
    header.zmin = z.zmin;
    header.zmax = z.zmax;
    io.file.open_output(name);
    write_grid(io.file, header, scan.cells());
    io.file.close_file();
  };
  const std::span<const std::int32_t> counts = scan.window_counts();

  write_finished_grid(kGridFileName);

  io.file.open_output(kCountFileName);
  write_counts(io.file, counts, header.xmin, p.S);
  io.file.close_file();

  if (*std::min_element(counts.begin(), counts.end()) == 0) return;
  normalise_cells(scan.cells(), scan.np, counts);
  write_finished_grid(kNormalizedGridFileName);
}

}  // namespace periodscan
