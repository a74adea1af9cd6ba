// A small JSON reader for the descriptions written beside event files: it
// checks the syntax of the whole text (RFC 8259) and hands back the members
// of the top-level object, decoding the strings among them. Nested values
// are checked and skipped.
//
// Bounds: a text longer than kMaxJsonBytes, or nested deeper than
// kMaxJsonDepth, is refused, so neither the memory nor the stack of the
// reader grows with a hostile file.
//
//   {"unit": "days", "n": [1, 2], "origin": null}
//     -> unit: string "days"; n: other; origin: null
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace periodscan {

inline constexpr std::size_t kMaxJsonBytes = std::size_t{1} << 20;  // 1 MiB
inline constexpr int kMaxJsonDepth = 64;

struct JsonMember {
  enum class Kind { kString, kNull, kOther };
  std::string key;
  Kind kind = Kind::kOther;
  std::string text;        // the decoded string, for kString
  std::size_t offset = 0;  // of the value, in bytes from 0
};

// False with *error set ("what (at byte N)", N from 1) when `text` is not
// one JSON object, or is beyond the bounds. Members keep the order of the
// text (a key given twice appears twice).
bool read_json_object(std::string_view text, std::vector<JsonMember>* members, std::string* error);

// Reads all of the regular file `path` if it holds at most `max_bytes`.
// False with *error set ("PATH: ...") otherwise.
bool read_small_file(const std::string& path, std::size_t max_bytes, std::string* text,
                     std::string* error);

}  // namespace periodscan
