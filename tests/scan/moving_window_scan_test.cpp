// The moving-window scan: how many windows, which events each holds, which
// columns are searched, the console records, the storage failure, and whole
// scans against the literal transcription in tests/support, bit for bit.
#include "scan/moving_window_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "estimator/float_bits.h"
#include "results/grid_file.h"
#include "support/fake_channels.h"
#include "support/literal_window_scan.h"
#include "textio/fixed_record.h"
#include "textio/list_record.h"

#if defined(__SANITIZE_ADDRESS__)
// The storage test asks for more memory than the address space holds; the
// sanitizer's allocator must then return null, as the system's does.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }
#endif

namespace periodscan {
namespace {

using testing::RecordCollector;
using testing::same_bits;

WindowScanParameters parameters(const std::vector<float>& t, float L, float S, std::int32_t NP = 2,
                                float Tmin = 1.0f, float Tmax = 100.0f) {
  WindowScanParameters p;
  p.Tmin = Tmin;
  p.Tmax = Tmax;
  p.NP = NP;
  p.D = static_cast<float>(static_cast<double>(t.back()) - static_cast<double>(t.front()));
  p.L = L;
  p.S = S;
  return p;
}

// The scan with its progress shown as the program's console shows it.
WindowScan scan_windows(RecordCollector& console, std::span<const float> t,
                        const WindowScanParameters& p) {
  return periodscan::scan_windows(t, p,
                                  {.started = [&] { write_list(console, {Item(" ")}); },
                                   .cell_done =
                                       [&](std::int32_t windows_left, std::int32_t periods_left) {
                                         write_fixed(console, FixedLayout::kProgress2,
                                                     {Item(windows_left), Item(periods_left)});
                                       }});
}

TEST(WindowCount, Truncation) {
  struct Case {
    float D, L, S;
    std::optional<std::int32_t> nw;
  };
  const Case cases[] = {
      {1.0f, 0.3f, 0.1f, 7},   // 7.9999999 after the 4-byte rounding of L and S
      {1.0f, 0.5f, 0.1f, 5},   // 5.9999999
      {10.0f, 3.0f, 1.5f, 5},  // the gap example: 7/1.5 + 1 = 5.67
      {10.0f, 10.0f, 10.0f, 1},
      {10.0f, 10.0f, 0.001f, 1},                  // L = D: one window whatever the shift
      {10.0f, 4.0f, 2.0f, 4},                     // an exact multiple: the last window ends at D
      {2147483648.0f, 2.0f, 1.0f, 2147483647},    // the largest count
      {2147483648.0f, 1.0f, 1.0f, std::nullopt},  // 2**31 windows
      {10.0f, 3.0f, 1e-9f, std::nullopt},
      {std::numeric_limits<float>::infinity(), 1.0f, 1.0f, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.D << " " << c.L << " " << c.S);
    EXPECT_EQ(window_count(c.D, c.L, c.S), c.nw);
  }
}

std::string progress(std::int32_t windows_left, std::int32_t periods_left) {
  RecordCollector r;
  write_fixed(r, FixedLayout::kProgress2, {Item(windows_left), Item(periods_left)});
  return r.records.at(0);
}

TEST(MovingWindowScan, SelectionAndBlankColumns) {
  struct Case {
    const char* label;
    std::vector<float> t;
    float L, S;
    std::vector<std::int32_t> counts;
    const char* searched;  // one character per window: x searched, . blank
  };
  const Case cases[] = {
      {"gap example", {0, 1, 2, 8, 9, 10}, 3.0f, 1.5f, {3, 1, 0, 0, 2}, "x...x"},
      {"shared boundaries count twice", {0, 2, 4, 6}, 2.0f, 2.0f, {2, 2, 2}, "xxx"},
      {"4-byte D ends short of t(N)",
       {0.3f, 40, 60, 100, 100},
       99.69999695f,
       99.69999695f,
       {3},
       "x"},
      {"no event at 1 in the last window", {0, 1}, 0.3f, 0.1f, {1, 0, 0, 0, 0, 0, 0}, "......."},
      {"truncation with L = 0.5", {0, 1}, 0.5f, 0.1f, {1, 0, 0, 0, 0}, "....."},
      {"events at the end of a window are kept",
       {0, 4, 4, 4, 10},
       2.0f,
       2.0f,
       {1, 3, 3, 0, 1},
       ".x..."},
      {"repeated first times then a gap", {0, 0, 10}, 3.0f, 3.0f, {2, 0, 0}, "..."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    RecordCollector console;
    const WindowScanParameters p = parameters(c.t, c.L, c.S);
    WindowScan scan = scan_windows(console, c.t, p);
    ASSERT_EQ(scan.nw, static_cast<std::int32_t>(c.counts.size()));
    EXPECT_EQ(std::vector<std::int32_t>(scan.window_counts().begin(), scan.window_counts().end()),
              c.counts);
    std::vector<std::string> expected = {"  "};
    for (std::int32_t w = 1; w <= scan.nw; ++w) {
      const bool searched = c.searched[w - 1] == 'x';
      for (std::int32_t k = 1; k <= p.NP; ++k) {
        EXPECT_EQ(scan.cell(k, w) == kBlankMarker, !searched) << "cell " << k << ", " << w;
        if (searched) expected.push_back(progress(scan.nw - w, p.NP - k));
      }
    }
    EXPECT_EQ(console.records, expected);
  }
}

TEST(MovingWindowScan, StorageThatCannotBeHad) {
  struct Case {
    const char* label;
    std::vector<float> t;
    std::int32_t NP;
    float L, S;
  };
  const Case cases[] = {
      // 2e14 cells: more bytes than a 64-bit address space maps.
      {"beyond the address space", {0, 100000}, 2000000000, 1.0f, 1.0f},
      // 2**62 cells: their byte count does not fit in size_t.
      {"byte count overflows", {0, 2147483648.0f}, 2147483647, 2.0f, 1.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    RecordCollector console;
    try {
      scan_windows(console, c.t, parameters(c.t, c.L, c.S, c.NP));
      ADD_FAILURE() << "storage was had";
    } catch (const std::bad_alloc&) {
    }
    EXPECT_TRUE(console.records.empty());
  }
}

// Random catalogues with repeated times, gaps longer than the window and,
// now and then, repeated first times followed by such a gap, so that every
// kind of window occurs: empty, one event, events only at the window start,
// and searched ones.
class Random {
 public:
  explicit Random(std::uint64_t seed) : engine_(seed) {}
  double uniform() { return static_cast<double>(engine_() >> 11) * 0x1p-53; }
  double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
  int integer(int lo, int hi) { return lo + static_cast<int>(uniform() * (hi - lo + 1)); }

 private:
  std::mt19937_64 engine_;
};

struct Catalogue {
  std::vector<float> t;
  float L = 0.0f, S = 0.0f, Tmin = 0.0f, Tmax = 0.0f;
  std::int32_t NP = 0;
};

Catalogue random_catalogue(Random& rng, int max_n) {
  Catalogue c;
  const int n = rng.integer(2, max_n);
  const double offset = rng.uniform() < 0.5 ? 0.0 : rng.uniform(1.0, 5000.0);
  const double window = rng.uniform(5.0, 40.0);
  double x = offset;
  if (rng.uniform() < 0.3) {
    // Repeated first times, then a gap longer than the window.
    const int repeats = rng.integer(2, 4);
    for (int i = 0; i < repeats; ++i) c.t.push_back(static_cast<float>(x));
    x += window * rng.uniform(1.2, 3.0);
  }
  while (static_cast<int>(c.t.size()) < n) {
    const double u = rng.uniform();
    if (u < 0.2) {
      // a repeated time
    } else if (u < 0.25) {
      x += window * rng.uniform(1.0, 4.0);  // a gap
    } else {
      x += -std::log(1.0 - rng.uniform()) * window / 8.0;
    }
    c.t.push_back(static_cast<float>(x));
  }
  if (c.t.back() <= c.t.front()) c.t.back() = std::nextafter(c.t.front() + 1.0f, 1e30f);
  const float D = static_cast<float>(static_cast<double>(c.t.back()) - c.t.front());
  c.L = std::min(D, static_cast<float>(window));
  // At most about 25 windows, and at times S = L.
  const double least_shift = std::max(1e-3, (D - c.L) / 24.0);
  c.S = rng.uniform() < 0.2
            ? c.L
            : std::min(c.L, static_cast<float>(rng.uniform(least_shift, 2 * least_shift)));
  c.Tmin = static_cast<float>(rng.uniform(0.3, 3.0));
  c.Tmax = static_cast<float>(c.Tmin * rng.uniform(2.0, 50.0));
  c.NP = rng.integer(2, 4);
  return c;
}

std::vector<std::uint32_t> bit_patterns(std::span<const float> cells) {
  std::vector<std::uint32_t> bits;
  for (float c : cells) bits.push_back(testing::float_bits(c));
  return bits;
}

TEST(MovingWindowScan, SameBitsAsLiteralTranscription) {
  int empty = 0, single = 0, only_at_start = 0, searched = 0;
  for (std::uint64_t seed = 1; seed <= 14; ++seed) {
    Random rng(seed);
    const Catalogue c = random_catalogue(rng, seed <= 10 ? 40 : 300);
    SCOPED_TRACE(::testing::Message() << "seed " << seed << ", N " << c.t.size() << ", L " << c.L
                                      << ", S " << c.S << ", NP " << c.NP);

    testing::LiteralWindowScan want =
        testing::literal_window_scan(c.t, c.Tmin, c.Tmax, c.NP, c.L, c.S);
    RecordCollector console;
    WindowScanParameters p = parameters(c.t, c.L, c.S, c.NP, c.Tmin, c.Tmax);
    WindowScan got = scan_windows(console, c.t, p);

    ASSERT_EQ(got.nw, want.nw);
    EXPECT_TRUE(same_bits(want.lgmin, got.lgmin));
    EXPECT_TRUE(same_bits(want.lgmax, got.lgmax));
    EXPECT_EQ(std::vector<std::int32_t>(got.window_counts().begin(), got.window_counts().end()),
              want.counts);
    EXPECT_EQ(bit_patterns(got.cells()), bit_patterns(want.cells));
    std::vector<std::string> records = {"  "};
    for (auto [windows_left, periods_left] : want.progress) {
      records.push_back(progress(windows_left, periods_left));
    }
    EXPECT_EQ(console.records, records);

    for (std::int32_t w = 1; w <= want.nw; ++w) {
      const std::int32_t n = want.counts[w - 1];
      const bool blank = want.cells[static_cast<size_t>(w - 1) * c.NP] == kBlankMarker;
      empty += n == 0;
      single += n == 1;
      only_at_start += n >= 2 && blank;
      searched += !blank;
    }

    // The finishing pass, then the normalisation and a second pass when no
    // window is empty.
    const ZRange z = finish_cells(got.cells());
    const auto [zmin, zmax] = testing::literal_finish(want.cells);
    EXPECT_TRUE(same_bits(zmin, z.zmin));
    EXPECT_TRUE(same_bits(zmax, z.zmax));
    EXPECT_EQ(bit_patterns(got.cells()), bit_patterns(want.cells));
    if (*std::min_element(want.counts.begin(), want.counts.end()) > 0) {
      normalise_cells(got.cells(), got.np, got.window_counts());
      testing::literal_normalise(want.cells, c.NP, want.counts);
      const ZRange z2 = finish_cells(got.cells());
      const auto [zmin2, zmax2] = testing::literal_finish(want.cells);
      EXPECT_TRUE(same_bits(zmin2, z2.zmin));
      EXPECT_TRUE(same_bits(zmax2, z2.zmax));
      EXPECT_EQ(bit_patterns(got.cells()), bit_patterns(want.cells));
    }
  }
  // The catalogues must have produced every kind of window.
  EXPECT_GT(empty, 0);
  EXPECT_GT(single, 0);
  EXPECT_GT(only_at_start, 0);
  EXPECT_GT(searched, 0);
}

}  // namespace
}  // namespace periodscan
