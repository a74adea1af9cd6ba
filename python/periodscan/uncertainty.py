"""Likelihood intervals at a peak, and an upper limit on A where there is none.

At a peak the periodic law has three parameters besides Mju: the frequency,
A and a phase. The interval of one of them holds the values at which the
profile likelihood (the DeltaLogLik maximised over the other two) lies
within DROP_TWO_SIDED = chi2_1(0.95) / 2 = 1.9207 of the peak (Wilks'
theorem; the 95 % interval). The phase is measured at the middle of the
record, x = L / 2, where it is nearly independent of the frequency (the
phase Fi at the first event moves by pi L f for a small change of f and is
poorly determined); the time of the rate maximum is the one nearest the
middle of the record, t_max = t_1 + L / 2 - phase / Omega.

The 95 % upper limit on A at a frequency is the A above the best one at
which the profile over the phase has fallen by DROP_ONE_SIDED =
chi2_1(0.90) / 2 = 1.3528 (a one-sided limit); over a band it is the largest
of these, so a component of any frequency in the band with a larger A would
have been seen.

Clustering makes the likelihood too sharp, by the factor kappa of
clustering.fano_kappa; passing it scales the drops by kappa and widens the
intervals to match the rescaled levels.

Both are computed by the compiled engine (periodscan._engine), over the
observation intervals where they are given (the rate is then integrated over
them only, as the survey fitted it). An end of an interval is looked for
within 1.5 cycles over the record of the peak in frequency (beyond, the next
side lobe), within half a period for the time of the maximum, and within pi
for the phase; an end not found there is the search limit, marked unbounded.
"""

from dataclasses import dataclass

import numpy as np

from .periodogram import _real, _real_array, _whole, engine

DROP_TWO_SIDED = 1.9207294103470833     # chi2_1 quantile 0.95, halved
DROP_ONE_SIDED = 1.3527717294280424     # chi2_1 quantile 0.90, halved


@dataclass
class Interval:
    estimate: float
    lo: float
    hi: float
    lo_bounded: bool = True   # False: the profile stays above the drop to the search limit
    hi_bounded: bool = True

    def text(self, fmt="%.6g"):
        lo = (fmt % self.lo) if self.lo_bounded else "<" + (fmt % self.lo)
        hi = (fmt % self.hi) if self.hi_bounded else ">" + (fmt % self.hi)
        return "%s [%s, %s]" % (fmt % self.estimate, lo, hi)


@dataclass
class PeakUncertainty:
    delta_log_lik: float      # at the refined maximum
    period: Interval
    frequency: Interval
    amplitude: Interval
    phase: Interval           # at the middle of the record, radians
    peak_time: Interval       # time of the rate maximum nearest the middle
    kappa: float


@dataclass
class UpperLimit:
    amplitude: float          # the largest limit over the band
    frequency: float          # where it is reached
    limits: np.ndarray        # the limit at every frequency given (nan: not worked out)
    kappa: float


def _intervals(intervals):
    if intervals is None:
        return None
    array = _real_array(intervals, "intervals")
    return array.reshape(1, 2) if array.ndim == 1 and array.size == 2 else array


def peak_uncertainty(times, frequency, kappa=1.0, intervals=None, threads=0):
    """Intervals at the peak nearest `frequency` (a grid frequency of the
    scan); `intervals`: the (start, end) pairs the events were watched over,
    None for the whole span."""
    found = engine().peak_intervals(_real_array(times, "times"), _real(frequency, "frequency"),
                                    _real(kappa, "kappa"), _intervals(intervals),
                                    _whole(threads, "threads"))
    freq = Interval(*found["frequency"])
    period = Interval(1 / freq.estimate, 1 / freq.hi, 1 / freq.lo, freq.hi_bounded,
                      freq.lo_bounded)
    return PeakUncertainty(found["delta_log_lik"], period, freq, Interval(*found["amplitude"]),
                           Interval(*found["phase"]), Interval(*found["peak_time"]), kappa)


def amplitude_upper_limit(times, frequencies, kappa=1.0, intervals=None, threads=0,
                          progress=None, every=False, amplitudes=None):
    """The 95 % upper limit on A over the band of `frequencies` and where it
    is reached. The fits at every frequency give each one's best A; the
    limit, which lies a nearly constant distance above the best A where A is
    small and closer at larger A, is worked out only at the frequencies whose
    best A comes near the band's largest (`limits` holds nan elsewhere);
    every=True works it out at every frequency. `amplitudes`: the best A at
    each frequency where known (a table's column), else they are fitted.
    Pass the scan's independent
    frequencies (clustering.independent_indices) rather than a dense grid.
    `progress`, when given, is called now and then with (done, total)."""
    f = np.atleast_1d(_real_array(frequencies, "frequencies"))
    limits = engine().upper_limits(_real_array(times, "times"), f, _real(kappa, "kappa"),
                                   _intervals(intervals), _whole(threads, "threads"), progress,
                                   bool(every), None if amplitudes is None
                                   else _real_array(amplitudes, "amplitudes"))
    k = int(np.nanargmax(limits))
    return UpperLimit(float(limits[k]), float(f[k]), limits, kappa)
