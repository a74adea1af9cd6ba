#include "support/literal_window_scan.h"

#include <cmath>
#include <cstring>

#include "support/literal_estimator.h"

namespace periodscan::testing {

namespace {

float store(double value) { return static_cast<float>(value); }

// The 4-byte real nearest to 1e-35, spelled from its bits.
float blank_marker() {
  const std::uint32_t bits = 0x0554AD2E;
  float marker;
  std::memcpy(&marker, &bits, sizeof marker);
  return marker;
}

}  // namespace

LiteralWindowScan literal_window_scan(const std::vector<float>& t, float Tmin, float Tmax,
                                      std::int32_t NP, float L, float S) {
  LiteralWindowScan out;
  const std::int32_t N = static_cast<std::int32_t>(t.size());
  const float D = store(static_cast<double>(t[N - 1]) - static_cast<double>(t[0]));

  // Step 1: the number of windows.
  double q = static_cast<double>(D) - static_cast<double>(L);
  q = q / static_cast<double>(S);
  q = q + 1.0;
  out.nw = static_cast<std::int32_t>(std::trunc(q));

  // Step 2: the grid, once.
  const LiteralGrid grid = literal_window_grid(Tmin, Tmax, NP);
  out.lgmin = grid.lgmin;
  out.lgmax = grid.lgmax;

  out.cells.assign(static_cast<size_t>(NP) * static_cast<size_t>(out.nw), 0.0f);
  out.counts.assign(static_cast<size_t>(out.nw), 0);
  std::vector<float> window(static_cast<size_t>(N));

  // Step 3: the windows.
  for (std::int32_t w = 1; w <= out.nw; ++w) {
    double ws = static_cast<double>(w - 1) * static_cast<double>(S);
    ws = static_cast<double>(t[0]) + ws;
    double we = ws + static_cast<double>(L);
    std::int32_t n = 0;
    for (std::int32_t j = 1; j <= N; ++j) {
      double tj = static_cast<double>(t[j - 1]);
      if (ws <= tj && tj <= we) {
        window[n] = t[j - 1];
        n = n + 1;
      }
    }
    out.counts[w - 1] = n;
    float t0 = store(ws);
    bool searched = n >= 2;
    if (searched) {
      // The observation interval as the log-likelihood computes it.
      float Lobs = store(static_cast<double>(window[n - 1]) - static_cast<double>(t0));
      if (Lobs == 0.0f) searched = false;
    }
    for (std::int32_t k = 1; k <= NP; ++k) {
      size_t at = static_cast<size_t>(w - 1) * static_cast<size_t>(NP) + static_cast<size_t>(k - 1);
      if (!searched) {
        out.cells[at] = blank_marker();
        continue;
      }
      LiteralAmplitudeSearch r = literal_find_afi(grid.omega[k - 1], n, window.data(), t0);
      out.cells[at] = r.delta_log_lik;
      out.progress.emplace_back(out.nw - w, NP - k);
    }
  }
  return out;
}

std::pair<float, float> literal_finish(std::vector<float>& cells) {
  const float blank = blank_marker();
  float zmax = cells[0];
  for (size_t i = 0; i < cells.size(); ++i) {
    if (cells[i] > zmax) zmax = cells[i];
  }
  float zmin = zmax;
  for (size_t i = 0; i < cells.size(); ++i) {
    if (cells[i] > blank) {
      if (cells[i] < zmin) zmin = cells[i];
    }
  }
  for (size_t i = 0; i < cells.size(); ++i) {
    if (cells[i] <= blank) cells[i] = zmin;
  }
  return {zmin, zmax};
}

void literal_normalise(std::vector<float>& cells, std::int32_t NP,
                       const std::vector<std::int32_t>& counts) {
  for (size_t w = 1; w <= counts.size(); ++w) {
    for (std::int32_t k = 1; k <= NP; ++k) {
      size_t at = (w - 1) * static_cast<size_t>(NP) + static_cast<size_t>(k - 1);
      cells[at] = store(static_cast<double>(cells[at]) / static_cast<double>(counts[w - 1]));
    }
  }
}

}  // namespace periodscan::testing
