#include "results/survey_grid.h"

#include <cmath>

#include "results/survey_table.h"

namespace periodscan {

ZRange z_range(std::span<const double> cells) {
  ZRange range;
  bool any = false;
  for (const double z : cells) {
    if (std::isnan(z)) continue;
    if (!any || z < range.min) range.min = z;
    if (!any || z > range.max) range.max = z;
    any = true;
  }
  return range;
}

void append_grid_header(std::string* out, const SurferGridHeader& header) {
  out->append("DSAA\n");
  out->append(std::to_string(header.columns));
  out->push_back(' ');
  out->append(std::to_string(header.rows));
  out->push_back('\n');
  const double pairs[3][2] = {
      {header.x_min, header.x_max}, {header.y_min, header.y_max}, {header.z_min, header.z_max}};
  for (const auto& pair : pairs) {
    append_number(out, pair[0]);
    out->push_back(' ');
    append_number(out, pair[1]);
    out->push_back('\n');
  }
}

void append_grid_row(std::string* out, std::span<const double> row) {
  for (std::size_t i = 0; i < row.size(); ++i) {
    if (i > 0) out->push_back(i % kGridValuesPerLine == 0 ? '\n' : ' ');
    if (std::isnan(row[i])) {
      out->append(kSurferBlankText);
    } else {
      append_number(out, row[i]);
    }
  }
  out->append("\n\n");
}

}  // namespace periodscan
