#include "results/grid_file.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstddef>

#include "scan/moving_window_scan.h"
#include "textio/fixed_record.h"
#include "textio/layout.h"
#include "textio/list_record.h"

namespace periodscan {

namespace {

// A list write puts this many reals on a record and wraps before the next.
constexpr int kRealsPerRecord = kListRecordColumns / kListRealWidth;
static_assert(kRealsPerRecord == 4);

// A row is gathered from its column-ordered cells into this buffer and
// written in slices. Each slice holds whole records' worth of reals, so the
// slices make exactly the records of one list write of the whole row, and no
// row-sized buffer is needed beside the matrix.
constexpr std::size_t kRowSlice = 64 * kRealsPerRecord;

}  // namespace

float first_time_mark(float M, float L) {
  return static_cast<float>(static_cast<double>(M) + static_cast<double>(L));
}

float time_mark(float xmin, float S, std::int32_t w) {
  return static_cast<float>(static_cast<double>(xmin) +
                            static_cast<double>(w - 1) * static_cast<double>(S));
}

ZRange finish_cells(std::span<float> cells) {
  assert(!cells.empty());
  ZRange z;
  z.zmax = cells.front();
  for (float c : cells) {
    if (c > z.zmax) z.zmax = c;
  }
  z.zmin = z.zmax;
  for (float c : cells) {
    if (c > kBlankMarker && c < z.zmin) z.zmin = c;
  }
  for (float& c : cells) {
    if (c <= kBlankMarker) c = z.zmin;
  }
  return z;
}

void normalise_cells(std::span<float> cells, std::int32_t np,
                     std::span<const std::int32_t> counts) {
  const std::size_t rows = static_cast<std::size_t>(np);
  assert(cells.size() == rows * counts.size());
  for (std::size_t w = 0; w < counts.size(); ++w) {
    assert(counts[w] >= 1);
    const double n = static_cast<double>(counts[w]);
    for (float& c : cells.subspan(w * rows, rows)) {
      c = static_cast<float>(static_cast<double>(c) / n);
    }
  }
}

void write_grid(RecordSink& sink, const GridHeader& header, std::span<const float> cells) {
  const std::size_t nx = static_cast<std::size_t>(header.nx);
  const std::size_t ny = static_cast<std::size_t>(header.ny);
  assert(nx >= 1 && ny >= 1 && cells.size() == nx * ny);

  write_fixed(sink, FixedLayout::kText4, {Item("DSAA")});
  write_list(sink, {Item(header.nx), Item(header.ny)});
  write_list(sink, {Item(header.xmin), Item(header.xmax)});
  write_list(sink, {Item(header.ymin), Item(header.ymax)});
  write_list(sink, {Item(header.zmin), Item(header.zmax)});

  std::array<float, kRowSlice> slice;
  for (std::size_t k = 0; k < ny; ++k) {
    for (std::size_t w = 0; w < nx; w += kRowSlice) {
      const std::size_t n = std::min(kRowSlice, nx - w);
      for (std::size_t i = 0; i < n; ++i) slice[i] = cells[(w + i) * ny + k];
      write_list(sink, std::span<const float>(slice.data(), n));
    }
  }
}

}  // namespace periodscan
