#include "results/survey_table.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>

namespace periodscan {

void append_number(std::string* out, double value) {
  if (std::isnan(value)) {
    out->append("nan");
    return;
  }
  // 24 characters hold the longest shortest spelling of a double
  // ("-2.2250738585072014e-308" is 24).
  char buffer[32];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  out->append(buffer, end);
}

void append_comment(std::string* out, std::string_view text) {
  out->append("# ");
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    out->push_back(byte < 0x20 || byte == 0x7f ? '?' : c);
  }
  out->push_back('\n');
}

void append_record_line(std::string* out, std::string_view key, std::string_view value) {
  std::string text(key);
  text.append(": ");
  text.append(value);
  append_comment(out, text);
}

std::string record_number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

void append_spectrum_header(std::string* out) {
  out->append(kSpectrumHeader);
  out->push_back('\n');
}

void append_window_header(std::string* out) {
  out->append(kWindowHeader);
  out->push_back('\n');
}

namespace {

void append_fit_columns(std::string* out, const SpectrumColumns& row) {
  const double columns[] = {row.period, row.frequency, row.delta_log_lik, row.amplitude,
                            row.phase,  row.peak_time, row.rayleigh_z};
  bool first = true;
  for (const double value : columns) {
    if (!first) out->push_back('\t');
    first = false;
    append_number(out, value);
  }
  out->push_back('\n');
}

}  // namespace

void append_spectrum_row(std::string* out, const SpectrumColumns& row) {
  append_fit_columns(out, row);
}

void append_window_row(std::string* out, double window_start, double window_end, std::size_t events,
                       const SpectrumColumns& row) {
  append_number(out, window_start);
  out->push_back('\t');
  append_number(out, window_end);
  out->push_back('\t');
  out->append(std::to_string(events));
  out->push_back('\t');
  append_fit_columns(out, row);
}

}  // namespace periodscan
