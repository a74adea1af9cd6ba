#include "textio/free_reader.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "textio/fatal_error.h"
#include "textio/layout.h"

namespace periodscan {
namespace {

// Tokens up to this length are copied to the stack for strtof; longer ones
// (rare: a number with dozens of digits) go to a heap string.
constexpr size_t kShortToken = 64;

constexpr uint64_t kInt32Magnitude = 2147483648u;  // |INT32_MIN|

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// A value runs up to the next blank, tab, comma, slash or line end.
bool ends_value(char c) { return c == ' ' || c == '\t' || c == ',' || c == '/'; }

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_sign(char c) { return c == '+' || c == '-'; }

bool is_exponent_letter(char c) {
  switch (c) {
    case 'E':
    case 'e':
    case 'D':
    case 'd':
    case 'Q':
    case 'q':
      return true;
    default:
      return false;
  }
}

// Reads a run of decimal digits starting at `text[*pos]`, stopping at the
// first non-digit. The magnitude saturates just above |INT32_MIN| so that a
// megabyte of digits neither overflows nor needs more than one pass.
uint64_t scan_digits(std::string_view text, size_t* pos, size_t* count) {
  uint64_t magnitude = 0;
  size_t i = *pos;
  for (; i < text.size() && is_digit(text[i]); ++i) {
    if (magnitude <= kInt32Magnitude) magnitude = magnitude * 10 + (text[i] - '0');
  }
  *count = i - *pos;
  *pos = i;
  return magnitude;
}

// The "r" of "r*v": an unsigned integer of at least 1.
int parse_repeat(std::string_view text, uint64_t* repeat) {
  size_t pos = 0;
  size_t digits = 0;
  const uint64_t magnitude = scan_digits(text, &pos, &digits);
  if (digits == 0 || pos != text.size() || magnitude == 0) return kReadWrongForm;
  if (magnitude > INT32_MAX) return kReadOutOfRange;
  *repeat = magnitude;
  return kReadOk;
}

int parse_integer(std::string_view text, int32_t* out) {
  size_t pos = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && is_sign(text[0])) ++pos;
  size_t digits = 0;
  const uint64_t magnitude = scan_digits(text, &pos, &digits);
  if (digits == 0 || pos != text.size()) return kReadWrongForm;
  const uint64_t limit = negative ? kInt32Magnitude : kInt32Magnitude - 1;
  if (magnitude > limit) return kReadOutOfRange;
  const int64_t value =
      negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
  *out = static_cast<int32_t>(value);
  return kReadOk;
}

int parse_real(std::string_view text, float* out) {
  // Check the form first, so that strtof sees only what the program accepts
  // (strtof alone would also take "inf", "nan" and hex floats).
  size_t pos = 0;
  if (pos < text.size() && is_sign(text[pos])) ++pos;
  size_t mantissa_digits = 0;
  size_t digits = 0;
  scan_digits(text, &pos, &digits);
  mantissa_digits += digits;
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    scan_digits(text, &pos, &digits);
    mantissa_digits += digits;
  }
  if (mantissa_digits == 0) return kReadWrongForm;
  size_t exponent_letter = text.size();
  if (pos < text.size()) {
    if (!is_exponent_letter(text[pos])) return kReadWrongForm;
    exponent_letter = pos++;
    if (pos < text.size() && is_sign(text[pos])) ++pos;
    scan_digits(text, &pos, &digits);
    if (digits == 0 || pos != text.size()) return kReadWrongForm;
  }

  // strtof needs a terminated copy, with D or Q spelled as E. It rounds the
  // decimal text directly to the nearest float (glibc is correctly rounded
  // for float, ties to even in the default rounding mode), so no double
  // rounding can occur. The program never changes the C locale, so the
  // decimal point is ".".
  char short_copy[kShortToken + 1];
  std::string long_copy;
  char* copy = short_copy;
  if (text.size() > kShortToken) {
    long_copy.resize(text.size());
    copy = long_copy.data();
  }
  std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  if (exponent_letter < text.size()) copy[exponent_letter] = 'E';

  char* end = nullptr;
  const float value = std::strtof(copy, &end);
  assert(end == copy + text.size());
  // Only overflow gives an infinity here: the form above admits no "inf".
  if (std::isinf(value)) return kReadOutOfRange;
  *out = value;
  return kReadOk;
}

int parse_into(std::string_view text, const NumberTarget& target) {
  if (int32_t* const* integer = std::get_if<int32_t*>(&target)) {
    assert(*integer != nullptr);
    return parse_integer(text, *integer);
  }
  float* real = std::get<float*>(target);
  assert(real != nullptr);
  return parse_real(text, real);
}

// One free-form read, with its outcome not yet settled against what the
// caller handles. `supplied` counts the targets that received a number.
class Reading {
 public:
  explicit Reading(std::span<const NumberTarget> targets) : targets_(targets) {}

  int run(LineSource& source) {
    std::string_view line;
    if (targets_.empty()) return source.next_line(&line) ? kReadOk : kReadEnd;
    // The start of the read counts as a comma, so a comma that comes first
    // gives an empty value, as does a comma after a comma.
    bool after_comma = true;
    while (source.next_line(&line)) {
      const char* p = line.data();
      const char* const end = p + line.size();
      while (p < end) {
        const char c = *p;
        if (is_blank(c)) {
          ++p;
        } else if (c == ',') {
          ++p;
          if (after_comma && ++filled_ == targets_.size()) return kReadOk;
          after_comma = true;
        } else if (c == '/') {
          return kReadOk;
        } else {
          const char* const start = p;
          while (p < end && !ends_value(*p)) ++p;
          after_comma = false;
          const int status = take(std::string_view(start, static_cast<size_t>(p - start)));
          if (status != kReadOk) return status;
          if (filled_ == targets_.size()) return kReadOk;
        }
      }
    }
    return kReadEnd;
  }

  int supplied() const { return supplied_; }

 private:
  // Takes one value, "v", "r*v" or "r*", into the next targets.
  int take(std::string_view token) {
    uint64_t repeat = 1;
    std::string_view value = token;
    const size_t star = token.find('*');
    if (star != std::string_view::npos) {
      const int status = parse_repeat(token.substr(0, star), &repeat);
      if (status != kReadOk) return status;
      value = token.substr(star + 1);
    }
    // Repetitions beyond the targets left are never looked at, so a huge r
    // costs nothing.
    const size_t times = static_cast<size_t>(std::min<uint64_t>(repeat, targets_.size() - filled_));
    if (value.empty()) {  // "r*": r empty values
      filled_ += times;
      return kReadOk;
    }
    for (size_t k = 0; k < times; ++k) {
      // Converted per target: the targets may be of different kinds.
      const int status = parse_into(value, targets_[filled_]);
      if (status != kReadOk) return status;
      ++filled_;
      ++supplied_;
    }
    return kReadOk;
  }

  std::span<const NumberTarget> targets_;
  size_t filled_ = 0;  // targets that received a value or an empty value
  int supplied_ = 0;   // targets that received a number
};

[[noreturn]] void fail(FailureKind kind, const LineSource& source) {
  throw FatalError(kind, std::string(source.channel_name()), std::string(source.file_name()));
}

}  // namespace

int read_numbers(LineSource& source, std::span<const NumberTarget> targets, Handled handled,
                 int* supplied) {
  Reading reading(targets);
  const int status = reading.run(source);
  if (supplied != nullptr) *supplied = reading.supplied();
  if (status == kReadOk) return status;
  if (status == kReadEnd) {
    if (handled == Handled::kReadErrorsAndEnd) return status;
    fail(FailureKind::kEndOfInput, source);
  }
  if (handled != Handled::kNone) return status;
  fail(status == kReadOutOfRange ? FailureKind::kOutOfRange : FailureKind::kWrongForm, source);
}

void read_pause(LineSource& source) {
  std::string_view line;
  if (!source.next_line(&line)) fail(FailureKind::kEndOfInput, source);
}

std::string read_line64(LineSource& source) {
  std::string_view line;
  if (!source.next_line(&line)) fail(FailureKind::kEndOfInput, source);
  std::string text(kFileNameLength, ' ');
  line.copy(text.data(), std::min<size_t>(line.size(), kFileNameLength));
  return text;
}

}  // namespace periodscan
