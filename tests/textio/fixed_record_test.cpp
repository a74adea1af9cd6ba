#include "textio/fixed_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_channels.h"

namespace periodscan {
namespace {

std::string fixed_record(FixedLayout layout, std::initializer_list<Item> items) {
  testing::RecordCollector sink;
  write_fixed(sink, layout, items);
  EXPECT_EQ(sink.records.size(), 1u);
  return sink.records.empty() ? std::string() : sink.records.front();
}

TEST(FixedRecord, LaysOutEachLayoutWithoutALeadingBlank) {
  struct Case {
    const char* name;
    std::string got;
    const char* expected;
  };
  const Case cases[] = {
      {"spectrum record", fixed_record(FixedLayout::kGeneral15, {10.0f, 2.5f, 0.3f}),
       "    10.0000        2.50000       0.300000    "},
      {"one general real", fixed_record(FixedLayout::kGeneral15, {0.0f}), "       0.000000"},
      {"general exponent forms abut", fixed_record(FixedLayout::kGeneral15, {0.01f, -3.4e38f}),
       "   0.100000E-01  -0.340000E+39"},
      {"count record", fixed_record(FixedLayout::kGeneral15Int10, {12.5f, 37}),
       "    12.5000            37"},
      {"count record with count 0", fixed_record(FixedLayout::kGeneral15Int10, {12.5f, 0}),
       "    12.5000              "},
      {"grid title", fixed_record(FixedLayout::kText4, {"DSAA"}), "DSAA"},
      {"one-integer progress", fixed_record(FixedLayout::kProgress1, {4}), "+         4"},
      {"countdown at 0", fixed_record(FixedLayout::kProgress1, {0}), "+          "},
      {"two-integer progress", fixed_record(FixedLayout::kProgress2, {3, 1250}),
       "+         3      1250"},
      {"progress with 0 and too wide", fixed_record(FixedLayout::kProgress2, {0, -2147483647 - 1}),
       "+          **********"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.got, c.expected) << c.name;
  }
}

TEST(FixedRecord, TakesItemsFromASpan) {
  const std::vector<Item> items = {1.0f, 6.2831855f, 0.05f};
  testing::RecordCollector sink;
  write_fixed(sink, FixedLayout::kGeneral15, std::span<const Item>(items));
  EXPECT_EQ(sink.records,
            (std::vector<std::string>{"    1.00000        6.28319       0.500000E-01"}));
}

}  // namespace
}  // namespace periodscan
