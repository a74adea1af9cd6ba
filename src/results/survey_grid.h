// The survey's time-frequency grid in the Surfer ASCII grid layout ("DSAA"),
// as GDAL and Surfer read it:
//
//   DSAA
//   nx ny                 columns (x) and rows (y)
//   x_min x_max           x of the first and of the last column
//   y_min y_max           y of the first and of the last row
//   z_min z_max           range of the cells that are not blank
//   row 1 (y = y_min): nx values from x_min to x_max, then row 2, ...
//
// The coordinates are those of the cell centres, equally spaced between the
// two ends. Values are separated by blanks, at most kGridValuesPerLine on a
// line, and a blank line ends each row, as Surfer itself writes them. A cell
// that holds a not-a-number is written as Surfer's blank value
// "1.70141e38", which GDAL reports as the band's no-data value. Numbers are
// spelled as in results/survey_table.h (shortest round trip).
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace periodscan {

inline constexpr std::string_view kSurferBlankText = "1.70141e38";
inline constexpr std::size_t kGridValuesPerLine = 10;

struct SurferGridHeader {
  std::size_t columns = 0;  // nx
  std::size_t rows = 0;     // ny
  double x_min = 0.0;
  double x_max = 0.0;
  double y_min = 0.0;
  double y_max = 0.0;
  double z_min = 0.0;
  double z_max = 0.0;
};

// Smallest and largest cell that is not a not-a-number; both 0 when every
// cell is one.
struct ZRange {
  double min = 0.0;
  double max = 0.0;
};
ZRange z_range(std::span<const double> cells);

void append_grid_header(std::string* out, const SurferGridHeader& header);

// One grid row: header.columns values, from x_min to x_max.
void append_grid_row(std::string* out, std::span<const double> row);

}  // namespace periodscan
