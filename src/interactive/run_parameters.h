// What the dialogue accepts, held for the whole run.
#pragma once

#include <cstdint>

#include "scan/moving_window_scan.h"

namespace periodscan {

enum class Regime : int32_t { kStatic = 0, kMovingWindow = 1 };

struct RunParameters {
  float Tmin = 0.0f;  // 0 < Tmin < Tmax
  float Tmax = 0.0f;
  int32_t NP = 0;  // NP >= 2
  Regime regime = Regime::kStatic;
  // Moving-window regime only.
  float D = 0.0f;  // t(N) - t(1) rounded to a 4-byte real
  float L = 0.0f;  // 0 < L <= D
  float S = 0.0f;  // Tshift: 0 < S <= L
  float M = 0.0f;  // time-mark shift, any value

  WindowScanParameters window_scan() const { return {Tmin, Tmax, NP, D, L, S}; }
};

// How a run ends, and the process exit status of each end.
enum class RunEnd { kNormal, kErrorStop };
inline constexpr int kNormalExitStatus = 0;
// A rejected event file ends with a non-zero status, so that a script that
// runs the program can tell that nothing was computed.
inline constexpr int kErrorStopExitStatus = 1;

}  // namespace periodscan
