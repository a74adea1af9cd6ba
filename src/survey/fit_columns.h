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
//
// The maxima of one fit are the lattice peak_time + k*period, and every one
// of them reduced from time 0 gives the same peak_time, so it is taken from
// fit_origin (exactly, by fmod) and not from a maximum many periods away.
// Which maximum to read is another matter: off the best period the fitted
// cycle runs ahead of the data on one side and behind on the other, and it
// keeps to the data where the fit pivots, at the mean time of its events.
// A maximum read there moves little from one grid point of a peak to the
// next; peak_time itself, reduced by a period that changes from row to row,
// moves by about (that time / period) times the change of period.
#pragma once

#include "results/survey_table.h"
#include "scan/frequency_survey.h"

namespace periodscan {

SpectrumColumns spectrum_columns(double frequency, const SpectrumRow& row, double fit_origin,
                                 double t1);

// A window without a fit: its period and frequency, nan elsewhere.
SpectrumColumns blank_columns(double frequency);

// The maximum peak_time + k*period nearest `time` (nan for a nan peak_time).
double rate_maximum_near(double peak_time, double period, double time);

}  // namespace periodscan
