#include "support/literal_regimes.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "results/grid_file.h"
#include "support/literal_estimator.h"
#include "support/literal_window_scan.h"
#include "textio/fixed_record.h"
#include "textio/list_record.h"

namespace periodscan::testing {

namespace {

void literal_static(Channels& io, const std::vector<float>& t, float Tmin, float Tmax, int32_t NP) {
  io.file.open_output("ZUM_out.dat");
  write_list(io.console, {Item(" ")});
  const LiteralGrid grid = literal_static_grid(Tmin, Tmax, NP);
  const int32_t N = static_cast<int32_t>(t.size());
  for (int32_t k = 1; k <= NP; ++k) {
    const LiteralAmplitudeSearch found = literal_find_afi(grid.omega[k - 1], N, t.data(), t[0]);
    write_fixed(io.file, FixedLayout::kGeneral15,
                {Item(grid.reported_period[k - 1]), Item(found.delta_log_lik), Item(found.A)});
    write_fixed(io.console, FixedLayout::kProgress1, {Item(NP - k)});
  }
}

void literal_grid_file(FileChannel& file, const char* name, GridHeader header,
                       std::vector<float>& cells) {
  const std::pair<float, float> z = literal_finish(cells);
  header.zmin = z.first;
  header.zmax = z.second;
  file.open_output(name);
  write_grid(file, header, cells);
  file.close_file();
}

void literal_window(Channels& io, const std::vector<float>& t, const RunParameters& p) {
  LiteralWindowScan scan = literal_window_scan(t, p.Tmin, p.Tmax, p.NP, p.L, p.S);
  write_list(io.console, {Item(" ")});
  for (const auto& [windows_left, periods_left] : scan.progress) {
    write_fixed(io.console, FixedLayout::kProgress2, {Item(windows_left), Item(periods_left)});
  }

  GridHeader header;
  header.nx = scan.nw;
  header.ny = p.NP;
  header.xmin = static_cast<float>(static_cast<double>(p.M) + p.L);
  header.xmax = static_cast<float>(static_cast<double>(scan.nw - 1) * p.S + header.xmin);
  header.ymin = scan.lgmin;
  header.ymax = scan.lgmax;
  literal_grid_file(io.file, "ZUM_out.grd", header, scan.cells);

  io.file.open_output("NumbOfEvents_in_Windows.dat");
  for (int32_t w = 1; w <= scan.nw; ++w) {
    const float mark =
        static_cast<float>(static_cast<double>(header.xmin) + static_cast<double>(w - 1) * p.S);
    write_fixed(io.file, FixedLayout::kGeneral15Int10, {Item(mark), Item(scan.counts[w - 1])});
  }
  io.file.close_file();

  if (*std::min_element(scan.counts.begin(), scan.counts.end()) == 0) return;
  literal_normalise(scan.cells, p.NP, scan.counts);
  literal_grid_file(io.file, "ZUM_out_Normalized.grd", header, scan.cells);
}

}  // namespace

RunEnd literal_run(Channels& io) {
  std::optional<RunRequest> request = hold_dialogue(io);
  if (!request) return RunEnd::kErrorStop;
  const RunParameters& p = request->p;
  if (p.regime == Regime::kStatic) {
    literal_static(io, request->t, p.Tmin, p.Tmax, p.NP);
  } else {
    literal_window(io, request->t, p);
  }
  return RunEnd::kNormal;
}

}  // namespace periodscan::testing
