// The time-frequency matrix as a Surfer ASCII grid: the finishing pass that
// fills blank cells and finds the z range, the normalisation by the window
// event counts, and the grid file layout.
//
// Layout (list layout unless said otherwise):
//   DSAA                  text field of width 4
//   nx ny                 Nw and NP, one list write of two integers
//   xmin xmax             time marks of the first and last window
//   ymin ymax             lgmin and lgmax
//   zmin zmax             from the finishing pass
//   rows k = 1..NP        one list write of the Nw cells (k, 1..Nw) each, so
//                         four values to a line and every row on a new line
// Events at 0 and 10, Tmin = 1, Tmax = 100, NP = 2, L = 4, S = 2, M = 0 give
// (every cell blank):
//   DSAA
//              4           2
//           4.000000       10.000000
//       0.000000E+00        2.000000
//       1.000000E-35    1.000000E-35
//       1.000000E-35    1.000000E-35    1.000000E-35    1.000000E-35
//       1.000000E-35    1.000000E-35    1.000000E-35    1.000000E-35
#pragma once

#include <cstdint>
#include <span>

#include "textio/record_sink.h"

namespace periodscan {

inline constexpr const char* kGridFileName = "ZUM_out.grd";
inline constexpr const char* kNormalizedGridFileName = "ZUM_out_Normalized.grd";

// Time mark of window w (1-based): xmin + (w - 1)*S in double, rounded, with
// xmin = M + L rounded. Window 1's mark is xmin and window Nw's is the grid's
// xmax; the count file uses the same marks.
float first_time_mark(float M, float L);
float time_mark(float xmin, float S, std::int32_t w);

struct ZRange {
  float zmin = 0.0f;
  float zmax = 0.0f;
};

// The finishing pass, in place, over the cells in storage order. zmax is the
// largest cell (starting from the first); zmin the smallest cell above the
// blank marker, or zmax when there is none; then every cell at or below the
// blank marker (blank columns, and increments that are zero, negative or
// tiny) becomes zmin. {blank, 3, -1, 2} gives zmin 2, zmax 3 and cells
// {2, 3, 2, 2}; a matrix of blanks stays as it is, with zmin = zmax = blank.
ZRange finish_cells(std::span<float> cells);

// Divides each window's cells by its event count, in place: in double,
// rounded. The cells are stored window by window, np to a window; every
// count must be at least 1.
void normalise_cells(std::span<float> cells, std::int32_t np, std::span<const std::int32_t> counts);

struct GridHeader {
  std::int32_t nx = 0;  // windows
  std::int32_t ny = 0;  // periods
  float xmin = 0.0f, xmax = 0.0f;
  float ymin = 0.0f, ymax = 0.0f;
  float zmin = 0.0f, zmax = 0.0f;
};

// Writes the grid records of the cells (stored window by window, header.ny to
// a window) to `sink`; the caller opens and closes the file. Only a small
// fixed buffer is used to turn columns into rows.
void write_grid(RecordSink& sink, const GridHeader& header, std::span<const float> cells);

}  // namespace periodscan
