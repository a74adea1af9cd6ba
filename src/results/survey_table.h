// The survey's tables: tab-separated text with "#" comment lines on top (a
// title, then the record of the run, one "# key: value" a line), a header
// row, then one row per trial period (and per window).
//
// Every number is spelled in the shortest form that reads back to the same
// double (std::to_chars): 0.1 is "0.1", 1/3 is "0.3333333333333333", 1e-5 is
// "1e-05"; a not-a-number is "nan" whatever its sign, the infinities "inf" and
// "-inf". Python's float(), numpy.loadtxt and strtod read all of them back to
// the same bits.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace periodscan {

// One trial period of a spectrum row. phase is Fi in [0, 2 pi) of
// Mju(1 + A cos(omega (t - origin) + Fi)); peak_time is where that rate peaks,
// reduced into [0, period).
struct SpectrumColumns {
  double period = 0.0;
  double frequency = 0.0;
  double delta_log_lik = 0.0;
  double amplitude = 0.0;
  double phase = 0.0;
  double peak_time = 0.0;
  double rayleigh_z = 0.0;
};

inline constexpr std::string_view kSpectrumHeader =
    "period\tfrequency\tdelta_log_lik\tamplitude\tphase\tpeak_time\trayleigh_z";
inline constexpr std::string_view kWindowHeader =
    "window_start\twindow_end\tevents\tperiod\tfrequency\tdelta_log_lik\tamplitude\tphase\t"
    "peak_time\trayleigh_z";

// Appends the shortest round-trip spelling of `value`.
void append_number(std::string* out, double value);

// Appends "# " + text + "\n". Control characters in `text` (a line feed in a
// file name, for instance) become '?', so a comment never ends early and
// never starts a data row.
void append_comment(std::string* out, std::string_view text);

// Appends the record line "# key: value" (as append_comment does).
void append_record_line(std::string* out, std::string_view key, std::string_view value);

// A number of the record: "%.17g", which reads back to the same double
// (0.1 is "0.10000000000000001").
std::string record_number(double value);

// Appends the header row and its line end.
void append_spectrum_header(std::string* out);
void append_window_header(std::string* out);

// Appends one row and its line end.
void append_spectrum_row(std::string* out, const SpectrumColumns& row);
void append_window_row(std::string* out, double window_start, double window_end, std::size_t events,
                       const SpectrumColumns& row);

}  // namespace periodscan
