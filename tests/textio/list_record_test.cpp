#include "textio/list_record.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "support/fake_channels.h"

namespace periodscan {
namespace {

using Records = std::vector<std::string>;

Records list_records(std::initializer_list<Item> items) {
  testing::RecordCollector sink;
  write_list(sink, items);
  return sink.records;
}

Records row_records(const std::vector<float>& row) {
  testing::RecordCollector sink;
  write_list(sink, std::span<const float>(row));
  return sink.records;
}

const std::string kReal = "    5.000000E-01";  // 0.5f in the list layout

std::string reals(int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += kReal;
  return out;
}

TEST(ListRecord, PlacesItemsByTheListLayout) {
  const std::string text62(62, 'x');
  const std::string text63(63, 'x');
  struct Case {
    const char* name;
    Records got;
    Records expected;
  };
  const Case cases[] = {
      {"text then integer",
       list_records({"Number of time moments=", 1234}),
       {" Number of time moments=        1234"}},
      {"two integers", list_records({25, 40}), {"          25          40"}},
      {"two reals", list_records({0.5f, 123.456f}), {"    5.000000E-01      123.456001"}},
      {"one blank text", list_records({" "}), {"  "}},
      {"empty text", list_records({""}), {" "}},
      {"integer then text", list_records({1234, " periods"}), {"        1234 periods"}},
      {"text follows text", list_records({"a", "b"}), {" ab"}},
      {"six integers fit",
       list_records({1, 2, 3, 4, 5, 6}),
       {"           1           2           3           4           5           6"}},
      {"seventh integer wraps",
       list_records({1, 2, 3, 4, 5, 6, 7}),
       {"           1           2           3           4           5           6",
        "           7"}},
      // 1 + 62 + 16 = 79 columns exactly.
      {"real fills column 79",
       list_records({std::string_view(text62), 0.5f}),
       {" " + text62 + kReal}},
      {"real one column short wraps",
       list_records({std::string_view(text63), 0.5f}),
       {" " + text63, kReal}},
      {"text after a wrap follows the number",
       list_records({0.5f, 0.5f, 0.5f, 0.5f, 0.5f, "x"}),
       {reals(4), kReal + "x"}},
      {"no items", list_records({}), {""}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.got, c.expected) << c.name;
  }
}

TEST(ListRecord, PutsAtMostFourRealsOfARowOnARecord) {
  struct Case {
    int count;
    Records expected;
  };
  const Case cases[] = {
      {1, {reals(1)}},
      {4, {reals(4)}},
      {5, {reals(4), reals(1)}},
      {10, {reals(4), reals(4), reals(2)}},
      {12, {reals(4), reals(4), reals(4)}},
  };
  for (const Case& c : cases) {
    const std::vector<float> row(static_cast<size_t>(c.count), 0.5f);
    EXPECT_EQ(row_records(row), c.expected) << c.count << " reals";
    std::vector<Item> items(row.begin(), row.end());
    testing::RecordCollector sink;
    write_list(sink, std::span<const Item>(items));
    EXPECT_EQ(sink.records, c.expected) << c.count << " real items";
  }
}

TEST(ListRecord, SpellsEachValueOfARowInPlace) {
  EXPECT_EQ(row_records({1.0078125f, -0.0f, 1e-35f, -3.4e38f, 9999999.0f}),
            (Records{"        1.007812    0.000000E+00    1.000000E-35   -3.400000E+38",
                     "  9999999.000000"}));
}

TEST(ListRecord, EachWriteStartsANewRecord) {
  testing::RecordCollector sink;
  write_list(sink, {"a"});
  write_list(sink, {1});
  EXPECT_EQ(sink.records, (Records{" a", "           1"}));
}

}  // namespace
}  // namespace periodscan
