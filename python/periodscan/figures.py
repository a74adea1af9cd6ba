"""Figures of the result files, each written as PNG and SVG beside them.

  spectrum                   DeltaLogLik against the period (log axis) with the
                             significance levels (at one period, over all
                             periods for independent events, and over all
                             periods for DeltaLogLik/kappa), the peaks with
                             their flags and times of the rate maximum, the
                             amplitude A below;
  time_frequency             DeltaLogLik over time and period (log axis),
                             windows with fewer than two events in grey, a
                             contour at the 1 % false-alarm level over the
                             periods of a window times kappa, the events per
                             window in a panel below;
  time_frequency_normalized  the same per event in the window;
  window_counts              events per window.

Axes carry the time unit of the event file's EVENTS.json where there is one,
and calendar dates (UTC) where it names the origin of the times.

matplotlib is imported on the first figure, with the Agg back end, so that
importing this module costs nothing and needs no display.
"""

import os
import re
from dataclasses import dataclass
from typing import NamedTuple

import numpy as np

from .eventfile import TimeAxis
from .prepare.writer import staged_files
from .results import (COUNTS_FILE, GRID_FILE, MIN_EVENTS_ESTIMATED, NORMALIZED_GRID_FILE,
                      SPECTRUM_FILE, SpectrumTable, WindowCounts, file_error, grid_image)
from .report import largest_peaks, map_level
from .significance import SCAN_FAP, SINGLE_PERIOD_P, baluev_level, baluev_w, single_period_level
from .wording import counted

FIGURE_FORMATS = ("png", "svg")
# Every format a figure can be written in (periodscan-plot --format).
KNOWN_FORMATS = ("png", "svg", "pdf")
# The names of the figures of the interactive program's result files, in
# their folder; a table's figures are named after the table.
SPECTRUM_STEM = "spectrum"
GRID_STEM = "time_frequency"
NORMALIZED_GRID_STEM = "time_frequency_normalized"
COUNTS_STEM = "window_counts"

# Salt of the ids in the SVG files: fixed, so that the same result files give
# the same SVG bytes from run to run.
SVG_HASH_SALT = "periodscan-plot"

# The spectrum's DeltaLogLik axis turns logarithmic above SYMLOG_LINEAR_UP_TO
# when a peak rises above SYMLOG_ABOVE.
SYMLOG_ABOVE = 100.0
SYMLOG_LINEAR_UP_TO = 10.0

GREY = "0.78"

# Peaks whose time of the rate maximum is given in the spectrum's legend,
# with their markers.
RATE_MAXIMA_SHOWN = 3
RATE_MAXIMA_MARKERS = ("v", "s", "D")

# The flags of a peak as they stand beside its number in the spectrum.
FIGURE_FLAG_WORDS = {"edge of grid": "edge"}


def _pyplot():
    import sys

    import matplotlib
    # A session that already uses pyplot (a notebook, say) keeps its back end
    # and its open figures; the commands draw without a display.
    if "matplotlib.pyplot" not in sys.modules:
        matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    plt.rcParams["svg.hashsalt"] = SVG_HASH_SALT
    return plt


# Control characters (but the line feeds of several-line titles) that names of
# files and units may carry: the fonts have no glyph for them.
_CONTROL = re.compile("[\x00-\x09\x0b-\x1f\x7f-\x9f]")


def _printable(fig):
    """Replaces the control characters of every text of the figure by '?'."""
    from matplotlib.text import Text
    for text in fig.findobj(Text):
        content = text.get_text()
        if _CONTROL.search(content):
            text.set_text(_CONTROL.sub("?", content))


def _finish(plt, fig, directory, stem, tight=False):
    _printable(fig)
    if tight:
        fig.tight_layout()
    return _save(plt, fig, directory, stem)


class Destination(NamedTuple):
    """Where the figures go and in which formats; the plot_* functions take
    one, or a plain folder, as their `directory`."""
    folder: str
    formats: tuple = FIGURE_FORMATS


def _destination(directory):
    return directory if isinstance(directory, Destination) else Destination(directory)


# No date in the files, so that the same results give the same bytes.
_UNDATED = {"svg": {"Date": None}, "pdf": {"CreationDate": None}}


def _save(plt, fig, directory, stem):
    """Writes the figure in every format under temporary names, then renames
    them all, so that a failure or a signal leaves no half-written figure and
    no new PNG beside an old SVG."""
    folder, formats = _destination(directory)
    paths = [os.path.join(folder, "%s.%s" % (stem, fmt)) for fmt in formats]
    try:
        with staged_files(paths) as temporaries:
            for fmt, temporary, path in zip(formats, temporaries, paths):
                metadata = _UNDATED.get(fmt)
                try:
                    fig.savefig(temporary, format=fmt, dpi=120, metadata=metadata)
                except OSError as e:
                    e.filename = path
                    raise
    except OSError as e:
        raise file_error(e.filename or paths[0], "cannot be written (%s)"
                         % (e.strerror or e)) from None
    finally:
        plt.close(fig)
    return paths


def _period_axis(ax, t_lo, t_hi, which="x"):
    """A log period axis labelled in plain numbers: 1-2-5 steps over a few
    decades, evenly spaced ticks over less than a decade."""
    from matplotlib.ticker import (FixedLocator, FormatStrFormatter, LogLocator,
                                   MaxNLocator, NullFormatter, NullLocator)
    axis = ax.xaxis if which == "x" else ax.yaxis
    (ax.set_xscale if which == "x" else ax.set_yscale)("log")
    # A single period gets an axis a fifth of its size wide.
    pad = (t_hi / t_lo) ** 0.01 if t_hi > t_lo else 1.1
    (ax.set_xlim if which == "x" else ax.set_ylim)(t_lo / pad, t_hi * pad)
    if t_hi / t_lo < 10:
        ticks = [v for v in MaxNLocator(6).tick_values(t_lo, t_hi) if t_lo <= v <= t_hi]
        axis.set_major_locator(FixedLocator(ticks))
        axis.set_minor_locator(NullLocator())
    elif t_hi / t_lo < 1e4:
        # Over less than two decades 1-2-3-5 steps keep a few ticks on the axis.
        subs = (1.0, 2.0, 3.0, 5.0) if t_hi / t_lo < 100 else (1.0, 2.0, 5.0)
        axis.set_major_locator(LogLocator(subs=subs))
    else:
        return
    axis.set_major_formatter(FormatStrFormatter("%g"))
    axis.set_minor_formatter(NullFormatter())


def _time_values(x, axis):
    """Times as drawn: matplotlib date numbers where the times have a
    calendar, else the times themselves."""
    x = np.asarray(x, dtype=float)
    if not axis.has_calendar:
        return x
    from matplotlib.dates import date2num
    return date2num(axis.to_datetime(x))


def _time_axis(ax, axis, what, note=""):
    """Labels the x axis of times: calendar dates (UTC) where the times have
    them, else the quantity with its unit."""
    if axis.has_calendar:
        from matplotlib.dates import AutoDateLocator, ConciseDateFormatter
        locator = AutoDateLocator()
        ax.xaxis.set_major_locator(locator)
        ax.xaxis.set_major_formatter(ConciseDateFormatter(locator))
        ax.set_xlabel("%s (UTC)%s" % (what, note))
    else:
        ax.set_xlabel(what + axis.suffix() + note)


def _rate_maximum_text(rank, period, t_max, axis, modulo=False):
    unit = (" " + axis.short_unit()) if axis.short_unit() else ""
    if modulo:
        return "peak %d (T = %.6g%s): rate maximum\nat t = %.4g (mod T)" % (
            rank, period, unit, t_max)
    return "peak %d (T = %.6g%s): rate maximum\nat %s + k T" % (
        rank, period, unit, axis.date_text(t_max))


def _rate_maxima(spectrum, peaks, assessment):
    """(rank, index, time of the rate maximum, modulo T) for the significant
    peaks that are not side lobes, or for the highest peak alone where no
    significance is known: from the events where they were given, else from
    the table's peak_time column (reduced into one period)."""
    out = []
    known = assessment is not None and assessment.significance_known() and \
        bool(assessment.significance)
    for rank, i in enumerate(peaks, start=1):
        if assessment is not None and assessment.flags[rank - 1].side_lobe_of is not None:
            continue
        if known and not assessment.significance[rank - 1].significant:
            continue
        if not known and rank > 1:
            break
        if assessment is not None and i in assessment.peak_times:
            out.append((rank, i, assessment.peak_times[i], False))
        elif isinstance(spectrum, SpectrumTable) and np.isfinite(spectrum.peak_time[i]):
            out.append((rank, i, float(spectrum.peak_time[i]), True))
    return out[:RATE_MAXIMA_SHOWN]


def plot_spectrum(directory, spectrum, events=None, events_name=None, coarse=False,
                  source=SPECTRUM_FILE, stem=SPECTRUM_STEM, assessment=None, axis=TimeAxis()):
    """Draws the spectrum figure and writes it as `stem` in `directory`."""
    fig = spectrum_figure(spectrum, events, events_name, coarse, source, assessment, axis)
    return _save(_pyplot(), fig, directory, stem)


def spectrum_figure(spectrum, events=None, events_name=None, coarse=False,
                    source=SPECTRUM_FILE, assessment=None, axis=TimeAxis()):
    """The spectrum figure (a matplotlib Figure, not written anywhere):
    `spectrum` has period (growing), delta_loglik and amplitude; `events` the
    times, for the levels over all periods; `assessment` the spectrum's
    assessment.Assessment."""
    plt = _pyplot()
    t, z, a = spectrum.period, spectrum.delta_loglik, spectrum.amplitude
    fig, (top, bottom) = plt.subplots(2, 1, sharex=True, figsize=(11.5, 6.8),
                                      gridspec_kw={"height_ratios": [2, 1]})
    top.plot(t, z, color="C0", lw=1.2, marker="." if len(t) <= 80 else None, ms=4)
    for p, style in zip(SINGLE_PERIOD_P, (":", (0, (4, 4)), (0, (8, 3, 2, 3)))):
        top.axhline(single_period_level(p), color="0.45", lw=0.9, ls=style,
                    label="p = %g at one period (DeltaLogLik = ln %d)" % (p, round(1 / p)))
    clustered = assessment is not None and assessment.clustered
    kappa = assessment.kappa_value if assessment is not None else None
    if events is not None:
        w = baluev_w(1 / t[-1], 1 / t[0], float(np.var(events)))
        for alpha, style in zip(SCAN_FAP, ("--", "-")):
            top.axhline(baluev_level(alpha, w), color="C3", lw=1.1, ls=style,
                        alpha=0.5 if clustered else 1.0,
                        label="%g %% false alarm over all periods, Poisson%s"
                        % (100 * alpha, " (does not apply: clustered)" if clustered else ""))
        if kappa is not None:
            for alpha, style in zip(SCAN_FAP, ((0, (6, 2, 1, 2)), (0, (3, 1, 1, 1, 1, 1)))):
                top.axhline(kappa * baluev_level(alpha, w), color="C4", lw=1.4, ls=style,
                            label="%g %% false alarm over all periods, times only, kappa = "
                            "%.3g at Tmin/4 (for reference)" % (100 * alpha, kappa))
    peaks = assessment.peaks if assessment is not None else largest_peaks(spectrum)
    flags = assessment.flags if assessment is not None else []
    for rank, i in enumerate(peaks, start=1):
        words = flags[rank - 1].labels() if rank <= len(flags) else []
        words = [FIGURE_FLAG_WORDS.get(w, w) for w in words]
        text = "%d" % rank + (" (%s)" % ", ".join(words) if words else "")
        top.annotate(text, (t[i], z[i]), textcoords="offset points", xytext=(0, 4),
                     ha="center", fontsize=8, color="0.4" if len(text) > 2 else "C0")
    maxima = _rate_maxima(spectrum, peaks, assessment)
    for (rank, i, t_max, modulo), marker in zip(maxima, RATE_MAXIMA_MARKERS):
        top.plot([t[i]], [z[i]], marker=marker, color="C1", ms=6, ls="none",
                 label=_rate_maximum_text(rank, t[i], t_max, axis, modulo))
    top.margins(y=0.08)
    if np.isfinite(z).any() and np.nanmax(np.where(np.isfinite(z), z, np.nan)) > SYMLOG_ABOVE:
        # A strong peak would squash the significance levels onto the axis.
        from matplotlib.ticker import FixedLocator, FormatStrFormatter, NullLocator
        top.set_yscale("symlog", linthresh=SYMLOG_LINEAR_UP_TO, linscale=1.5)
        ticks = [0, 2, 4, 6, 8] + [m * 10.0 ** e for e in range(1, 40) for m in (1, 2, 5)]
        top.yaxis.set_major_locator(FixedLocator(
            [v for v in ticks if v <= 1.2 * np.nanmax(z[np.isfinite(z)])]))
        top.yaxis.set_major_formatter(FormatStrFormatter("%g"))
        top.yaxis.set_minor_locator(NullLocator())
        top.set_ylabel("DeltaLogLik (linear up to %g,\nlogarithmic above)" % SYMLOG_LINEAR_UP_TO)
    else:
        top.set_ylabel("DeltaLogLik (gain in log-likelihood)")
    title = "Spectrum (%s): %d periods" % (source, len(t))
    if events_name:
        title += ", events from %s" % events_name
    fig.suptitle(title, fontsize=10)
    notes = []
    if coarse:
        notes.append("period grid too coarse: a peak narrower than its step can be missed")
    if clustered:
        notes.append("clustered catalogue (mean DeltaLogLik %.3g > %.3g): the Poisson levels "
                     "do not apply" % (assessment.check.mean, assessment.check.level))
    if notes:
        top.set_title("\n".join(notes), fontsize=9, color="C3")
    top.legend(fontsize=7.5, loc="upper left", bbox_to_anchor=(1.02, 1.0), borderaxespad=0)
    top.grid(True, which="major", alpha=0.3)
    bottom.plot(t, a, color="C2", lw=1.2, marker="." if len(t) <= 80 else None, ms=4)
    bottom.set_ylabel("amplitude A\n(fraction of the mean rate)")
    a_top = float(np.nanmax(a)) if np.isfinite(a).any() else 1.0
    # Weak amplitudes get an axis of their own size; strong ones the whole range to 1.
    bottom.set_ylim(min(0.0, float(np.nanmin(a)) if np.isfinite(a).any() else 0.0),
                    1.05 if a_top > 0.5 else 1.2 * a_top if a_top > 0 else 1.05)
    bottom.set_xlabel("period T" + axis.suffix())
    bottom.grid(True, which="major", alpha=0.3)
    _period_axis(bottom, t[0], t[-1])
    _printable(fig)
    fig.tight_layout()
    return fig


def _edges(centres, lo, hi):
    """Cell edges around evenly spaced centres; a single cell gets a width of
    one unit so that it still shows."""
    if len(centres) == 1:
        return np.array([lo - 0.5, lo + 0.5])
    half = (hi - lo) / (len(centres) - 1) / 2
    return np.concatenate(([centres[0] - half], centres + half))


def _cell_edges(centres, log=False):
    """Edges halfway between sorted cell centres (geometrically halfway on a
    log axis); the outer cells as wide as their neighbours, a single cell 10 %
    wide."""
    c = np.log(centres) if log else np.asarray(centres, dtype=float)
    if len(c) == 1:
        half = np.array([0.05 if log else 0.05 * max(abs(c[0]), 1.0)])
    else:
        half = np.diff(c) / 2
    edges = np.concatenate(([c[0] - half[0]], c[:-1] + half, [c[-1] + half[-1]]))
    return np.exp(edges) if log else edges


@dataclass
class MapLayout:
    """Where the columns of a time-frequency map lie: their x values on the
    events' time axis (window centres, or the time marks of periodscan when
    the window length is not known), the x label, and the counts per column."""
    x: np.ndarray
    x_edges: np.ndarray
    what: str
    counts: np.ndarray
    note: str = ""


def _draw_map(directory, stem, title, z, layout, periods, period_edges, level, axis,
              per_event=False, contour_z=None, sparse_label="window with fewer than two events"):
    """A colour map over time (x) and period (y, log axis) with the window
    counts in a panel below on the same time axis. z is masked where a
    window was too sparse; the contour is drawn on contour_z (the
    DeltaLogLik itself, even when z is per event)."""
    plt = _pyplot()
    from matplotlib.lines import Line2D
    from matplotlib.patches import Patch
    contour_z = z if contour_z is None else contour_z
    cmap = plt.get_cmap("viridis").copy()
    cmap.set_bad(GREY)
    fig, (ax, low) = plt.subplots(2, 1, sharex=True, figsize=(9, 7),
                                  gridspec_kw={"height_ratios": [3, 1]})
    lo, hi = (float(z.min()), float(z.max())) if z.count() else (0.0, 1.0)
    if hi <= lo:
        hi = lo + 1.0
    xe = _time_values(layout.x_edges, axis)
    x = _time_values(layout.x, axis)
    mesh = ax.pcolormesh(xe, period_edges, z, cmap=cmap, vmin=lo, vmax=hi, shading="flat")
    bar = fig.colorbar(mesh, cax=fig.add_axes((0.88, 0.09, 0.025, 0.84)))
    bar.set_label("DeltaLogLik per event in the window" if per_event else "DeltaLogLik")
    handles = []
    if len(x) >= 2 and len(periods) >= 2:
        reached = bool(contour_z.count()) and contour_z.max() > level.level
        if reached:
            ax.contour(x, periods, contour_z, levels=[level.level], colors="red",
                       linewidths=1.2)
        handles.append(Line2D([], [], color="red", lw=1.2, label=level.label + (
            "" if reached else " (reached nowhere)")))
    if np.ma.getmaskarray(z).any():
        handles.append(Patch(color=GREY, label=sparse_label))
    if handles:
        ax.legend(handles=handles, fontsize=7, loc="upper left", framealpha=0.85)
    _period_axis(ax, periods[0], periods[-1], which="y")
    ax.set_ylabel("period T" + axis.suffix())
    ax.set_title(title, fontsize=10)
    low.step(x, layout.counts, where="mid", color="C0", lw=1.2)
    sparse = layout.counts < MIN_EVENTS_ESTIMATED
    if sparse.any():
        low.plot(x[sparse], layout.counts[sparse], "x", color="C3", ms=5, mew=1.3)
    low.set_ylim(bottom=0)
    low.set_ylabel("events in\nthe window")
    low.grid(True, alpha=0.3)
    low.set_xlim(xe[0], xe[-1])
    _time_axis(low, axis, layout.what, layout.note)
    fig.subplots_adjust(left=0.09, right=0.86, top=0.93, bottom=0.09, hspace=0.08)
    return _finish(plt, fig, directory, stem)


def grid_layout(grid, counts, window, axis_unit=""):
    """The MapLayout of a grid file of periodscan: with the window length
    (from the events), the window centres t1 + (w - 1) S + L/2; else the
    time marks."""
    marks = grid.x()
    if window is None:
        return MapLayout(marks, _edges(marks, grid.xmin, grid.xmax),
                         "time mark (right-hand end of the window, shifted by M)", counts.count)
    t1, length = window
    step = (grid.xmax - grid.xmin) / (grid.nx - 1) if grid.nx > 1 else length
    centres = t1 + step * np.arange(grid.nx) + 0.5 * length
    return MapLayout(centres, _edges(centres, centres[0], centres[-1]), "window centre",
                     counts.count, "; windows %.4g%s long" % (length, axis_unit))


def plot_grid(directory, stem, title, grid, counts, contour_grid, per_event=False,
              level=None, window=None, axis=TimeAxis()):
    """Colour map of a grid file, sparse windows grey, the window counts
    below. The contour is drawn on contour_grid (the DeltaLogLik grid
    itself), since the significance level belongs to DeltaLogLik, not to
    DeltaLogLik per event. `window` is (t1, L) when the window length is
    known, which places the windows on the events' time axis."""
    z = grid_image(grid, counts)
    mask = np.ma.getmaskarray(z)
    y = grid.y()
    periods = 10 ** y
    period_edges = 10 ** _edges(y, grid.ymin, grid.ymax)
    level = level or map_level(None, periods[0], periods[-1], None)
    unit = (" " + axis.unit) if axis.unit else ""
    return _draw_map(directory, stem, title, z, grid_layout(grid, counts, window, unit),
                     periods, period_edges, level, axis if window else TimeAxis(axis.unit),
                     per_event, np.ma.masked_array(contour_grid.z, mask=mask))


def plot_counts(directory, counts, source=COUNTS_FILE, stem=COUNTS_STEM,
                xlabel="time mark", axis=TimeAxis(), note=""):
    plt = _pyplot()
    fig, ax = plt.subplots(figsize=(9, 3.8))
    x = _time_values(counts.time_mark, axis)
    ax.plot(x, counts.count, drawstyle="steps-mid", color="C0", lw=1.2,
            marker="." if len(counts.count) <= 80 else None)
    ax.axhline(MIN_EVENTS_ESTIMATED, color="0.4", lw=0.9, ls="--",
               label="two events: fewest that are estimated")
    sparse = counts.count < MIN_EVENTS_ESTIMATED
    if sparse.any():
        ax.plot(x[sparse], counts.count[sparse], "x", color="C3", ms=6, mew=1.5,
                label="fewer than two events (grey in the diagrams)", zorder=3)
    ax.set_ylim(bottom=0)
    _time_axis(ax, axis, xlabel, note)
    ax.set_ylabel("events in the window")
    ax.set_title("Events per window (%s): %s" % (source, counted(len(counts.count), "window")),
                 fontsize=10)
    ax.legend(fontsize=8, loc="best")
    ax.grid(True, alpha=0.3)
    return _finish(plt, fig, directory, stem, tight=True)


def plot_window_map(directory, stem, title, table, level=None, axis=TimeAxis()):
    """Colour map of DeltaLogLik over window centre and period (log axis),
    windows with fewer than two distinct event times grey, the window counts
    below, a contour at `level`."""
    x, y = table.window_centre(), table.period
    z = np.ma.masked_invalid(table.delta_loglik)
    level = level or map_level(None, y[0], y[-1], None)
    length = float(np.median(table.window_end - table.window_start))
    unit = (" " + axis.unit) if axis.unit else ""
    layout = MapLayout(x, _cell_edges(x), "window centre", table.events,
                       "; windows %.4g%s long" % (length, unit))
    return _draw_map(directory, stem, title, z, layout, y, _cell_edges(y, log=True), level,
                     axis, sparse_label="window with fewer than two distinct event times")


def draw_table(table, report, events=None, events_name=None, out_dir=None,
               formats=FIGURE_FORMATS):
    """The figures of a table of periodscan-survey, beside it (or in
    `out_dir`): STEM.png and .svg (or `formats`) for a spectrum,
    STEM.time_frequency and STEM.window_counts for moving windows; `report`
    is the run's RunReport."""
    axis = report.axis
    directory, stem = os.path.split(table.stem)
    directory = Destination(out_dir or directory or ".", tuple(formats))
    name = os.path.basename(table.path)
    if isinstance(table.data, SpectrumTable):
        return plot_spectrum(directory, table.data, events, events_name,
                             report.grids[table.path].too_coarse, source=name, stem=stem,
                             assessment=report.spectra[table.path], axis=axis)
    written = plot_window_map(directory, "%s.%s" % (stem, GRID_STEM),
                              "Time-frequency diagram of DeltaLogLik (%s)" % name, table.data,
                              report.table_levels[table.path], axis)
    written += plot_counts(directory, table.data.counts(), source=name,
                           stem="%s.%s" % (stem, COUNTS_STEM), xlabel="window centre",
                           axis=axis)
    return written


def figure_paths(run, out_dir=None, formats=FIGURE_FORMATS):
    """The paths of the figures that draw_run writes for `run` (into
    `out_dir`, else beside the results), in every format."""
    stems = []
    for data, stem in ((run.spectrum, SPECTRUM_STEM), (run.grid, GRID_STEM),
                       (run.normalized, NORMALIZED_GRID_STEM), (run.counts, COUNTS_STEM)):
        if data is not None:
            stems.append(os.path.join(out_dir or run.directory, stem))
    for table in run.tables:
        stem = table.stem if out_dir is None else os.path.join(out_dir,
                                                               os.path.basename(table.stem))
        if isinstance(table.data, SpectrumTable):
            stems.append(stem)
        else:
            stems += ["%s.%s" % (stem, GRID_STEM), "%s.%s" % (stem, COUNTS_STEM)]
    return ["%s.%s" % (stem, fmt) for stem in stems for fmt in formats]


def draw_run(run, report, out_dir=None, formats=FIGURE_FORMATS):
    """Draws every figure that the result files of `run` (from
    results.read_run) give, into `out_dir` (else beside the results) in
    `formats`; returns the paths written, in order. `report`
    (report.assess_run) holds what the figures share with the summary."""
    axis = report.axis
    written = []
    destination = Destination(out_dir or run.directory, tuple(formats))
    events_name = os.path.basename(run.events_path) if run.events_path else None
    if run.spectrum is not None:
        written += plot_spectrum(destination, run.spectrum, run.events, events_name,
                                 report.grids[SPECTRUM_FILE].too_coarse,
                                 assessment=report.spectra[SPECTRUM_FILE], axis=axis)
    if run.grid is not None:
        level, window = report.grid_level, report.window
        written += plot_grid(destination, GRID_STEM,
                             "Time-frequency diagram of DeltaLogLik (%s)" % GRID_FILE,
                             run.grid, run.counts, run.grid, level=level, window=window,
                             axis=axis)
    if run.normalized is not None:
        written += plot_grid(destination, NORMALIZED_GRID_STEM,
                             "DeltaLogLik per event in the window (%s)" % NORMALIZED_GRID_FILE,
                             run.normalized, run.counts, run.grid, per_event=True,
                             level=report.grid_level, window=report.window, axis=axis)
    if run.counts is not None:
        counts = run.counts
        xlabel, note = "time mark", ""
        if report.window is not None:
            unit = (" " + axis.unit) if axis.unit else ""
            layout = grid_layout(run.grid, run.counts, report.window, unit)
            counts = WindowCounts(layout.x, run.counts.count)
            xlabel, note = layout.what, layout.note
        written += plot_counts(destination, counts, axis=axis if report.window else
                               TimeAxis(axis.unit), xlabel=xlabel, note=note)
    for table in run.tables:
        written += draw_table(table, report, table.times, events_name, out_dir, formats)
    return written
