#include "fileread/json_object.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace periodscan {
namespace {

// The members as "key=kind:text@offset", or the error.
std::string members_of(const std::string& json) {
  std::vector<JsonMember> members;
  std::string error;
  if (!read_json_object(json, &members, &error)) return "error: " + error;
  std::string text;
  for (const JsonMember& m : members) {
    const char* kind = m.kind == JsonMember::Kind::kString ? "s"
                       : m.kind == JsonMember::Kind::kNull ? "null"
                                                           : "other";
    text += m.key + "=" + kind + ":" + m.text + "@" + std::to_string(m.offset) + " ";
  }
  return text;
}

TEST(JsonObject, ReadsTopLevelMembersAndRefusesBrokenOrHugeText) {
  const std::string deep_ok = "{\"a\": " + std::string(63, '[') + std::string(63, ']') + "}";
  const std::string too_deep = "{\"a\": " + std::string(64, '[') + std::string(64, ']') + "}";
  const struct {
    std::string json;
    std::string expected;
  } cases[] = {
      {R"({"unit": "d\u00e4ys", "n": [1, {"x": null}], "o": null})",
       "unit=s:d\xc3\xa4ys@9 n=other:@27 o=null:@50 "},
      {" {} ", ""},
      {R"({"k": "\ud83d\ude00", "e": -1.5e+3, "t": true})",
       "k=s:\xf0\x9f\x98\x80@6 e=other:@27 "
       "t=other:@41 "},
      {deep_ok, "a=other:@6 "},
      {too_deep, "error: nested deeper than 64 levels (at byte 70)"},
      {R"({"unit": "days",})", "error: a key is not a string (at byte 17)"},
      {R"({"unit": "days"} x)", "error: text after the JSON object (at byte 18)"},
      {"[]", "error: the file does not hold a JSON object (at byte 1)"},
      {"", "error: the file does not hold a JSON object (at byte 1)"},
      {R"({"n": 01})", "error: ',' or '}' missing after a value (at byte 8)"},
      {R"({"s": "\ud800"})", "error: a value is not valid JSON (at byte 14)"},
      {"{\"s\": \"a\nb\"}", "error: a value is not valid JSON (at byte 10)"},
      {R"({"a" 1})", "error: ':' missing after a key (at byte 6)"},
      {"{\"a\": " + std::string(kMaxJsonBytes, ' ') + "1}",
       "error: longer than 1048576 bytes (at byte 1)"},
  };
  for (const auto& c : cases) EXPECT_EQ(members_of(c.json), c.expected) << c.json.substr(0, 80);
}

}  // namespace
}  // namespace periodscan
