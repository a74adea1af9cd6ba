#include "survey/number_text.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace periodscan {

namespace {
constexpr std::size_t kQuotedLineLength = 60;
}

bool is_field_separator(char c) { return c == ' ' || c == '\t' || c == ',' || c == ';'; }

std::string_view skip_blanks(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  return text.substr(i);
}

std::size_t read_leading_number(std::string_view text, double* value) {
  std::size_t start = 0;
  // from_chars takes a '-' but no '+'; a "+-5" must stay unread.
  if (!text.empty() && text[0] == '+') {
    if (text.size() < 2 || text[1] == '-') return 0;
    start = 1;
  }
  const char* first = text.data() + start;
  const char* last = text.data() + text.size();
  double parsed = 0.0;
  const auto [end, error] = std::from_chars(first, last, parsed, std::chars_format::general);
  // An out-of-range result (1e999) is reported as such: no number.
  if (error != std::errc() || end == first) return 0;
  if (end != last && !is_field_separator(*end)) return 0;
  *value = parsed;
  return static_cast<std::size_t>(end - text.data());
}

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// True when the ',' at `text[comma]` is followed by a run of digits that does
// not go on as a real number ("5.3", "2e4"): the ',' of "12,5" is a decimal
// comma, that of "1609459200,3.1" separates a time from a magnitude.
bool digits_end_there(std::string_view text, std::size_t comma) {
  std::size_t i = comma + 1;
  if (i >= text.size() || !is_digit(text[i])) return false;
  while (i < text.size() && is_digit(text[i])) ++i;
  return i == text.size() || (text[i] != '.' && text[i] != 'e' && text[i] != 'E');
}

// True when `field` is a whole number: digits after an optional sign.
bool is_whole_number(std::string_view field) {
  if (!field.empty() && (field[0] == '+' || field[0] == '-')) field.remove_prefix(1);
  if (field.empty()) return false;
  for (const char c : field) {
    if (!is_digit(c)) return false;
  }
  return true;
}

}  // namespace

bool decimal_comma_follows(std::string_view text, std::size_t length) {
  if (length == 0 || length >= text.size() || text[length] != ',') return false;
  return is_whole_number(text.substr(0, length)) && digits_end_there(text, length);
}

std::string decimal_comma_error(std::string_view where, std::string_view line) {
  // The first field read as a whole number with a decimal comma.
  std::string_view number = line;
  for (std::size_t i = 1; i + 1 < line.size(); ++i) {
    if (line[i] != ',') continue;
    const std::size_t from = line.find_last_of(" \t;,", i - 1);
    const std::size_t begin = from == std::string_view::npos ? 0 : from + 1;
    if (!is_whole_number(line.substr(begin, i - begin)) || !digits_end_there(line, i)) continue;
    number = line.substr(begin, line.find_first_of(" \t;", i) - begin);
    break;
  }
  return std::string(where) + quote_line(number) +
         " looks like a decimal comma (a ',' separates two fields here): write decimal "
         "points (periodscan-prepare --decimal-comma converts a CSV table with a header row): " +
         quote_line(line);
}

bool parse_finite(std::string_view text, double* value) {
  double parsed = 0.0;
  if (text.empty() || read_leading_number(text, &parsed) != text.size()) return false;
  if (!std::isfinite(parsed)) return false;
  *value = parsed;
  return true;
}

std::string quote_line(std::string_view line) {
  std::string quoted = "\"";
  const bool cut = line.size() > kQuotedLineLength;
  for (const char c : line.substr(0, kQuotedLineLength)) {
    const auto byte = static_cast<unsigned char>(c);
    quoted.push_back(byte < 0x20 || byte == 0x7f ? '?' : c);
  }
  if (cut) quoted.append("...");
  quoted.push_back('"');
  return quoted;
}

}  // namespace periodscan
