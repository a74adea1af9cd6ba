"""periodscan-map: one survey per cell of the ground the events cover.

    periodscan-map EVENTS (--cell DEG | --regions FILE)
                   (--min-period A --max-period B | --band NAME)
                   [--min-events N] [--surrogates N] [--scheduler ADDRESS | --workers N]
                   [--output PREFIX] [--no-figures]

EVENTS is an event file of periodscan-prepare with the columns time,
magnitude, latitude and longitude (named in its EVENTS.json). The events are
cut into cells of DEG degrees (or into the regions of a GeoJSON file, see
periodscan.regions); every cell with at least --min-events events (default
100) is surveyed over the band, and its highest peak assessed: the
false-alarm probabilities over the band of Baluev (Poisson events), the
clustering-corrected one, and with --surrogates N the cluster shifts (at
most N surrogate scans). Each cell is one task on a Dask cluster: an
embedded one of --workers processes (default one per core) or the
scheduler at --scheduler ADDRESS (or $DASK_SCHEDULER_ADDRESS). The results
do not depend on the cluster.

--band NAME is a band given in days, turned into the event file's unit
(its EVENTS.json must give one): semidiurnal 0.45-0.55, diurnal 0.9-1.1,
fortnightly 12-16, monthly 25-32, annual 300-430. --min-period and
--max-period are in the event file's own unit.

Writes, all at once or none (see periodscan.mapfile): PREFIX.cells.tsv,
with --cell the grids PREFIX.delta_log_lik.asc, PREFIX.amplitude.asc and
PREFIX.fap.asc, and unless --no-figures the figure PREFIX.png and
PREFIX.svg. PREFIX defaults to the event file's name without its extension
plus ".map".

Exit status: 0 when the files are written; 1 for an event file or a file
of regions that cannot be read, an event file without a unit where one is
needed, no cell with enough events, a cluster that cannot be reached or a
file that cannot be written; 2 for a wrong command line.
"""

import argparse
import math
import os
import shlex
import sys

import numpy as np

from .command_line import add_version_option, write_output
from .eventfile import DAYS_PER_UNIT, description_path, read_description
from .results import ResultFileError

PROGRAM = "periodscan-map"
STOPPED_NOTE = "no file is written"

# The bands of --band, in days.
BANDS = {
    "semidiurnal": (0.45, 0.55),
    "diurnal": (0.9, 1.1),
    "fortnightly": (12.0, 16.0),
    "monthly": (25.0, 32.0),
    "annual": (300.0, 430.0),
}
SAMPLES_PER_PEAK = 5
DEFAULT_MIN_EVENTS = 100
# As periodscan-plot --surrogates; the engine counts them in 64 bits.
MAX_SURROGATES = 1000000
# The cells not fitted that the summary names.
NOTES_SHOWN = 5
MODEL = "Mju*(1 + A*cos(2*pi*frequency*(t - t1) + phase)), t1 the cell's first time"


WORKERS_PER_CORE = 4


def max_workers():
    """The most worker processes of a cluster started for the run."""
    return WORKERS_PER_CORE * (os.cpu_count() or 1)


def _positive(text):
    try:
        value = float(text)
    except ValueError:
        raise argparse.ArgumentTypeError("%r is not a number" % text) from None
    if not (math.isfinite(value) and value > 0):
        raise argparse.ArgumentTypeError("%r is not a positive number" % text)
    return value


def _count(least, most=None):
    def parse(text):
        try:
            value = int(text)
        except ValueError:
            raise argparse.ArgumentTypeError("%r is not a whole number" % text) from None
        if value < least:
            raise argparse.ArgumentTypeError("%d is below %d" % (value, least))
        if most is not None and value > most:
            raise argparse.ArgumentTypeError("%d is above %d" % (value, most))
        return value
    return parse


def parse_arguments(argv):
    parser = argparse.ArgumentParser(
        prog=PROGRAM,
        description="Survey every cell of the ground an event file covers for a periodic rate "
                    "and map the false-alarm probabilities of the highest peaks.")
    parser.add_argument("events", metavar="EVENTS",
                        help="event file of periodscan-prepare with time, magnitude, latitude "
                             "and longitude columns (named in EVENTS.json)")
    where = parser.add_mutually_exclusive_group(required=True)
    where.add_argument("--cell", metavar="DEG", type=_positive,
                       help="cells of DEG degrees of longitude and latitude")
    where.add_argument("--regions", metavar="FILE",
                       help="regions: a GeoJSON FeatureCollection of Polygon features, each "
                            "with a \"name\" property")
    parser.add_argument("--min-period", metavar="A", type=_positive,
                        help="shortest period, in the event file's unit")
    parser.add_argument("--max-period", metavar="B", type=_positive,
                        help="longest period, in the event file's unit")
    parser.add_argument("--band", choices=sorted(BANDS, key=lambda b: BANDS[b]),
                        help="a tidal or calendar band instead of --min-period and "
                             "--max-period (needs the unit in EVENTS.json)")
    parser.add_argument("--min-events", metavar="N", type=_count(2), default=DEFAULT_MIN_EVENTS,
                        help="leave out the cells with fewer events (default: %(default)s)")
    parser.add_argument("--surrogates", metavar="N", type=_count(0, MAX_SURROGATES), default=0,
                        help="cluster-shift test of each cell's highest peak with at most N "
                             "surrogate scans (default: none)")
    cluster = parser.add_mutually_exclusive_group()
    cluster.add_argument("--scheduler", metavar="ADDRESS",
                         help="the Dask scheduler to run on (default: $DASK_SCHEDULER_ADDRESS, "
                              "else a cluster started for the run)")
    cluster.add_argument("--workers", metavar="N", type=_count(1),
                         help="worker processes of the cluster started for the run (default: "
                              "one per core)")
    parser.add_argument("--output", metavar="PREFIX",
                        help="prefix of the files written (default: EVENTS without its "
                             "extension, plus .map)")
    parser.add_argument("--no-figures", action="store_true", help="draw no figure")
    add_version_option(parser, PROGRAM)
    args = parser.parse_args(argv)
    if args.band is not None and (args.min_period is not None or args.max_period is not None):
        parser.error("--band excludes --min-period and --max-period")
    if args.band is None:
        if args.min_period is None or args.max_period is None:
            parser.error("give --min-period and --max-period, or --band")
        if not args.max_period > args.min_period:
            parser.error("--max-period %g must exceed --min-period %g"
                         % (args.max_period, args.min_period))
    if args.workers is not None and args.workers > max_workers():
        # Each worker is a process of its own: thousands would exhaust the
        # machine long before the cluster is up.
        parser.error("--workers %d: more than %d (%d per core) would only crowd the machine"
                     % (args.workers, max_workers(), WORKERS_PER_CORE))
    if args.cell is not None and args.cell > 180:
        parser.error("--cell %g: cells are at most 180 degrees" % args.cell)
    if args.output is None:
        args.output = os.path.splitext(args.events)[0] + ".map"
    if args.output == "" or args.output.endswith(os.sep):
        parser.error("--output %r: not a file name prefix" % args.output)
    return args


def output_paths(args):
    prefix = args.output
    paths = [prefix + ".cells.tsv"]
    if args.cell is not None:
        from .mapfile import GRIDS
        paths += ["%s.%s.asc" % (prefix, name) for name in GRIDS]
    if not args.no_figures:
        paths += [prefix + ".png", prefix + ".svg"]
    return paths


def _fail(message):
    print("%s: error: %s" % (PROGRAM, message), file=sys.stderr)
    return 1


def read_catalogue(path):
    """(description or None, the decluster.EventTable of the event file)."""
    from .decluster import DEFAULT_COLUMNS, read_events
    description = read_description(path)
    columns = list((description or {}).get("columns") or DEFAULT_COLUMNS)
    missing = [c for c in ("time", "magnitude", "latitude", "longitude") if c not in columns]
    if missing:
        raise ResultFileError("%s: has no column %s; a map needs the time, magnitude, latitude "
                              "and longitude of every event"
                              % (description_path(path), ", ".join(missing)))
    return description, read_events(path, columns)


def band_of(args, unit, path):
    """(min_period, max_period, text) in the event file's unit."""
    if args.band is None:
        text = "periods %g to %g%s" % (args.min_period, args.max_period,
                                       " " + unit if unit else "")
        return args.min_period, args.max_period, text
    if unit not in DAYS_PER_UNIT:
        raise ResultFileError("%s: the time unit is not known (no EVENTS.json with a \"unit\"); "
                              "--band needs it: give --min-period and --max-period in the "
                              "file's unit" % path)
    lo, hi = BANDS[args.band]
    scale = DAYS_PER_UNIT[unit]
    return lo / scale, hi / scale, "%s band, %g to %g days" % (args.band, lo, hi)


def record_lines(args, argv, description, table, layout, surveyed, left, results, band):
    """The (key, value) record of the table."""
    times = table.values["time"]
    unit = (description or {}).get("unit")
    record = [("command", shlex.join([PROGRAM] + list(argv))), ("events", args.events),
              ("events_read", len(times))]
    if unit:
        record.append(("unit", unit))
    if (description or {}).get("origin"):
        record.append(("origin", description["origin"]))
    if description is not None:
        record.append(("description", description_path(args.events)))
    if layout.cell_size is not None:
        record += [("layout", "grid"), ("cell_size", "%.17g" % layout.cell_size),
                   ("lon_origin", "%.17g" % layout.lon0), ("lat_origin", "%.17g" % layout.lat0),
                   ("columns", layout.columns), ("rows", layout.rows)]
    else:
        inside = np.zeros(len(times), dtype=bool)
        for cell in layout.cells:
            inside[cell.members] = True
        record += [("layout", "regions"), ("regions_file", layout.regions),
                   ("regions", len(layout.cells)), ("events_outside", int((~inside).sum()))]
    if args.band:
        record.append(("band", args.band))
    record += [("min_period", "%.17g" % band[0]), ("max_period", "%.17g" % band[1]),
               ("samples_per_peak", SAMPLES_PER_PEAK), ("min_events", args.min_events),
               ("cells", len(surveyed)), ("cells_left_out", len(left)),
               ("events_left_out", sum(c.events for c in left)),
               ("cells_not_fitted", sum(1 for r in results if r.note)),
               ("surrogates", args.surrogates)]
    if args.surrogates:
        from .surrogates import SEED
        record.append(("surrogate_seed", SEED))
    record += [("model", MODEL),
               ("best_period", "the period of the highest DeltaLogLik of the cell's grid"),
               ("peak_time", "(t1 - phase/(2*pi*frequency)) mod period; nan where amplitude "
                             "= 0"),
               ("fap", "the larger of fap_clustered and fap_surrogates where known")]
    return record


def write_outputs(paths, texts, figure):
    """Writes the texts [(path, text)] and the figure (plt, fig, or None) to
    `paths`, all at once or none."""
    from .prepare.writer import describe_write_error, staged_files
    try:
        with staged_files(paths) as temporaries:
            staged = dict(zip(paths, temporaries))
            for path, text in texts:
                try:
                    with open(staged[path], "w", encoding="utf-8", newline="\n") as stream:
                        stream.write(text)
                except OSError as e:
                    e.filename = path
                    raise
            if figure is not None:
                plt, fig = figure
                for path in paths[len(texts):]:
                    fmt = os.path.splitext(path)[1][1:]
                    metadata = {"svg": {"Date": None}}.get(fmt)
                    try:
                        fig.savefig(staged[path], format=fmt, dpi=110, metadata=metadata)
                    except OSError as e:
                        e.filename = path
                        raise
    except OSError as e:
        raise ResultFileError("%s: cannot be written (%s)"
                              % (e.filename or paths[0], describe_write_error(e))) from None
    finally:
        if figure is not None:
            figure[0].close(figure[1])


class Plan:
    """What a run reads and where it writes, checked before a cluster is
    started: the event file's description and events, the band, the layout,
    the cells surveyed and left out, the output paths."""

    def __init__(self, args):
        from .prepare.writer import clashing_outputs
        from .regions import grid_cells, region_cells
        self.args = args
        self.description, self.table = read_catalogue(args.events)
        self.unit = (self.description or {}).get("unit")
        if args.surrogates and self.unit not in DAYS_PER_UNIT:
            raise ResultFileError("%s: the time unit is not known (no EVENTS.json with a "
                                  "\"unit\"); --surrogates needs it to decluster the events"
                                  % args.events)
        self.min_period, self.max_period, self.band_text = band_of(args, self.unit,
                                                                   args.events)
        v = self.table.values
        if args.cell is not None:
            try:
                self.layout = grid_cells(v["longitude"], v["latitude"], args.cell)
            except ValueError as e:
                raise ResultFileError("--cell %g: %s" % (args.cell, e)) from None
        else:
            self.layout = region_cells(args.regions, v["longitude"], v["latitude"])
        self.surveyed, self.left = self.layout.kept(args.min_events)
        if not self.surveyed:
            raise ResultFileError("%s: no cell holds %d events or more (the most: %d); lower "
                                  "--min-events or use larger cells"
                                  % (args.events, args.min_events,
                                     max(c.events for c in self.layout.cells)))
        self.paths = output_paths(args)
        inputs = [args.events] + [p for p in (description_path(args.events), args.regions)
                                  if p]
        clash = clashing_outputs(self.paths, inputs)
        if clash:
            raise ResultFileError("%s: %s" % (self.paths[0], clash))
        folder = os.path.dirname(self.paths[0]) or "."
        if not os.path.isdir(folder):
            raise ResultFileError("%s: there is no folder %s to write it in"
                                  % (self.paths[0], folder))


def map_files(plan, argv, client, progress=None):
    """Surveys the cells of `plan` on `client` and writes the files; returns
    the summary lines. ResultFileError for a file that cannot be written."""
    from .mapfile import GRIDS, grid_text, table_text
    from .mapping import cell_input, survey_cells
    from .surrogates import SEED
    args, v = plan.args, plan.table.values
    cells = [cell_input(c.index, c.members, v["time"], v["magnitude"], v["latitude"],
                        v["longitude"]) for c in plan.surveyed]
    try:
        results = survey_cells(client, cells, (plan.min_period, plan.max_period,
                                               SAMPLES_PER_PEAK),
                               plan.unit, args.surrogates, SEED, progress)
    except (KeyboardInterrupt, MemoryError):
        raise
    except Exception as e:
        # A worker lost, a task the workers cannot run (a cluster without
        # periodscan), the scheduler gone: no file is written.
        raise ResultFileError("the surveys of the cells failed on the Dask cluster (%s: %s)"
                              % (type(e).__name__, e)) from None
    record = record_lines(args, argv, plan.description, plan.table, plan.layout, plan.surveyed,
                          plan.left, results, (plan.min_period, plan.max_period))
    paths = plan.paths
    texts = [(paths[0], table_text(record, plan.surveyed, results,
                                   names=args.regions is not None))]
    if args.cell is not None:
        for k, name in enumerate(GRIDS):
            texts.append((paths[1 + k], grid_text(plan.layout, plan.surveyed,
                                                  [getattr(r, name) for r in results])))
    figure = None
    if not args.no_figures:
        from .mapfigure import map_figure
        title = "%s: %d events, %s" % (os.path.basename(args.events), len(v["time"]),
                                       "%g-degree cells" % args.cell if args.cell
                                       else "regions of " + os.path.basename(args.regions))
        figure = map_figure(plan.layout, plan.surveyed, results, v["longitude"],
                            v["latitude"], title, plan.band_text)
    write_outputs(paths, texts, figure)
    return summary_lines(plan.layout, plan.surveyed, plan.left, results, paths, plan.unit)


def summary_lines(layout, surveyed, left, results, paths, unit):
    empty = sum(1 for c in layout.cells if c.events == 0)
    lines = ["cells: %d surveyed, %d left out with %d events%s"
             % (len(surveyed), len(left), sum(c.events for c in left),
                ", %d empty" % empty if empty else "")]
    not_fitted = [r for r in results if r.note]
    for r in not_fitted[:NOTES_SHOWN]:
        lines.append("cell %d not fitted: %s" % (r.index, r.note))
    if len(not_fitted) > NOTES_SHOWN:
        lines.append("... and %d cells more not fitted" % (len(not_fitted) - NOTES_SHOWN))
    ranked = sorted((r for r in results if math.isfinite(r.fap)), key=lambda r: r.fap)
    for r in ranked[:3]:
        cell = next(c for c in surveyed if c.index == r.index)
        label = cell.name or "lon %g to %g, lat %g to %g" % (
            cell.lon_min, cell.lon_max, cell.lat_min, cell.lat_max)
        lines.append("cell %d (%s): %d events, period %.6g%s, DeltaLogLik %.4g, A %.3g, "
                     "FAP %.3g" % (r.index, label, r.events, r.best_period,
                                   " " + unit if unit else "", r.delta_log_lik, r.amplitude,
                                   r.fap))
    lines.append("written: " + " ".join(paths))
    return lines


def main(argv=None):
    """Runs the command; returns its exit status (argparse exits with 2 on a
    wrong command line)."""
    if argv is None:
        argv = sys.argv[1:]
    args = parse_arguments(argv)
    from .dask_client import DaskUnavailable, dask_client
    from .mapping import EtaProgress
    progress = EtaProgress(PROGRAM, sys.stderr)
    try:
        plan = Plan(args)
        with dask_client(args.scheduler, args.workers) as client:
            lines = map_files(plan, argv, client, progress)
    except (ResultFileError, DaskUnavailable) as e:
        progress.clear()
        return _fail(str(e))
    progress.clear()
    return 0 if write_output(PROGRAM, lines, "the files are written") else 1
