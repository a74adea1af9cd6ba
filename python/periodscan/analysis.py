"""The assessment of a periodogram held in memory: what periodscan-plot
works out for a table of periodscan-survey, without writing the table.

    >>> import periodscan
    >>> result = periodscan.survey(times, 0.5, 2.0)
    >>> analysis = periodscan.assess(result, times)
    >>> print(analysis.summary())
    >>> analysis.false_alarm_probability(result.delta_log_lik.max())
    >>> fig = periodscan.plot(result, analysis=analysis)
    >>> fig.savefig("spectrum.png")

The false-alarm probabilities over all periods come by four methods:

  single      P(DeltaLogLik > z) at one fixed period, exp(-z);
  baluev      Baluev's bound over the band for independent events (Poisson);
  clustered   the one that decides a peak's verdict in the summary at that
              frequency: the Fano factor at the peak's own period, else the
              local level kappa(f), else Baluev's unless the clustering
              check fires (then none applies: nan);
  surrogates  the cluster shifts, where the events have magnitudes and
              locations: the FAP of the largest DeltaLogLik over the grid.
"""

import math
from dataclasses import dataclass

import numpy as np

from .assessment import (FORCE_SHIFTS, SHIFT_SEED, _engine_available, _fit, assess_spectrum,
                         peak_significance)
from .catalogue import catalogue_from_arrays
from .clustering import peak_kappa
from .eventfile import DAYS_PER_UNIT, time_axis
from .local_level import events_fit, local_level
from .report import grid_check, largest_peaks
from .results import SpectrumTable
from .significance import baluev_fap, baluev_level, single_period_level, single_period_p

METHODS = ("single", "baluev", "clustered", "surrogates")

# The name of the spectrum in the summary and on the figure.
SOURCE = "periodogram"

# The first time and span of the times must be those of the result to this
# relative tolerance (of the span).
TIMES_RTOL = 1e-9


@dataclass(frozen=True)
class Peak:
    """One of the largest peaks, as the summary lists them (largest first).

    Attributes
    ----------
    rank : int
        1 for the largest.
    period, frequency, delta_log_lik, amplitude : float
        The row of the result.
    flags : tuple of str
        "edge of grid", "side lobe of T = ...", "A = 1".
    false_alarm_probability : float or None
        The one that decides the verdict: the largest of those that apply
        (the clustering-corrected one, the cluster shifts for the largest
        peak, the declustered background); None where none applies or the
        times were not given.
    significant : bool
        Below 0.05 by every method that applies.
    methods : tuple of (str, float)
        Each method that applies, with its false-alarm probability.
    intervals : uncertainty.PeakUncertainty or None
        The 95 % profile-likelihood intervals, where they were worked out.
    rate_maximum : float or None
        The time of the fitted rate's maximum nearest the middle of the
        record.
    """
    rank: int
    period: float
    frequency: float
    delta_log_lik: float
    amplitude: float
    flags: tuple
    false_alarm_probability: float
    significant: bool
    methods: tuple
    intervals: object
    rate_maximum: float


def _each(values, fn):
    """fn over every value of a number or an array, in the same shape."""
    a = np.asarray(values, dtype=float)
    out = np.array([fn(float(v)) for v in a.ravel()], dtype=float).reshape(a.shape)
    return float(out) if a.ndim == 0 else out


def _level(fap, p):
    """The z at which the falling fap(z) reaches p (above ln(1/p), where
    every method's FAP lies above p), by bisection."""
    lo = max(single_period_level(p), 0.5)
    hi = lo + 1.0
    while fap(hi) > p:
        hi = lo + 2 * (hi - lo)
        if hi > 1e12:
            return float("nan")
    for _ in range(200):
        mid = 0.5 * (lo + hi)
        if fap(mid) > p:
            lo = mid
        else:
            hi = mid
    return 0.5 * (lo + hi)


class Analysis:
    """The assessment of a result (see `assess`).

    Attributes
    ----------
    result : the result assessed
    spectrum : results.SpectrumTable
        Its rows with the period growing.
    times : numpy.ndarray or None
        The sorted event times.
    intervals : numpy.ndarray or None
        The observation intervals, (start, end) rows.
    catalogue : catalogue.Catalogue or None
        The events with magnitudes and locations, where given.
    assessment : assessment.Assessment
    grid : report.GridCheck
    axis : eventfile.TimeAxis
    """

    def __init__(self, result, spectrum, times, intervals, catalogue, assessment, grid, axis):
        self.result = result
        self.spectrum = spectrum
        self.times = times
        self.intervals = intervals
        self.catalogue = catalogue
        self.assessment = assessment
        self.grid = grid
        self.axis = axis
        self._levels = {}

    @property
    def peaks(self):
        """The largest peaks (Peak), largest first, as the summary lists them."""
        a, s = self.assessment, self.spectrum
        out = []
        for rank, i in enumerate(a.peaks, start=1):
            sig = a.significance[rank - 1] if a.significance else None
            out.append(Peak(
                rank, float(s.period[i]), float(s.frequency[i]), float(s.delta_loglik[i]),
                float(s.amplitude[i]), tuple(a.flags[rank - 1].labels(s.period)),
                None if sig is None else sig.applies,
                sig is not None and sig.significant,
                () if sig is None else tuple(sig.methods()),
                a.intervals.get(i), a.peak_times.get(i)))
        return out

    def summary(self):
        """The text periodscan-plot prints for such a table with its events."""
        from .summary import spectrum_summary
        lines = spectrum_summary(self.spectrum, self.times, name=SOURCE,
                                 assessment=self.assessment, axis=self.axis, grid=self.grid)
        return "\n".join(lines) + "\n"

    # -- false-alarm probabilities and levels --------------------------------

    def _check_method(self, method):
        if method not in METHODS:
            raise ValueError("method must be one of %s, not %r" % (", ".join(METHODS), method))
        if method != "single" and self.times is None:
            raise ValueError("method %r needs the event times: give assess() the times"
                             % method)
        if method == "surrogates" and self.catalogue is None:
            raise ValueError("method 'surrogates' needs the magnitudes, latitudes and "
                             "longitudes of the events: give assess() magnitudes=, "
                             "latitudes= and longitudes=")

    def _clustering_at(self, frequency):
        """(LocalLevel or None, PeakKappa or None) at `frequency`: a peak's
        own where it is one of the peaks (default: the highest), else
        measured there."""
        a = self.assessment
        if frequency is None:
            if not a.peaks:
                raise ValueError("the result has no finite DeltaLogLik")
            frequency = float(a.frequency[a.peaks[0]])
        frequency = float(frequency)
        if not (math.isfinite(frequency) and frequency > 0):
            raise ValueError("frequency must be a positive number, not %r" % frequency)
        for i, sig in zip(a.peaks, a.significance):
            if frequency == float(a.frequency[i]):
                return sig.local_level, sig.peak_kappa
        if frequency not in self._levels:
            self._levels[frequency] = self._measure(frequency)
        return self._levels[frequency]

    def _measure(self, frequency):
        t, span = self.times, self.assessment.span
        try:
            fit = _fit(t, [frequency], self.intervals)
        except (ValueError, np.linalg.LinAlgError):
            return None, None
        level, kappa = None, None
        scan = events_fit(t, intervals=self.intervals)
        if scan is not None and span > 0:
            try:
                level = local_level(frequency, float(fit.delta_log_lik[0]), span, scan)
            except (ValueError, np.linalg.LinAlgError):
                level = None
        if self.intervals is None:
            kappa = peak_kappa(t, frequency, float(fit.amplitude[0]), float(fit.phase[0]))
        return level, kappa

    def _clustered_fap(self, frequency):
        local, kappa = self._clustering_at(frequency)
        a = self.assessment

        def fap(z):
            applies = peak_significance(z, a.w, local, a.clustered, peak=kappa).applies
            return float("nan") if applies is None else applies
        return fap

    def _surrogate_fap(self, z):
        shifts = self.assessment.shifts
        if shifts is not None and shifts.fap is not None and z == shifts.fap.observed:
            return shifts.fap.fap
        if not _engine_available():
            raise ValueError("method 'surrogates' needs periodscan._engine, which is not built")
        from .surrogates import cluster_shift_surrogates
        return cluster_shift_surrogates(self.catalogue.time, self.catalogue.clusters(),
                                        self.assessment.frequency, z, intervals=self.intervals,
                                        seed=SHIFT_SEED).fap

    def false_alarm_probability(self, delta_log_lik, frequency=None, method="clustered"):
        """The false-alarm probability of `delta_log_lik` (a number or an
        array).

        Parameters
        ----------
        delta_log_lik : float or array
        frequency : float, optional
            Where the clustering is measured for "clustered"; default the
            highest peak's. The other methods do not depend on it.
        method : {"clustered", "baluev", "single", "surrogates"}
            See the module's description. "surrogates" at the largest
            DeltaLogLik of the result gives the summary's cluster-shift FAP;
            at any other value it scans 99 surrogates more.

        Returns
        -------
        float or numpy.ndarray
            nan where no method of that kind applies (the catalogue is
            clustered and its clustering cannot be measured there).
        """
        self._check_method(method)
        if method == "single":
            return _each(delta_log_lik, lambda z: float(single_period_p(z)))
        if method == "baluev":
            return _each(delta_log_lik, lambda z: float(baluev_fap(z, self.assessment.w)))
        if method == "surrogates":
            return _each(delta_log_lik, self._surrogate_fap)
        return _each(delta_log_lik, self._clustered_fap(frequency))

    def false_alarm_level(self, p, frequency=None, method="clustered"):
        """The DeltaLogLik whose false-alarm probability is `p` (0 < p < 1;
        a number or an array), by the methods of false_alarm_probability
        but "surrogates", whose scans give the probability of a value, not
        a level; nan where no method of that kind applies."""
        if method == "surrogates":
            raise ValueError("method 'surrogates' gives the false-alarm probability of a "
                             "value, not a level: use false_alarm_probability")
        self._check_method(method)
        p_values = np.asarray(p, dtype=float)
        if not np.all((p_values > 0) & (p_values < 1)):
            raise ValueError("p must lie between 0 and 1")
        if method == "single":
            return _each(p, single_period_level)
        if method == "baluev":
            return _each(p, lambda q: baluev_level(q, self.assessment.w))
        fap = self._clustered_fap(frequency)
        if math.isnan(fap(1.0)):
            return _each(p, lambda q: float("nan"))
        return _each(p, lambda q: _level(fap, q))


# ---------------------------------------------------------------------------
# The result and its events, checked


def _column(result, name, fallback=None):
    values = getattr(result, name, None)
    if values is None:
        if fallback is None:
            raise TypeError("the result has no %s" % name)
        return fallback
    return np.asarray(values, dtype=float)


def result_spectrum(result):
    """The rows of `result` as a results.SpectrumTable, period growing."""
    period = _column(result, "period")
    if period.ndim != 1 or len(period) < 2:
        raise ValueError("the result must hold at least two periods")
    if not np.all(np.isfinite(period) & (period > 0)):
        raise ValueError("the result's periods must be positive numbers")
    missing = np.full(len(period), np.nan)
    columns = [_column(result, "delta_log_lik"), _column(result, "amplitude"),
               _column(result, "frequency", 1 / period), _column(result, "phase", missing),
               _column(result, "peak_time", missing), _column(result, "rayleigh_z", missing)]
    if any(c.shape != period.shape for c in columns):
        raise ValueError("the result's columns differ in length")
    order = np.argsort(period, kind="stable")
    span = getattr(result, "span", None)
    return SpectrumTable(period[order], *(c[order] for c in columns),
                         span=None if span is None else float(span), record=None)


def _times(times, result):
    t = np.asarray(times)
    if t.dtype.kind not in "iuf" or t.ndim != 1:
        raise ValueError("times must be a sequence of real numbers")
    t = np.sort(t.astype(float), kind="stable")
    if len(t) < 2 or not np.all(np.isfinite(t)) or not t[-1] > t[0]:
        raise ValueError("times must hold at least two finite times, not all equal")
    t1, span = getattr(result, "t1", None), getattr(result, "span", None)
    scale = float(t[-1] - t[0])
    for name, mine, theirs in (("first time", t[0], t1), ("span", t[-1] - t[0], span)):
        if theirs is not None and abs(float(theirs) - mine) > TIMES_RTOL * scale:
            raise ValueError("times are not those of the result: their %s is %r, the "
                             "result's %r" % (name, float(mine), float(theirs)))
    return t


def _intervals(intervals, times):
    v = np.asarray(intervals)
    if v.dtype.kind not in "iuf":
        raise ValueError("intervals must be (start, end) pairs of real numbers")
    v = v.astype(float)
    if v.ndim == 1 and v.size == 2:
        v = v.reshape(1, 2)
    if v.ndim != 2 or v.shape[1] != 2 or len(v) == 0 or not np.all(np.isfinite(v)):
        raise ValueError("intervals must be (start, end) pairs of finite numbers")
    if not np.all(v[:, 1] > v[:, 0]) or not np.all(v[1:, 0] >= v[:-1, 1]):
        raise ValueError("intervals must each end after they start, in time order, without "
                         "overlapping")
    k = np.searchsorted(v[:, 0], times, side="right") - 1
    outside = (k < 0) | (times > v[np.maximum(k, 0), 1])
    if outside.any():
        raise ValueError("the time %r lies outside every interval" % times[outside][0])
    return v


def assess(result, times=None, *, intervals=None, magnitudes=None, latitudes=None,
           longitudes=None, unit=None, cluster_shifts=None):
    """The Analysis of `result` (periodscan.survey's, or any object with its
    columns period, frequency, delta_log_lik, amplitude, phase, peak_time,
    rayleigh_z and t1, span), as periodscan-plot assesses a table.

    Parameters
    ----------
    result : the periodogram
    times : array, optional
        The event times it was computed from; default ``result.times``.
        Without them only the flags of the peaks are known.
    intervals : array of (start, end), optional
        The observation intervals it was fitted over; default
        ``result.intervals``.
    magnitudes, latitudes, longitudes : array, optional
        One per event time (degrees): with them the events are declustered
        for the cluster-shift test and the declustered background.
    unit : str, optional
        The unit of the times (days, hours, ...); default ``result.unit``.
        Declustering needs it; it labels the periods.
    cluster_shifts : bool, optional
        None runs the cluster-shift test where it is quick, True however
        long it takes, False never.

    Raises
    ------
    ValueError
        For times that are not the result's, arrays of other lengths,
        non-finite values, latitudes beyond 90 degrees, an unknown unit,
        intervals that do not hold every time.
    """
    spectrum = result_spectrum(result)
    if times is None:
        times = getattr(result, "times", None)
    if intervals is None:
        intervals = getattr(result, "intervals", None)
    if unit is not None and (not isinstance(unit, str) or unit not in DAYS_PER_UNIT):
        raise ValueError("unit must be one of %s, not %r" % (", ".join(DAYS_PER_UNIT), unit))
    unit = unit if unit is not None else getattr(result, "unit", None)
    located = [name for name, v in (("magnitudes", magnitudes), ("latitudes", latitudes),
                                    ("longitudes", longitudes)) if v is not None]
    t, catalogue = None, None
    if times is not None:
        t = _times(times, result)
        if intervals is not None:
            intervals = _intervals(intervals, t)
    elif located or intervals is not None:
        raise ValueError("%s without the event times: give times"
                         % ("intervals" if intervals is not None else ", ".join(located)))
    if located:
        if len(located) < 3:
            missing = [n for n in ("magnitudes", "latitudes", "longitudes") if n not in located]
            raise ValueError("declustering needs %s too" % " and ".join(missing))
        if unit is None:
            raise ValueError("unit: declustering needs the unit of the times (one of %s)"
                             % ", ".join(DAYS_PER_UNIT))
        catalogue = catalogue_from_arrays(times, magnitudes, latitudes, longitudes, unit)
    origin = getattr(result, "origin", None)
    axis = time_axis({"unit": unit, "origin": None if origin is None else str(origin)})
    assessment = assess_spectrum(spectrum, largest_peaks(spectrum), t,
                                 force_shifts=bool(cluster_shifts), catalogue=catalogue,
                                 intervals=intervals, shifts=cluster_shifts is not False)
    if assessment.shifts is not None and assessment.shifts.fap is None:
        assessment.shifts.note = assessment.shifts.note.replace(
            FORCE_SHIFTS, "assess(..., cluster_shifts=True)")
    return Analysis(result, spectrum, t, intervals, catalogue, assessment,
                    grid_check(spectrum, t), axis)


def plot(result, times=None, *, analysis=None, **assess_kwargs):
    """The spectrum figure of `result` (a matplotlib Figure, written
    nowhere: save it with ``fig.savefig``): DeltaLogLik and the amplitude
    against the period with the levels and the peaks of its `analysis`
    (made by assess(result, times, **assess_kwargs) when not given)."""
    if analysis is None:
        analysis = assess(result, times, **assess_kwargs)
    elif times is not None or assess_kwargs:
        raise TypeError("give either analysis or the times and arguments of assess()")
    elif not isinstance(analysis, Analysis):
        raise TypeError("analysis must be what periodscan.assess gives, not %s"
                        % type(analysis).__name__)
    elif analysis.result is not result:
        raise ValueError("analysis is that of another result")
    from .figures import spectrum_figure
    return spectrum_figure(analysis.spectrum, analysis.times, coarse=analysis.grid.too_coarse,
                           source=SOURCE, assessment=analysis.assessment, axis=analysis.axis)
