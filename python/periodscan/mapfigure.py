"""The figure of periodscan-map: on the left the cells coloured by log10 of
the false-alarm probability of their highest peak (cells left out hatched,
those below 1 % outlined), on the right the density of the events over the
same ground with the cells' edges."""

import math

import numpy as np

# The colour scale reaches at least down to this log10 FAP, and at most
# down to FLOOR (lower ones take its colour).
LOWEST_SHOWN = -3.0
FLOOR = -8.0
# Squares of the density panel per cell side (grid), or across the events
# (regions).
DENSITY_PER_CELL = 5
DENSITY_ACROSS = 120
MARKED_FAP = 0.01


def _cell_path(cell):
    from matplotlib.path import Path
    if not cell.rings:
        x0, x1, y0, y1 = cell.lon_min, cell.lon_max, cell.lat_min, cell.lat_max
        return Path([(x0, y0), (x1, y0), (x1, y1), (x0, y1), (x0, y0)], closed=True)
    return Path.make_compound_path(*[Path(np.column_stack([x, y]), closed=True)
                                     for x, y in cell.rings])


def _density_bins(layout, lon, lat):
    if layout.cell_size is not None:
        step = layout.cell_size / DENSITY_PER_CELL
        x = layout.lon0 + step * np.arange(layout.columns * DENSITY_PER_CELL + 1)
        y = layout.lat0 + step * np.arange(layout.rows * DENSITY_PER_CELL + 1)
        return x, y, "%.3g deg" % step
    cells = layout.cells
    lo_x = min([c.lon_min for c in cells] + [float(np.min(lon))])
    hi_x = max([c.lon_max for c in cells] + [float(np.max(lon))])
    lo_y = min([c.lat_min for c in cells] + [float(np.min(lat))])
    hi_y = max([c.lat_max for c in cells] + [float(np.max(lat))])
    step = max(hi_x - lo_x, hi_y - lo_y, 1e-6) / DENSITY_ACROSS
    x = lo_x + step * np.arange(math.ceil((hi_x - lo_x) / step) + 2)
    y = lo_y + step * np.arange(math.ceil((hi_y - lo_y) / step) + 2)
    return x, y, "%.3g deg" % step


def map_figure(layout, surveyed, results, lon, lat, title, band_text):
    """The matplotlib Figure of a map: `surveyed` the Cells surveyed with
    their CellResults `results`; lon, lat the events' locations."""
    from matplotlib.colors import LogNorm, Normalize
    from matplotlib.patches import PathPatch

    from .figures import _printable, _pyplot
    plt = _pyplot()
    fig, (ax_fap, ax_den) = plt.subplots(1, 2, figsize=(12, 5.6), sharex=True,
                                         sharey=True, layout="constrained")
    faps = np.array([r.fap for r in results], dtype=float)
    finite = faps[np.isfinite(faps) & (faps > 0)]
    lowest = math.floor(np.log10(finite.min())) if len(finite) else 0.0
    low = max(FLOOR, min(LOWEST_SHOWN, lowest))
    norm = Normalize(low, 0.0)
    cmap = plt.get_cmap("RdYlBu")
    fitted = {c.index for c in surveyed}
    for cell in layout.cells:
        if cell.index not in fitted and cell.events > 0:
            ax_fap.add_patch(PathPatch(_cell_path(cell), facecolor="none", edgecolor="0.6",
                                       hatch="///", linewidth=0.3))
    for cell, fap in zip(surveyed, faps):
        if math.isfinite(fap):
            colour = cmap(norm(max(math.log10(max(fap, 1e-300)), low)))
        else:
            colour = "0.75"
        marked = math.isfinite(fap) and fap < MARKED_FAP
        ax_fap.add_patch(PathPatch(_cell_path(cell), facecolor=colour, alpha=0.9,
                                   edgecolor="black" if marked else "0.4",
                                   linewidth=1.6 if marked else 0.3, zorder=3 if marked else 2))
    mappable = plt.cm.ScalarMappable(norm=norm, cmap=cmap)
    fig.colorbar(mappable, ax=ax_fap, shrink=0.8, extend="min" if lowest < low else "neither",
                 label="log10 false-alarm probability of the highest peak")
    ax_fap.set_title("Highest peak, %s\n(hatched: too few events; outlined: FAP < %g)"
                     % (band_text, MARKED_FAP), fontsize=10)
    x, y, step = _density_bins(layout, lon, lat)
    counts, _, _ = np.histogram2d(lon, lat, bins=[x, y])
    shown = np.ma.masked_less(counts.T, 1)
    image = ax_den.pcolormesh(x, y, shown, cmap="viridis",
                              norm=LogNorm(1, max(2.0, float(counts.max()))), rasterized=True)
    fig.colorbar(image, ax=ax_den, shrink=0.8, label="events per %s square" % step)
    for cell in layout.cells:
        if cell.events > 0 or cell.rings:
            # regions are few and drawn plainly; grid cells only as a faint mesh
            ax_den.add_patch(PathPatch(_cell_path(cell), facecolor="none",
                                       edgecolor="black" if cell.rings else "0.5",
                                       linewidth=0.8 if cell.rings else 0.3))
    ax_den.set_title("Event density (%d events)" % len(lon), fontsize=10)
    # a grid covers the events; regions are shown with all the events around
    edges = [c for c in layout.cells if c.events > 0 or c.rings]
    x0 = min([c.lon_min for c in edges] + [x[0]])
    x1 = max([c.lon_max for c in edges] + [x[-1]])
    y0 = min([c.lat_min for c in edges] + [y[0]])
    y1 = max([c.lat_max for c in edges] + [y[-1]])
    for ax in (ax_fap, ax_den):
        ax.set_xlim(x0, x1)
        ax.set_ylim(y0, y1)
        ax.set_xlabel("longitude (deg)")
        middle = math.radians(max(-80.0, min(80.0, 0.5 * (y0 + y1))))
        ax.set_aspect(1.0 / math.cos(middle))
    ax_fap.set_ylabel("latitude (deg)")
    fig.suptitle(title, fontsize=11)
    _printable(fig)
    return plt, fig
