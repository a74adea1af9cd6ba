// The count file's records: time marks and counts side by side.
#include "results/count_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "results/grid_file.h"
#include "support/fake_channels.h"

namespace periodscan {
namespace {

using testing::RecordCollector;

TEST(WriteCounts, TimeMarksAndCounts) {
  struct Case {
    const char* label;
    float M, L, S;
    std::vector<std::int32_t> counts;
    std::vector<std::string> records;
  };
  const Case cases[] = {
      {"blank cells example",
       0.0f,
       4.0f,
       2.0f,
       {1, 0, 0, 1},
       {"    4.00000             1", "    6.00000              ", "    8.00000              ",
        "    10.0000             1"}},
      {"gap example",
       100.0f,
       3.0f,
       1.5f,
       {3, 1, 0, 0, 2},
       {"    103.000             3", "    104.500             1", "    106.000              ",
        "    107.500              ", "    109.000             2"}},
      {"negative marks",
       -10.0f,
       2.0f,
       5.0f,
       {12, 1234567890},
       {"   -8.00000            12", "   -3.00000    1234567890"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    RecordCollector out;
    write_counts(out, c.counts, first_time_mark(c.M, c.L), c.S);
    EXPECT_EQ(out.records, c.records);
  }
}

}  // namespace
}  // namespace periodscan
