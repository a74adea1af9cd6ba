// The values that the dialogue accepts, and the file-name trimming, with the
// console replaced by in-memory fakes.
#include "interactive/dialogue.h"

#include <gtest/gtest.h>

#include <string>

#include "interactive/event_list_reader.h"
#include "support/fake_channels.h"
#include "textio/fatal_error.h"

namespace periodscan {
namespace {

using testing::RecordCollector;
using testing::StringLineSource;

struct Session {
  RecordCollector console;
  StringLineSource answers;
  testing::MemoryFileChannel file;
  Channels io{console, answers, file, ConsoleMode::kPlain};
  explicit Session(std::string script) : answers(std::move(script)) {}

  int prompts(std::string_view text) const {
    int n = 0;
    for (const std::string& r : console.records) n += r == " " + std::string(text);
    return n;
  }
};

TEST(Dialogue, PeriodQuestionsAcceptedValues) {
  struct Case {
    const char* script;
    float tmin, tmax;
    int32_t np;
    Regime regime;
    int range_prompts;
  };
  const Case cases[] = {
      {"1 100\n5\n0\n", 1.0f, 100.0f, 5, Regime::kStatic, 1},
      {"1\n100\n5\n1\n", 1.0f, 100.0f, 5, Regime::kMovingWindow, 1},
      {"5 1\n, 10\n2\n0\n", 5.0f, 10.0f, 2, Regime::kStatic, 2},
      {"2*5\n0.5 2\n2*7\n1 0\n", 0.5f, 2.0f, 7, Regime::kMovingWindow, 2},
      {"0.1 0.2 0.3\n12 13\n0\n", 0.1f, 0.2f, 12, Regime::kStatic, 1},
      {"1.5e-3, 2.5D+1\n2\n0\n", 1.5e-3f, 25.0f, 2, Regime::kStatic, 1},
      {"1 / 3\n\n  \n4 5\n2\n0\n", 4.0f, 5.0f, 2, Regime::kStatic, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    Session s(c.script);
    RunParameters p;
    ask_period_questions(s.io, p);
    EXPECT_EQ(p.Tmin, c.tmin);
    EXPECT_EQ(p.Tmax, c.tmax);
    EXPECT_EQ(p.NP, c.np);
    EXPECT_EQ(p.regime, c.regime);
    EXPECT_EQ(s.prompts("What are the values of minimum and maximum periods (Tmin, Tmax) = ?"),
              c.range_prompts);
  }
}

TEST(Dialogue, WindowQuestionsAcceptedValues) {
  struct Case {
    const char* script;
    float l, s, m;
    int shift_prompts;
  };
  const Case cases[] = {
      {"3\n1.5\n100\n", 3.0f, 1.5f, 100.0f, 1},
      {"10\n10\n-7.25\n", 10.0f, 10.0f, -7.25f, 1},     // L = D, S = L
      {"20\n10.5\n3\n4\n1\n,\n", 3.0f, 1.0f, 0.0f, 2},  // M keeps its start
      {"3\n1\nword\n2\n5\n", 3.0f, 2.0f, 5.0f, 2},      // back to the shift
      {"3\n1\nx\n,\n5\n", 3.0f, 1.0f, 5.0f, 2},         // S keeps its value
      {"3\n1e-9\n1\n5\n", 3.0f, 1.0f, 5.0f, 2},         // too many windows
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    Session s(c.script);
    RunParameters p;
    p.D = 10.0f;
    ask_window_questions(s.io, p);
    EXPECT_EQ(p.L, c.l);
    EXPECT_EQ(p.S, c.s);
    EXPECT_EQ(p.M, c.m);
    EXPECT_EQ(s.prompts("What is the shift of moving time window = ?"), c.shift_prompts);
  }
}

TEST(Dialogue, EndOfInputIsFatal) {
  Session s("1 100\n");
  RunParameters p;
  try {
    ask_period_questions(s.io, p);
    FAIL() << "no fatal error";
  } catch (const FatalError& e) {
    EXPECT_EQ(e.kind(), FailureKind::kEndOfInput);
    EXPECT_EQ(e.channel(), "console input");
  }
}

TEST(EventListReader, TrimFileName) {
  struct Case {
    std::string line64, name;
  };
  const Case cases[] = {
      {"ev.txt", "ev.txt"},
      {"   ev.txt   ", "ev.txt"},
      {"my ev.txt", "my ev.txt"},
      {"\tev.txt\t", "\tev.txt\t"},
      {"", ""},
      {"      ", ""},
  };
  for (const Case& c : cases) {
    std::string padded = c.line64 + std::string(64 - c.line64.size(), ' ');
    EXPECT_EQ(trim_file_name(padded), c.name) << "[" << c.line64 << "]";
  }
}

}  // namespace
}  // namespace periodscan
