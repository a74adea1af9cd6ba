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

import datetime
import os
import re
from dataclasses import dataclass
from typing import NamedTuple

import numpy as np

from .eventfile import DAYS_PER_UNIT, TimeAxis
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

# The largest magnitude drawn; larger values of a table are drawn at it.
DRAWN_LIMIT = 1e300

# What the axes say of times whose unit the event file does not give.
UNKNOWN_UNIT = "time units of the event file"

# Spectra of more periods than ENVELOPE_ABOVE are drawn as their envelope
# over ENVELOPE_COLUMNS columns of equal width in log T (about one a pixel of
# the PNG): the largest value of each column, so that no peak narrower than
# a pixel is lost, over the band down to the smallest.
ENVELOPE_ABOVE = 3000
ENVELOPE_COLUMNS = 1000

# Peaks labelled on the spectrum: the summary's, then the next largest up to
# this many. Their labels stand in rows at the top of the axes (PEAK_ROW_TOP
# below the top, PEAK_ROW_HEIGHT apart, in fractions of the axes' height),
# at least PEAK_GAP points apart, in as few rows as they fit, at most
# PEAK_ROWS; more rows where one would move a label further than PEAK_MOVE
# of the axes' width from its peak.
PEAKS_LABELLED = 10
PEAK_FONT = 8
PEAK_GAP = 4
PEAK_ROWS = 3
PEAK_ROW_TOP = 0.02
PEAK_ROW_HEIGHT = 0.075
PEAK_MOVE = 0.06
LEVEL_FONT = 7.5
MARK_FONT = 7

# Tidal and calendar periods marked on the spectrum, in days.
PERIOD_MARKS = (("S2", 0.5), ("M2", 12.4206 / 24), ("N2", 12.6583 / 24), ("K1", 23.9345 / 24),
                ("day", 1.0), ("O1", 25.8193 / 24), ("week", 7.0), ("Mf", 13.661),
                ("Mm", 27.555), ("Ssa", 182.62), ("Sa", 365.26))

# A rate maximum is given as a clock time (or weekday, or date in the year)
# when the period is within this fraction of a day (a week, a year).
CLOCK_TOLERANCE = 0.03


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
        ax.set_xlabel(what + _unit_suffix(axis) + note)


def _unit_suffix(axis):
    """" (days)" for axis labels; where the event file gives no unit, says
    that the numbers are its own."""
    return axis.suffix() or " (%s)" % UNKNOWN_UNIT


def _spread(wanted, sizes, lo, hi, gap):
    """Centres for labels of `sizes` wanted at `wanted` (display units) along
    one line: no two closer than their half sizes plus `gap`, all inside
    [lo, hi], each run of crowded labels centred on the mean of what its
    labels want. Returns (centres, fits), fits False when the labels do not
    all fit between lo and hi. Deterministic: the same input, the same
    layout."""
    order = sorted(range(len(wanted)), key=lambda k: (wanted[k], k))
    # Runs of labels laid side by side: [members, start].
    runs = []

    def place(members):
        total = sum(sizes[k] for k in members) + gap * (len(members) - 1)
        start = sum(wanted[k] for k in members) / len(members) - total / 2
        return [members, min(max(start, lo), max(hi - total, lo)), total]

    for k in order:
        runs.append(place([k]))
        while len(runs) > 1 and runs[-2][1] + runs[-2][2] + gap > runs[-1][1]:
            last = runs.pop()
            runs[-1] = place(runs[-1][0] + last[0])
    centres = [0.0] * len(wanted)
    for members, start, total in runs:
        for k in members:
            centres[k] = start + sizes[k] / 2
            start += sizes[k] + gap
    fits = not runs or (runs[0][1] >= lo - 0.5 and runs[-1][1] + runs[-1][2] <= hi + 0.5)
    return centres, fits


def _renderer(fig):
    """A renderer to measure texts with: the canvas's own where it has one
    (Agg), else an Agg renderer of the figure's size, since a session's
    back end (SVG, PDF, a notebook's) may not lend one."""
    get = getattr(fig.canvas, "get_renderer", None)
    if get is not None:
        return get()
    from matplotlib.backends.backend_agg import RendererAgg
    return RendererAgg(fig.bbox.width, fig.bbox.height, fig.dpi)


def _text_sizes(fig, texts, fontsize):
    """(width, height) in display units of each text as drawn at fontsize."""
    renderer = _renderer(fig)
    sizes = []
    for content in texts:
        probe = fig.text(0, 0, content, fontsize=fontsize)
        box = probe.get_window_extent(renderer)
        sizes.append((box.width, box.height))
        probe.remove()
    return sizes


def _envelope(x, y, columns):
    """The curve y(x) reduced to `columns` columns of equal width in log x:
    per column the x of its largest y, the largest y and the smallest one
    (non-finite values passed over; nan for a column without a finite one).
    Every local maximum that is the largest of its column is kept exactly."""
    lx = np.log(x)
    if not lx[-1] > lx[0]:
        return x, y, y
    column = np.minimum(((lx - lx[0]) / (lx[-1] - lx[0]) * columns).astype(int), columns - 1)
    finite = np.isfinite(y)
    high = np.where(finite, y, -np.inf)
    low = np.where(finite, y, np.inf)
    starts = np.concatenate(([0], np.nonzero(np.diff(column))[0] + 1))
    ends = np.concatenate((starts[1:], [len(y)]))
    order = np.lexsort((high, column))
    top = order[ends - 1]
    y_max = high[top]
    y_min = np.minimum.reduceat(low, starts)
    empty = ~np.isfinite(y_max)
    return x[top], np.where(empty, np.nan, y_max), np.where(empty, np.nan, y_min)


def _draw_curve(ax, t, values, color):
    """The curve, or above ENVELOPE_ABOVE periods its envelope per column
    (about a pixel): the maxima as a line over the band down to the minima."""
    if len(t) <= ENVELOPE_ABOVE:
        ax.plot(t, values, color=color, lw=1.2, marker="." if len(t) <= 80 else None, ms=4)
        return
    x, high, low = _envelope(t, values, ENVELOPE_COLUMNS)
    ax.fill_between(x, low, high, color=color, alpha=0.25, lw=0)
    ax.plot(x, high, color=color, lw=0.8)


def _period_marks(axis, t_lo, t_hi):
    """(name, period in the time unit) of the tidal and calendar periods
    within [t_lo, t_hi]; none when the time unit is not known."""
    if axis.unit not in DAYS_PER_UNIT:
        return []
    per_day = 1 / DAYS_PER_UNIT[axis.unit]
    return [(name, days * per_day) for name, days in PERIOD_MARKS
            if t_lo <= days * per_day <= t_hi]


def _clock_text(period, t_max, axis):
    """The time of the rate maximum as the clock reads it where the period is
    near half a day, a day, a week or a year and the times have a calendar,
    else None."""
    if not axis.has_calendar:
        return None
    days = period * DAYS_PER_UNIT[axis.unit]
    when = axis.to_datetime(t_max).item()
    if not isinstance(when, datetime.datetime):
        return None
    if abs(days - 0.5) <= CLOCK_TOLERANCE * 0.5:
        times = sorted(w.strftime("%H:%M") for w in (when, when + datetime.timedelta(hours=12)))
        return "at %s and %s UTC every day" % tuple(times)
    for cycle, form in ((1.0, "at %H:%M UTC every day"), (7.0, "on %a %H:%M UTC every week"),
                        (365.25, "on %d %b every year")):
        if abs(days - cycle) <= CLOCK_TOLERANCE * cycle:
            return when.strftime(form)
    return None


def _rate_maximum_text(rank, period, t_max, axis):
    unit = (" " + axis.short_unit()) if axis.short_unit() else ""
    head = "peak %d (T = %.6g%s): rate maximum\n" % (rank, period, unit)
    clock = _clock_text(period, t_max, axis)
    if clock:
        return head + clock
    if axis.has_calendar:
        return head + "at %s + k T" % axis.date_text(t_max)
    return head + "at t = %.6g%s + k T" % (t_max, unit)


def _rate_maxima(spectrum, peaks, assessment):
    """(rank, index, time of the rate maximum) for the significant peaks that
    are not side lobes, or for the highest peak alone where no significance
    is known: from the events where they were given, else from the table's
    peak_time column."""
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
            out.append((rank, i, assessment.peak_times[i]))
        elif isinstance(spectrum, SpectrumTable) and np.isfinite(spectrum.peak_time[i]):
            out.append((rank, i, float(spectrum.peak_time[i])))
    return out[:RATE_MAXIMA_SHOWN]


def _labelled_peaks(spectrum, assessment):
    """The peaks to label, largest first: the assessment's (as the summary
    numbers them), then the next largest up to PEAKS_LABELLED."""
    peaks = list(assessment.peaks) if assessment is not None else []
    for i in largest_peaks(spectrum, PEAKS_LABELLED):
        if len(peaks) >= PEAKS_LABELLED:
            break
        if i not in peaks:
            peaks.append(i)
    return peaks


def _significance_levels(t, events, assessment):
    """(DeltaLogLik, colour, line style, width, alpha, short label) of the
    levels drawn across the spectrum."""
    levels = []
    for p, style in zip(SINGLE_PERIOD_P, (":", (0, (4, 4)), (0, (8, 3, 2, 3)))):
        levels.append((single_period_level(p), "0.45", style, 0.9, 1.0,
                       "p = %g, one period" % p))
    if events is None:
        return levels
    clustered = assessment is not None and assessment.clustered
    kappa = assessment.kappa_value if assessment is not None else None
    w = baluev_w(1 / t[-1], 1 / t[0], float(np.var(events)))
    for alpha, style in zip(SCAN_FAP, ("--", "-")):
        levels.append((baluev_level(alpha, w), "C3", style, 1.1, 0.5 if clustered else 1.0,
                       "FAP %g %%%s" % (100 * alpha, " (n/a)" if clustered else "")))
    if kappa is not None:
        for alpha, style in zip(SCAN_FAP, ((0, (6, 2, 1, 2)), (0, (3, 1, 1, 1, 1, 1)))):
            levels.append((kappa * baluev_level(alpha, w), "C4", style, 1.4, 1.0,
                           "FAP %g %% x kappa" % (100 * alpha)))
    return levels


def _level_key(events, assessment):
    """The lines explaining the short labels of the levels."""
    if events is None:
        return ["p: at one period", "(give --events for the",
                "levels over all periods)"]
    lines = ["p: at one period", "FAP: false alarm over", "all periods, Poisson"]
    if assessment is not None and assessment.clustered:
        lines.append("(n/a: clustered)")
    if assessment is not None and assessment.kappa_value is not None:
        lines += ["x kappa: times only,", "kappa = %.3g at Tmin/4" % assessment.kappa_value,
                  "(for reference)"]
    return lines


def _headroom(ax, data_top, fraction):
    """Raises the top of the y axis so that data_top stands at `fraction` of
    the axes' height, on its linear or symlog scale."""
    bottom = ax.get_ylim()[0]
    forward = ax.yaxis.get_transform()
    lo, hi = forward.transform(np.array([bottom, data_top]))
    if not hi > lo:
        return
    with np.errstate(over="ignore"):
        top = float(forward.inverted().transform(np.array([lo + (hi - lo) / fraction]))[0])
    # Near the largest double the room runs out rather than the axis.
    ax.set_ylim(bottom, top if np.isfinite(top) else float(np.finfo(float).max))


def _label_peaks(fig, ax, t, z, peaks, texts, colours, rows):
    """Writes the peak labels in `rows` rows at the top of the axes, spread
    apart, each with a thin leader line to its peak."""
    if not peaks:
        return
    sizes = _text_sizes(fig, texts, PEAK_FONT)
    box = ax.get_window_extent()
    gap = PEAK_GAP * fig.dpi / 72
    wanted = [ax.transData.transform((t[i], z[i]))[0] for i in peaks]
    by_x = sorted(range(len(peaks)), key=lambda k: (wanted[k], k))
    for row in range(rows):
        members = by_x[row::rows]
        centres, _ = _spread([wanted[k] for k in members], [sizes[k][0] for k in members],
                             box.x0 + 2, box.x1 - 2, gap)
        y = 1 - PEAK_ROW_TOP - row * PEAK_ROW_HEIGHT
        for k, x in zip(members, centres):
            i = peaks[k]
            ax.annotate(texts[k], (t[i], z[i]), xytext=((x - box.x0) / box.width, y),
                        textcoords="axes fraction", ha="center", va="top", fontsize=PEAK_FONT,
                        color=colours[k], annotation_clip=False,
                        bbox=dict(boxstyle="square,pad=0.1", fc="white", ec="none"),
                        arrowprops=dict(arrowstyle="-", color="0.55", lw=0.6,
                                        shrinkA=0, shrinkB=2))


def _peak_rows(fig, ax, t, z, peaks, texts):
    """The fewest rows (up to PEAK_ROWS) in which the peak labels fit across
    the axes."""
    if not peaks:
        return 0
    widths = [w for w, _ in _text_sizes(fig, texts, PEAK_FONT)]
    box = ax.get_window_extent()
    gap = PEAK_GAP * fig.dpi / 72
    wanted = [ax.transData.transform((t[i], z[i]))[0] for i in peaks]
    by_x = sorted(range(len(peaks)), key=lambda k: (wanted[k], k))
    for rows in range(1, PEAK_ROWS):
        fits = True
        for row in range(rows):
            members = by_x[row::rows]
            centres, fit = _spread([wanted[k] for k in members], [widths[k] for k in members],
                                   box.x0 + 2, box.x1 - 2, gap)
            moved = max(abs(c - wanted[k]) for c, k in zip(centres, members))
            fits = fits and fit and moved <= PEAK_MOVE * box.width
        if fits:
            return rows
    return PEAK_ROWS


def _place_levels(fig, ax, texts, levels):
    """Moves the labels of the levels, right of the axes, apart in height."""
    renderer = _renderer(fig)
    box = ax.get_window_extent()
    heights = [text.get_window_extent(renderer).height for text in texts]
    wanted = [ax.transData.transform((1.0, level))[1] for level in levels]
    centres, _ = _spread(wanted, heights, box.y0, box.y1, 2.0)
    for text, y in zip(texts, centres):
        text.set_transform(ax.transAxes)
        text.set_y((y - box.y0) / box.height)


def _mark_periods(fig, panels, strip, marks):
    """Thin dotted lines at the tidal and calendar periods across the
    panels, labelled in the strip between them with leaders where labels
    had to move apart."""
    for ax in panels:
        for _, period in marks:
            ax.axvline(period, color="0.55", lw=0.7, ls=":", zorder=0.5)
    names = [name for name, _ in marks]
    sizes = _text_sizes(fig, names, MARK_FONT)
    box = strip.get_window_extent()
    wanted = [strip.transData.transform((period, 0))[0] for _, period in marks]
    centres, _ = _spread(wanted, [w for w, _ in sizes], box.x0, box.x1, 3 * fig.dpi / 72)
    for (name, period), x in zip(marks, centres):
        xf = (x - box.x0) / box.width
        strip.annotate(name, (period, 1.0), xycoords=("data", "axes fraction"),
                       xytext=(xf, 0.5), textcoords="axes fraction", ha="center",
                       va="center", fontsize=MARK_FONT, color="0.3", annotation_clip=False,
                       arrowprops=dict(arrowstyle="-", color="0.55", lw=0.6, shrinkA=1,
                                       shrinkB=0))
        strip.annotate("", (period, 0.0), xycoords=("data", "axes fraction"),
                       xytext=(xf, 0.2), textcoords="axes fraction", annotation_clip=False,
                       arrowprops=dict(arrowstyle="-", color="0.55", lw=0.6, shrinkA=0,
                                       shrinkB=0))


def plot_spectrum(directory, spectrum, events=None, events_name=None, coarse=False,
                  source=SPECTRUM_FILE, stem=SPECTRUM_STEM, assessment=None, axis=TimeAxis(),
                  period_marks=True):
    """Draws the spectrum figure and writes it as `stem` in `directory`."""
    fig = spectrum_figure(spectrum, events, events_name, coarse, source, assessment, axis,
                          period_marks)
    return _save(_pyplot(), fig, directory, stem)


def spectrum_figure(spectrum, events=None, events_name=None, coarse=False,
                    source=SPECTRUM_FILE, assessment=None, axis=TimeAxis(), period_marks=True):
    """The spectrum figure (a matplotlib Figure, not written anywhere):
    `spectrum` has period (growing), delta_loglik and amplitude; `events` the
    times, for the levels over all periods; `assessment` the spectrum's
    assessment.Assessment; `period_marks` marks the tidal and calendar
    periods within the band where the time unit is known."""
    plt = _pyplot()
    # matplotlib's transforms overflow on values near the largest double:
    # such values are drawn at DRAWN_LIMIT.
    t = spectrum.period
    z, a = (np.where(np.isfinite(v), np.clip(v, -DRAWN_LIMIT, DRAWN_LIMIT), v)
            for v in (spectrum.delta_loglik, spectrum.amplitude))
    marks = _period_marks(axis, t[0], t[-1]) if period_marks else []
    if marks:
        fig, (top, strip, bottom) = plt.subplots(
            3, 1, sharex=True, figsize=(11.5, 7.0),
            gridspec_kw={"height_ratios": [2, 0.13, 1], "hspace": 0.0})
        strip.axis("off")
    else:
        fig, (top, bottom) = plt.subplots(2, 1, sharex=True, figsize=(11.5, 6.8),
                                          gridspec_kw={"height_ratios": [2, 1]})
        strip = None
    _draw_curve(top, t, z, "C0")
    levels = _significance_levels(t, events, assessment)
    level_texts = []
    for value, colour, style, width, alpha, label in levels:
        top.axhline(value, color=colour, lw=width, ls=style, alpha=alpha)
        level_texts.append(top.text(1.008, value, label, transform=top.get_yaxis_transform(),
                                    fontsize=LEVEL_FONT, color=colour, va="center",
                                    clip_on=False))
    clustered = assessment is not None and assessment.clustered
    peaks = _labelled_peaks(spectrum, assessment)
    flags = assessment.flags if assessment is not None else []
    texts, colours = [], []
    for rank, i in enumerate(peaks, start=1):
        words = flags[rank - 1].labels() if rank <= len(flags) else []
        words = [FIGURE_FLAG_WORDS.get(w, w) for w in words]
        texts.append("%d" % rank + (" (%s)" % ", ".join(words) if words else ""))
        colours.append("0.35" if words else "C0")
    handles = []
    summary_peaks = assessment.peaks if assessment is not None else peaks[:1]
    for (rank, i, t_max), marker in zip(_rate_maxima(spectrum, summary_peaks, assessment),
                                        RATE_MAXIMA_MARKERS):
        handles += top.plot([t[i]], [z[i]], marker=marker, color="C1", ms=6, ls="none",
                            label=_rate_maximum_text(rank, t[i], t_max, axis))
    finite = z[np.isfinite(z)]
    data_top = max(([float(finite.max())] if finite.size else []) +
                   [value for value, *_ in levels] or [1.0])
    if finite.size and finite.max() > SYMLOG_ABOVE:
        # A strong peak would squash the significance levels onto the axis.
        from matplotlib.ticker import FixedLocator, FormatStrFormatter, NullLocator
        top.set_yscale("symlog", linthresh=SYMLOG_LINEAR_UP_TO, linscale=1.5)
        decades = int(np.log10(min(data_top, DRAWN_LIMIT)))
        if decades <= 4:
            ticks = [0, 2, 4, 6, 8] + [m * 10.0 ** e for e in range(1, 6) for m in (1, 2, 5)]
        else:
            # Over many decades only powers of ten, at most about ten of them.
            ticks = [0, 5] + [10.0 ** e for e in range(1, decades + 2, -(-decades // 9))]
        top.yaxis.set_major_locator(FixedLocator([v for v in ticks if v <= 1.05 * data_top]))
        top.yaxis.set_major_formatter(FormatStrFormatter("%g"))
        top.yaxis.set_minor_locator(NullLocator())
        top.set_ylabel("DeltaLogLik (linear up to %g,\nlogarithmic above)" % SYMLOG_LINEAR_UP_TO)
    else:
        top.set_ylabel("DeltaLogLik (gain in log-likelihood)")
    # From 0 (or the lowest value) to the highest line; the room for the
    # labels is added above it once they are laid out.
    low = min(0.0, float(finite.min())) if finite.size else 0.0
    top.set_ylim(low, data_top if data_top > low else low + 1.0)
    title = "Spectrum (%s): %d periods" % (source, len(t))
    if events_name:
        title += ", events from %s" % events_name
    if len(t) > ENVELOPE_ABOVE:
        title += "; per pixel column its largest value (line) and range (band)"
    fig.suptitle(title, fontsize=10)
    notes = []
    if coarse:
        notes.append("period grid too coarse: a peak narrower than its step can be missed")
    if clustered:
        notes.append("clustered catalogue (mean DeltaLogLik %.3g > %.3g): the Poisson levels "
                     "do not apply" % (assessment.check.mean, assessment.check.level))
    if notes:
        top.set_title("\n".join(notes), fontsize=9, color="C3")
    top.grid(True, which="major", alpha=0.3)
    _draw_curve(bottom, t, a, "C2")
    bottom.set_ylabel("amplitude A\n(fraction of the mean rate)")
    a_top = float(np.nanmax(a)) if np.isfinite(a).any() else 1.0
    # Weak amplitudes get an axis of their own size; strong ones the whole range to 1.
    bottom.set_ylim(min(0.0, float(np.nanmin(a)) if np.isfinite(a).any() else 0.0),
                    1.05 if a_top > 0.5 else 1.2 * a_top if a_top > 0 else 1.05)
    bottom.set_xlabel("period T" + _unit_suffix(axis))
    bottom.grid(True, which="major", alpha=0.3)
    _period_axis(bottom, t[0], t[-1])
    key = "\n".join(_level_key(events, assessment))
    bottom.legend(handles=handles, fontsize=LEVEL_FONT, loc="upper left",
                  bbox_to_anchor=(1.01, 1.0), borderaxespad=0, title=key,
                  title_fontsize=LEVEL_FONT, alignment="left", frameon=False)
    _printable(fig)
    # The labels of the peaks take the top rows of the axes, above every
    # line: as many rows as they need, then the layout.
    fig.tight_layout()
    rows = _peak_rows(fig, top, t, z, peaks, texts)
    _headroom(top, data_top, 1 - PEAK_ROW_TOP - rows * PEAK_ROW_HEIGHT - 0.03)
    fig.tight_layout()
    if strip is not None:
        fig.subplots_adjust(hspace=0.0)
    _label_peaks(fig, top, t, z, peaks, texts, colours, rows)
    _place_levels(fig, top, level_texts, [value for value, *_ in levels])
    if marks:
        _mark_periods(fig, (top, bottom), strip, marks)
    _printable(fig)
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
    handles = []
    if len(x) >= 2 and len(periods) >= 2:
        reached = bool(contour_z.count()) and contour_z.max() > level.level
        if reached:
            ax.contour(x, periods, contour_z, levels=[level.level], colors="red",
                       linewidths=1.2)
        label = _per_event_label(level, layout.counts) if per_event else level.label
        handles.append(Line2D([], [], color="red", lw=1.2, label=label + (
            "" if reached else " (reached nowhere)")))
    if np.ma.getmaskarray(z).any():
        handles.append(Patch(color=GREY, label=sparse_label))
    if handles:
        # Above the map, never over it.
        ax.legend(handles=handles, fontsize=7, loc="lower left", bbox_to_anchor=(0.0, 1.005),
                  borderaxespad=0, frameon=False)
    _period_axis(ax, periods[0], periods[-1], which="y")
    ax.set_ylabel("period T" + _unit_suffix(axis))
    fig.suptitle(title, fontsize=10, y=0.985)
    low.step(x, layout.counts, where="mid", color="C0", lw=1.2)
    sparse = layout.counts < MIN_EVENTS_ESTIMATED
    if sparse.any():
        low.plot(x[sparse], layout.counts[sparse], "x", color="C3", ms=5, mew=1.3)
    low.set_ylim(bottom=0)
    low.set_ylabel("events in\nthe window")
    low.grid(True, alpha=0.3)
    low.set_xlim(xe[0], xe[-1])
    _time_axis(low, axis, layout.what, layout.note)
    fig.subplots_adjust(left=0.09, right=0.86, top=0.93 - 0.03 * len(handles), bottom=0.09,
                        hspace=0.08)
    box = ax.get_position()
    bar = fig.colorbar(mesh, cax=fig.add_axes((0.88, box.y0, 0.025, box.height)))
    bar.set_label("DeltaLogLik per event in the window" if per_event else "DeltaLogLik")
    return _finish(plt, fig, directory, stem)


def _per_event_label(level, counts):
    """The label of the contour on the map per event: the level of
    DeltaLogLik divided by the events of each window, with its range over
    the windows fitted."""
    head = level.label.rsplit(": ", 1)[0] if ": " in level.label else level.label
    fitted = np.asarray(counts, dtype=float)
    fitted = fitted[fitted >= MIN_EVENTS_ESTIMATED]
    own = "DeltaLogLik %.3g / events in the window" % level.level
    if not fitted.size:
        return "%s: %s" % (head, own)
    low, high = level.level / fitted.max(), level.level / fitted.min()
    per_event = "%.3g" % low if np.isclose(low, high) else "%.3g to %.3g" % (low, high)
    return "%s: %s per event\n(%s)" % (head, per_event, own)


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
               formats=FIGURE_FORMATS, period_marks=True):
    """The figures of a table of periodscan-survey, beside it (or in
    `out_dir`): STEM.png and .svg (or `formats`) for a spectrum,
    STEM.time_frequency and STEM.window_counts for moving windows; `report`
    is the run's RunReport; `period_marks` marks the tidal and calendar
    periods on a spectrum."""
    axis = report.axis
    directory, stem = os.path.split(table.stem)
    directory = Destination(out_dir or directory or ".", tuple(formats))
    name = os.path.basename(table.path)
    if isinstance(table.data, SpectrumTable):
        return plot_spectrum(directory, table.data, events, events_name,
                             report.grids[table.path].too_coarse, source=name, stem=stem,
                             assessment=report.spectra[table.path], axis=axis,
                             period_marks=period_marks)
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


def draw_run(run, report, out_dir=None, formats=FIGURE_FORMATS, period_marks=True):
    """Draws every figure that the result files of `run` (from
    results.read_run) give, into `out_dir` (else beside the results) in
    `formats`; returns the paths written, in order. `report`
    (report.assess_run) holds what the figures share with the summary;
    `period_marks` marks the tidal and calendar periods on the spectra."""
    axis = report.axis
    written = []
    destination = Destination(out_dir or run.directory, tuple(formats))
    events_name = os.path.basename(run.events_path) if run.events_path else None
    if run.spectrum is not None:
        written += plot_spectrum(destination, run.spectrum, run.events, events_name,
                                 report.grids[SPECTRUM_FILE].too_coarse,
                                 assessment=report.spectra[SPECTRUM_FILE], axis=axis,
                                 period_marks=period_marks)
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
        written += draw_table(table, report, table.times, events_name, out_dir, formats,
                              period_marks)
    return written
