"""What holds of a spectrum beyond its Poisson levels, worked out once and
shared by the summary and the figures.

With the event times of the run it gathers:

  check       the clustering check (clustering.clustering_check): the mean
              DeltaLogLik over the independent frequencies against its
              Poisson reference. A narrow scan holds too few of them, so the
              check then scans the events itself at CHECK_CYCLES independent
              frequencies around the scanned band;
  kappa       the clustering factor from the Fano factor of counts in windows
              of Tmin/4, and the scan false-alarm probability of
              DeltaLogLik/kappa at every peak ("times only");
  flags       a peak at the edge of the grid, a side lobe of a stronger one,
              A at its bound 1;
  intervals   the profile-likelihood intervals of the period, A, the phase
              and the time of the rate maximum at the peaks that are
              significant (widened by kappa), or, where no peak is, the 95 %
              upper limit on A over the band; over the table's observation
              intervals when it was fitted over them (its record names the
              file). These, and the cluster-shift surrogates, are computed by
              the compiled engine.

A peak counts as significant when every false-alarm probability that applies
to the catalogue is below SIGNIFICANT_FAP: the Poisson one unless the check
finds the catalogue clustered, the one of DeltaLogLik/kappa wherever kappa is
defined. A clustered catalogue without kappa has no level that applies; its
peaks are then of unknown significance.
"""

import math
from dataclasses import dataclass, field

import numpy as np

from . import likelihood
from .clustering import clustering_check, fano_kappa, independent_indices, peak_reach
from .flags import AMPLITUDE_BOUND, PeakFlags, at_edge, peak_flags
from .significance import baluev_fap, baluev_w
from .progress import TerminalProgress
from .uncertainty import amplitude_upper_limit, peak_uncertainty

SIGNIFICANT_FAP = 0.05

# A scan with fewer independent frequencies than CHECK_MIN_FREQUENCIES away
# from its highest peak is checked on CHECK_CYCLES frequencies 1/Lobs apart
# around its band instead, none below CHECK_LOWEST_CYCLES/Lobs, where a
# trend of the rate lifts DeltaLogLik whether the events cluster or not.
CHECK_MIN_FREQUENCIES = 16
CHECK_CYCLES = 64
CHECK_LOWEST_CYCLES = 3

# Likelihood intervals are worked out for at most this many peaks: each
# costs some hundred evaluations of the likelihood over all events.
INTERVAL_PEAKS = 3

# Columns of an event file that let it be declustered.
LOCATION_COLUMNS = ("magnitude", "latitude", "longitude")


@dataclass
class Significance:
    """The false-alarm probabilities of one peak over all periods."""
    poisson: float                # Baluev, for independent events
    kappa: float = None           # of DeltaLogLik / kappa, times only
    shifts: float = None          # from cluster shifts (the largest peak only)
    applies: float = None         # the largest of those that apply; None: none applies

    @property
    def significant(self):
        return self.applies is not None and self.applies < SIGNIFICANT_FAP


@dataclass
class Assessment:
    span: float                   # Lobs: the span of the events
    frequency: np.ndarray         # of the spectrum's grid, in its order
    peaks: list                   # indices of the reported peaks, largest first
    w: float = None               # Baluev's W of the band
    check: object = None          # clustering.ClusteringCheck
    check_band: tuple = None      # (fmin, fmax) of a check made on its own scan
    kappa: object = None          # clustering.Kappa
    flags: list = field(default_factory=list)
    significance: list = field(default_factory=list)
    intervals: dict = field(default_factory=dict)    # peak index -> PeakUncertainty
    upper_limit: object = None    # uncertainty.UpperLimit
    peak_times: dict = field(default_factory=dict)   # peak index -> time of the rate maximum
    declustered: dict = None      # the "declustering" entry of the event file's description
    locations: bool = False       # the event file has magnitudes and locations
    failed: list = field(default_factory=list)       # what the likelihood could not give
    skipped: str = None    # what was not computed, and why
    shifts: object = None         # ClusterShifts, where the event file has locations

    @property
    def clustered(self):
        return self.check is not None and self.check.clustered is True

    @property
    def kappa_value(self):
        return None if self.kappa is None else self.kappa.kappa

    @property
    def interval_kappa(self):
        """The factor that widens the likelihood intervals: kappa where it is
        defined, else 1."""
        k = self.kappa_value
        return k if (k is not None and k > 1) else 1.0

    def any_significant(self):
        return any(s.significant for s in self.significance)

    def significance_known(self):
        return all(s.applies is not None for s in self.significance)


def spectrum_frequencies(spectrum):
    """The frequency of every grid point: the table's own column, else 1/T."""
    f = getattr(spectrum, "frequency", None)
    return np.asarray(f if f is not None else 1 / spectrum.period, dtype=float)


def plain_flags(frequency, amplitude, peaks):
    """The flags that need no observation span: the edge of the grid and A = 1.
    A side lobe is only known with the span of the events."""
    a = np.asarray(amplitude, dtype=float)
    return [PeakFlags(at_edge(frequency, i), None, bool(a[i] >= AMPLITUDE_BOUND)) for i in peaks]


def check_band(frequency, span, top_value):
    """The band of independent frequencies that the check scans when the
    grid's own holds too few: CHECK_CYCLES of them plus the neighbourhood of
    the highest peak, centred on the grid's band and kept above
    CHECK_LOWEST_CYCLES / Lobs."""
    f_lo, f_hi = float(np.min(frequency)), float(np.max(frequency))
    cycles = max(CHECK_CYCLES + 2 * peak_reach(top_value), (f_hi - f_lo) * span)
    lo = max(0.5 * (f_lo + f_hi) - 0.5 * cycles / span, CHECK_LOWEST_CYCLES / span)
    return lo, lo + cycles / span


def _fit(events, frequencies, intervals=None):
    """The converged fit at `frequencies`: the engine's, else (the package
    without its compiled part, whole span only) the numpy one."""
    if _engine_available():
        from .survey import fit_at
        return fit_at(events, frequencies, intervals=intervals)
    return likelihood.fit(events, frequencies)


def own_check(events, frequency, span, top_value, intervals=None):
    """The clustering check on the events scanned at independent frequencies
    around the grid's band; returns (check, (fmin, fmax))."""
    lo, hi = check_band(frequency, span, top_value)
    f = lo + np.arange(int(math.floor((hi - lo) * span + 1e-9)) + 1) / span
    z = _fit(events, f, intervals).delta_log_lik
    return clustering_check(f, z, span), (float(f[0]), float(f[-1]))


def rate_maximum(events, frequency, intervals=None):
    """The time of the rate maximum of the fit at `frequency` nearest the
    middle of the record."""
    t = np.asarray(events, dtype=float)
    fit = _fit(t, [frequency], intervals)
    period = 1 / frequency
    first = float(t[0]) - fit.phase[0] / (2 * math.pi * frequency)
    middle = 0.5 * (float(t[0]) + float(t[-1]))
    return first + round((middle - first) / period) * period


def peak_significance(z, w, kappa, clustered):
    poisson = float(baluev_fap(z, w))
    corrected = None if kappa is None else float(baluev_fap(z / kappa, w))
    applies = [] if clustered else [poisson]
    if corrected is not None:
        applies.append(corrected)
    return Significance(poisson, kappa=corrected, applies=max(applies) if applies else None)


def assess_spectrum(spectrum, peaks, events=None, description=None, events_path=None,
                    force_shifts=False):
    """The Assessment of a spectrum whose reported peaks are `peaks`. Without
    the events only the flags that need no span are known."""
    frequency = spectrum_frequencies(spectrum)
    z, amplitude = spectrum.delta_loglik, spectrum.amplitude
    description = description or {}
    columns = description.get("columns") or []
    out = Assessment(None, frequency, list(peaks),
                     declustered=description.get("declustering"),
                     locations=all(c in columns for c in LOCATION_COLUMNS))
    if events is None:
        # A table of the survey records the span of its events: the side
        # lobes and the clustering check on the table's own grid are known.
        out.span = getattr(spectrum, "span", None)
        if out.span is None:
            out.flags = plain_flags(frequency, amplitude, peaks)
        else:
            out.flags = peak_flags(frequency, z, amplitude, peaks, out.span)
            out.check = clustering_check(frequency, z, out.span)
        return out
    t = np.asarray(events, dtype=float)
    span = out.span = float(t[-1] - t[0])
    # A table fitted over observation intervals is assessed over them too.
    intervals, unassessed = table_intervals(getattr(spectrum, "record", None))
    out.flags = peak_flags(frequency, z, amplitude, peaks, span)
    out.w = baluev_w(float(np.min(frequency)), float(np.max(frequency)), float(np.var(t)))

    finite = np.isfinite(z)
    top = float(np.max(z[finite])) if finite.any() else 0.0
    out.check = clustering_check(frequency, z, span)
    if out.check.frequencies < CHECK_MIN_FREQUENCIES and unassessed is None:
        try:
            out.check, out.check_band = own_check(t, frequency, span, top, intervals)
        except (ValueError, np.linalg.LinAlgError):
            out.failed.append("the clustering check's own scan")
    out.kappa = fano_kappa(t, float(np.min(spectrum.period)))

    kappa = out.kappa_value
    out.significance = [peak_significance(z[i], out.w, kappa, out.clustered) for i in peaks]
    add_cluster_shifts(out, spectrum, events_path, description, force_shifts, intervals,
                       unassessed)
    # A peak on the edge of the grid may have its maximum outside the band,
    # where the profile would wander off to: it gets no intervals.
    own = [i for i, fl in zip(peaks, out.flags) if fl.side_lobe_of is None and not fl.edge]
    chosen = [i for i, sig in zip(peaks, out.significance) if sig.significant and i in own]
    if not out.significance_known():
        chosen = own[:1]
    chosen = chosen[:INTERVAL_PEAKS]
    if unassessed is None and not _engine_available():
        unassessed = "periodscan._engine is not built"
    if unassessed is not None:
        out.skipped = ("the likelihood intervals, the upper limit on A and the time of the rate "
                       "maximum: " + unassessed)
        return out
    # What cannot be computed (events outside the intervals, phases beyond
    # what the fit resolves) is named in the summary instead of ending the run.
    for i in chosen:
        try:
            out.intervals[i] = peak_uncertainty(t, frequency[i], kappa=out.interval_kappa,
                                                intervals=intervals)
        except ValueError:
            out.failed.append("the intervals at T = %.6g" % spectrum.period[i])
    if not out.any_significant() and finite.any():
        independent = independent_indices(frequency, span)
        try:
            with TerminalProgress("upper limit on A") as progress:
                out.upper_limit = amplitude_upper_limit(
                    t, frequency[independent], kappa=out.interval_kappa, intervals=intervals,
                    progress=progress, amplitudes=np.asarray(amplitude)[independent])
        except ValueError:
            out.failed.append("the upper limit on A")
    for i in peaks:
        if i in out.intervals:
            out.peak_times[i] = out.intervals[i].peak_time.estimate
        elif amplitude[i] > 0:
            try:
                out.peak_times[i] = rate_maximum(t, frequency[i], intervals)
            except ValueError:
                pass
    return out


def table_intervals(record):
    """(the observation intervals of a table fitted over them, None) or, for
    a table fitted over the whole span, (None, None); (None, why) where its
    intervals cannot be had."""
    if record is None or not record.over_intervals:
        return None, None
    if not record.intervals_file:
        return None, "the table was fitted over observation intervals it does not name"
    from .eventfile import EventFileError
    from .intervalfile import read_intervals, table_intervals_path
    path = table_intervals_path(record.intervals_file, record.path)
    try:
        return read_intervals(path), None
    except EventFileError as e:
        return None, "the table's observation intervals cannot be read (%s)" % e


# ---------------------------------------------------------------------------
# Moving windows

# The level contoured on the time-frequency maps: this false-alarm
# probability over all periods of one window.
MAP_FAP = 0.01


def window_length(events, time_mark, count):
    """The window length of a run of moving windows, found from the event
    times and the count file: the windows start at t1, t1 + S, ... (S the
    step of the time marks), and the length is the middle of the range of
    lengths whose windows hold exactly the counts of the file. None when no
    length gives them (the event file is not that of the run)."""
    t = np.asarray(events, dtype=float)
    count = np.asarray(count)
    n = len(count)
    step = (time_mark[-1] - time_mark[0]) / (n - 1) if n > 1 else 0.0
    starts = t[0] + step * np.arange(n)
    first = np.searchsorted(t, starts, side="left")

    def counts(length):
        return np.searchsorted(t, starts + length, side="right") - first

    target = int(count.sum())
    span = float(t[-1] - t[0])

    def smallest(reaching):
        """The smallest length whose windows hold at least `reaching` events in all."""
        lo, hi = 0.0, span
        for _ in range(60):
            mid = 0.5 * (lo + hi)
            if counts(mid).sum() >= reaching:
                hi = mid
            else:
                lo = mid
        return hi

    lo, hi = smallest(target), smallest(target + 1)
    if hi >= span * (1 - 1e-12):
        hi = span
    length = _roundest(lo, hi)
    # Six printed digits of the time marks and 4-byte times can move an event
    # across a window end; a tenth of the windows may differ by that.
    differ = int(np.sum(counts(length) != count))
    if counts(length).sum() != target or differ > max(1, n // 10):
        return None
    return length


def _roundest(lo, hi):
    """The number with the fewest significant digits in [lo, hi), else the
    middle: the window lengths that users type are round."""
    middle = 0.5 * (lo + hi)
    if not middle > 0:
        return middle
    for digits in range(1, 8):
        candidate = float("%.*g" % (digits, middle))
        if lo <= candidate < hi:
            return candidate
    return middle


@dataclass
class MapLevel:
    level: float
    label: str


def map_level(events, min_period, max_period, length, kappa=None):
    """The DeltaLogLik contoured on a time-frequency map: the MAP_FAP
    false-alarm level over the periods scanned in one window of `length`
    (Baluev's W with the variance L^2/12 of times spread over the window),
    times kappa where kappa is defined; or, without the events, the
    single-period level ln(1/MAP_FAP)."""
    from .significance import baluev_level, single_period_level
    if length is None:
        return MapLevel(single_period_level(MAP_FAP),
                        "DeltaLogLik = ln %d (p = %g at one period; give --events for the "
                        "level over all periods)" % (round(1 / MAP_FAP), MAP_FAP))
    w = baluev_w(1 / max_period, 1 / min_period, length ** 2 / 12)
    level = baluev_level(MAP_FAP, w)
    label = "%g %% false alarm over all periods of a window (Poisson" % (100 * MAP_FAP)
    if kappa is not None and kappa.kappa is not None:
        return MapLevel(level * kappa.kappa,
                        label + ", times kappa = %.3g): %.3g" % (kappa.kappa,
                                                               level * kappa.kappa))
    if kappa is not None:
        return MapLevel(level, label + "; kappa not defined, clustering not corrected): %.3g"
                        % level)
    return MapLevel(level, label + "; clustering not corrected without --events): %.3g"
                    % level)


# ---------------------------------------------------------------------------
# Cluster shifts: the scan false-alarm probability of the largest peak from
# surrogate catalogues whose clusters (Gardner-Knopoff, from magnitudes and
# locations) are moved as wholes to random places in the record.

# Surrogate scans cost about one survey of the table each: some 4e9
# event-frequency pairs a second on two cores on the engine's fast route (a
# resolving grid). The test runs in the summary when its 99 scans stay below
# these many pairs, about half a minute; --cluster-shifts runs it anyway.
SHIFT_BUDGET = 1.2e11
SHIFT_SEED = 20261208


@dataclass
class ClusterShifts:
    fap: object = None        # surrogates.SurrogateFap, or None when not run
    note: str = ""            # why not, when not run


def _engine_available():
    try:
        from .survey import _engine
    except ImportError:
        return False
    return _engine is not None


def cluster_shifts(spectrum, events_path, description, force=False, intervals=None,
                   unassessed=None):
    """The cluster-shift test of a spectrum whose event file has magnitudes
    and locations, or the reason it was not run. The surrogates are scanned
    on the table's own grid and over its observation intervals, and compared
    with the table's own largest DeltaLogLik."""
    from .decluster import DAYS_PER_UNIT, EventFileError, gardner_knopoff, read_events
    from .surrogates import MAX_SURROGATES, cluster_shift_surrogates
    unit = description.get("unit")
    if unit not in DAYS_PER_UNIT:
        return ClusterShifts(note="the time unit of the event file is not known")
    if unassessed is not None:
        return ClusterShifts(note=unassessed)
    if not _engine_available():
        return ClusterShifts(note="periodscan._engine is not built")
    try:
        table = read_events(events_path, list(description["columns"]))
    except EventFileError as e:
        return ClusterShifts(note="the event file cannot be declustered (%s)" % e)
    v = table.values
    order = np.argsort(v["time"], kind="stable")
    times = v["time"][order]
    frequency = spectrum_frequencies(spectrum)
    z = np.asarray(spectrum.delta_loglik, dtype=float)
    if not np.isfinite(z).any():
        return ClusterShifts(note="the table holds no fitted row")
    cost = len(times) * len(frequency) * MAX_SURROGATES
    if cost > SHIFT_BUDGET and not force:
        return ClusterShifts(note="%d surrogate scans of %d events at %d frequencies would take "
                             "long here; --cluster-shifts runs them"
                             % (MAX_SURROGATES, len(times), len(frequency)))
    result = gardner_knopoff(times * DAYS_PER_UNIT[unit], v["magnitude"][order],
                             v["latitude"][order], v["longitude"][order])
    clusters = np.asarray(getattr(result, "linked", result.main_shock))
    try:
        with TerminalProgress("cluster-shift surrogates") as progress:
            fap = cluster_shift_surrogates(times, clusters, frequency, float(np.nanmax(z)),
                                           intervals=intervals, seed=SHIFT_SEED,
                                           progress=progress)
    except ValueError as e:
        return ClusterShifts(note="the surrogates cannot be scanned (%s)" % e)
    return ClusterShifts(fap)


def add_cluster_shifts(assessment, spectrum, events_path, description, force=False,
                       intervals=None, unassessed=None):
    """Runs the cluster-shift test where the event file allows it; its
    false-alarm probability applies to the largest peak alongside the others."""
    if not (assessment.locations and events_path and assessment.declustered is None):
        return
    assessment.shifts = cluster_shifts(spectrum, events_path, description, force, intervals,
                                       unassessed)
    fap = assessment.shifts.fap
    if fap is None or not assessment.significance:
        return
    top = assessment.significance[0]
    top.shifts = fap.fap
    top.applies = fap.fap if top.applies is None else max(top.applies, fap.fap)
