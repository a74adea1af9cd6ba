// periodscan._engine: the survey of periodscan-survey for numpy arrays.
//
// survey() checks its arguments as the command checks its files (raising
// ValueError with the reason, TypeError for what is not real numbers), runs
// the engine with the GIL released (taking it back now and then so that
// Ctrl-C interrupts a long survey), and returns a dict of float64 arrays with
// the command's columns, computed by the same code, so that both give the
// same bits for the same times.
//
// The assessment's numerics run here too, checked and released the same way:
// fit_at() (the converged fit at listed frequencies), peak_intervals() (the
// profile-likelihood intervals at a peak), upper_limits() (the 95 % upper
// limit on A at each frequency), shift_scans() (cluster-shift surrogate
// scans on a table's own grid, with the stop rule) and shift_maxima() (a batch
// of such surrogates, each from its own seed).
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

#include "assess/amplitude_limit.h"
#include "assess/cluster_shifts.h"
#include "assess/peak_intervals.h"
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
// A progress callable of Python's, when given, is called from there too, with
// (done, total); what it raises ends the run as Ctrl-C does.
class SignalWatch {
 public:
  struct Interrupted {};

  SignalWatch() = default;
  explicit SignalWatch(py::object progress) : progress_(std::move(progress)) {}

  void operator()(std::size_t done = 0, std::size_t total = 0) {
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    py::gil_scoped_acquire acquire;
    if (PyErr_CheckSignals() != 0) throw Interrupted{};  // the error stays set
    if (progress_ && !progress_.is_none()) {
      try {
        progress_(done, total);
      } catch (py::error_already_set& error) {
        error.restore();
        throw Interrupted{};
      }
    }
  }

 private:
  py::object progress_;
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

// The columns of a spectrum as the dict that periodscan.survey reads.
py::dict spectrum_dict(const std::vector<SpectrumColumns>& columns, double t1, double span) {
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

  return spectrum_dict(columns, t1, span);
}

// Frequencies to fit at: one-dimensional, at least one, each finite and > 0.
std::vector<double> checked_frequencies(const py::object& values, const std::string& name) {
  const DoubleArray array = real_array(values, name);
  if (array.ndim() != 1) invalid(name + " must be a one-dimensional array");
  const auto view = array.unchecked<1>();
  std::vector<double> out(std::size_t(view.shape(0)));
  if (out.empty()) invalid(name + " holds no frequency");
  if (out.size() > std::size_t(kMaxTableRows)) {
    invalid(name + " holds more than " + std::to_string(std::int64_t(kMaxTableRows)) +
            " frequencies");
  }
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = view(py::ssize_t(i));
    if (!std::isfinite(out[i]) || !(out[i] > 0.0)) {
      invalid(name + "[" + std::to_string(i) + "] = " + spelled(out[i]) +
              " is not a positive finite frequency");
    }
  }
  return out;
}

void check_kappa(double kappa) {
  if (!std::isfinite(kappa) || !(kappa >= 1.0)) {
    invalid("kappa must be a finite number of at least 1, not " + spelled(kappa));
  }
}

void check_threads(int threads) {
  if (threads < 0) invalid("threads must be 0 (every core) or more");
}

// The events and their exposure on the axis t - t1, checked as survey()
// checks them, with the highest frequency that will be fitted.
struct Sample {
  std::vector<double> times;
  std::vector<Interval> intervals;
  double t1 = 0.0;
  double span = 0.0;
};

Sample checked_sample(const py::object& times_values, const py::object& intervals_values,
                      double highest_frequency) {
  Sample sample;
  sample.times = checked_times(real_array(times_values, "times"));
  sample.intervals = checked_intervals(intervals_values, sample.times);
  sample.t1 = sample.times.front();
  sample.span = sample.times.back() - sample.t1;
  const ScaleProblem scale =
      survey_scale_problem(sample.times, sample.intervals, highest_frequency, false);
  if (!scale.reason.empty()) invalid(scale.reason);
  return sample;
}

double highest(const std::vector<double>& frequencies) {
  return *std::max_element(frequencies.begin(), frequencies.end());
}

// Runs `work` with the GIL released; Ctrl-C (or what `progress` raises)
// interrupts it.
template <typename Work>
void released(const py::object& progress, Work&& work) {
  bool interrupted = false;
  {
    py::gil_scoped_release release;
    SignalWatch watch(progress);
    try {
      work(watch);
    } catch (const SignalWatch::Interrupted&) {
      interrupted = true;
    }
  }
  if (interrupted) throw py::error_already_set();
}

py::array_t<double> to_array(const std::vector<double>& values) {
  py::array_t<double> array(py::ssize_t(values.size()));
  auto out = array.mutable_unchecked<1>();
  for (std::size_t i = 0; i < values.size(); ++i) out(py::ssize_t(i)) = values[i];
  return array;
}

py::dict fit_at(const py::object& times_values, const py::object& frequency_values,
                const py::object& intervals_values, int threads) {
  check_threads(threads);
  const std::vector<double> frequencies = checked_frequencies(frequency_values, "frequencies");
  const Sample sample = checked_sample(times_values, intervals_values, highest(frequencies));
  std::vector<SpectrumColumns> columns(frequencies.size());
  const FrequencyGrid grid = FrequencyGrid::listed(frequencies);
  released(py::none(), [&](SignalWatch& watch) {
    const std::vector<double> x = relative_times(sample.times, sample.t1);
    SurveyOptions options;
    options.threads = threads;
    options.progress = [&watch](std::size_t, std::size_t) { watch(); };
    const std::vector<SpectrumRow> rows = survey_spectrum(
        x, grid, sample_exposure(sample.intervals, sample.t1, sample.span), options);
    for (std::size_t i = 0; i < rows.size(); ++i) {
      columns[i] = spectrum_columns(grid.at(i), rows[i], sample.t1, sample.t1);
    }
  });
  return spectrum_dict(columns, sample.t1, sample.span);
}

py::tuple interval_tuple(const ProfileInterval& v) {
  return py::make_tuple(v.estimate, v.lo, v.hi, v.lo_bounded, v.hi_bounded);
}

py::dict peak_intervals_of(const py::object& times_values, double frequency, double kappa,
                           const py::object& intervals_values, int threads) {
  check_threads(threads);
  check_kappa(kappa);
  if (!std::isfinite(frequency) || !(frequency > 0.0)) {
    invalid("frequency must be a positive finite number, not " + spelled(frequency));
  }
  const Sample sample = checked_sample(times_values, intervals_values, frequency);
  PeakIntervals found;
  released(py::none(), [&](SignalWatch&) {
    const std::vector<double> x = relative_times(sample.times, sample.t1);
    found = peak_intervals(x, sample_exposure(sample.intervals, sample.t1, sample.span), frequency,
                           kappa, threads);
  });
  ProfileInterval peak_time = found.peak_time;
  peak_time.estimate += sample.t1;
  peak_time.lo += sample.t1;
  peak_time.hi += sample.t1;
  py::dict result;
  result["delta_log_lik"] = found.delta_log_lik;
  result["frequency"] = interval_tuple(found.frequency);
  result["amplitude"] = interval_tuple(found.amplitude);
  result["phase"] = interval_tuple(found.phase);
  result["peak_time"] = interval_tuple(peak_time);
  return result;
}

// The grid of a table: uniform (the survey's fast route) where the listed
// frequencies, rising, are first + i*step to within 1e-9 of the step, as a
// resolving grid read back from a table is (in either order); else the list
// itself. `f` must be rising (see rising_order).
FrequencyGrid table_grid(const std::vector<double>& f) {
  const std::size_t n = f.size();
  if (n >= 2) {
    const double step = (f[n - 1] - f[0]) / double(n - 1);
    bool uniform = step > 0.0;
    for (std::size_t i = 0; uniform && i < n; ++i) {
      uniform = std::fabs(f[i] - (f[0] + step * double(i))) <= 1e-9 * step;
    }
    if (uniform) return FrequencyGrid::uniform(f[0], step, n);
  }
  return FrequencyGrid::listed(f);
}

// The order that sorts `f` rising (stable), and `f` in that order.
std::vector<std::size_t> rising_order(const std::vector<double>& f, std::vector<double>* sorted) {
  std::vector<std::size_t> order(f.size());
  for (std::size_t i = 0; i < f.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return f[a] < f[b]; });
  sorted->clear();
  for (const std::size_t i : order) sorted->push_back(f[i]);
  return order;
}

py::array_t<double> upper_limits(const py::object& times_values, const py::object& frequency_values,
                                 double kappa, const py::object& intervals_values, int threads,
                                 const py::object& progress, bool every,
                                 const py::object& amplitude_values) {
  check_threads(threads);
  check_kappa(kappa);
  const std::vector<double> frequencies = checked_frequencies(frequency_values, "frequencies");
  const Sample sample = checked_sample(times_values, intervals_values, highest(frequencies));
  std::vector<double> best;
  if (!amplitude_values.is_none()) {
    const DoubleArray array = real_array(amplitude_values, "amplitudes");
    if (array.ndim() != 1 || std::size_t(array.shape(0)) != frequencies.size()) {
      invalid("amplitudes must hold one best A per frequency (" +
              std::to_string(frequencies.size()) + ")");
    }
    const auto view = array.unchecked<1>();
    for (py::ssize_t i = 0; i < view.shape(0); ++i) best.push_back(view(i));
  }
  std::vector<double> limits;
  released(progress, [&](SignalWatch& watch) {
    const std::vector<double> x = relative_times(sample.times, sample.t1);
    const Exposure exposure = sample_exposure(sample.intervals, sample.t1, sample.span);
    SurveyOptions options;
    options.threads = threads;
    options.progress = [&watch](std::size_t done, std::size_t total) { watch(done, total); };
    if (every) {
      limits = amplitude_upper_limits(x, exposure, frequencies, kappa, options);
      return;
    }
    std::vector<double> rising, rising_best;
    const std::vector<std::size_t> order = rising_order(frequencies, &rising);
    for (std::size_t k = 0; k < best.size(); ++k) rising_best.push_back(best[order[k]]);
    const std::vector<double> found =
        band_upper_limits(x, exposure, table_grid(rising), rising_best, kappa, options);
    limits.assign(found.size(), 0.0);
    for (std::size_t k = 0; k < found.size(); ++k) limits[order[k]] = found[k];
  });
  return to_array(limits);
}

// One whole-number cluster label per event.
std::vector<std::int64_t> checked_labels(const py::object& values, std::size_t events) {
  const py::array labels_array = py::array::ensure(values);
  if (!labels_array || (labels_array.dtype().kind() != 'i' && labels_array.dtype().kind() != 'u')) {
    throw py::type_error("clusters must be an array of whole numbers (a label per event)");
  }
  const auto labels_checked =
      py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>::ensure(labels_array);
  if (labels_checked.ndim() != 1) invalid("clusters must be a one-dimensional array");
  if (std::size_t(labels_checked.shape(0)) != events) {
    invalid("clusters must hold one label per event (" + std::to_string(events) + "), not " +
            std::to_string(labels_checked.size()));
  }
  const auto view = labels_checked.unchecked<1>();
  std::vector<std::int64_t> labels(events);
  for (std::size_t i = 0; i < labels.size(); ++i) labels[i] = view(py::ssize_t(i));
  return labels;
}

py::dict shift_scans(const py::object& times_values, const py::object& cluster_values,
                     const py::object& frequency_values, double observed,
                     const py::object& intervals_values, std::uint64_t seed, int max_surrogates,
                     int stop_after, int threads, const py::object& progress) {
  check_threads(threads);
  if (max_surrogates < 1) invalid("max_surrogates must be at least 1");
  if (stop_after < 1) invalid("stop_after must be at least 1");
  if (std::isnan(observed)) invalid("observed must be a number, not nan");
  const std::vector<double> frequencies = checked_frequencies(frequency_values, "frequencies");
  const Sample sample = checked_sample(times_values, intervals_values, highest(frequencies));
  const std::vector<std::int64_t> labels = checked_labels(cluster_values, sample.times.size());
  std::vector<double> rising;
  rising_order(frequencies, &rising);
  const FrequencyGrid grid = table_grid(rising);
  ShiftScans scans;
  released(progress, [&](SignalWatch& watch) {
    const std::vector<double> x = relative_times(sample.times, sample.t1);
    SurveyOptions options;
    options.threads = threads;
    options.progress = [&watch](std::size_t done, std::size_t total) { watch(done, total); };
    ShiftPlan plan;
    plan.seed = seed;
    plan.max_surrogates = std::size_t(max_surrogates);
    plan.stop_after = std::size_t(stop_after);
    plan.observed = observed;
    scans = cluster_shift_scans(
        x, labels, grid, sample_exposure(sample.intervals, sample.t1, sample.span), plan, options);
  });
  py::dict result;
  result["maxima"] = to_array(scans.maxima);
  result["drawn"] = scans.maxima.size();
  result["reached"] = scans.reached;
  result["uniform_grid"] = grid.is_uniform();
  return result;
}

// A batch of seeded surrogates (see cluster_shift_maxima): the largest
// DeltaLogLik of each, in the order of `seeds` (unsigned 64-bit whole numbers).
py::array_t<double> shift_maxima(const py::object& times_values, const py::object& cluster_values,
                                 const py::object& frequency_values, const py::object& seed_values,
                                 const py::object& intervals_values, int threads,
                                 const py::object& progress) {
  check_threads(threads);
  const std::vector<double> frequencies = checked_frequencies(frequency_values, "frequencies");
  const Sample sample = checked_sample(times_values, intervals_values, highest(frequencies));
  const std::vector<std::int64_t> labels = checked_labels(cluster_values, sample.times.size());
  const py::array seed_array = py::array::ensure(seed_values);
  if (!seed_array || (seed_array.dtype().kind() != 'u' && seed_array.dtype().kind() != 'i')) {
    throw py::type_error("seeds must be an array of whole numbers");
  }
  if (seed_array.ndim() != 1) invalid("seeds must be a one-dimensional array");
  if (seed_array.dtype().kind() == 'i' &&
      py::module_::import("numpy").attr("any")(seed_array.attr("__lt__")(0)).cast<bool>()) {
    invalid("seeds must be 0 or more");
  }
  const auto seed_view =
      py::array_t<std::uint64_t, py::array::c_style | py::array::forcecast>::ensure(seed_array)
          .unchecked<1>();
  std::vector<std::uint64_t> seeds(std::size_t(seed_view.shape(0)));
  for (std::size_t k = 0; k < seeds.size(); ++k) seeds[k] = seed_view(py::ssize_t(k));
  std::vector<double> rising;
  rising_order(frequencies, &rising);
  const FrequencyGrid grid = table_grid(rising);
  std::vector<double> maxima;
  released(progress, [&](SignalWatch& watch) {
    const std::vector<double> x = relative_times(sample.times, sample.t1);
    SurveyOptions options;
    options.threads = threads;
    options.progress = [&watch](std::size_t done, std::size_t total) { watch(done, total); };
    maxima = cluster_shift_maxima(
        x, labels, grid, sample_exposure(sample.intervals, sample.t1, sample.span), seeds, options);
  });
  return to_array(maxima);
}

}  // namespace
}  // namespace periodscan

PYBIND11_MODULE(_engine, m) {
  m.doc() = "The periodscan survey engine (use periodscan.survey).";
  m.def("survey", &periodscan::survey, py::arg("times"), py::arg("min_period"),
        py::arg("max_period"), py::arg("samples_per_peak") = 5.0, py::arg("periods") = 0,
        py::arg("intervals") = py::none(), py::arg("threads") = 0,
        "The converged fit at every trial period; see periodscan.survey.");
  m.def("fit_at", &periodscan::fit_at, py::arg("times"), py::arg("frequencies"),
        py::arg("intervals") = py::none(), py::arg("threads") = 0,
        "The converged fit at listed frequencies; see periodscan.survey.fit_at.");
  m.def("peak_intervals", &periodscan::peak_intervals_of, py::arg("times"), py::arg("frequency"),
        py::arg("kappa") = 1.0, py::arg("intervals") = py::none(), py::arg("threads") = 0,
        "Profile-likelihood intervals at a peak; see periodscan.uncertainty.");
  m.def("upper_limits", &periodscan::upper_limits, py::arg("times"), py::arg("frequencies"),
        py::arg("kappa") = 1.0, py::arg("intervals") = py::none(), py::arg("threads") = 0,
        py::arg("progress") = py::none(), py::arg("every") = false,
        py::arg("amplitudes") = py::none(),
        "The 95 % upper limit on A (every=True: at every frequency; else where it may be "
        "the band's largest); see periodscan.uncertainty.");
  m.def("shift_scans", &periodscan::shift_scans, py::arg("times"), py::arg("clusters"),
        py::arg("frequencies"), py::arg("observed"), py::arg("intervals") = py::none(),
        py::arg("seed") = 0, py::arg("max_surrogates") = 99, py::arg("stop_after") = 10,
        py::arg("threads") = 0, py::arg("progress") = py::none(),
        "Cluster-shift surrogate scans; see periodscan.surrogates.");
  m.def("shift_maxima", &periodscan::shift_maxima, py::arg("times"), py::arg("clusters"),
        py::arg("frequencies"), py::arg("seeds"), py::arg("intervals") = py::none(),
        py::arg("threads") = 0, py::arg("progress") = py::none(),
        "The largest DeltaLogLik of cluster-shift surrogates, one per seed; see "
        "periodscan.surrogates.surrogate_fap.");
}
