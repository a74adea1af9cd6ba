"""Figures of the result files, each written as PNG and SVG beside them.

  spectrum                   DeltaLogLik against the period (log axis) with the
                             significance levels, the amplitude A below;
  time_frequency             DeltaLogLik over time mark and log10 T, windows
                             with fewer than two events in grey, a contour at
                             the single-period level p = 0.01;
  time_frequency_normalized  the same per event in the window;
  window_counts              events per window.

matplotlib is imported on the first figure, with the Agg back end, so that
importing this module costs nothing and needs no display.
"""

import os

import numpy as np

from .results import (COUNTS_FILE, GRID_FILE, MIN_EVENTS_ESTIMATED, NORMALIZED_GRID_FILE,
                      SPECTRUM_FILE, SpectrumTable, file_error, grid_image)
from .significance import (CONTOUR_P, SCAN_FAP, SINGLE_PERIOD_P, baluev_level, baluev_w,
                           single_period_level)
from .summary import is_too_coarse, largest_peaks

FIGURE_FORMATS = ("png", "svg")

# Salt of the ids in the SVG files: fixed, so that the same result files give
# the same SVG bytes from run to run.
SVG_HASH_SALT = "periodscan-plot"

# The spectrum's DeltaLogLik axis turns logarithmic above SYMLOG_LINEAR_UP_TO
# when a peak rises above SYMLOG_ABOVE.
SYMLOG_ABOVE = 100.0
SYMLOG_LINEAR_UP_TO = 10.0

GREY = "0.78"


def _pyplot():
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    plt.rcParams["svg.hashsalt"] = SVG_HASH_SALT
    return plt


def _save(plt, fig, directory, stem):
    written = []
    for fmt in FIGURE_FORMATS:
        path = os.path.join(directory, "%s.%s" % (stem, fmt))
        try:
            metadata = {"Date": None} if fmt == "svg" else None
            fig.savefig(path, format=fmt, dpi=120, metadata=metadata)
        except OSError as e:
            plt.close(fig)
            raise file_error(path, "cannot be written (%s)" % (e.strerror or e)) from None
        written.append(path)
    plt.close(fig)
    return written


def _period_axis(ax, t_lo, t_hi, which="x"):
    """A log period axis labelled in plain numbers: 1-2-5 steps over a few
    decades, evenly spaced ticks over less than a decade."""
    from matplotlib.ticker import (FixedLocator, FormatStrFormatter, LogLocator,
                                   MaxNLocator, NullFormatter, NullLocator)
    axis = ax.xaxis if which == "x" else ax.yaxis
    (ax.set_xscale if which == "x" else ax.set_yscale)("log")
    pad = (t_hi / t_lo) ** 0.01
    (ax.set_xlim if which == "x" else ax.set_ylim)(t_lo / pad, t_hi * pad)
    if t_hi / t_lo < 10:
        ticks = [v for v in MaxNLocator(6).tick_values(t_lo, t_hi) if t_lo <= v <= t_hi]
        axis.set_major_locator(FixedLocator(ticks))
        axis.set_minor_locator(NullLocator())
    elif t_hi / t_lo < 1e4:
        axis.set_major_locator(LogLocator(subs=(1.0, 2.0, 5.0)))
    else:
        return
    axis.set_major_formatter(FormatStrFormatter("%g"))
    axis.set_minor_formatter(NullFormatter())


def plot_spectrum(directory, spectrum, events=None, events_name=None, coarse=False,
                  source=SPECTRUM_FILE, stem="spectrum"):
    plt = _pyplot()
    t, z, a = spectrum.period, spectrum.delta_loglik, spectrum.amplitude
    fig, (top, bottom) = plt.subplots(2, 1, sharex=True, figsize=(9, 6.5),
                                      gridspec_kw={"height_ratios": [2, 1]})
    top.plot(t, z, color="C0", lw=1.2, marker="." if len(t) <= 80 else None, ms=4)
    for p, style in zip(SINGLE_PERIOD_P, (":", "--", "-.")):
        top.axhline(single_period_level(p), color="0.35", lw=0.9, ls=style,
                    label="p = %g at one period (DeltaLogLik = ln %d)" % (p, round(1 / p)))
    if events is not None:
        w = baluev_w(1 / t[-1], 1 / t[0], float(np.var(events)))
        for alpha, style in zip(SCAN_FAP, ("--", "-")):
            top.axhline(baluev_level(alpha, w), color="C3", lw=1.1, ls=style,
                        label="%g %% false alarm over all periods" % (100 * alpha))
    peaks = largest_peaks(spectrum)
    for rank, i in enumerate(peaks, start=1):
        top.annotate("%d" % rank, (t[i], z[i]), textcoords="offset points", xytext=(0, 4),
                     ha="center", fontsize=8, color="C0")
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
        top.set_ylabel("DeltaLogLik (linear up to %g, logarithmic above)" % SYMLOG_LINEAR_UP_TO)
    else:
        top.set_ylabel("DeltaLogLik")
    title = "Spectrum (%s): %d periods" % (source, len(t))
    if events_name:
        title += ", events from %s" % events_name
    fig.suptitle(title, fontsize=10)
    if coarse:
        top.set_title("period grid too coarse: a peak narrower than its step can be missed",
                      fontsize=9, color="C3")
    top.legend(fontsize=8, loc="best")
    top.grid(True, which="major", alpha=0.3)
    bottom.plot(t, a, color="C2", lw=1.2, marker="." if len(t) <= 80 else None, ms=4)
    bottom.set_ylabel("amplitude A")
    bottom.set_ylim(min(0.0, float(np.nanmin(a)) if np.isfinite(a).any() else 0.0), 1.05)
    bottom.set_xlabel("period T")
    bottom.grid(True, which="major", alpha=0.3)
    _period_axis(bottom, t[0], t[-1])
    fig.tight_layout()
    return _save(plt, fig, directory, stem)


def _edges(centres, lo, hi):
    """Cell edges around evenly spaced centres; a single cell gets a width of
    one unit so that it still shows."""
    if len(centres) == 1:
        return np.array([lo - 0.5, lo + 0.5])
    half = (hi - lo) / (len(centres) - 1) / 2
    return np.concatenate(([centres[0] - half], centres + half))


def plot_grid(directory, stem, title, grid, counts, contour_grid, per_event=False):
    """Colour map of a grid file, sparse windows grey. The contour is drawn on
    contour_grid (the DeltaLogLik grid itself), since the significance level
    belongs to DeltaLogLik, not to DeltaLogLik per event."""
    plt = _pyplot()
    from matplotlib.lines import Line2D
    from matplotlib.patches import Patch
    x, y = grid.x(), grid.y()
    z = grid_image(grid, counts)
    mask = np.ma.getmaskarray(z)
    cmap = plt.get_cmap("viridis").copy()
    cmap.set_bad(GREY)
    fig, ax = plt.subplots(figsize=(9, 5.5))
    lo, hi = (float(z.min()), float(z.max())) if z.count() else (0.0, 1.0)
    if hi <= lo:
        hi = lo + 1.0
    mesh = ax.pcolormesh(_edges(x, grid.xmin, grid.xmax), _edges(y, grid.ymin, grid.ymax), z,
                         cmap=cmap, vmin=lo, vmax=hi, shading="flat")
    bar = fig.colorbar(mesh, ax=ax)
    bar.set_label("DeltaLogLik per event in the window" if per_event else "DeltaLogLik")
    handles = []
    level = single_period_level(CONTOUR_P)
    if grid.nx >= 2 and grid.ny >= 2:
        raw = np.ma.masked_array(contour_grid.z, mask=mask)
        reached = bool(raw.count()) and raw.max() > level
        if reached:
            ax.contour(x, y, raw, levels=[level], colors="red", linewidths=1.0)
        handles.append(Line2D([], [], color="red", lw=1.0,
                              label="DeltaLogLik = ln 100 (p = 0.01 at one period)%s"
                              % ("" if reached else ": reached nowhere")))
    if mask.any():
        handles.append(Patch(color=GREY, label="window with fewer than two events"))
    if handles:
        ax.legend(handles=handles, fontsize=8, loc="upper left", framealpha=0.85)
    ax.set_xlabel("time mark (right-hand end of the window, shifted by M)")
    ax.set_ylabel("log10 T (period)")
    ax.set_title(title, fontsize=10)
    fig.tight_layout()
    return _save(plt, fig, directory, stem)


def plot_counts(directory, counts, source=COUNTS_FILE, stem="window_counts",
                xlabel="time mark"):
    plt = _pyplot()
    fig, ax = plt.subplots(figsize=(9, 3.8))
    ax.plot(counts.time_mark, counts.count, drawstyle="steps-mid", color="C0", lw=1.2,
            marker="." if len(counts.count) <= 80 else None)
    ax.axhline(MIN_EVENTS_ESTIMATED, color="0.4", lw=0.9, ls="--",
               label="two events: fewest that are estimated")
    sparse = counts.count < MIN_EVENTS_ESTIMATED
    if sparse.any():
        ax.plot(counts.time_mark[sparse], counts.count[sparse], "x", color="C3", ms=6, mew=1.5,
                label="fewer than two events (grey in the diagrams)", zorder=3)
    ax.set_ylim(bottom=0)
    ax.set_xlabel(xlabel)
    ax.set_ylabel("events in the window")
    ax.set_title("Events per window (%s): %d windows" % (source, len(counts.count)),
                 fontsize=10)
    ax.legend(fontsize=8, loc="best")
    ax.grid(True, alpha=0.3)
    fig.tight_layout()
    return _save(plt, fig, directory, stem)


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


def plot_window_map(directory, stem, title, table):
    """Colour map of DeltaLogLik over window centre and period (log axis),
    windows with fewer than two distinct event times grey, a contour at the
    single-period level p = 0.01."""
    plt = _pyplot()
    from matplotlib.lines import Line2D
    from matplotlib.patches import Patch
    x, y = table.window_centre(), table.period
    z = np.ma.masked_invalid(table.delta_loglik)
    cmap = plt.get_cmap("viridis").copy()
    cmap.set_bad(GREY)
    fig, ax = plt.subplots(figsize=(9, 5.5))
    lo, hi = (float(z.min()), float(z.max())) if z.count() else (0.0, 1.0)
    if hi <= lo:
        hi = lo + 1.0
    mesh = ax.pcolormesh(_cell_edges(x), _cell_edges(y, log=True), z, cmap=cmap, vmin=lo,
                         vmax=hi, shading="flat")
    fig.colorbar(mesh, ax=ax).set_label("DeltaLogLik")
    handles = []
    level = single_period_level(CONTOUR_P)
    if len(x) >= 2 and len(y) >= 2:
        reached = bool(z.count()) and z.max() > level
        if reached:
            ax.contour(x, y, z, levels=[level], colors="red", linewidths=1.0)
        handles.append(Line2D([], [], color="red", lw=1.0,
                              label="DeltaLogLik = ln 100 (p = 0.01 at one period)%s"
                              % ("" if reached else ": reached nowhere")))
    if np.ma.getmaskarray(z).any():
        handles.append(Patch(color=GREY, label="window with fewer than two distinct event times"))
    if handles:
        ax.legend(handles=handles, fontsize=8, loc="upper left", framealpha=0.85)
    _period_axis(ax, y[0], y[-1], which="y")
    ax.set_xlabel("window centre")
    ax.set_ylabel("period T")
    ax.set_title(title, fontsize=10)
    fig.tight_layout()
    return _save(plt, fig, directory, stem)


def draw_table(table, events=None, events_name=None):
    """The figures of a table of periodscan-survey, beside it: STEM.png and
    .svg for a spectrum, STEM.time_frequency and STEM.window_counts for
    moving windows."""
    directory, stem = os.path.split(table.stem)
    directory = directory or "."
    name = os.path.basename(table.path)
    if isinstance(table.data, SpectrumTable):
        return plot_spectrum(directory, table.data, events, events_name,
                             is_too_coarse(table.data, events), source=name, stem=stem)
    written = plot_window_map(directory, stem + ".time_frequency",
                              "Time-frequency diagram of DeltaLogLik (%s)" % name, table.data)
    written += plot_counts(directory, table.data.counts(), source=name,
                           stem=stem + ".window_counts", xlabel="window centre")
    return written


def draw_run(run):
    """Draws every figure that the result files of `run` (from
    results.read_run) give; returns the paths written, in order."""
    written = []
    events_name = os.path.basename(run.events_path) if run.events_path else None
    if run.spectrum is not None:
        written += plot_spectrum(run.directory, run.spectrum, run.events, events_name,
                                 is_too_coarse(run.spectrum, run.events))
    if run.grid is not None:
        written += plot_grid(run.directory, "time_frequency",
                             "Time-frequency diagram of DeltaLogLik (%s)" % GRID_FILE,
                             run.grid, run.counts, run.grid)
    if run.normalized is not None:
        written += plot_grid(run.directory, "time_frequency_normalized",
                             "DeltaLogLik per event in the window (%s)" % NORMALIZED_GRID_FILE,
                             run.normalized, run.counts, run.grid, per_event=True)
    if run.counts is not None:
        written += plot_counts(run.directory, run.counts)
    for table in run.tables:
        written += draw_table(table, run.events, events_name)
    return written
