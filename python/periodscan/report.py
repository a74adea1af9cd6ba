"""What the renderings of a run share, worked out once: the summary text, the
figures and the JSON report only render a RunReport.

  peaks        the largest local maxima of every spectrum (largest_peaks);
  grid         whether a spectrum's grid resolves a peak (GridCheck);
  assessment   the clustering check, the false-alarm probabilities, flags,
               intervals and the cluster-shift test of every spectrum
               (assessment.assess_spectrum);
  maps         the window length and the contour level of the
               time-frequency maps (map_level).

`assess_run` makes the RunReport of a run read by results.read_run.
"""

import math
import os
from dataclasses import dataclass, field

import numpy as np

from .assessment import assess_spectrum
from .clustering import Kappa, fano_kappa
from .eventfile import TimeAxis, time_axis
from .results import SPECTRUM_FILE, SpectrumTable, window_length
from .significance import baluev_w

PEAKS_SHOWN = 5

# A grid resolves a peak when at least this many steps fall across its width.
STEPS_PER_PEAK = 3


def largest_peaks(spectrum, count=PEAKS_SHOWN):
    """Indices of the largest local maxima of DeltaLogLik, largest first. A
    plateau counts once (at its last point); the ends of the grid count when
    they rise above their one neighbour; non-finite values are passed over."""
    d = np.where(np.isfinite(spectrum.delta_loglik), spectrum.delta_loglik, -np.inf)
    left = np.concatenate(([-np.inf], d[:-1]))
    right = np.concatenate((d[1:], [-np.inf]))
    peaks = np.nonzero((d >= left) & (d > right) & np.isfinite(d))[0]
    order = sorted(peaks, key=lambda i: (-d[i], i))
    return [int(i) for i in order[:count]]


@dataclass
class GridResolution:
    step: float        # grid step in log10 T
    width: float       # peak width in log10 T at Tmin
    needed: int        # periods that would resolve a peak at Tmin

    @property
    def too_coarse(self):
        return self.step > self.width / STEPS_PER_PEAK


def grid_resolution(periods, span):
    """A peak at period T over an observation span Lobs is about
    T / (Lobs ln 10) wide in log10 T, narrowest at Tmin. The grid resolves it
    when its step in log10 T is at most a third of that width."""
    lg_min, lg_max = math.log10(periods[0]), math.log10(periods[-1])
    step = (lg_max - lg_min) / (len(periods) - 1)
    width = periods[0] / (span * math.log(10))
    needed = math.ceil(1 + (lg_max - lg_min) * STEPS_PER_PEAK / width)
    return GridResolution(step, width, max(needed, 2))


def frequency_grid_resolution(frequencies, span):
    """A peak is about 1/Lobs wide in frequency, whatever its period; a grid
    evenly spaced in frequency resolves it when its step is at most a third
    of that."""
    f_lo, f_hi = float(np.min(frequencies)), float(np.max(frequencies))
    step = (f_hi - f_lo) / (len(frequencies) - 1)
    width = 1 / span
    needed = math.ceil(1 + (f_hi - f_lo) * STEPS_PER_PEAK / width)
    return GridResolution(step, width, max(needed, 2))


# How evenly a table's grid must be spaced to count as a log or frequency grid.
GRID_SPACING_RTOL = 1e-6


def grid_kind(spectrum):
    """"log" for a grid evenly spaced in log10 T (periodscan's, or the survey's
    with --periods), "frequency" for one evenly spaced in frequency (the
    survey's own), None for any other."""
    if not isinstance(spectrum, SpectrumTable):
        return "log"
    for kind, axis in (("log", np.log(spectrum.period)), ("frequency", spectrum.frequency)):
        steps = np.abs(np.diff(axis))
        if np.allclose(steps, steps[0], rtol=GRID_SPACING_RTOL, atol=0):
            return kind
    return None


def resolution(spectrum, span):
    """The resolution check of the spectrum's grid, or None for a grid that
    is evenly spaced neither in log10 T nor in frequency."""
    kind = grid_kind(spectrum)
    if kind == "log":
        return grid_resolution(spectrum.period, span)
    if kind == "frequency":
        return frequency_grid_resolution(spectrum.frequency, span)
    return None


def observation_span(spectrum, events=None):
    """Lobs and a sentence on where it comes from: the span of the events, or
    else Tmax."""
    if events is not None:
        span = float(events[-1] - events[0])
        return span, "Lobs = %g, the span of the %d events." % (span, len(events))
    span = float(spectrum.period[-1])
    return span, ("Lobs is not known without --events; taking Lobs = Tmax = %g, the shortest "
                  "span worth scanning, which gives the widest peaks and so the mildest "
                  "check (give --events for the real span)." % span)


def is_too_coarse(spectrum, events=None):
    res = resolution(spectrum, observation_span(spectrum, events)[0])
    return res is not None and res.too_coarse


@dataclass
class GridCheck:
    """The resolution check of a spectrum's grid over the span Lobs:
    `resolution` is None for a grid evenly spaced neither in log10 T nor in
    frequency (`kind` None)."""
    span: float
    span_text: str
    kind: str
    resolution: GridResolution

    @property
    def too_coarse(self):
        return self.resolution is not None and self.resolution.too_coarse


def grid_check(spectrum, events=None):
    span, text = observation_span(spectrum, events)
    return GridCheck(span, text, grid_kind(spectrum), resolution(spectrum, span))


# ---------------------------------------------------------------------------
# Moving windows

# The level contoured on the time-frequency maps: this false-alarm
# probability over all periods of one window.
MAP_FAP = 0.01


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
                        label + ", times kappa = %.3g): %.3g" % (
                            kappa.kappa, level * kappa.kappa))
    if kappa is not None:
        return MapLevel(level, label + "; kappa not defined, clustering not corrected): %.3g"
                        % level)
    return MapLevel(level, label + "; clustering not corrected without --events): %.3g"
                    % level)


def table_map_level(table, events):
    """The contour level of a survey table of windows: its window length is
    in the table itself; kappa needs the events."""
    length = float(np.median(table.data.window_end - table.data.window_start))
    kappa = fano_kappa(events, table.data.period[0]) if events is not None else None
    return map_level(events, table.data.period[0], table.data.period[-1], length, kappa)


@dataclass
class RunReport:
    """What the summary, the figures and the JSON report of a run share: the
    time axis of the events, the Assessment and the GridCheck of every
    spectrum (by SPECTRUM_FILE or the path of its table), and for the moving
    windows their length and contour level."""
    axis: TimeAxis
    events_name: str = None
    spectra: dict = field(default_factory=dict)
    grids: dict = field(default_factory=dict)
    window: tuple = None          # (t1, L) of the grid's windows, when found
    grid_level: MapLevel = None
    grid_kappa: Kappa = None
    table_levels: dict = field(default_factory=dict)


def assess_run(run, force_shifts=False):
    """The RunReport of `run` (from results.read_run); `force_shifts` runs the
    cluster-shift test whatever it costs."""
    report = RunReport(time_axis(run.description),
                       os.path.basename(run.events_path) if run.events_path else None)
    if run.spectrum is not None:
        report.spectra[SPECTRUM_FILE] = assess_spectrum(
            run.spectrum, largest_peaks(run.spectrum), run.events, run.description,
            run.events_path, force_shifts)
        report.grids[SPECTRUM_FILE] = grid_check(run.spectrum, run.events)
    if run.grid is not None:
        periods = 10 ** run.grid.y()
        length = None
        if run.events is not None:
            length = window_length(run.events, run.counts.time_mark, run.counts.count)
            report.grid_kappa = fano_kappa(run.events, periods[0])
        if length is not None:
            report.window = (float(run.events[0]), length)
        report.grid_level = map_level(run.events, periods[0], periods[-1], length,
                                      report.grid_kappa)
    for table in run.tables:
        if isinstance(table.data, SpectrumTable):
            report.spectra[table.path] = assess_spectrum(
                table.data, largest_peaks(table.data), table.times, run.description,
                run.events_path, force_shifts)
            report.grids[table.path] = grid_check(table.data, table.times)
        else:
            report.table_levels[table.path] = table_map_level(table, table.times)
    return report
