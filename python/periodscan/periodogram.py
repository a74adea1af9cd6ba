"""The maximum-likelihood spectrum of a periodic rate, computed by the engine
of periodscan-survey (the compiled module periodscan._engine).

    >>> import numpy as np, periodscan
    >>> times = np.loadtxt("quakes.txt", usecols=0)
    >>> s = periodscan.survey(times, 0.5, 2.0)
    >>> s.period[np.argmax(s.delta_log_lik)]

For the same times and grid the arrays hold the same numbers, to the bit, as
the columns of the command's PREFIX.spectrum.tsv.
"""

import numbers
import operator
from dataclasses import dataclass

import numpy as np

try:
    from periodscan import _engine
except ImportError as error:  # the package without its compiled part
    _engine = None
    _ENGINE_ERROR = error

# The limits of the command: --threads up to 1024, at most 100 million rows.
MAX_THREADS = 1024
MAX_TABLE_ROWS = 100_000_000

COLUMNS = ("period", "frequency", "delta_log_lik", "amplitude", "phase", "peak_time",
           "rayleigh_z")


@dataclass(frozen=True)
class SurveyResult:
    """One row per trial period, in grid order (frequency rising, or with
    `periods` the period rising).

    phase is Fi in [0, 2 pi) of Mju*(1 + A*cos(2*pi*frequency*(t - t1) + Fi)),
    t1 the first time; peak_time = (t1 - Fi/(2*pi*frequency)) mod period: the
    fitted rate peaks at peak_time + k*period on the times' own axis (nan where
    A = 0). The fit places best the maximum nearest the mean of the times,
    ``peak_time + round((times.mean() - peak_time)/period)*period``; that one
    moves little between neighbouring rows of a peak, while peak_time, reduced
    by each row's own period from time 0, drifts with the period.
    rayleigh_z = |sum exp(2*pi*i*frequency*(t - t1))|**2 / N.
    """

    period: np.ndarray
    frequency: np.ndarray
    delta_log_lik: np.ndarray
    amplitude: np.ndarray
    phase: np.ndarray
    peak_time: np.ndarray
    rayleigh_z: np.ndarray
    t1: float
    span: float

    def __len__(self):
        return len(self.period)

    def highest(self):
        """Index of the largest delta_log_lik."""
        return int(np.nanargmax(self.delta_log_lik))


def engine():
    """The compiled module; ImportError saying how to build it where it is missing."""
    if _engine is None:
        raise ImportError("periodscan._engine is not built: build the project and put "
                          "<build>/python on PYTHONPATH") from _ENGINE_ERROR
    return _engine


def _real_array(values, name):
    """values as a float64 array; ValueError for a masked array with masked
    values (whose hidden values would be surveyed), TypeError for complex
    numbers (whose imaginary part would be dropped) and whatever else is not
    real numbers."""
    if isinstance(values, np.ma.MaskedArray):
        if np.ma.getmaskarray(values).any():
            if values.ndim == 2:
                raise ValueError(f"{name} has masked values: pass the rows without them, "
                                 f"{name}[~{name}.mask.any(axis=1)], instead")
            raise ValueError(f"{name} has masked values: pass {name}.compressed() (the "
                             "values left unmasked) instead")
        values = values.data
    array = np.asarray(values)
    if array.dtype.kind == "O":
        # astype() would make None a nan and "1" a number.
        for index, value in np.ndenumerate(array):
            if not _is_real(value):
                where = ", ".join(str(i) for i in index)
                raise TypeError(f"{name} must be real numbers, not {type(value).__name__} "
                                f"({name}[{where}])")
        array = array.astype(np.float64)
    if array.dtype.kind == "c":
        raise TypeError(f"{name} must be real numbers, not complex ones")
    if array.dtype.kind in "US":
        raise TypeError(f"{name} must be real numbers, not text")
    if array.dtype.kind not in "biuf":
        raise TypeError(f"{name} must be real numbers, not values of type {array.dtype}")
    return array.astype(np.float64, copy=False)


def _is_real(value):
    return isinstance(value, numbers.Real) and not isinstance(value, (bool, np.bool_))


def _real(value, name):
    if not _is_real(value):
        raise TypeError(f"{name} must be a real number, not {type(value).__name__}")
    return float(value)


def _whole(value, name):
    """value as an int; TypeError for what is not a whole number (2.5 is not
    cut to 2)."""
    if isinstance(value, (bool, np.bool_)):
        raise TypeError(f"{name} must be a whole number, not bool")
    try:
        return operator.index(value)
    except TypeError:
        raise TypeError(f"{name} must be a whole number, not {type(value).__name__}") from None


def survey(times, min_period, max_period, samples_per_peak=5, periods=None, intervals=None,
           threads=0):
    """The converged fit at every trial period.

    times: event times, non-decreasing, at least two and not all equal.
    The grid is uniform in frequency from 1/max_period to 1/min_period in steps
    of 1/(samples_per_peak * span), span = times[-1] - times[0]; or, with
    `periods` = N, the interactive program's N periods evenly spaced in
    log10 of the period (samples_per_peak must then stay at its default).
    intervals: (start, end) pairs on the times' axis, sorted and not
    overlapping, over which the rate is integrated; every time must lie in one.
    threads: 0 for every core, at most 1024; the result does not depend on it.
    Raises ValueError for arguments the command would reject (and for a
    masked array with masked values: pass times.compressed()), TypeError for
    periods or threads that are not whole numbers, and for periods, times or
    intervals that are not real numbers. The engine runs without
    holding the GIL; Ctrl-C interrupts it.
    """
    if _engine is None:
        raise ImportError("periodscan._engine is not built: build the project and put "
                          "<build>/python on PYTHONPATH") from _ENGINE_ERROR
    min_period = _real(min_period, "min_period")
    max_period = _real(max_period, "max_period")
    samples_per_peak = _real(samples_per_peak, "samples_per_peak")
    threads = _whole(threads, "threads")
    if threads < 0:
        raise ValueError("threads must be 0 (every core) or more")
    if threads > MAX_THREADS:
        raise ValueError(f"threads must be at most {MAX_THREADS}")
    if periods is not None:
        if samples_per_peak != 5:
            raise ValueError("samples_per_peak and periods exclude each other")
        periods = _whole(periods, "periods")
        if periods < 2:
            raise ValueError("periods must be at least 2")
        # The engine checks the rows itself; this keeps them within its int.
        if periods > MAX_TABLE_ROWS:
            raise ValueError(f"the grid would have more than {MAX_TABLE_ROWS} frequencies: "
                             "lower periods")
    times = _real_array(times, "times")
    if intervals is not None:
        intervals = _real_array(intervals, "intervals")
        if intervals.ndim == 1 and intervals.size == 2:
            intervals = intervals.reshape(1, 2)
    columns = _engine.survey(times, min_period, max_period, samples_per_peak,
                             0 if periods is None else periods, intervals, threads)
    return SurveyResult(t1=columns["t1"], span=columns["span"],
                        **{name: columns[name] for name in COLUMNS})


def fit_at(times, frequencies, intervals=None, threads=0):
    """The converged fit at each of `frequencies` (> 0, in the order given),
    as survey() gives it on its grid: a SurveyResult with one row per
    frequency. times, intervals and threads as for survey()."""
    if _engine is None:
        raise ImportError("periodscan._engine is not built: build the project and put "
                          "<build>/python on PYTHONPATH") from _ENGINE_ERROR
    threads = _whole(threads, "threads")
    if threads < 0:
        raise ValueError("threads must be 0 (every core) or more")
    if threads > MAX_THREADS:
        raise ValueError(f"threads must be at most {MAX_THREADS}")
    times = _real_array(times, "times")
    frequencies = np.atleast_1d(_real_array(frequencies, "frequencies"))
    if intervals is not None:
        intervals = _real_array(intervals, "intervals")
        if intervals.ndim == 1 and intervals.size == 2:
            intervals = intervals.reshape(1, 2)
    columns = _engine.fit_at(times, frequencies, intervals, threads)
    return SurveyResult(t1=columns["t1"], span=columns["span"],
                        **{name: columns[name] for name in COLUMNS})
