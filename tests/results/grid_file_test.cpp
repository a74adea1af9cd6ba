// The finishing pass, the normalisation, the grid records and the time marks.
#include "results/grid_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "estimator/float_bits.h"
#include "scan/moving_window_scan.h"
#include "support/fake_channels.h"
#include "textio/list_record.h"

namespace periodscan {
namespace {

using testing::RecordCollector;
using testing::same_bits;

constexpr float B = kBlankMarker;

TEST(FinishCells, ZRangeAndFilledCells) {
  struct Case {
    const char* label;
    std::vector<float> cells, finished;
    float zmin, zmax;
  };
  const float just_above = std::nextafter(B, 1.0f);
  const Case cases[] = {
      {"every cell blank", {B, B, B, B}, {B, B, B, B}, B, B},
      {"blank column filled with zmin", {B, B, 3, 2}, {2, 2, 3, 2}, 2, 3},
      {"zero, negative and tiny become zmin",
       {0, -0.5f, 5e-36f, 1.5f, 2.5f},
       {1.5f, 1.5f, 1.5f, 1.5f, 2.5f},
       1.5f,
       2.5f},
      {"just above the marker takes part",
       {B, just_above, 1},
       {just_above, just_above, 1},
       just_above,
       1},
      {"first cell the largest", {4, 1, B}, {4, 1, 1}, 1, 4},
      {"nothing above the marker: the largest", {-1, 0, -2}, {0, 0, 0}, 0, 0},
      {"negative increments and a blank column", {-1, B, -2}, {B, B, B}, B, B},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<float> cells = c.cells;
    const ZRange z = finish_cells(cells);
    EXPECT_TRUE(same_bits(c.zmin, z.zmin));
    EXPECT_TRUE(same_bits(c.zmax, z.zmax));
    ASSERT_EQ(cells.size(), c.finished.size());
    for (size_t i = 0; i < cells.size(); ++i) EXPECT_TRUE(same_bits(c.finished[i], cells[i]));
  }
}

TEST(NormaliseCells, EachColumnByItsCount) {
  // Two periods, three windows, stored window by window.
  std::vector<float> cells = {3, 1, 7, 2, 0.5f, -1};
  const std::vector<std::int32_t> counts = {3, 2, 1};
  normalise_cells(cells, 2, counts);
  const std::vector<float> want = {1, 1.0f / 3.0f, 3.5f, 1, 0.5f, -1};
  for (size_t i = 0; i < cells.size(); ++i) EXPECT_TRUE(same_bits(want[i], cells[i]));
  EXPECT_EQ(testing::float_bits(cells[1]), 0x3EAAAAABu);
}

TEST(WriteGrid, RowsTakeCellsAcrossWindows) {
  // Five windows, two periods: cell (k, w) is 10*w + k.
  std::vector<float> cells;
  for (int w = 1; w <= 5; ++w) {
    for (int k = 1; k <= 2; ++k) cells.push_back(static_cast<float>(10 * w + k));
  }
  GridHeader h;
  h.nx = 5;
  h.ny = 2;
  RecordCollector out;
  write_grid(out, h, cells);
  ASSERT_EQ(out.records.size(), 9u);
  EXPECT_EQ(out.records[5], "       11.000000       21.000000       31.000000       41.000000");
  EXPECT_EQ(out.records[6], "       51.000000");
  EXPECT_EQ(out.records[7], "       12.000000       22.000000       32.000000       42.000000");
  EXPECT_EQ(out.records[8], "       52.000000");
}

TEST(WriteGrid, LongRowsAsOneListWrite) {
  // A row is written in slices; the records must be those of a single list
  // write of the whole row, whatever its length.
  for (std::int32_t nx : {1, 3, 4, 5, 255, 256, 257, 260, 513, 1001}) {
    SCOPED_TRACE(nx);
    std::vector<float> cells;
    std::vector<float> row1, row2;
    for (std::int32_t w = 1; w <= nx; ++w) {
      row1.push_back(static_cast<float>(w) * 0.5f);
      row2.push_back(-static_cast<float>(w));
      cells.push_back(row1.back());
      cells.push_back(row2.back());
    }
    GridHeader h;
    h.nx = nx;
    h.ny = 2;
    RecordCollector got, want;
    write_grid(got, h, cells);
    write_list(want, std::span<const float>(row1));
    write_list(want, std::span<const float>(row2));
    ASSERT_GT(got.records.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(got.records.begin() + 5, got.records.end()), want.records);
  }
}

TEST(TimeMark, MultipliedNotAccumulated) {
  // 0.1 + 10*0.1 in double, rounded once, is 1.1 to the nearest 4-byte real;
  // adding 0.1 ten times in 4-byte steps would give 1.1000001.
  const float xmin = first_time_mark(0.0f, 0.1f);
  EXPECT_TRUE(same_bits(1.1f, time_mark(xmin, 0.1f, 11)));
  EXPECT_TRUE(same_bits(xmin, time_mark(xmin, 0.1f, 1)));
}

}  // namespace
}  // namespace periodscan
