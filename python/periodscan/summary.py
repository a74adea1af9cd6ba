"""The printed summary of a run: the largest peaks of the spectrum with their
significance, the levels, and whether the period grid resolves a peak."""

import math
import os
import textwrap
from dataclasses import dataclass

import numpy as np

from .results import (COUNTS_FILE, GRID_FILE, MIN_EVENTS_ESTIMATED, NORMALIZED_GRID_FILE,
                      SPECTRUM_FILE, SpectrumTable, grid_image, plural)
from .significance import (SCAN_FAP, SINGLE_PERIOD_P, baluev_fap, baluev_level, baluev_w,
                           single_period_level, single_period_p)

PEAKS_SHOWN = 5
SUMMARY_WIDTH = 100

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


def _wrapped(text, first="  ", rest="    "):
    return textwrap.wrap(text, width=SUMMARY_WIDTH, initial_indent=first,
                         subsequent_indent=rest, break_on_hyphens=False)


def spectrum_summary(spectrum, events=None, name=SPECTRUM_FILE):
    """The lines printed for a spectrum: peaks, levels and the grid check."""
    t = spectrum.period
    out = ["%s: %d periods from %g to %g" % (name, len(t), t[0], t[-1])]
    w = None
    if events is not None:
        w = baluev_w(1 / t[-1], 1 / t[0], float(np.var(events)))
    peaks = largest_peaks(spectrum)
    header = "  %-4s  %-11s %-12s %-9s %-12s" % ("peak", "T", "DeltaLogLik", "A", "p (1 period)")
    if w is not None:
        header += "  FAP (all periods)"
    out.append(header.rstrip())
    for rank, i in enumerate(peaks, start=1):
        z = spectrum.delta_loglik[i]
        row = "  %-4d  %-11.6g %-12.6g %-9.4g %-12.3g" % (
            rank, t[i], z, spectrum.amplitude[i], single_period_p(z))
        if w is not None:
            row += "  %.3g" % baluev_fap(z, w)
        out.append(row.rstrip())
    if not peaks:
        out.append("  (no finite DeltaLogLik)")
    out += _wrapped("levels at one period: " + ", ".join(
        "%.3f (p = %g)" % (single_period_level(p), p) for p in SINGLE_PERIOD_P))
    if w is not None:
        out += _wrapped("levels over all periods (Baluev 2008, W = %.4g): " % w + ", ".join(
            "%.3f (FAP %g %%)" % (baluev_level(a, w), 100 * a) for a in SCAN_FAP))
    span, span_text = observation_span(spectrum, events)
    out += _wrapped(span_text)
    res = resolution(spectrum, span)
    if res is None:
        out += _wrapped("period grid: evenly spaced neither in log10 T nor in frequency; "
                        "not checked.")
        return out
    verdict = "too coarse" if res.too_coarse else "fine enough"
    if grid_kind(spectrum) == "frequency":
        out += _wrapped("frequency grid: step %.3g; a peak is 1/Lobs = %.3g wide in frequency: "
                        "%s." % (res.step, res.width, verdict))
        if res.too_coarse:
            out += _wrapped("WARNING: the frequency grid is too coarse to resolve a peak: its "
                            "step (%.3g) exceeds a third of the peak width 1/Lobs (%.3g), so a "
                            "narrow peak can fall between two frequencies and be missed. %d "
                            "frequencies over the same band would resolve it."
                            % (res.step, res.width / STEPS_PER_PEAK, res.needed),
                            first="", rest="  ")
        return out
    out += _wrapped("period grid: step %.3g in log10 T; a peak at Tmin = %g is %.3g wide: %s."
                    % (res.step, t[0], res.width, verdict))
    if res.too_coarse:
        out += _wrapped("WARNING: the period grid is too coarse to resolve a peak: its step in "
                        "log10 T (%.3g) exceeds a third of the peak width at Tmin (%.3g), so a "
                        "narrow peak can fall between two periods and be missed. %d periods "
                        "from %g to %g would resolve it (or narrow the range)."
                        % (res.step, res.width / STEPS_PER_PEAK, res.needed, t[0], t[-1]),
                        first="", rest="  ")
    return out


def grid_summary(name, grid, counts, per_event=False):
    sparse = int(np.sum(counts.count < MIN_EVENTS_ESTIMATED))
    out = ["%s: %s x %s, time marks %g to %g, log10 T %g to %g"
           % (name, plural(grid.nx, "window"), plural(grid.ny, "period"), grid.xmin, grid.xmax,
              grid.ymin, grid.ymax)]
    if sparse == grid.nx:
        out.append("  every window has fewer than two events: nothing was estimated")
        return out
    shown = grid_image(grid, counts)
    k, w = np.unravel_index(np.ma.argmax(shown), grid.z.shape)
    quantity = "DeltaLogLik per event" if per_event else "DeltaLogLik"
    out.append("  largest %s %.6g at time mark %g, T = %.6g"
               % (quantity, grid.z[k, w], grid.x()[w], 10 ** grid.y()[k]))
    if sparse:
        out.append("  %s with fewer than two events (grey)" % plural(sparse, "window"))
    return out


def counts_summary(name, counts):
    return ["%s: %s, %d to %d events" % (name, plural(len(counts.count), "window"),
                                         counts.count.min(), counts.count.max())]


def window_table_summary(name, table):
    """The lines printed for a table of moving windows of periodscan-survey."""
    z = table.delta_loglik
    sparse = int(np.sum(np.all(np.isnan(z), axis=0)))
    out = ["%s: %s x %s, windows from %g to %g, T %g to %g"
           % (name, plural(len(table.events), "window"), plural(len(table.period), "period"),
              table.window_start[0], table.window_end[-1], table.period[0], table.period[-1])]
    if sparse == len(table.events):
        out.append("  no window holds two distinct event times: nothing was estimated")
        return out
    k, w = np.unravel_index(np.nanargmax(z), z.shape)
    out.append("  largest DeltaLogLik %.6g in the window %g to %g, T = %.6g"
               % (z[k, w], table.window_start[w], table.window_end[w], table.period[k]))
    if sparse:
        out.append("  %s with fewer than two distinct event times (grey)"
                   % plural(sparse, "window"))
    return out


def table_summary(table, events=None):
    name = os.path.basename(table.path)
    if isinstance(table.data, SpectrumTable):
        return spectrum_summary(table.data, events, name=name)
    return window_table_summary(name, table.data)


def run_summary(run):
    """The summary lines of every result file of `run` (from results.read_run)."""
    lines = []
    if run.spectrum is not None:
        lines += spectrum_summary(run.spectrum, run.events)
    if run.grid is not None:
        lines += grid_summary(GRID_FILE, run.grid, run.counts)
    if run.normalized is not None:
        lines += grid_summary(NORMALIZED_GRID_FILE, run.normalized, run.counts, per_event=True)
    if run.counts is not None:
        lines += counts_summary(COUNTS_FILE, run.counts)
    for table in run.tables:
        lines += table_summary(table, run.events)
    return lines
