// A plain transcription of the regime-1 computation, kept apart from
// src/regimes and written for clarity rather than speed: the number of
// windows, the selection that tests every event of the list for every
// window, the searches of literal_estimator.h, the finishing pass and the
// normalisation, step by step with every 4-byte rounding spelled out.
//
// The program's scan and grid passes must agree with it to the bit. Event
// arrays are 0-based; windows w and periods k are 1-based.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace periodscan::testing {

struct LiteralWindowScan {
  std::int32_t nw = 0;
  float lgmin = 0.0f;
  float lgmax = 0.0f;
  // cells[(w - 1)*NP + (k - 1)] is cell (k, w), window by window.
  std::vector<float> cells;
  std::vector<std::int32_t> counts;
  // The progress records in order: (Nw - w, NP - k) after each stored cell.
  std::vector<std::pair<std::int32_t, std::int32_t>> progress;
};

// The scan over t (non-decreasing) with the 4-byte answers of the dialogue;
// D is t.back() - t.front() rounded. A window holding two or more events
// whose observation interval has length zero gets a blank column.
LiteralWindowScan literal_window_scan(const std::vector<float>& t, float Tmin, float Tmax,
                                      std::int32_t NP, float L, float S);

// The finishing pass over cells in storage order; returns {zmin, zmax}.
std::pair<float, float> literal_finish(std::vector<float>& cells);

// Each cell divided by its window's count, in double, rounded.
void literal_normalise(std::vector<float>& cells, std::int32_t NP,
                       const std::vector<std::int32_t>& counts);

}  // namespace periodscan::testing
