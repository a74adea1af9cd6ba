// From a fit to the columns of a survey table.
//
// The fit is made on the axis x = t - fit_origin (the first event of the
// sample or window); the table reports the phase on the axis t - t1 of the
// first event of the whole file, so that a steady cycle keeps its phase
// from window to window, and the peak time on the file's own axis:
//
//   phase     = (Fi + omega (t1 - fit_origin)) mod 2 pi
//   peak_time = (fit_origin - Fi/omega) mod period, in [0, period)
//
// e.g. f = 1 (a daily cycle in days), fit_origin = t1 = 10.25, Fi = pi/2:
// the rate cos(2 pi (t - 10.25) + pi/2) peaks where 2 pi (t - 10.25) + pi/2
// is a whole turn, at t = 10.0 + k, so peak_time = 0. Where A = 0 there is no
// peak: phase 0, peak_time nan.
#pragma once

#include "results/survey_table.h"
#include "scan/frequency_survey.h"

namespace periodscan {

SpectrumColumns spectrum_columns(double frequency, const SpectrumRow& row, double fit_origin,
                                 double t1);

// A window without a fit: its period and frequency, nan elsewhere.
SpectrumColumns blank_columns(double frequency);

}  // namespace periodscan
