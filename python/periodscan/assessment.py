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
              DeltaLogLik/kappa at every peak ("times only"), shown only;
  local       the local level kappa(f) at every peak (local_level.py) and
              the false-alarm probability it gives;
  background  where the events have magnitudes and locations, the
              declustered background assessed at every peak's frequency;
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
to it is below SIGNIFICANT_FAP: that of its local level wherever kappa(f) is
defined (else the Poisson one unless the check finds the catalogue
clustered), the cluster shifts for the largest peak and the declustered
background where the event file allows them. A peak to which none applies is
of unknown significance.
"""

import math
from dataclasses import dataclass, field

import numpy as np

from . import likelihood
from .clustering import (clustering_check, fano_kappa, independent_indices, peak_kappa,
                         peak_reach)
from .catalogue import UNKNOWN_UNIT, catalogue_from_file
from .flags import AMPLITUDE_BOUND, PeakFlags, at_edge, peak_flags
from .local_level import events_fit, level_clustered, level_fap, local_fap, local_level
from .significance import baluev_fap, baluev_w
from .progress import TerminalProgress
from .uncertainty import amplitude_upper_limit, peak_uncertainty
from .wording import counted

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
    kappa: float = None           # of DeltaLogLik / kappa (Fano factor), shown only
    shifts: float = None          # from cluster shifts (the largest peak only)
    applies: float = None         # the largest of those that apply; None: none applies
    local: float = None           # by the local level kappa(f) (local_level.level_fap)
    local_level: object = None    # local_level.LocalLevel at the peak
    clustered: bool = False       # the clustering check fired: the Poisson FAP does not apply
    background: float = None      # of the declustered background at the peak's frequency
    peak: float = None            # by the Fano factor at the peak's period
    peak_kappa: object = None     # clustering.PeakKappa at the peak

    @property
    def widening(self):
        """The factor that widens the peak's likelihood intervals: the
        kappa that decides its FAP, at least 1."""
        if self.peak is not None:
            return max(1.0, self.peak_kappa.kappa)
        if self.local is not None:
            return max(1.0, self.local_level.kappa)
        return 1.0

    @property
    def significant(self):
        return self.applies is not None and self.applies < SIGNIFICANT_FAP

    def methods(self):
        """(label, FAP) of every method that applies to the peak."""
        out = []
        if self.peak is not None:
            out.append(("Fano factor at the peak's period, kappa = %.3g over %d windows"
                        % (self.peak_kappa.kappa, self.peak_kappa.windows), self.peak))
        elif self.local is not None:
            out.append(("local level, kappa(f) = %.3g over %d frequencies"
                        % (self.local_level.kappa, self.local_level.frequencies), self.local))
        elif not self.clustered:
            out.append(("Poisson", self.poisson))
        if self.shifts is not None:
            out.append(("cluster shifts", self.shifts))
        if self.background is not None:
            out.append(("declustered background", self.background))
        return out

    def settle(self):
        """`applies` from the methods that apply: the largest of their FAPs."""
        faps = [fap for _, fap in self.methods()]
        self.applies = max(faps) if faps else None


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
    background: object = None     # Background, where the event file has locations

    @property
    def clustered(self):
        return self.check is not None and self.check.clustered is True

    @property
    def kappa_value(self):
        return None if self.kappa is None else self.kappa.kappa

    @property
    def interval_kappa(self):
        """The factor that widens the upper limit on A over the band: the
        largest clustering factor measured, at the band's low end (Tmin/4)
        and at the peaks' own periods; at least 1. (Each peak's own
        intervals are widened by its own factor, Significance.widening.)"""
        k = self.kappa_value
        return max([k if k is not None else 1.0, 1.0]
                   + [s.widening for s in self.significance])

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
        from .periodogram import fit_at
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


def peak_significance(z, w, local=None, clustered=False, kappa=None, peak=None):
    """The Significance of a peak of height z over a band of Baluev's W.
    Where the Fano factor at the peak's own period (`peak`,
    clustering.PeakKappa) is defined it decides: the Poisson FAP of
    DeltaLogLik / kappa where neither it nor the local level shows
    clustering there (kappa is then near 1 and precise), else DeltaLogLik /
    kappa against the F tail of a third of its windows, which pays for the
    noise of kappa. Elsewhere the
    local level `local` decides (level_fap). Both depend on the peak's
    frequency and the events, not on the band, so narrowing the band only
    lowers W. Without either the Poisson FAP applies unless the clustering
    check fires. `kappa`, the Fano factor at Tmin/4, is shown beside them
    but does not decide (it depends on the band's Tmin)."""
    out = Significance(float(baluev_fap(z, w)), clustered=bool(clustered))
    if kappa is not None:
        out.kappa = float(baluev_fap(z / kappa, w))
    if local is not None and local.kappa is not None:
        out.local_level = local
    if peak is not None and peak.kappa is not None:
        out.peak_kappa = peak
        shown = peak.clustered or (out.local_level is not None
                                   and level_clustered(out.local_level))
        out.peak = (float(local_fap(z / peak.kappa, peak.tail_frequencies, w)) if shown
                    else float(baluev_fap(z / peak.kappa, w)))
    elif out.local_level is not None:
        out.local = level_fap(z, local, w)
    out.settle()
    return out


def peak_kappas(events, frequency, peaks, failed):
    """The Fano factor at every peak's own period (clustering.PeakKappa),
    by index, about the rate fitted there (whole span only: windows that
    reach into a gap of the record would count too few events)."""
    out = {}
    if not float(events[-1] - events[0]) > 0 or not peaks:
        return out
    try:
        fit = _fit(events, frequency[peaks])
    except (ValueError, np.linalg.LinAlgError):
        failed.append("the fit at the peaks for their Fano factors")
        return out
    for i, a, phase in zip(peaks, fit.amplitude, fit.phase):
        out[i] = peak_kappa(events, float(frequency[i]), float(a), float(phase))
    return out


def local_levels(events, frequency, z, peaks, failed, intervals=None):
    """The local level (local_level.LocalLevel) at every peak, by index;
    over the observation intervals when given (which needs the engine)."""
    span = float(events[-1] - events[0])
    out = {}
    if not span > 0:
        return out
    fit = events_fit(events, intervals=intervals)
    if fit is None:
        failed.append("the local level over observation intervals: periodscan._engine "
                      "is not built")
        return out
    for i in peaks:
        if not np.isfinite(z[i]):
            continue
        try:
            out[i] = local_level(float(frequency[i]), float(z[i]), span, fit)
        except (ValueError, np.linalg.LinAlgError):
            failed.append("the local level at f = %.6g" % frequency[i])
    return out


def assess_spectrum(spectrum, peaks, events=None, description=None, events_path=None,
                    force_shifts=False, catalogue=None, intervals=None, shifts=True):
    """The Assessment of a spectrum whose reported peaks are `peaks`. Without
    the events only the flags that need no span are known.

    Parameters
    ----------
    catalogue : catalogue.Catalogue, optional
        The events with magnitudes and locations, for the cluster shifts
        and the declustered background; else they are read from
        `events_path` where its `description` names those columns.
    intervals : array of (start, end), optional
        The observation intervals the spectrum was fitted over; else those
        its table's record names, if any.
    shifts : bool
        False leaves the cluster-shift test out.
    """
    frequency = spectrum_frequencies(spectrum)
    z, amplitude = spectrum.delta_loglik, spectrum.amplitude
    description = description or {}
    columns = description.get("columns") or []
    out = Assessment(None, frequency, list(peaks),
                     declustered=description.get("declustering"),
                     locations=(catalogue is not None
                                or all(c in columns for c in LOCATION_COLUMNS)))
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
    unassessed = None
    if intervals is None:
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
    levels, fanos = {}, {}
    if unassessed is None:
        levels = local_levels(t, frequency, z, peaks, out.failed, intervals)
        if intervals is None:
            fanos = peak_kappas(t, frequency, peaks, out.failed)
    out.significance = [peak_significance(z[i], out.w, levels.get(i), out.clustered, kappa,
                                          fanos.get(i))
                        for i in peaks]
    # The events with magnitudes and locations are read once for the cluster
    # shifts and the background.
    note = ""
    if catalogue is None and out.locations and events_path and out.declustered is None:
        catalogue, note = catalogue_from_file(events_path, description)
    if shifts and (catalogue is not None or note):
        add_cluster_shifts(out, spectrum, catalogue, note, force_shifts, intervals, unassessed)
    if unassessed is None and (catalogue is not None or note):
        add_background(out, frequency, catalogue, note, intervals)
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
    widening = {i: sig.widening for i, sig in zip(peaks, out.significance)}
    for i in chosen:
        try:
            out.intervals[i] = peak_uncertainty(t, frequency[i], kappa=widening[i],
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
    if record.intervals_file == "-":
        return None, "the survey read the table's observation intervals from standard input"
    path = table_intervals_path(record.intervals_file, record.path)
    try:
        intervals = read_intervals(path)
    except EventFileError as e:
        return None, "the table's observation intervals cannot be read (%s)" % e
    changed = intervals_changed(record, intervals)
    if changed:
        return None, "%s is not the intervals file the table was fitted over (%s)" % (
            path, changed)
    return intervals, None


def intervals_changed(record, intervals):
    """How `intervals` differ from those the table's record counts and
    totals (an intervals file edited or replaced after the survey), or ""."""
    if record.intervals is not None and record.intervals != len(intervals):
        return "%s, the table's record says %d" % (counted(len(intervals), "interval"),
                                                   record.intervals)
    if record.exposure_total is not None:
        total = 0.0
        for start, end in intervals:     # summed in order, as the survey sums them
            total += end - start
        if abs(total - record.exposure_total) > 1e-9 * abs(record.exposure_total):
            return "they cover %.17g, the table's record says %.17g" % (
                total, record.exposure_total)
    return ""


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
# What runs them however long they take, as the summary names it.
FORCE_SHIFTS = "--cluster-shifts"


@dataclass
class ClusterShifts:
    fap: object = None        # surrogates.SurrogateFap, or None when not run
    note: str = ""            # why not, when not run


def _engine_available():
    try:
        from .periodogram import _engine
    except ImportError:
        return False
    return _engine is not None


def cluster_shifts(spectrum, catalogue, note="", force=False, intervals=None,
                   unassessed=None):
    """The cluster-shift test of a spectrum whose events have magnitudes
    and locations (`catalogue`, a catalogue.Catalogue), or the reason it was
    not run (`note` says why there is no catalogue). The surrogates are
    scanned on the table's own grid and over its observation intervals, and
    compared with the table's own largest DeltaLogLik. `force` may be a
    surrogates.SurrogateRequest: then its surrogates run on Dask whatever
    they cost."""
    from .surrogates import (MAX_SURROGATES, CheckpointError, SurrogateRequest,
                             cluster_shift_surrogates)
    if catalogue is None and note == UNKNOWN_UNIT:
        return ClusterShifts(note=note)
    if unassessed is not None:
        return ClusterShifts(note=unassessed)
    if not _engine_available():
        return ClusterShifts(note="periodscan._engine is not built")
    if catalogue is None:
        return ClusterShifts(note=note)
    times = catalogue.time
    frequency = spectrum_frequencies(spectrum)
    z = np.asarray(spectrum.delta_loglik, dtype=float)
    if not np.isfinite(z).any():
        return ClusterShifts(note="the table holds no fitted row")
    cost = len(times) * len(frequency) * MAX_SURROGATES
    if cost > SHIFT_BUDGET and not force:
        return ClusterShifts(note="%d surrogate scans of %d events at %d frequencies would take "
                             "long here; %s runs them"
                             % (MAX_SURROGATES, len(times), len(frequency), FORCE_SHIFTS))
    clusters = catalogue.clusters()
    try:
        if isinstance(force, SurrogateRequest):
            # Its own number of surrogates, on Dask.
            return ClusterShifts(force.run(times, clusters, frequency, float(np.nanmax(z)),
                                           intervals, SHIFT_SEED))
        with TerminalProgress("cluster-shift surrogates") as progress:
            fap = cluster_shift_surrogates(times, clusters, frequency, float(np.nanmax(z)),
                                           intervals=intervals, seed=SHIFT_SEED,
                                           progress=progress)
    except CheckpointError:
        raise      # the caller's to report, as it reports the Dask cluster's failures
    except ValueError as e:
        return ClusterShifts(note="the surrogates cannot be scanned (%s)" % e)
    return ClusterShifts(fap)


def add_cluster_shifts(assessment, spectrum, catalogue, note="", force=False,
                       intervals=None, unassessed=None):
    """Runs the cluster-shift test where the events allow it (`catalogue`;
    else `note` says why not); its false-alarm probability applies to the
    largest peak alongside the others."""
    assessment.shifts = cluster_shifts(spectrum, catalogue, note, force, intervals,
                                       unassessed)
    fap = assessment.shifts.fap
    if fap is None or not assessment.significance:
        return
    top = assessment.significance[0]
    top.shifts = fap.fap
    top.applies = fap.fap if top.applies is None else max(top.applies, fap.fap)


# ---------------------------------------------------------------------------
# The declustered background: where the events have magnitudes and
# locations, the main shocks of the Gardner-Knopoff clusters are assessed
# at every peak's frequency, by the Poisson levels unless their own
# clustering check fires and by their local level.


@dataclass
class Background:
    events: int = 0               # main shocks kept
    check: object = None          # clustering.ClusteringCheck of the background
    note: str = ""                # why it was not assessed


def background_times(events_path, description):
    """The sorted times of the Gardner-Knopoff main shocks of the event
    file, or the reason there are none, as (times, note)."""
    catalogue, note = catalogue_from_file(events_path, description)
    return (None, note) if catalogue is None else (catalogue.background_times(), "")


def background_significance(times, frequency, peaks, w_band, intervals=None):
    """The FAP of the background `times` at each peak frequency (band of
    Baluev's W over the background's variance `w_band` = (fmin, fmax)),
    with the clustering check of the background's own scan; over the
    observation intervals when given."""
    span = float(times[-1] - times[0])
    z = _fit(times, frequency[peaks], intervals).delta_log_lik
    check, _ = own_check(times, frequency, span, float(np.max(z)), intervals)
    w = baluev_w(w_band[0], w_band[1], float(np.var(times)))
    fit = events_fit(times, intervals=intervals)
    fanos = {} if intervals is not None else peak_kappas(times, frequency, list(peaks), [])
    out = []
    for zi, i in zip(z, peaks):
        level = None if fit is None else local_level(float(frequency[i]), float(zi), span, fit)
        out.append(peak_significance(zi, w, level, check.clustered is True,
                                     peak=fanos.get(i)).applies)
    return check, out


def add_background(assessment, frequency, catalogue, note="", intervals=None):
    """Assesses the declustered background where the events allow it
    (`catalogue`; else `note` says why not), over the table's observation
    intervals when it has them; its FAP applies to every peak alongside the
    others."""
    if not assessment.peaks:
        return
    times = None if catalogue is None else catalogue.background_times()
    if times is not None and len(times) < 3:
        times, note = None, "%d main shocks are too few to scan" % len(times)
    assessment.background = Background(note=note)
    if times is None:
        return
    assessment.background.events = len(times)
    band = (float(np.min(frequency)), float(np.max(frequency)))
    try:
        check, faps = background_significance(times, frequency, assessment.peaks, band,
                                              intervals)
    except (ValueError, np.linalg.LinAlgError):
        assessment.failed.append("the declustered background's scan")
        return
    assessment.background.check = check
    for sig, fap in zip(assessment.significance, faps):
        sig.background = fap
        sig.settle()
