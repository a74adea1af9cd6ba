"""The maximum-likelihood periodogram of a periodic rate,

    Lambda(t) = Mju*(1 + A*cos(2*pi*frequency*(t - t1) + phase)),

computed by the engine of periodscan-survey (the compiled module
periodscan._engine), and the result object it comes back in.

    >>> import numpy as np, periodscan
    >>> times = np.loadtxt("quakes.txt", usecols=0)
    >>> result = periodscan.survey(times, min_period=0.5, max_period=2.0)
    >>> best = result.model_parameters()
    >>> best.period, best.amplitude, result.false_alarm_probability(best.delta_log_lik)
    >>> result.write("quakes")                       # quakes.spectrum.tsv

For the same times and grid the arrays hold the same numbers, to the bit, as
the columns of the command's PREFIX.spectrum.tsv.
"""

import datetime
import importlib
import math
import numbers
import operator
import os
import stat
from dataclasses import dataclass

import numpy as np

from .significance import baluev_fap, baluev_level, baluev_w

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

# datetime64 times are surveyed as days since this instant.
EPOCH = "1970-01-01T00:00:00Z"
DAYS = "days"
_PER_DAY = {"s": 86_400, "ms": 86_400_000, "us": 86_400_000_000, "ns": 86_400_000_000_000}

# Significance methods of SurveyResult.false_alarm_probability.
FAP_METHODS = ("single", "baluev", "clustered", "surrogates")
# The methods worked out by periodscan.assess.
ANALYSIS_METHODS = ("clustered", "surrogates")


@dataclass(frozen=True)
class Grid:
    """How the frequencies of a result were chosen: `kind` "resolving"
    (uniform in frequency, `frequency_step` = 1/(samples_per_peak * span)),
    "log_periods" (the interactive program's periods, even in log10 of the
    period) or "listed" (the caller's own frequencies)."""

    kind: str
    min_period: float
    max_period: float
    samples_per_peak: float = None
    frequency_step: float = None


@dataclass(frozen=True)
class ModelParameters:
    """The fitted rate Mju*(1 + A*cos(2*pi*frequency*(t - t1) + phase)) at
    one frequency.

    Attributes
    ----------
    frequency, period : float
        Where the fit was made (period = 1/frequency).
    mju : float
        Events per time unit: the maximum-likelihood Mju, N divided by the
        integral over the exposure of 1 + A*cos(...).
    amplitude : float
        A, from 0 to 1.
    phase : float
        Fi in [0, 2 pi), at t = t1 (the first event); nan where A = 0.
    peak_time : float
        A time at which the rate peaks, reduced into [0, period); nan where
        A = 0.
    delta_log_lik : float
        The gain in log likelihood over a constant rate.
    t1 : float
        The origin of the phase.
    """

    frequency: float
    period: float
    mju: float
    amplitude: float
    phase: float
    peak_time: float
    delta_log_lik: float
    t1: float


@dataclass(frozen=True, repr=False)
class SurveyResult:
    """The converged fit at every trial frequency, one row per frequency,
    frequency rising (a grid of `periods` = N, which runs in rising period,
    is turned round; `write` puts it back in the command's order).

    Attributes
    ----------
    period, frequency, delta_log_lik, amplitude, phase, peak_time, rayleigh_z
        numpy arrays, the columns of periodscan-survey's PREFIX.spectrum.tsv.
        phase is Fi in [0, 2 pi) of Mju*(1 + A*cos(2*pi*frequency*(t - t1) +
        Fi)), t1 the first time; peak_time = (t1 - Fi/(2*pi*frequency)) mod
        period: the fitted rate peaks at peak_time + k*period on the times'
        own axis (nan where A = 0). The fit places best the maximum nearest
        the mean of the times, ``peak_time + round((times.mean() -
        peak_time)/period)*period``; that one moves little between
        neighbouring rows of a peak, while peak_time, reduced by each row's
        own period from time 0, drifts with the period.
        rayleigh_z = |sum exp(2*pi*i*frequency*(t - t1))|**2 / N.
    t1, span : float
        The first time and the last minus the first.
    times : numpy.ndarray or None
        The event times (float64, on the axis of the result) the result was
        computed from; None for a table read without its events.
    intervals : numpy.ndarray or None
        The (start, end) rows of the observation intervals, None for the
        whole span (or for a table fitted over intervals that were not found).
    unit, origin : str or None
        The time unit and the instant of time 0 where known ("days" and
        "1970-01-01T00:00:00Z" for datetime64 times).
    grid : Grid or None
        How the frequencies were chosen.
    event_count : int
        N, the number of events.
    last_time : float
        The last event time.
    over_intervals : bool
        Whether the rate was integrated over observation intervals.
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
    times: np.ndarray = None
    intervals: np.ndarray = None
    unit: str = None
    origin: str = None
    grid: Grid = None
    event_count: int = None
    last_time: float = None
    over_intervals: bool = False

    def __len__(self):
        return len(self.period)

    def __repr__(self):
        if len(self) == 0 or np.all(np.isnan(self.delta_log_lik)):
            return "SurveyResult(%d rows, no finite delta_log_lik)" % len(self)
        i = self.highest()
        unit = " " + self.unit if self.unit else ""
        return ("SurveyResult(%d rows, periods %.6g to %.6g%s, %s events; highest peak: "
                "period %.6g, delta_log_lik %.6g, amplitude %.4g)"
                % (len(self), np.min(self.period), np.max(self.period), unit,
                   "?" if self.event_count is None else self.event_count,
                   self.period[i], self.delta_log_lik[i], self.amplitude[i]))

    def highest(self):
        """Index of the largest delta_log_lik."""
        if len(self) == 0 or np.all(np.isnan(self.delta_log_lik)):
            raise ValueError("the result has no finite delta_log_lik, so no highest peak")
        return int(np.nanargmax(self.delta_log_lik))

    # -- the fitted model ------------------------------------------------------

    def model_parameters(self, frequency=None):
        """The fitted rate at one frequency.

        Parameters
        ----------
        frequency : float, optional
            Default: the frequency of the highest row. A frequency of the
            result gives its row; any other (> 0) is fitted anew over the
            result's times (which must then be there).

        Returns
        -------
        ModelParameters
        """
        if frequency is None:
            i = self.highest()
            row = {name: float(getattr(self, name)[i]) for name in COLUMNS}
        else:
            f = _real(frequency, "frequency")
            if not (math.isfinite(f) and f > 0):
                raise ValueError("frequency must be a positive finite number, not %r" % f)
            found = np.flatnonzero(self.frequency == f)
            if len(found):
                row = {name: float(getattr(self, name)[found[0]]) for name in COLUMNS}
            else:
                self._need_times("a fit off the result's frequencies")
                fitted = _engine_module().fit_at(self.times, np.array([f]), self.intervals, 0)
                row = {name: float(fitted[name][0]) for name in COLUMNS}
        mju = self._mju(row["frequency"], row["amplitude"], row["phase"])
        return ModelParameters(row["frequency"], row["period"], mju, row["amplitude"],
                               row["phase"], row["peak_time"], row["delta_log_lik"], self.t1)

    def model(self, t, frequency=None):
        """Lambda(t) = Mju*(1 + A*cos(2*pi*frequency*(t - t1) + phase)), the
        fitted rate (events per time unit) at the times `t`.

        Parameters
        ----------
        t : array_like
            Times on the result's axis (datetime64 where the result was
            computed from datetime64 times).
        frequency : float, optional
            As for `model_parameters`.

        Returns
        -------
        numpy.ndarray
            The rate at each of `t`.
        """
        p = self.model_parameters(frequency)
        x = _as_axis(t, "t", self.origin == EPOCH and self.unit == DAYS)
        if not (p.amplitude > 0):
            return np.full(np.shape(x), p.mju)
        return p.mju * (1 + p.amplitude * np.cos(2 * np.pi * p.frequency * (x - self.t1)
                                                 + p.phase))

    def _exposure(self):
        """The watched pieces as (start, end) arrays on the axis t - t1."""
        if self.over_intervals:
            if self.intervals is None:
                raise ValueError("the result was fitted over observation intervals it does "
                                 "not hold: read it with read_survey(path, intervals=...)")
            return self.intervals[:, 0] - self.t1, self.intervals[:, 1] - self.t1
        return np.array([0.0]), np.array([self.span])

    def _events_known(self, what):
        if (None in (self.t1, self.span, self.last_time)
                or (self.event_count is None and self.times is None)):
            raise ValueError("%s needs the count, first and last time of the events, which "
                             "the record of this table does not give all of (a table of the "
                             "older format): survey the events again" % what)

    def _mju(self, frequency, amplitude, phase):
        self._events_known("Mju")
        n = self.event_count if self.event_count is not None else len(self.times)
        a, b = self._exposure()
        integral = float(np.sum(b - a))
        if amplitude > 0 and math.isfinite(phase):
            omega = 2 * math.pi * frequency
            # sin(w b + Fi) - sin(w a + Fi), kept accurate for short pieces.
            rise = 2 * np.cos(0.5 * omega * (a + b) + phase) * np.sin(0.5 * omega * (b - a))
            integral += amplitude * float(np.sum(rise)) / omega
        return n / integral

    # -- significance ----------------------------------------------------------

    def false_alarm_probability(self, delta_log_lik, method="baluev", minimum_frequency=None,
                                maximum_frequency=None, frequency=None, **assess_kwargs):
        """The probability that a process without a periodic component gives
        a peak this high.

        Parameters
        ----------
        delta_log_lik : float or array_like
            Heights of peaks (the result's own delta_log_lik, or any).
        method : {"baluev", "single", "clustered", "surrogates"}
            "single": at one fixed period, exp(-delta_log_lik).
            "baluev": the highest peak anywhere in the band for a Poisson
            process (Baluev 2008, with the variance of the result's times).
            "clustered": the one that decides a peak's verdict in
            periodscan-plot's summary, allowing for aftershock clustering
            as measured at `frequency`. "surrogates": the cluster shifts,
            with the magnitudes, latitudes and longitudes of the events
            given as `assess_kwargs`. Both by periodscan.assess(self,
            **assess_kwargs) (see periodscan.analysis).
        minimum_frequency, maximum_frequency : float, optional
            The band scanned ("baluev"); default the result's.
        frequency : float, optional
            Where "clustered" measures the clustering; default the highest
            peak's.
        **assess_kwargs
            For "clustered" and "surrogates": the keywords of
            periodscan.assess (magnitudes, latitudes, longitudes, unit, ...).

        Returns
        -------
        float or numpy.ndarray
            Of the shape of `delta_log_lik`; 1 where it is 0 or below.
        """
        if method in ANALYSIS_METHODS:
            return self._analysis(assess_kwargs).false_alarm_probability(
                delta_log_lik, frequency=frequency, method=method)
        self._plain_method(method, frequency, assess_kwargs)
        z = _real_array(delta_log_lik, "delta_log_lik")
        if method == "single":
            out = np.where(z > 0, np.exp(-np.maximum(z, 0)), 1.0)
        elif method == "baluev":
            out = baluev_fap(z, self._baluev_w(minimum_frequency, maximum_frequency))
        return out[()] if np.ndim(out) == 0 else out

    def false_alarm_level(self, false_alarm_probability, method="baluev",
                          minimum_frequency=None, maximum_frequency=None, frequency=None,
                          **assess_kwargs):
        """The delta_log_lik that a peak exceeds with the given probability
        (the inverse of `false_alarm_probability`, same methods).

        Parameters
        ----------
        false_alarm_probability : float or array_like
            Probabilities, each above 0 and below 1.

        Returns
        -------
        float or numpy.ndarray
            Of the shape of `false_alarm_probability`.
        """
        if method in ANALYSIS_METHODS:
            return self._analysis(assess_kwargs).false_alarm_level(
                false_alarm_probability, frequency=frequency, method=method)
        self._plain_method(method, frequency, assess_kwargs)
        p = _real_array(false_alarm_probability, "false_alarm_probability")
        if not np.all((p > 0) & (p < 1)):
            raise ValueError("false_alarm_probability must lie between 0 and 1 (both left "
                             "out)")
        if method == "single":
            out = -np.log(p)
        elif method == "baluev":
            w = self._baluev_w(minimum_frequency, maximum_frequency)
            out = np.vectorize(lambda alpha: baluev_level(alpha, w), otypes=[float])(p)
        return out[()] if np.ndim(out) == 0 else out

    def _baluev_w(self, minimum_frequency, maximum_frequency):
        self._need_times("Baluev's false-alarm probability, which takes the variance of "
                         "the times,")
        lo = (float(np.min(self.frequency)) if minimum_frequency is None
              else _real(minimum_frequency, "minimum_frequency"))
        hi = (float(np.max(self.frequency)) if maximum_frequency is None
              else _real(maximum_frequency, "maximum_frequency"))
        if not (math.isfinite(lo) and math.isfinite(hi) and 0 <= lo <= hi):
            raise ValueError("the band must satisfy 0 <= minimum_frequency <= "
                             "maximum_frequency")
        return baluev_w(lo, hi, float(np.var(self.times)))

    def _plain_method(self, method, frequency, assess_kwargs):
        if method not in FAP_METHODS:
            raise ValueError("method must be one of %s, not %r"
                             % (", ".join(FAP_METHODS), method))
        if frequency is not None or assess_kwargs:
            raise TypeError("frequency and the keywords of periodscan.assess go with the "
                            "methods %s only" % " and ".join(ANALYSIS_METHODS))

    def _analysis(self, assess_kwargs):
        # Imported here: the assessment itself uses this module.
        return importlib.import_module("periodscan.analysis").assess(self, **assess_kwargs)

    def _need_times(self, what):
        if self.times is None:
            raise ValueError("%s needs the event times: read the table with "
                             "read_survey(path, events=...)" % what)

    # -- tables ----------------------------------------------------------------

    def to_table(self, kind="numpy"):
        """The rows as a table.

        Parameters
        ----------
        kind : {"numpy", "pandas"}
            A numpy structured array, or a pandas DataFrame (needs pandas).

        Returns
        -------
        numpy.ndarray or pandas.DataFrame
            Columns period, frequency, delta_log_lik, amplitude, phase,
            peak_time, rayleigh_z; rows frequency rising.
        """
        if kind == "pandas":
            try:
                import pandas
            except ImportError:
                raise ImportError("to_table('pandas') needs pandas, which is not installed; "
                                  "to_table() gives a numpy structured array") from None
            return pandas.DataFrame({name: getattr(self, name) for name in COLUMNS})
        if kind != "numpy":
            raise ValueError("kind must be 'numpy' or 'pandas', not %r" % (kind,))
        table = np.empty(len(self), dtype=[(name, np.float64) for name in COLUMNS])
        for name in COLUMNS:
            table[name] = getattr(self, name)
        return table

    def write(self, prefix):
        """Writes PREFIX.spectrum.tsv as periodscan-survey writes it: the
        same record (its `command` and `events` say that it came from
        Python), numbers and row order (for a grid of `periods` = N, period
        rising, as the command lists it). The file appears whole or not at
        all.

        Returns
        -------
        str
            The path written.
        """
        if len(self) < 2:
            raise ValueError("a table holds at least two rows; this result has %d" % len(self))
        self._events_known("write()")
        prefix = os.fspath(prefix)
        if not isinstance(prefix, str):
            raise TypeError("prefix must be text or a path, not bytes")
        if os.path.basename(prefix) in ("", ".", ".."):
            # as periodscan-survey --output: "" or "runs/" would give a hidden
            # ".spectrum.tsv"
            raise ValueError("prefix needs the start of a file name, not %r" % prefix)
        path = prefix + ".spectrum.tsv"
        _write_whole(path, "".join(self._table_lines()))
        return path

    def _table_lines(self):
        grid = self.grid or _listed_grid(self.frequency)
        n = self.event_count if self.event_count is not None else len(self.times)
        out = ["# periodscan-survey: spectrum\n"]

        def key(name, value):
            out.append(_comment("%s: %s" % (name, value)))

        key("format", "2")
        key("table", "spectrum")
        key("command", "(Python) " + _call_text(grid))
        key("events", "(times given in Python)")
        key("events_read", n)
        key("lines_skipped", 0)
        key("sorted", "no")
        key("first_time", _g(self.t1))
        key("last_time", _g(self.last_time))
        key("span", _g(self.span))
        if self.unit:
            key("unit", self.unit)
        if self.origin:
            key("origin", self.origin)
        if self.over_intervals:
            total = 0.0
            for start, end in (self.intervals if self.intervals is not None else ()):
                total += float(end) - float(start)     # in order, as the command sums them
            key("exposure", "intervals")
            if self.intervals is not None:
                key("intervals", len(self.intervals))
                key("exposure_total", _g(total))
        else:
            key("exposure", "whole_span")
            key("exposure_total", _g(self.span))
        key("grid", grid.kind)
        key("min_period", _g(grid.min_period))
        key("max_period", _g(grid.max_period))
        if grid.kind == "resolving":
            key("samples_per_peak", _g(grid.samples_per_peak))
            key("grid_length", _g(self.span))
            key("frequency_step", _g(grid.frequency_step))
        key("frequencies", len(self))
        key("model", "Mju*(1 + A*cos(2*pi*frequency*(t - t1) + phase))")
        key("peak_time", "time of a rate maximum, reduced into [0, period) from time 0; "
                         "nan where amplitude = 0; the maxima are peak_time + k*period, and the "
                         "fit places best the one nearest the mean time of the events")
        key("rayleigh_z", "|sum exp(2*pi*i*frequency*(t - t1))|^2/N")
        out.append("\t".join(COLUMNS) + "\n")
        if grid.kind == "log_periods":
            rows = range(len(self) - 1, -1, -1)
        elif grid.kind == "resolving":
            rows = range(len(self))
        else:
            # fit_at keeps the order it was given; a table runs one way.
            rows = np.argsort(self.frequency, kind="stable")
            if np.any(np.diff(self.frequency[rows]) == 0):
                raise ValueError("the result lists a frequency twice; a table lists each once")
        columns = [getattr(self, name) for name in COLUMNS]
        for i in rows:
            out.append("\t".join(_shortest(float(c[i])) for c in columns) + "\n")
        return out


def _listed_grid(frequency):
    return Grid("listed", 1.0 / float(np.max(frequency)), 1.0 / float(np.min(frequency)))


def _call_text(grid):
    if grid.kind == "resolving":
        return ("periodscan.survey(times, min_period=%s, max_period=%s, samples_per_peak=%s)"
                % (_g(grid.min_period), _g(grid.max_period), _g(grid.samples_per_peak)))
    if grid.kind == "log_periods":
        return "periodscan.survey(times, min_period=%s, max_period=%s, periods=N)" % (
            _g(grid.min_period), _g(grid.max_period))
    return "periodscan.survey(times, frequency=...)"


def _g(value):
    """A number of the record: %.17g, which reads back to the same double."""
    return "%.17g" % value


def _comment(text):
    """'# text' and its line end; control characters become '?', so that a
    comment never ends early."""
    return "# " + "".join("?" if ord(c) < 0x20 or ord(c) == 0x7f else c for c in text) + "\n"


def _shortest(value):
    """The shortest spelling that reads back to `value`, fixed or with an
    exponent, whichever is shorter (fixed on a tie), as the command spells
    its columns: 0.1, 1e-05, 100, 123456789012345680."""
    if math.isnan(value):
        return "nan"
    if math.isinf(value):
        return "inf" if value > 0 else "-inf"
    fixed = np.format_float_positional(value, unique=True, trim="-")
    scientific = np.format_float_scientific(value, unique=True, trim="-", exp_digits=2)
    if len(scientific) < len(fixed):
        return scientific
    if "." not in fixed and value != 0:
        # A whole number beyond 2**53 is spelled with all its digits.
        return "%d" % int(value)
    return fixed


def _write_whole(path, text):
    """Writes `text` to `path` under a temporary name in the same folder and
    renames it into place; on any failure (Ctrl-C too) the temporary file
    is removed and `path` left as it was."""
    from .prepare.writer import staged_files
    try:
        mode = os.stat(path).st_mode
    except OSError:
        mode = None
    if mode is not None and not stat.S_ISREG(mode):
        raise IsADirectoryError("%s: is a folder" % path) if stat.S_ISDIR(mode) else \
            OSError("%s: is not a regular file" % path)
    with staged_files([path]) as (temporary,):
        with open(temporary, "w", encoding="utf-8", newline="\n") as stream:
            stream.write(text)


def engine():
    """The compiled module; ImportError saying how to build it where it is missing."""
    return _engine_module()


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


def _engine_module():
    if _engine is None:
        raise ImportError("periodscan._engine is not built: build the project and put "
                          "<build>/python on PYTHONPATH") from _ENGINE_ERROR
    return _engine


def _threads(threads):
    threads = _whole(threads, "threads")
    if threads < 0:
        raise ValueError("threads must be 0 (every core) or more")
    if threads > MAX_THREADS:
        raise ValueError(f"threads must be at most {MAX_THREADS}")
    return threads


def _is_clock(values):
    """Whether `values` are datetime64 (a clock reading rather than numbers)."""
    dtype = getattr(values, "dtype", None)
    if dtype is None:
        try:
            dtype = np.asarray(values).dtype
        except (TypeError, ValueError):
            return False
    return dtype.kind == "M"


def _days_since_epoch(values, name):
    """datetime64 values as float64 days since 1970-01-01T00:00:00Z; a
    ValueError naming the first NaT."""
    array = np.asarray(values)
    missing = np.isnat(array)
    if missing.any():
        where = ", ".join(str(i) for i in np.argwhere(missing)[0])
        raise ValueError(f"{name}[{where}] is NaT (not a time)")
    unit, _ = np.datetime_data(array.dtype)
    unit = unit if unit in _PER_DAY else ("ns" if unit in ("ps", "fs", "as") else "s")
    counts = array.astype(f"datetime64[{unit}]").astype(np.int64)
    if np.all(np.abs(counts) < 2**53):
        return counts / _PER_DAY[unit]      # exact counts, one rounding
    # Whole days and the rest apart, so that the day keeps its digits.
    whole, rest = np.divmod(counts, _PER_DAY[unit])
    return whole.astype(np.float64) + rest / _PER_DAY[unit]


def _as_axis(values, name, clock):
    """values as float64 on the axis of the survey: datetime64 as days since
    the epoch where `clock`, else real numbers."""
    if _is_clock(values):
        if not clock:
            raise TypeError(f"{name} are datetime64 but the times are not: give both as "
                            "datetime64 or both as numbers")
        return _days_since_epoch(values, name)
    if clock:
        raise TypeError(f"the times are datetime64 but {name} are not: give {name} as "
                        "datetime64 too")
    return _real_array(values, name)


def _duration(value, name, clock):
    """A period as a float: a number, or with datetime64 times also a
    numpy timedelta64 or datetime.timedelta (in days)."""
    if isinstance(value, (np.timedelta64, datetime.timedelta)):
        if not clock:
            raise TypeError(f"{name} is a time difference, but the times are numbers: give "
                            f"{name} as a number in their unit")
        days = np.timedelta64(value) / np.timedelta64(1, "D")
        return float(days)
    return _real(value, name)


def _intervals(values, clock):
    if values is None:
        return None
    intervals = _as_axis(values, "intervals", clock)
    if intervals.ndim == 1 and intervals.size == 2:
        intervals = intervals.reshape(1, 2)
    return intervals


def _result(columns, times, intervals, clock, grid, reverse=False):
    def column(name):
        values = np.asarray(columns[name], dtype=np.float64)
        return values[::-1].copy() if reverse else values

    times = np.array(times, dtype=np.float64)
    return SurveyResult(
        t1=float(columns["t1"]), span=float(columns["span"]), times=times,
        intervals=None if intervals is None else np.array(intervals, dtype=np.float64),
        unit=DAYS if clock else None, origin=EPOCH if clock else None, grid=grid,
        event_count=len(times), last_time=float(times[-1]),
        over_intervals=intervals is not None, **{name: column(name) for name in COLUMNS})


def survey(times, min_period=None, max_period=None, samples_per_peak=5, periods=None,
           frequency=None, intervals=None, threads=0):
    """The converged fit of Mju*(1 + A*cos(2*pi*f*(t - t1) + Fi)) at every
    trial frequency f, t1 the first time.

    Give either `min_period` and `max_period` (a grid) or `frequency`.

    Parameters
    ----------
    times : array_like
        Event times, non-decreasing, at least two and not all equal: real
        numbers, or numpy datetime64, which are surveyed as days since
        1970-01-01T00:00:00Z (the periods are then in days, and may be given
        as numpy timedelta64 or datetime.timedelta).
    min_period, max_period : float
        The band. The grid is uniform in frequency from 1/max_period to
        1/min_period in steps of 1/(samples_per_peak * span), span =
        times[-1] - times[0].
    samples_per_peak : float, optional
        Rows per peak width 1/span (default 5).
    periods : int, optional
        N instead: the interactive program's N periods evenly spaced in
        log10 of the period (samples_per_peak then stays at its default).
    frequency : array_like, optional
        One's own frequencies instead of a grid: each finite and > 0, no
        two equal (a frequency given twice is refused); the rows come
        sorted, frequency rising. Fitted one by one (fit_at): the numbers
        agree with a grid's at the same frequency to about 1e-9, not to
        the bit, since a grid takes its sums by recurrence.
    intervals : array_like, optional
        (start, end) pairs on the times' axis (datetime64 with datetime64
        times), sorted and not overlapping, over which the rate is
        integrated; every time must lie in one.
    threads : int, optional
        0 for every core, at most 1024; the result does not depend on it.

    Returns
    -------
    SurveyResult
        One row per frequency, frequency rising (also for `periods`), with
        the times and intervals it was computed from; its methods give the
        model (`model_parameters`, `model`), significance
        (`false_alarm_probability`, `false_alarm_level`) and the table
        (`to_table`, `write`).

    Raises
    ------
    ValueError
        For arguments the command would reject (and for a masked array
        with masked values: pass times.compressed()).
    TypeError
        For periods or threads that are not whole numbers, and for periods,
        times or intervals that are not real numbers (or datetime64).

    The engine runs without holding the GIL; Ctrl-C interrupts it.
    """
    _engine_module()
    clock = _is_clock(times)
    if frequency is not None:
        if (min_period is not None or max_period is not None or periods is not None
                or samples_per_peak != 5):
            raise ValueError("give either frequency or min_period and max_period (with "
                             "samples_per_peak or periods), not both")
        return _listed(times, frequency, intervals, threads, clock)
    if min_period is None or max_period is None:
        raise ValueError("give min_period and max_period, or frequency")
    min_period = _duration(min_period, "min_period", clock)
    max_period = _duration(max_period, "max_period", clock)
    samples_per_peak = _real(samples_per_peak, "samples_per_peak")
    threads = _threads(threads)
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
    times = _as_axis(times, "times", clock)
    intervals = _intervals(intervals, clock)
    columns = _engine.survey(times, min_period, max_period, samples_per_peak,
                             0 if periods is None else periods, intervals, threads)
    if periods is None:
        step = 1.0 / (samples_per_peak * float(columns["span"]))
        grid = Grid("resolving", min_period, max_period, samples_per_peak, step)
    else:
        grid = Grid("log_periods", min_period, max_period)
    return _result(columns, times, intervals, clock, grid, reverse=periods is not None)


def _listed(times, frequency, intervals, threads, clock):
    threads = _threads(threads)
    f = _real_array(frequency, "frequency")
    if f.ndim > 1:
        raise ValueError("frequency must be a one-dimensional array")
    f = np.atleast_1d(f)
    if f.size == 0:
        raise ValueError("frequency holds no frequency")
    _row_limit(f, "frequency")
    bad = np.flatnonzero(~(np.isfinite(f) & (f > 0)))
    if len(bad):
        raise ValueError(f"frequency[{bad[0]}] = {f[bad[0]]!r} is not a positive finite "
                         "frequency")
    order = np.argsort(f, kind="stable")
    rising = f[order]
    same = np.flatnonzero(np.diff(rising) == 0)
    if len(same):
        k = same[0]
        raise ValueError(f"frequency holds {rising[k]!r} twice (frequency[{order[k]}] and "
                         f"frequency[{order[k + 1]}]): give each frequency once")
    times = _as_axis(times, "times", clock)
    intervals = _intervals(intervals, clock)
    columns = _engine.fit_at(times, rising, intervals, threads)
    return _result(columns, times, intervals, clock, _listed_grid(rising))


def _row_limit(frequencies, name):
    # Seven columns of doubles a row: past the command's limit the result
    # alone would take gigabytes.
    if frequencies.size > MAX_TABLE_ROWS:
        raise ValueError(f"{name} holds {frequencies.size} frequencies, more than the "
                         f"{MAX_TABLE_ROWS} a result may have")


def fit_at(times, frequencies, intervals=None, threads=0):
    """The converged fit at each of `frequencies`, as survey() gives it on
    its grid.

    Parameters
    ----------
    times, intervals, threads
        As for survey().
    frequencies : array_like
        Each > 0 and finite, in any order.

    Returns
    -------
    SurveyResult
        One row per frequency, in the order given.
    """
    _engine_module()
    threads = _threads(threads)
    clock = _is_clock(times)
    times = _as_axis(times, "times", clock)
    frequencies = np.atleast_1d(_real_array(frequencies, "frequencies"))
    _row_limit(frequencies, "frequencies")
    intervals = _intervals(intervals, clock)
    columns = _engine.fit_at(times, frequencies, intervals, threads)
    return _result(columns, times, intervals, clock, None)


def read_survey(path, events=None, intervals=None):
    """A table of periodscan-survey (PREFIX.spectrum.tsv) as a SurveyResult,
    frequency rising.

    Parameters
    ----------
    path : str or os.PathLike
        The table.
    events : str, os.PathLike or array_like, optional
        The event file of the run (read as the survey read it) or its times;
        checked against the table's record. Without them the result has no
        `times`: Baluev's false-alarm probability and fits off the table's
        frequencies need them.
    intervals : array_like, optional
        The observation intervals of a table fitted over them; default the
        intervals file that its record names, where that is found.

    Returns
    -------
    SurveyResult

    Raises
    ------
    periodscan.inputfile.ResultFileError
        Naming the file (and line) of a table or event file that cannot be
        read, or events that are not those of the table.
    """
    from .inputfile import read_lines
    from .results import check_table_events, read_spectrum_table, record_entries

    path = os.fspath(path)
    table = read_spectrum_table(path)
    record = table.record
    entries = {key: value for key, (value, _) in
               record_entries(path, read_lines(path, encoding="utf-8")).items()}
    times = None
    clock = entries.get("unit") == DAYS and entries.get("origin") == EPOCH
    if isinstance(events, (str, os.PathLike)):
        from .eventfile import SURVEY, read_event_times
        events_name = os.fspath(events)
        times = np.asarray(read_event_times(events_name, SURVEY, sort=record.sorted),
                           dtype=np.float64)
    elif events is not None:
        events_name = "the times given"
        times = _as_axis(events, "events", clock and _is_clock(events))
    if times is not None:
        check_table_events(path, record, times, events_name)
    if intervals is not None:
        intervals = _intervals(intervals, clock and _is_clock(intervals))
    elif record.over_intervals and record.intervals_file not in (None, "", "-"):
        from .eventfile import EventFileError
        from .intervalfile import read_intervals, table_intervals_path
        try:
            intervals = read_intervals(table_intervals_path(record.intervals_file, path))
        except EventFileError:
            intervals = None
        if intervals is not None and record.intervals not in (None, len(intervals)):
            intervals = None     # not the file the table was fitted over
    grid = None
    kind = entries.get("grid")

    def value(key):
        try:
            return float(entries[key])
        except (KeyError, ValueError):
            return None

    if kind == "resolving":
        grid = Grid(kind, value("min_period"), value("max_period"), value("samples_per_peak"),
                    value("frequency_step"))
    elif kind in ("log_periods", "listed"):
        grid = Grid(kind, value("min_period"), value("max_period"))
    # The reader lists the rows period rising: turned round, frequency rising.
    columns = {"period": table.period, "frequency": table.frequency,
               "delta_log_lik": table.delta_loglik, "amplitude": table.amplitude,
               "phase": table.phase, "peak_time": table.peak_time,
               "rayleigh_z": table.rayleigh_z}
    return SurveyResult(
        t1=record.t1, span=record.span, times=times, intervals=intervals,
        unit=entries.get("unit"), origin=entries.get("origin"), grid=grid,
        event_count=record.events_read, last_time=record.last,
        over_intervals=record.over_intervals,
        **{name: np.ascontiguousarray(values[::-1], dtype=np.float64)
           for name, values in columns.items()})
