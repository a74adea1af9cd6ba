"""Readers of the result files that periodscan leaves in its folder.

  ZUM_out.dat                  the spectrum: T, DeltaLogLik, A per trial period;
  ZUM_out.grd                  DeltaLogLik over time mark and log10 T (a Surfer
                               ASCII grid);
  ZUM_out_Normalized.grd       the same per event in the window;
  NumbOfEvents_in_Windows.dat  the time mark and event count of every window;

and the tables of periodscan-survey:

  NAME.spectrum.tsv            the fit at every trial period;
  NAME.windows.tsv             the fit at every trial period in every window.

Every reader raises ResultFileError naming the file and, where there is one,
the line. `read_run` reads and checks all the files of one folder together.
"""

import math
import os
from dataclasses import dataclass, field

import numpy as np

SPECTRUM_FILE = "ZUM_out.dat"
GRID_FILE = "ZUM_out.grd"
NORMALIZED_GRID_FILE = "ZUM_out_Normalized.grd"
COUNTS_FILE = "NumbOfEvents_in_Windows.dat"
RESULT_FILES = (SPECTRUM_FILE, GRID_FILE, NORMALIZED_GRID_FILE, COUNTS_FILE)

# Column layout of NumbOfEvents_in_Windows.dat: the time mark fills columns
# 1-15, the count columns 16-25; a count of 0 is written as ten blanks.
COUNT_TIME_WIDTH = 15
COUNT_FIELD_WIDTH = 10

# Fewest events in a window for which periodscan estimates anything; the
# columns of sparser windows hold a filler value, not an estimate.
MIN_EVENTS_ESTIMATED = 2

# A time mark or grid cell read from two files of one run agrees to the
# digits that periodscan prints (6 significant digits in the count file).
SAME_RUN_RTOL = 1e-5


class ResultFileError(Exception):
    """A result file or the event file that is missing, malformed or does not
    belong with the others. The message names the file and, where there is
    one, the line."""


def file_error(path, message, line=None):
    where = path if line is None else "%s, line %d" % (path, line)
    return ResultFileError("%s: %s" % (where, message))


def read_lines(path, encoding="ascii"):
    """The lines of a text file without their line ends (CR LF or LF). The
    result files are plain ASCII; anything else is not one of them."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except FileNotFoundError:
        raise file_error(path, "not found") from None
    except OSError as e:
        raise file_error(path, "cannot be read (%s)" % e.strerror) from None
    try:
        text = data.decode(encoding)
    except UnicodeDecodeError as e:
        raise file_error(path, "is not a text file of periodscan (byte %d is not ASCII)"
                         % (e.start + 1)) from None
    lines = text.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    return [line[:-1] if line.endswith("\r") else line for line in lines]


def plural(n, noun):
    return "%d %s%s" % (n, noun, "" if n == 1 else "s")


def number(text):
    """The value of a number field, or None. float() also accepts underscores
    between digits, which no file of periodscan holds."""
    if "_" in text:
        return None
    try:
        return float(text)
    except ValueError:
        return None


# ---------------------------------------------------------------------------
# ZUM_out.dat


@dataclass
class Spectrum:
    period: np.ndarray
    delta_loglik: np.ndarray
    amplitude: np.ndarray


def read_spectrum(path):
    """ZUM_out.dat: one record T, DeltaLogLik, A per trial period, the periods
    growing from record to record. Blank lines are passed over."""
    rows = []
    for line_number, line in enumerate(read_lines(path), start=1):
        fields = line.split()
        if not fields:
            continue
        if len(fields) != 3:
            raise file_error(path, "expected 3 numbers (T, DeltaLogLik, A), found %d fields"
                             % len(fields), line_number)
        values = [number(f) for f in fields]
        for name, text, value in zip(("T", "DeltaLogLik", "A"), fields, values):
            if value is None:
                raise file_error(path, "%s is not a number: %r" % (name, text), line_number)
        period = values[0]
        if not (math.isfinite(period) and period > 0):
            raise file_error(path, "the period T must be positive, found %s" % fields[0],
                             line_number)
        if rows and period < rows[-1][0]:
            raise file_error(path, "the periods must grow from record to record, found %s"
                             " after %s" % (fields[0], "%g" % rows[-1][0]), line_number)
        rows.append(values)
    if len(rows) < 2:
        raise file_error(path, "holds %s; a spectrum has at least two periods"
                         % plural(len(rows), "record"))
    table = np.array(rows, dtype=float)
    return Spectrum(table[:, 0], table[:, 1], table[:, 2])


# ---------------------------------------------------------------------------
# ZUM_out.grd and ZUM_out_Normalized.grd


@dataclass
class Grid:
    """A Surfer ASCII grid: z[k, w] is row k (k = 0 at ymin) and column w
    (w = 0 at xmin)."""
    xmin: float
    xmax: float
    ymin: float
    ymax: float
    zmin: float
    zmax: float
    z: np.ndarray

    @property
    def nx(self):
        return self.z.shape[1]

    @property
    def ny(self):
        return self.z.shape[0]

    def x(self):
        """The x coordinate (time mark) of every column."""
        return _axis(self.xmin, self.xmax, self.nx)

    def y(self):
        """The y coordinate (log10 of the period) of every row."""
        return _axis(self.ymin, self.ymax, self.ny)

    def same_layout(self, other):
        return (self.z.shape == other.z.shape and
                np.allclose([self.xmin, self.xmax, self.ymin, self.ymax],
                            [other.xmin, other.xmax, other.ymin, other.ymax],
                            rtol=SAME_RUN_RTOL, atol=0))


def _axis(lo, hi, n):
    return np.array([lo]) if n == 1 else np.linspace(lo, hi, n)


def read_grid(path):
    """A Surfer ASCII grid ("DSAA"): the header lines nx ny, xmin xmax,
    ymin ymax, zmin zmax, then nx*ny values, row by row from ymin upwards,
    each row from xmin to xmax."""
    lines = read_lines(path)
    if not lines or lines[0].strip() != "DSAA":
        raise file_error(path, 'is not a Surfer ASCII grid: the first line must be "DSAA"')
    header = []
    names = ("nx ny", "xmin xmax", "ymin ymax", "zmin zmax")
    for i, name in enumerate(names):
        line_number = i + 2
        if line_number > len(lines):
            raise file_error(path, "ends in the header; line %d should hold %s"
                             % (line_number, name))
        fields = lines[line_number - 1].split()
        if len(fields) != 2:
            raise file_error(path, "expected the two numbers %s, found %d fields"
                             % (name, len(fields)), line_number)
        if i == 0:
            try:
                pair = [int(f) for f in fields]
            except ValueError:
                raise file_error(path, "nx and ny must be whole numbers, found %s %s"
                                 % tuple(fields), line_number) from None
            if min(pair) < 1:
                raise file_error(path, "nx and ny must be at least 1, found %d %d"
                                 % tuple(pair), line_number)
        else:
            pair = [number(f) for f in fields]
            if None in pair:
                raise file_error(path, "%s are not two numbers: %s %s"
                                 % ((name,) + tuple(fields)), line_number)
        header.append(pair)
    (nx, ny), (xmin, xmax), (ymin, ymax), (zmin, zmax) = header
    if (nx > 1 and not xmax > xmin) or (ny > 1 and not ymax > ymin):
        raise file_error(path, "the header gives %d columns from x = %g to %g and %d rows "
                         "from y = %g to %g; several columns or rows need a range"
                         % (nx, xmin, xmax, ny, ymin, ymax))
    values = []
    for line_number in range(6, len(lines) + 1):
        for text in lines[line_number - 1].split():
            value = number(text)
            if value is None:
                raise file_error(path, "grid value is not a number: %r" % text, line_number)
            values.append(value)
    if len(values) != nx * ny:
        raise file_error(path, "holds %d grid values; the header (nx = %d, ny = %d) calls "
                         "for %d" % (len(values), nx, ny, nx * ny))
    z = np.array(values, dtype=float).reshape(ny, nx)
    return Grid(xmin, xmax, ymin, ymax, zmin, zmax, z)


def sparse_mask(grid, counts):
    """True for the cells of windows with fewer than two events: periodscan
    fills those columns with zmin, which would look like a measured minimum."""
    return np.broadcast_to(counts.count < MIN_EVENTS_ESTIMATED, grid.z.shape).copy()


def grid_image(grid, counts):
    """The cells as drawn: those of windows with fewer than two events masked."""
    return np.ma.masked_array(grid.z, mask=sparse_mask(grid, counts))


# ---------------------------------------------------------------------------
# NumbOfEvents_in_Windows.dat


@dataclass
class WindowCounts:
    time_mark: np.ndarray
    count: np.ndarray


def read_window_counts(path):
    """NumbOfEvents_in_Windows.dat: per window the time mark (columns 1-15)
    and the number of events (columns 16-25, blank for none)."""
    marks, counts = [], []
    width = COUNT_TIME_WIDTH + COUNT_FIELD_WIDTH
    for line_number, line in enumerate(read_lines(path), start=1):
        if not line.strip():
            continue
        time_text = line[:COUNT_TIME_WIDTH].strip()
        count_text = line[COUNT_TIME_WIDTH:width].strip()
        if line[width:].strip():
            raise file_error(path, "unexpected text after column %d: %r"
                             % (width, line[width:].strip()), line_number)
        mark = number(time_text)
        if mark is None or not math.isfinite(mark):
            raise file_error(path, "expected the time mark in columns 1-%d, found %r"
                             % (COUNT_TIME_WIDTH, time_text), line_number)
        if not count_text:
            count = 0
        elif count_text.isdigit():
            count = int(count_text)
        else:
            raise file_error(path, "expected the event count in columns %d-%d, found %r"
                             % (COUNT_TIME_WIDTH + 1, width, count_text), line_number)
        # Six digits can spell neighbouring marks alike, so equal marks pass.
        if marks and mark < marks[-1]:
            raise file_error(path, "the time marks must not decrease, found %s after %g"
                             % (time_text, marks[-1]), line_number)
        marks.append(mark)
        counts.append(count)
    if not marks:
        raise file_error(path, "holds no windows")
    return WindowCounts(np.array(marks, dtype=float), np.array(counts, dtype=np.int64))


# ---------------------------------------------------------------------------
# The tables of periodscan-survey: PREFIX.spectrum.tsv and PREFIX.windows.tsv

SPECTRUM_TABLE_SUFFIX = ".spectrum.tsv"
WINDOW_TABLE_SUFFIX = ".windows.tsv"
FIT_COLUMNS = ("period", "frequency", "delta_log_lik", "amplitude", "phase", "peak_time",
               "rayleigh_z")
WINDOW_COLUMNS = ("window_start", "window_end", "events") + FIT_COLUMNS


@dataclass
class SpectrumTable(Spectrum):
    """A spectrum of periodscan-survey, ordered by growing period (the file
    lists the periods in the order of its frequency grid)."""
    frequency: np.ndarray
    phase: np.ndarray
    peak_time: np.ndarray
    rayleigh_z: np.ndarray
    span: float = None      # of the events, from the "# t1:" comment line; None if absent
    record: "TableRecord" = None


@dataclass
class WindowTable:
    """The moving windows of periodscan-survey: per window its start, end and
    events; per period (growing) and window the fit, as [period, window]
    arrays, nan for windows with fewer than two distinct event times."""
    window_start: np.ndarray
    window_end: np.ndarray
    events: np.ndarray
    period: np.ndarray
    delta_loglik: np.ndarray
    amplitude: np.ndarray

    def window_centre(self):
        return (self.window_start + self.window_end) / 2

    def counts(self):
        """The events per window, as the count file of periodscan gives them."""
        return WindowCounts(self.window_centre(), self.events)


@dataclass
class TableRecord:
    """What a table's comment lines say of the events it was made from:
    how many were read, the first and the last time, and whether the rate
    was integrated over observation intervals rather than the whole span.
    None where a line is absent."""
    events_read: int = None
    t1: float = None
    last: float = None
    over_intervals: bool = False


def table_record(lines):
    """The TableRecord of a table's comment lines: "# events_read: 830",
    "# first_time: 3.83", "# last_time: 363.8", "# exposure: whole_span" (or
    "intervals"); tables written before the record had keys say
    "# t1: 3.83 (first event); last: 363.8; span: 360" and
    "# exposure: from the first event to the last"."""
    record = TableRecord()
    for line in lines:
        if not line.startswith("#"):
            break
        text = line[1:].strip()
        key, _, value = text.partition(":")
        value = value.strip()
        if key == "events_read":
            found = number(value.split()[0]) if value else None
            record.events_read = int(found) if found is not None else None
        elif key == "first_time":
            record.t1 = number(value)
        elif key == "last_time":
            record.last = number(value)
        elif key == "t1" and "last:" in text:
            record.t1 = number(text[3:].split("(")[0].strip())
            record.last = number(text.split("last:", 1)[1].split(";")[0].strip())
        elif key == "exposure":
            record.over_intervals = value not in ("whole_span", "from the first event to the last")
    return record


def check_table_events(path, record, events, events_path):
    """Refuses an event file that is not the one a survey table was made
    from: every level, interval and flag would come from other events."""
    if record is None or events is None or record.events_read is None:
        return
    t = np.asarray(events, dtype=float)

    def near(a, b):
        # The events are read as 4-byte reals, the table kept doubles.
        return b is None or abs(a - b) <= 1e-6 * max(1.0, abs(b))

    if len(t) != record.events_read or not near(t[0], record.t1) or not near(t[-1], record.last):
        raise ResultFileError(
            "%s: made from %d events from %s to %s, but %s holds %d from %s to %s; give the "
            "event file of the run" % (path, record.events_read, _g(record.t1),
                                       _g(record.last), events_path, len(t), _g(t[0]),
                                       _g(t[-1])))


def _g(value):
    return "?" if value is None else "%.10g" % value


def table_span(lines):
    """The span of the events from a table's comment line "# span: 364.95"
    (or, before the record had keys, "# t1: 0.0377 (first event); last:
    364.99; span: 364.95"), or None."""
    for line in lines:
        value = None
        if line.startswith("# span:"):
            value = number(line[len("# span:"):].strip())
        elif line.startswith("# t1:") and "span:" in line:
            value = number(line.rsplit("span:", 1)[1].strip())
        if value is not None and math.isfinite(value) and value > 0:
            return value
    return None


def _read_table(path, columns, lines=None):
    """The rows of a tab-separated table with '#' comment lines and a header
    row naming `columns`, as (line number, values) pairs. Numbers are read
    with float(), which takes the "nan" and "inf" that the tables hold."""
    lines = read_lines(path, encoding="utf-8") if lines is None else lines
    header = "\t".join(columns)
    rows = []
    seen_header = False
    for line_number, line in enumerate(lines, start=1):
        if line.startswith("#") or not line.strip():
            continue
        if not seen_header:
            if line.rstrip() != header:
                raise file_error(path, "expected the header row %s, found %r"
                                 % (" ".join(columns), line), line_number)
            seen_header = True
            continue
        fields = line.split("\t")
        if len(fields) != len(columns):
            raise file_error(path, "expected %d tab-separated columns, found %d"
                             % (len(columns), len(fields)), line_number)
        values = [number(f.strip()) for f in fields]
        for name, text, value in zip(columns, fields, values):
            if value is None:
                raise file_error(path, "%s is not a number: %r" % (name, text), line_number)
        rows.append((line_number, values))
    if not seen_header:
        raise file_error(path, "has no header row (%s)" % " ".join(columns))
    return rows


def _period_order(path, periods, line_numbers):
    """The indices that put `periods` in growing order, after checking that
    they are positive and run one way, as a grid does."""
    periods = np.asarray(periods, dtype=float)
    for value, line_number in zip(periods, line_numbers):
        if not (math.isfinite(value) and value > 0):
            raise file_error(path, "the period must be positive, found %r" % value,
                             line_number)
    steps = np.diff(periods)
    if len(periods) < 2 or np.all(steps > 0):
        return np.arange(len(periods))
    if np.all(steps < 0):
        return np.arange(len(periods))[::-1]
    i = int(np.argmax(steps * np.sign(steps[0]) <= 0)) + 1
    raise file_error(path, "the periods must run one way, found %g after %g"
                     % (periods[i], periods[i - 1]), line_numbers[i])


def read_spectrum_table(path):
    """PREFIX.spectrum.tsv: one row per trial period with the columns
    period frequency delta_log_lik amplitude phase peak_time rayleigh_z."""
    lines = read_lines(path, encoding="utf-8")
    rows = _read_table(path, FIT_COLUMNS, lines)
    if len(rows) < 2:
        raise file_error(path, "holds %s; a spectrum has at least two periods"
                         % plural(len(rows), "row"))
    table = np.array([values for _, values in rows], dtype=float)
    order = _period_order(path, table[:, 0], [n for n, _ in rows])
    table = table[order]
    return SpectrumTable(table[:, 0], table[:, 2], table[:, 3], table[:, 1], table[:, 4],
                         table[:, 5], table[:, 6], table_span(lines), table_record(lines))


def read_window_table(path):
    """PREFIX.windows.tsv: for each window in turn, one row per trial period
    with the columns window_start window_end events and the fit; every window
    lists the same periods."""
    rows = _read_table(path, WINDOW_COLUMNS)
    if not rows:
        raise file_error(path, "holds no windows")
    windows = []  # (start, end, events, [(line number, values)])
    for line_number, values in rows:
        start, end, events = values[:3]
        if not windows or (start, end) != windows[-1][:2]:
            if not (math.isfinite(start) and end >= start):
                raise file_error(path, "the window must end after it starts, found %s to %s"
                                 % (start, end), line_number)
            if windows and start < windows[-1][0]:
                raise file_error(path, "the windows must not start earlier than the one "
                                 "before, found %g after %g" % (start, windows[-1][0]),
                                 line_number)
            windows.append((start, end, events, []))
        elif events != windows[-1][2]:
            raise file_error(path, "the event count of the window changes from %g to %g"
                             % (windows[-1][2], events), line_number)
        if not (events >= 0 and events == int(events)):
            raise file_error(path, "events must be a whole number, found %s" % events,
                             line_number)
        windows[-1][3].append((line_number, values[3:]))
    first = [values[0] for _, values in windows[0][3]]
    for start, _, _, fits in windows[1:]:
        periods = [values[0] for _, values in fits]
        if periods != first:
            differ = [k for k, (a, b) in enumerate(zip(periods, first)) if a != b]
            k = differ[0] if differ else min(len(periods), len(first)) - 1
            raise file_error(path, "the window from %g does not list the periods of the first "
                             "window" % start, fits[k][0])
    order = _period_order(path, first, [n for n, _ in windows[0][3]])
    fits = np.array([[values for _, values in w[3]] for w in windows], dtype=float)
    fits = fits[:, order, :]  # [window, period, column]
    return WindowTable(np.array([w[0] for w in windows]), np.array([w[1] for w in windows]),
                       np.array([int(w[2]) for w in windows], dtype=np.int64),
                       fits[0, :, 0], fits[:, :, 2].T, fits[:, :, 3].T)


# ---------------------------------------------------------------------------
# The files of one run, read together


def check_same_run(grid, counts, grid_path, counts_path):
    """The count file must describe the columns of the grid: otherwise the
    grey windows would be those of another run."""
    if len(counts.count) != grid.nx:
        raise ResultFileError(
            "%s has %d windows but %s has %d columns: the two files are not from the same run"
            % (counts_path, len(counts.count), grid_path, grid.nx))
    ends = np.array([counts.time_mark[0], counts.time_mark[-1]])
    if not np.allclose(ends, [grid.xmin, grid.xmax], rtol=SAME_RUN_RTOL, atol=1e-30):
        raise ResultFileError(
            "%s has time marks %g to %g but %s has %g to %g: the two files are not from the "
            "same run" % (counts_path, ends[0], ends[1], grid_path, grid.xmin, grid.xmax))


def stale_normalized_grid(grid, normalized, counts):
    """Why ZUM_out_Normalized.grd cannot belong to the run of ZUM_out.grd, or
    None. periodscan writes it only when every window holds an event and
    leaves an older one in place otherwise, so a file from an earlier run can
    lie beside the current ones."""
    if np.any(counts.count == 0):
        return "this run has windows without events, for which no normalised grid is written"
    if not normalized.same_layout(grid):
        return "its header differs from that of %s" % GRID_FILE
    expected = grid.z / counts.count[np.newaxis, :]
    if not np.allclose(normalized.z, expected, rtol=SAME_RUN_RTOL, atol=0):
        return "its values are not those of %s divided by the window counts" % GRID_FILE
    return None


@dataclass
class Table:
    """A table of periodscan-survey: its path, the stem of the figures drawn
    from it (the path without ".tsv" and, for windows, without ".windows"),
    and its content (a SpectrumTable or a WindowTable)."""
    path: str
    stem: str
    data: object


@dataclass
class Run:
    """The result files of one folder, read and checked. Files that are not
    there are None; `tables` holds the tables of periodscan-survey;
    `warnings` says why a file that is there was set aside."""
    directory: str
    spectrum: Spectrum = None
    grid: Grid = None
    normalized: Grid = None
    counts: WindowCounts = None
    events: np.ndarray = None
    events_path: str = None
    description: dict = None     # EVENTS.json beside the event file, if there is one
    tables: list = field(default_factory=list)
    warnings: list = field(default_factory=list)


def is_table(path):
    return str(path).endswith((SPECTRUM_TABLE_SUFFIX, WINDOW_TABLE_SUFFIX))


def read_table(path):
    if str(path).endswith(SPECTRUM_TABLE_SUFFIX):
        return Table(path, str(path)[:-len(".tsv")], read_spectrum_table(path))
    return Table(path, str(path)[:-len(WINDOW_TABLE_SUFFIX)], read_window_table(path))


def read_run(target, events_path=None):
    """Reads and checks the result files in the folder `target`, or the one
    table of periodscan-survey that `target` names, and the event file if one
    is named, before anything is drawn from them."""
    from .events import read_description, read_event_times

    if is_table(target) and not os.path.isdir(target):
        if not os.path.exists(target):
            raise file_error(target, "not found")
        run = Run(os.path.dirname(target) or ".", events_path=events_path)
        run.events = read_event_times(events_path) if events_path else None
        run.description = read_description(events_path) if events_path else None
        run.tables.append(read_table(target))
        check_table_events(target, getattr(run.tables[0].data, "record", None), run.events,
                           events_path)
        return run
    directory = target
    if not os.path.isdir(directory):
        raise ResultFileError("%s: no such directory" % directory)

    def path(name):
        return os.path.join(directory, name)

    def present(name):
        return os.path.exists(path(name))

    tables = sorted(name for name in os.listdir(directory)
                    if is_table(name) and os.path.isfile(path(name)))
    if not tables and not any(present(name) for name in RESULT_FILES):
        raise ResultFileError("%s: no result files of periodscan (%s)"
                              % (directory, ", ".join(RESULT_FILES)))

    run = Run(directory, events_path=events_path)
    run.events = read_event_times(events_path) if events_path else None
    run.description = read_description(events_path) if events_path else None
    run.spectrum = read_spectrum(path(SPECTRUM_FILE)) if present(SPECTRUM_FILE) else None
    run.grid = read_grid(path(GRID_FILE)) if present(GRID_FILE) else None
    run.counts = read_window_counts(path(COUNTS_FILE)) if present(COUNTS_FILE) else None
    run.tables = [read_table(path(name)) for name in tables]
    for table in run.tables:
        check_table_events(table.path, getattr(table.data, "record", None), run.events,
                           events_path)
    if run.grid is not None:
        if run.counts is None:
            raise ResultFileError("%s: not found; it is written with %s and tells which "
                                  "windows were too sparse to estimate"
                                  % (path(COUNTS_FILE), path(GRID_FILE)))
        check_same_run(run.grid, run.counts, path(GRID_FILE), path(COUNTS_FILE))
        if present(NORMALIZED_GRID_FILE):
            normalized = read_grid(path(NORMALIZED_GRID_FILE))
            why = stale_normalized_grid(run.grid, normalized, run.counts)
            if why:
                run.warnings.append("%s is left from an earlier run (%s); not drawn"
                                    % (path(NORMALIZED_GRID_FILE), why))
            else:
                run.normalized = normalized
    elif present(NORMALIZED_GRID_FILE):
        run.warnings.append("%s without %s; not drawn"
                            % (path(NORMALIZED_GRID_FILE), path(GRID_FILE)))
    return run
