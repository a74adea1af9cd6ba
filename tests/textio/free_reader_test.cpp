#include "textio/free_reader.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "support/fake_channels.h"
#include "textio/fatal_error.h"
#include "textio/layout.h"

namespace periodscan {
namespace {

using namespace std::string_literals;
using testing::StringLineSource;

// One target slot: its kind, and a value (initial or expected).
struct Slot {
  bool integer;
  int32_t i;
  float f;
};
Slot I(int32_t v) { return {true, v, 0.0f}; }
Slot R(float v) { return {false, 0, v}; }

// Initial values that no input of the tables spells, so that a target that
// keeps its value is told apart from one that was written.
constexpr int32_t kIntInit = -77;
constexpr float kRealInit = -0.75f;
const Slot KI = I(kIntInit);
const Slot KR = R(kRealInit);

constexpr int kWrong = kReadWrongForm;
constexpr int kRange = kReadOutOfRange;
constexpr int kEnd = kReadEnd;

struct ReadCase {
  std::string input;
  std::vector<Slot> expected;  // kinds of the targets, and their values after the read
  int status;
  int supplied;
  int lines;  // lines taken from the source
};

// Runs one read with every outcome handled; targets start at kIntInit or
// kRealInit.
struct ReadResult {
  std::vector<int32_t> ints;
  std::vector<float> reals;
  int status;
  int supplied;
  int lines;
};

ReadResult run_read(const std::string& input, const std::vector<Slot>& kinds,
                    Handled handled = Handled::kReadErrorsAndEnd) {
  ReadResult result{std::vector<int32_t>(kinds.size(), kIntInit),
                    std::vector<float>(kinds.size(), kRealInit), 0, -1, 0};
  std::vector<NumberTarget> targets;
  for (size_t k = 0; k < kinds.size(); ++k) {
    if (kinds[k].integer) {
      targets.emplace_back(&result.ints[k]);
    } else {
      targets.emplace_back(&result.reals[k]);
    }
  }
  StringLineSource source(input);
  result.status = read_numbers(source, targets, handled, &result.supplied);
  result.lines = source.lines_read;
  return result;
}

void check_case(const ReadCase& c) {
  SCOPED_TRACE("input: \"" + c.input.substr(0, 60) + "\"");
  const ReadResult r = run_read(c.input, c.expected);
  EXPECT_EQ(r.status, c.status);
  EXPECT_EQ(r.supplied, c.supplied);
  EXPECT_EQ(r.lines, c.lines);
  for (size_t k = 0; k < c.expected.size(); ++k) {
    if (c.expected[k].integer) {
      EXPECT_EQ(r.ints[k], c.expected[k].i) << "target " << k;
    } else {
      // Bit for bit, so that -0 and 0 differ and no tolerance hides a
      // rounding fault.
      EXPECT_EQ(std::bit_cast<uint32_t>(r.reals[k]), std::bit_cast<uint32_t>(c.expected[k].f))
          << "target " << k << ": got " << r.reals[k] << ", want " << c.expected[k].f;
    }
  }
}

TEST(FreeReader, SeparatorsLinesAndEmptyValues) {
  const ReadCase cases[] = {
      // Blanks, tabs and one comma separate; line ends too.
      {"12 13", {I(12)}, kReadOk, 1, 1},
      {"1 2", {R(1), R(2)}, kReadOk, 2, 1},
      {"\t1\t\t2\t", {R(1), R(2)}, kReadOk, 2, 1},
      {"1,2", {R(1), R(2)}, kReadOk, 2, 1},
      {"  1 \t, 2  ", {R(1), R(2)}, kReadOk, 2, 1},
      {"1\n2", {R(1), R(2)}, kReadOk, 2, 2},
      {"5\r\n6\r\n", {R(5), R(6)}, kReadOk, 2, 2},
      {"\r\n7\r\n", {R(7)}, kReadOk, 1, 2},
      // Blank lines supply nothing.
      {"\n7", {R(7)}, kReadOk, 1, 2},
      {"   \n\t\n7 ", {I(7)}, kReadOk, 1, 3},
      {"1\n\n2", {R(1), R(2)}, kReadOk, 2, 3},
      // The read ends when the targets are filled; the rest is not examined.
      {"1.5 2.5", {R(1.5f)}, kReadOk, 1, 1},
      {"5 x", {R(5)}, kReadOk, 1, 1},
      {"5 6 7", {R(5), R(6)}, kReadOk, 2, 1},
      {"7 \0"s, {R(7)}, kReadOk, 1, 1},
      {"4\nnever read", {I(4)}, kReadOk, 1, 1},
      // Empty values: a comma first in the read, or after another comma.
      {",", {KR}, kReadOk, 0, 1},
      {",5", {KR, R(5)}, kReadOk, 1, 1},
      {",5", {KR}, kReadOk, 0, 1},
      {"  ,5", {KR, R(5)}, kReadOk, 1, 1},
      {"\n,5", {KR, R(5)}, kReadOk, 1, 2},
      {", ,5", {KR, KR, R(5)}, kReadOk, 1, 1},
      {"1,,3", {R(1), KR, R(3)}, kReadOk, 2, 1},
      {"1 , , 3", {R(1), KR, R(3)}, kReadOk, 2, 1},
      {"1,\n2", {R(1), R(2)}, kReadOk, 2, 2},
      {"1\n,2", {R(1), R(2)}, kReadOk, 2, 2},
      {"1,\n,2", {R(1), KR, R(2)}, kReadOk, 2, 2},
      // "/" ends the read; the targets left keep their values.
      {"/", {KR, KI}, kReadOk, 0, 1},
      {"/\n5", {KR}, kReadOk, 0, 1},
      {"5/", {R(5), KR}, kReadOk, 1, 1},
      {"5 / 6", {R(5), KR}, kReadOk, 1, 1},
      {"5,/", {R(5), KR}, kReadOk, 1, 1},
      {", /", {KR, KR}, kReadOk, 0, 1},
      // End of input before the targets are filled; those filled keep theirs.
      {"", {KR}, kEnd, 0, 0},
      {"\n  \n", {KR}, kEnd, 0, 2},
      {"1 2\n", {R(1), R(2), KR}, kEnd, 2, 1},
      {"1,\n", {I(1), KI}, kEnd, 1, 1},
      {"1\n2*", {R(1), KR, KR, KR}, kEnd, 1, 2},
  };
  for (const ReadCase& c : cases) check_case(c);
}

TEST(FreeReader, Repetition) {
  const ReadCase cases[] = {
      {"2*5", {R(5), R(5)}, kReadOk, 2, 1},
      {"2*7", {I(7), I(7)}, kReadOk, 2, 1},
      {"2*5", {R(5), I(5)}, kReadOk, 2, 1},
      {"1*5 2*6", {R(5), R(6), R(6)}, kReadOk, 3, 1},
      {"3*1.5", {R(1.5f), R(1.5f)}, kReadOk, 2, 1},
      {"2* 3", {KR, KR, R(3)}, kReadOk, 1, 1},
      {"2*,3", {KR, KR, R(3)}, kReadOk, 1, 1},
      {"2*\n3", {KR, KR, R(3)}, kReadOk, 1, 2},
      {"2*/", {KR, KR, KR}, kReadOk, 0, 1},
      {"2000000000*5", {R(5), R(5)}, kReadOk, 2, 1},
      {"2000000000*", {KR, KR}, kReadOk, 0, 1},
      {"2147483647*1", {I(1)}, kReadOk, 1, 1},
      // The repeated value is converted for each target's kind.
      {"2*1.5", {R(1.5f), KI}, kWrong, 1, 1},
      {"0*5", {KR}, kWrong, 0, 1},
      {"*5", {KR}, kWrong, 0, 1},
      {"*", {KR}, kWrong, 0, 1},
      {"+2*5", {KR}, kWrong, 0, 1},
      {"2.0*5", {KR}, kWrong, 0, 1},
      {"2*3*4", {KR}, kWrong, 0, 1},
      {"2**5", {KR}, kWrong, 0, 1},
      {"2*x", {KR}, kWrong, 0, 1},
      {"2147483648*5", {KR}, kRange, 0, 1},
      {"99999999999999999999*5", {KR}, kRange, 0, 1},
  };
  for (const ReadCase& c : cases) check_case(c);
}

TEST(FreeReader, RealForms) {
  const float kMinSubnormal = std::numeric_limits<float>::denorm_min();
  const float kMax = std::numeric_limits<float>::max();
  const ReadCase cases[] = {
      {"12", {R(12)}, kReadOk, 1, 1},
      {"12.5", {R(12.5f)}, kReadOk, 1, 1},
      {"-3.25", {R(-3.25f)}, kReadOk, 1, 1},
      {"+7", {R(7)}, kReadOk, 1, 1},
      {"-0", {R(-0.0f)}, kReadOk, 1, 1},
      {"1.25E+03", {R(1250)}, kReadOk, 1, 1},
      {".5", {R(0.5f)}, kReadOk, 1, 1},
      {"5.", {R(5)}, kReadOk, 1, 1},
      {"-.5e-3", {R(-0.0005f)}, kReadOk, 1, 1},
      {"0.1", {R(0.1f)}, kReadOk, 1, 1},
      {"123.456", {R(123.456f)}, kReadOk, 1, 1},
      {"1d2", {R(100)}, kReadOk, 1, 1},
      {"1D+2", {R(100)}, kReadOk, 1, 1},
      {"1Q2", {R(100)}, kReadOk, 1, 1},
      {"1q-2", {R(0.01f)}, kReadOk, 1, 1},
      {"1e2", {R(100)}, kReadOk, 1, 1},
      // Halfway between 1 and the next float, plus 1e-34: a detour through
      // double would land on the halfway point and round down to 1.
      {"1.0000000596046447753906250000000001", {R(1.00000012f)}, kReadOk, 1, 1},
      // Exactly halfway: ties to even.
      {"1.000000059604644775390625", {R(1.0f)}, kReadOk, 1, 1},
      // Range: overflow is a read error, underflow is not.
      {"3.4028235e38", {R(kMax)}, kReadOk, 1, 1},
      {"-3.4028235e38", {R(-kMax)}, kReadOk, 1, 1},
      {"3.4028236e38", {KR}, kRange, 0, 1},
      {"1e39", {KR}, kRange, 0, 1},
      {"-1e39", {KR}, kRange, 0, 1},
      {"1e999999999999999999", {KR}, kRange, 0, 1},
      {"1 1e39", {R(1), KR}, kRange, 1, 1},
      {"1e-45", {R(kMinSubnormal)}, kReadOk, 1, 1},
      {"1e-50", {R(0.0f)}, kReadOk, 1, 1},
      {"-1e-50", {R(-0.0f)}, kReadOk, 1, 1},
      {"1e-999999999999999999", {R(0.0f)}, kReadOk, 1, 1},
      {"0e999999999999999999", {R(0.0f)}, kReadOk, 1, 1},
      // Tokens around the length where the copy moves to the heap.
      {std::string(63, '0') + "3", {R(3)}, kReadOk, 1, 1},
      {std::string(64, '0') + "3", {R(3)}, kReadOk, 1, 1},
      {"0.5" + std::string(61, '0'), {R(0.5f)}, kReadOk, 1, 1},
      {"0.5" + std::string(62, '0'), {R(0.5f)}, kReadOk, 1, 1},
      {"1.5" + std::string(100, '0') + "d1", {R(15)}, kReadOk, 1, 1},
      // Wrong forms.
      {"+-5", {KR}, kWrong, 0, 1},
      {"--5", {KR}, kWrong, 0, 1},
      {"1.2.3", {KR}, kWrong, 0, 1},
      {"1e", {KR}, kWrong, 0, 1},
      {"1e+", {KR}, kWrong, 0, 1},
      {"e5", {KR}, kWrong, 0, 1},
      {".", {KR}, kWrong, 0, 1},
      {"+", {KR}, kWrong, 0, 1},
      {"-.e1", {KR}, kWrong, 0, 1},
      {"1e2.5", {KR}, kWrong, 0, 1},
      {"1e2e3", {KR}, kWrong, 0, 1},
      {"1+5", {KR}, kWrong, 0, 1},
      {"5-", {KR}, kWrong, 0, 1},
      {"1.5x", {KR}, kWrong, 0, 1},
      {"1x 2", {KR, KR}, kWrong, 0, 1},
      {"1 x 3", {R(1), KR, KR}, kWrong, 1, 1},
      {"abc", {KR}, kWrong, 0, 1},
      {"inf", {KR}, kWrong, 0, 1},
      {"-Infinity", {KR}, kWrong, 0, 1},
      {"nan", {KR}, kWrong, 0, 1},
      {"0x10", {KR}, kWrong, 0, 1},
      {"0x1p3", {KR}, kWrong, 0, 1},
      {"1e5e", {KR}, kWrong, 0, 1},
      {"1E2 " + std::string("\xff\xfe"), {R(100), KR}, kWrong, 1, 1},
      {"5\0 6"s, {KR, KR}, kWrong, 0, 1},
      {"\0"s, {KR}, kWrong, 0, 1},
  };
  for (const ReadCase& c : cases) check_case(c);
}

TEST(FreeReader, IntegerForms) {
  const ReadCase cases[] = {
      {"42", {I(42)}, kReadOk, 1, 1},
      {"+5", {I(5)}, kReadOk, 1, 1},
      {"-0", {I(0)}, kReadOk, 1, 1},
      {"007", {I(7)}, kReadOk, 1, 1},
      {"-2147483648", {I(INT32_MIN)}, kReadOk, 1, 1},
      {"2147483647", {I(INT32_MAX)}, kReadOk, 1, 1},
      {"00000000000000000000000000000012", {I(12)}, kReadOk, 1, 1},
      {"3 2.5", {I(3), R(2.5f)}, kReadOk, 2, 1},
      {"2147483648", {KI}, kRange, 0, 1},
      {"-2147483649", {KI}, kRange, 0, 1},
      {"99999999999999999999", {KI}, kRange, 0, 1},
      {"3.5", {KI}, kWrong, 0, 1},
      {"1E2", {KI}, kWrong, 0, 1},
      {"1d2", {KI}, kWrong, 0, 1},
      {"5.", {KI}, kWrong, 0, 1},
      {"-", {KI}, kWrong, 0, 1},
      {"+-5", {KI}, kWrong, 0, 1},
      {"99999999999x", {KI}, kWrong, 0, 1},
      {"12 x", {I(12), KI}, kWrong, 1, 1},
  };
  for (const ReadCase& c : cases) check_case(c);
}

// Lines of several megabytes: one pass, no crash, the right outcome.
TEST(FreeReader, VeryLongLines) {
  const size_t kLong = 4 * 1024 * 1024;
  const ReadCase cases[] = {
      {std::string(kLong, '9'), {KR}, kRange, 0, 1},
      {std::string(kLong, '9'), {KI}, kRange, 0, 1},
      {std::string(kLong, '0') + "1.5", {R(1.5f)}, kReadOk, 1, 1},
      {std::string(kLong, '0') + "12", {I(12)}, kReadOk, 1, 1},
      {"0." + std::string(kLong, '0') + "1", {R(0.0f)}, kReadOk, 1, 1},
      {"1." + std::string(kLong, '3'), {R(1.33333333f)}, kReadOk, 1, 1},
      {std::string(kLong, ' ') + "7", {R(7)}, kReadOk, 1, 1},
      {std::string(kLong, 'x'), {KR}, kWrong, 0, 1},
      {std::string(kLong, '\0'), {KR}, kWrong, 0, 1},
      {"3 " + std::string(kLong, 'x'), {R(3)}, kReadOk, 1, 1},
  };
  for (const ReadCase& c : cases) check_case(c);
}

TEST(FreeReader, EachReadStartsOnANewLine) {
  StringLineSource source("1 2\n3 4\n\n5\n");
  float x = 0;
  const NumberTarget target[] = {&x};
  ASSERT_EQ(read_numbers(source, target, Handled::kNone), kReadOk);
  EXPECT_EQ(x, 1.0f);
  ASSERT_EQ(read_numbers(source, target, Handled::kNone), kReadOk);
  EXPECT_EQ(x, 3.0f);
  ASSERT_EQ(read_numbers(source, target, Handled::kNone), kReadOk);
  EXPECT_EQ(x, 5.0f);
  EXPECT_EQ(source.lines_read, 4);
  EXPECT_EQ(read_numbers(source, target, Handled::kReadErrorsAndEnd), kReadEnd);
}

// The counting pass over an event file: one real per read, until the end or
// the first line that is not a number.
TEST(FreeReader, CountsEventLinesUpToTheFirstNonNumber) {
  StringLineSource source("1.5 2.5\n\n2,x\n3e0 word\nTime\n4\n");
  float scratch = 0;
  const NumberTarget target[] = {&scratch};
  int count = 0;
  while (read_numbers(source, target, Handled::kReadErrorsAndEnd) == kReadOk) ++count;
  EXPECT_EQ(count, 3);
  EXPECT_EQ(source.lines_read, 5);
}

TEST(FreeReader, ReadWithNoTargetsTakesOneLine) {
  StringLineSource source("anything 1e99 ,/\n2\n");
  EXPECT_EQ(read_numbers(source, {}, Handled::kNone), kReadOk);
  EXPECT_EQ(source.lines_read, 1);
}

// Unhandled outcomes throw FatalError naming the source; handled ones come
// back as statuses.
TEST(FreeReader, UnhandledOutcomesAreFatal) {
  struct Case {
    std::string input;
    Slot kind;
    Handled handled;
    bool throws;
    FailureKind kind_thrown;  // when it throws
    int status;               // when it does not
  };
  const Case cases[] = {
      {"", KR, Handled::kNone, true, FailureKind::kEndOfInput, 0},
      {"\n\n", KR, Handled::kReadErrors, true, FailureKind::kEndOfInput, 0},
      {"", KR, Handled::kReadErrorsAndEnd, false, FailureKind::kEndOfInput, kEnd},
      {"x", KR, Handled::kNone, true, FailureKind::kWrongForm, 0},
      {"3.5", KI, Handled::kNone, true, FailureKind::kWrongForm, 0},
      {"x", KR, Handled::kReadErrors, false, FailureKind::kWrongForm, kWrong},
      {"1e39", KR, Handled::kNone, true, FailureKind::kOutOfRange, 0},
      {"2147483648", KI, Handled::kNone, true, FailureKind::kOutOfRange, 0},
      {"1e39", KR, Handled::kReadErrors, false, FailureKind::kOutOfRange, kRange},
      {"7", KI, Handled::kNone, false, FailureKind::kEndOfInput, kReadOk},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("input: \"" + c.input + "\"");
    if (!c.throws) {
      EXPECT_EQ(run_read(c.input, {c.kind}, c.handled).status, c.status);
      continue;
    }
    try {
      run_read(c.input, {c.kind}, c.handled);
      ADD_FAILURE() << "no FatalError";
    } catch (const FatalError& error) {
      EXPECT_EQ(error.kind(), c.kind_thrown);
      EXPECT_EQ(error.channel(), "console input");
      EXPECT_EQ(error.file(), "standard input");
    }
  }
}

TEST(FreeReader, Line64) {
  struct Case {
    std::string input;
    std::string expected_start;  // then blanks up to 64 characters
  };
  const std::string s64 = std::string(60, 'a') + "bcde";
  const Case cases[] = {
      {"", ""},           {"data.txt", "data.txt"}, {"  two words\t \r", "  two words\t "},
      {s64, s64},         {s64 + "fgh", s64},       {std::string(100, ' ') + "x", ""},
      {"a\0b"s, "a\0b"s},
  };
  for (const Case& c : cases) {
    StringLineSource source(c.input + "\nnext");
    const std::string text = read_line64(source);
    ASSERT_EQ(text.size(), static_cast<size_t>(kFileNameLength));
    EXPECT_EQ(text, c.expected_start + std::string(kFileNameLength - c.expected_start.size(), ' '));
    EXPECT_EQ(source.lines_read, 1);
  }
}

TEST(FreeReader, PauseTakesAnyOneLine) {
  for (const std::string& input : {"\nx"s, "1 2 3\nx"s, "\0\xff/,*\nx"s}) {
    StringLineSource source(input);
    read_pause(source);
    EXPECT_EQ(source.lines_read, 1);
  }
}

TEST(FreeReader, EndOfInputIsFatalForLineAndPause) {
  StringLineSource empty("");
  try {
    read_line64(empty);
    ADD_FAILURE() << "no FatalError";
  } catch (const FatalError& error) {
    EXPECT_EQ(error.kind(), FailureKind::kEndOfInput);
    EXPECT_EQ(error.channel(), "console input");
  }
  try {
    read_pause(empty);
    ADD_FAILURE() << "no FatalError";
  } catch (const FatalError& error) {
    EXPECT_EQ(error.kind(), FailureKind::kEndOfInput);
    EXPECT_EQ(error.file(), "standard input");
  }
}

}  // namespace
}  // namespace periodscan
