// periodscan._engine: the survey of periodscan-survey for numpy arrays.
//
// survey() checks its arguments as the command checks its files (raising
// ValueError with the reason, TypeError for what is not real numbers), runs
// the engine with the GIL released (taking it back now and then so that
// Ctrl-C interrupts a long survey), and returns a dict of float64 arrays with
// the command's columns, computed by the same code, so that both give the
// same bits for the same times.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "results/survey_table.h"
#include "scan/frequency_survey.h"
#include "scan/survey_scale.h"
#include "survey/fit_columns.h"
#include "survey/interval_file.h"
#include "survey/survey_setup.h"

namespace py = pybind11;

namespace periodscan {
namespace {

using DoubleArray = py::array_t<double, py::array::c_style | py::array::forcecast>;

std::string spelled(double value) {
  std::string text;
  append_number(&text, value);
  return text;
}

[[noreturn]] void invalid(const std::string& what) { throw std::invalid_argument(what); }

// `values` as an array of doubles, refusing what the conversion would quietly
// get wrong: a masked array's hidden values (ValueError), the imaginary part
// of complex numbers and anything that is not real numbers (TypeError).
DoubleArray real_array(const py::object& values, const std::string& name) {
  const py::object masked_array = py::module_::import("numpy.ma").attr("MaskedArray");
  if (py::isinstance(values, masked_array)) {
    if (py::module_::import("numpy.ma").attr("getmaskarray")(values).attr("any")().cast<bool>()) {
      invalid(name + " has masked values: pass " + name +
              ".compressed() (the values left unmasked) instead");
    }
  }
  const py::array array = py::array::ensure(values);
  if (!array) throw py::type_error(name + " must be an array of real numbers");
  const char kind = array.dtype().kind();
  if (kind == 'c') throw py::type_error(name + " must be real numbers, not complex ones");
  if (kind == 'U' || kind == 'S') throw py::type_error(name + " must be real numbers, not text");
  if (kind != 'f' && kind != 'i' && kind != 'u' && kind != 'b') {
    throw py::type_error(name + " must be real numbers, not values of type " +
                         py::str(array.dtype()).cast<std::string>());
  }
  return DoubleArray::ensure(array);
}

// Checks for Ctrl-C now and then from the engine's progress reports, which
// come on the calling thread with the GIL released.
class SignalWatch {
 public:
  struct Interrupted {};

  void operator()() {
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    py::gil_scoped_acquire acquire;
    if (PyErr_CheckSignals() != 0) throw Interrupted{};  // the error stays set
  }

 private:
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

std::vector<double> checked_times(const DoubleArray& array) {
  if (array.ndim() != 1) invalid("times must be a one-dimensional array");
  const auto view = array.unchecked<1>();
  std::vector<double> times(std::size_t(view.shape(0)));
  for (std::size_t i = 0; i < times.size(); ++i) {
    times[i] = view(py::ssize_t(i));
    if (!std::isfinite(times[i])) invalid("times[" + std::to_string(i) + "] is not finite");
    if (i > 0 && times[i] < times[i - 1]) {
      invalid("times[" + std::to_string(i) + "] = " + spelled(times[i]) + " is smaller than " +
              "times[" + std::to_string(i - 1) + "] = " + spelled(times[i - 1]) +
              " (sort the times first)");
    }
  }
  if (times.size() < 2) invalid("a survey needs at least two times");
  if (!(times.back() > times.front())) invalid("every time is the same: the span is zero");
  return times;
}

std::vector<Interval> checked_intervals(const py::object& values,
                                        const std::vector<double>& times) {
  std::vector<Interval> intervals;
  if (values.is_none()) return intervals;
  const std::optional<DoubleArray> array = real_array(values, "intervals");
  if (array->ndim() != 2 || array->shape(1) != 2) {
    invalid("intervals must be an array of (start, end) pairs");
  }
  const auto view = array->unchecked<2>();
  for (py::ssize_t i = 0; i < view.shape(0); ++i) {
    const Interval interval{view(i, 0), view(i, 1)};
    const std::string where = "intervals[" + std::to_string(i) + "]";
    if (!std::isfinite(interval.start) || !std::isfinite(interval.end)) {
      invalid(where + " is not finite");
    }
    if (!(interval.end > interval.start)) invalid(where + " does not end after it starts");
    if (!intervals.empty() && interval.start < intervals.back().end) {
      invalid(where +
              " starts before the one before it ends (intervals must be sorted and "
              "must not overlap)");
    }
    intervals.push_back(interval);
  }
  if (intervals.empty()) invalid("intervals holds no interval");
  const std::size_t outside = first_event_outside(times, intervals);
  if (outside < times.size()) {
    invalid("times[" + std::to_string(outside) + "] = " + spelled(times[outside]) +
            " lies outside every interval");
  }
  return intervals;
}

void check_grid(const GridChoice& choice) {
  if (!std::isfinite(choice.min_period) || !(choice.min_period > 0.0) ||
      !std::isfinite(choice.max_period) || !(choice.min_period < choice.max_period)) {
    invalid("the periods must satisfy 0 < min_period < max_period");
  }
  if (choice.periods != 0) {
    if (choice.periods < 2) invalid("periods must be at least 2");
    if (!(float(choice.min_period) > 0.0f) ||
        !(float(choice.min_period) < float(choice.max_period)) ||
        !std::isfinite(float(choice.max_period))) {
      invalid(
          "with periods, min_period and max_period must stay apart, and positive, as "
          "4-byte reals");
    }
  } else if (!std::isfinite(choice.samples_per_peak) || !(choice.samples_per_peak > 0.0)) {
    invalid("samples_per_peak must be positive");
  }
}

py::dict survey(const py::object& times_values, double min_period, double max_period,
                double samples_per_peak, int periods, const py::object& intervals_values,
                int threads) {
  const GridChoice choice{min_period, max_period, samples_per_peak, periods};
  check_grid(choice);
  if (threads < 0) invalid("threads must be 0 (every core) or more");
  const std::vector<double> times = checked_times(real_array(times_values, "times"));
  const std::vector<Interval> intervals = checked_intervals(intervals_values, times);

  const double t1 = times.front();
  const double span = times.back() - t1;
  // Either kind of grid: periods= is bounded as the resolving grid is.
  if (!grid_fits(choice, span)) {
    invalid("the grid would have more than " + std::to_string(std::int64_t(kMaxTableRows)) +
            " frequencies: " +
            (periods > 0 ? "lower periods" : "raise min_period or lower samples_per_peak"));
  }
  const FrequencyGrid grid = make_grid(choice, span);
  const ScaleProblem scale =
      survey_scale_problem(times, intervals, 1.0 / min_period, grid.is_uniform());
  if (!scale.reason.empty()) invalid(scale.reason);
  std::vector<SpectrumColumns> columns(grid.size());
  bool interrupted = false;
  {
    py::gil_scoped_release release;
    const std::vector<double> x = relative_times(times, t1);
    const Exposure exposure = sample_exposure(intervals, t1, span);
    SurveyOptions options;
    options.threads = threads;
    SignalWatch watch;
    options.progress = [&watch](std::size_t, std::size_t) { watch(); };
    try {
      const std::vector<SpectrumRow> rows = survey_spectrum(x, grid, exposure, options);
      for (std::size_t i = 0; i < rows.size(); ++i) {
        columns[i] = spectrum_columns(grid.at(i), rows[i], t1, t1);
      }
    } catch (const SignalWatch::Interrupted&) {
      interrupted = true;
    }
  }
  if (interrupted) throw py::error_already_set();  // KeyboardInterrupt, or what the handler raised

  const auto n = py::ssize_t(columns.size());
  py::dict result;
  const std::pair<const char*, double SpectrumColumns::*> fields[] = {
      {"period", &SpectrumColumns::period},
      {"frequency", &SpectrumColumns::frequency},
      {"delta_log_lik", &SpectrumColumns::delta_log_lik},
      {"amplitude", &SpectrumColumns::amplitude},
      {"phase", &SpectrumColumns::phase},
      {"peak_time", &SpectrumColumns::peak_time},
      {"rayleigh_z", &SpectrumColumns::rayleigh_z},
  };
  for (const auto& [name, member] : fields) {
    py::array_t<double> array(n);
    auto out = array.mutable_unchecked<1>();
    for (py::ssize_t i = 0; i < n; ++i) out(i) = columns[std::size_t(i)].*member;
    result[name] = array;
  }
  result["t1"] = t1;
  result["span"] = span;
  return result;
}

}  // namespace
}  // namespace periodscan

PYBIND11_MODULE(_engine, m) {
  m.doc() = "The periodscan survey engine (use periodscan.survey).";
  m.def("survey", &periodscan::survey, py::arg("times"), py::arg("min_period"),
        py::arg("max_period"), py::arg("samples_per_peak") = 5.0, py::arg("periods") = 0,
        py::arg("intervals") = py::none(), py::arg("threads") = 0,
        "The converged fit at every trial period; see periodscan.survey.");
}
