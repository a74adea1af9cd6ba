// Times survey_spectrum on an event file, for bench/survey_bench.py.
//
//   survey_driver EVENTS TMIN TMAX [options]
//     --samples-per-peak K   resolving grid, K samples per peak width (default 5)
//     --interactive NP       the interactive program's grid of NP periods (at
//                            its own 4-byte Omega(k))
//     --direct               list the frequencies, which forces the direct fit
//     --stride S             with --direct: every S-th frequency only
//     --threads T            default: every core
//     --float-times          round the times to 4-byte reals first
//     --out FILE             write "T DeltaLogLik A Fi Z" per frequency
//
// Prints "frequencies=M events=N seconds=S" on standard output.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <numbers>
#include <string>
#include <vector>

#include "estimator/exposure.h"
#include "scan/frequency_grid.h"
#include "scan/frequency_survey.h"

namespace {

int usage() {
  std::cerr << "usage: survey_driver EVENTS TMIN TMAX [--samples-per-peak K] [--interactive NP]"
               " [--direct [--stride S]] [--threads T] [--float-times] "
               "[--out FILE]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace periodscan;
  if (argc < 4) return usage();
  const std::string events_path = argv[1];
  const double tmin = std::atof(argv[2]), tmax = std::atof(argv[3]);
  double samples_per_peak = 5.0;
  int interactive_np = 0, threads = 0, stride = 1;
  bool direct = false, float_times = false;
  std::string out_path;
  for (int i = 4; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--samples-per-peak" && has_value) {
      samples_per_peak = std::atof(argv[++i]);
    } else if (arg == "--interactive" && has_value) {
      interactive_np = std::atoi(argv[++i]);
    } else if (arg == "--threads" && has_value) {
      threads = std::atoi(argv[++i]);
    } else if (arg == "--stride" && has_value) {
      stride = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--out" && has_value) {
      out_path = argv[++i];
    } else if (arg == "--direct") {
      direct = true;
    } else if (arg == "--float-times") {
      float_times = true;
    } else {
      return usage();
    }
  }
  if (!(tmin > 0.0 && tmax > tmin)) return usage();

  std::ifstream in(events_path);
  if (!in) {
    std::cerr << "survey_driver: cannot open " << events_path << "\n";
    return 1;
  }
  std::vector<double> x;
  std::string line;
  while (std::getline(in, line)) {
    char* end = nullptr;
    const double t = std::strtod(line.c_str(), &end);
    if (end == line.c_str()) break;
    x.push_back(float_times ? static_cast<double>(static_cast<float>(t)) : t);
  }
  if (x.size() < 2 || !(x.back() > x.front())) {
    std::cerr << "survey_driver: " << events_path << ": fewer than two events or no duration\n";
    return 1;
  }
  const double first = x.front();
  for (double& t : x) t -= first;
  const Exposure exposure = Exposure::whole_span(x.back());

  FrequencyGrid grid = interactive_np > 0
                           ? FrequencyGrid::interactive_periods(
                                 static_cast<float>(tmin), static_cast<float>(tmax), interactive_np)
                           : FrequencyGrid::resolving(tmin, tmax, x.back(), samples_per_peak);
  if (direct && grid.is_uniform()) {
    std::vector<double> f;
    for (std::size_t i = 0; i < grid.size(); i += static_cast<std::size_t>(stride)) {
      f.push_back(grid.at(i));
    }
    grid = FrequencyGrid::listed(std::move(f));
  }

  SurveyOptions options;
  options.threads = threads;
  const auto start = std::chrono::steady_clock::now();
  const std::vector<SpectrumRow> rows = survey_spectrum(x, grid, exposure, options);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("frequencies=%zu events=%zu seconds=%.6f\n", rows.size(), x.size(), seconds);

  if (!out_path.empty()) {
    // Written under a temporary name and renamed, so that a failed run leaves
    // no half-written file.
    const std::string temporary = out_path + ".partial";
    FILE* out = std::fopen(temporary.c_str(), "w");
    bool ok = out != nullptr;
    for (std::size_t i = 0; ok && i < rows.size(); ++i) {
      ok = std::fprintf(out, "%.17g %.17g %.17g %.17g %.17g\n", 1.0 / grid.at(i),
                        rows[i].fit.delta_log_lik, rows[i].fit.amplitude, rows[i].fit.phase,
                        rows[i].rayleigh_z) > 0;
    }
    if (out != nullptr && std::fclose(out) != 0) ok = false;
    if (!ok || std::rename(temporary.c_str(), out_path.c_str()) != 0) {
      std::remove(temporary.c_str());
      std::cerr << "survey_driver: cannot write " << out_path << "\n";
      return 1;
    }
  }
  return 0;
}
