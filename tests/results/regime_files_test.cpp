// Both regimes' entry points on an in-memory folder: which files they write,
// in which order, with what records, and what a file that cannot be opened
// leaves behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "results/moving_window_regime.h"
#include "results/static_regime.h"
#include "support/fake_channels.h"
#include "support/literal_estimator.h"
#include "textio/fixed_record.h"

namespace periodscan {
namespace {

using testing::MemoryFileChannel;
using testing::RecordCollector;
using testing::StringLineSource;

struct Folder {
  RecordCollector console;
  StringLineSource answers{""};
  MemoryFileChannel file;
  Channels io{console, answers, file, ConsoleMode::kPlain};
};

std::string records(std::initializer_list<std::string> lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

WindowScanParameters window(const std::vector<float>& t, float L, float S) {
  const float D = static_cast<float>(static_cast<double>(t.back()) - t.front());
  return {1.0f, 100.0f, 2, D, L, S};
}

TEST(StaticRegime, SpectrumRecordsAndCountdownMatchTheTranscription) {
  const std::vector<float> t = {0.0f, 0.3f, 1.1f, 2.0f, 2.2f, 3.9f, 5.0f};
  Folder folder;
  run_static_regime(folder.io, t, 0.5f, 4.0f, 3);

  const testing::LiteralGrid grid = testing::literal_static_grid(0.5f, 4.0f, 3);
  RecordCollector want_file;
  RecordCollector want_console;
  want_console.records.push_back("  ");
  for (int k = 1; k <= 3; ++k) {
    const auto found = testing::literal_find_afi(grid.omega[k - 1], 7, t.data(), t[0]);
    write_fixed(want_file, FixedLayout::kGeneral15,
                {Item(grid.reported_period[k - 1]), Item(found.delta_log_lik), Item(found.A)});
    write_fixed(want_console, FixedLayout::kProgress1, {Item(3 - k)});
  }
  std::string want;
  for (const std::string& r : want_file.records) want += r + "\r\n";
  EXPECT_EQ(folder.file.opened, std::vector<std::string>{kSpectrumFileName});
  EXPECT_EQ(folder.file.files[kSpectrumFileName], want);
  EXPECT_EQ(folder.console.records, want_console.records);
}

TEST(StaticRegime, RefusedSpectrumFileStopsBeforeTheConsoleLine) {
  Folder folder;
  folder.file.refused.insert(kSpectrumFileName);
  EXPECT_THROW(run_static_regime(folder.io, {0.0f, 1.0f, 2.0f}, 1.0f, 2.0f, 2), FatalError);
  EXPECT_TRUE(folder.console.records.empty());
}

TEST(MovingWindowRegime, FilesInOrderAndTheNormalisedGridOnlyWithoutEmptyWindows) {
  const std::string blank_grid = records({
      "DSAA",
      "           4           2",
      "        4.000000       10.000000",
      "    0.000000E+00        2.000000",
      "    1.000000E-35    1.000000E-35",
      "    1.000000E-35    1.000000E-35    1.000000E-35    1.000000E-35",
      "    1.000000E-35    1.000000E-35    1.000000E-35    1.000000E-35",
  });
  const std::string counts = records({"    4.00000             1", "    6.00000              ",
                                      "    8.00000              ", "    10.0000             1"});
  Folder folder;
  folder.file.files["ZUM_out_Normalized.grd"] = "earlier run\r\n";
  const std::vector<float> t = {0.0f, 10.0f};
  run_moving_window_regime(folder.io, t, window(t, 4.0f, 2.0f), 0.0f);
  EXPECT_EQ(folder.file.opened,
            (std::vector<std::string>{"ZUM_out.grd", "NumbOfEvents_in_Windows.dat"}));
  EXPECT_EQ(folder.file.files["ZUM_out.grd"], blank_grid);
  EXPECT_EQ(folder.file.files["NumbOfEvents_in_Windows.dat"], counts);
  EXPECT_EQ(folder.file.files["ZUM_out_Normalized.grd"], "earlier run\r\n");
  EXPECT_EQ(folder.console.records, std::vector<std::string>{"  "});  // blank windows show nothing

  // Every window holds an event: the normalised grid follows the count file.
  Folder full;
  const std::vector<float> dense = {0.0f, 1.0f, 2.5f, 3.0f, 4.0f};
  run_moving_window_regime(full.io, dense, window(dense, 2.0f, 1.0f), 0.0f);
  EXPECT_EQ(full.file.opened,
            (std::vector<std::string>{"ZUM_out.grd", "NumbOfEvents_in_Windows.dat",
                                      "ZUM_out_Normalized.grd"}));
}

TEST(MovingWindowRegime, RefusedCountFileLeavesTheGridWhole) {
  Folder folder;
  folder.file.refused.insert("NumbOfEvents_in_Windows.dat");
  const std::vector<float> t = {0.0f, 10.0f};
  EXPECT_THROW(run_moving_window_regime(folder.io, t, window(t, 4.0f, 2.0f), 0.0f), FatalError);
  EXPECT_EQ(folder.file.opened, std::vector<std::string>{"ZUM_out.grd"});
  EXPECT_EQ(folder.file.files["ZUM_out.grd"].substr(0, 6), "DSAA\r\n");
}

}  // namespace
}  // namespace periodscan
