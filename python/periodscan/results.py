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
import re
from dataclasses import dataclass, field

import numpy as np

from .inputfile import ResultFileError, file_error, read_lines

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
    span: float = None      # of the events, from the table's record; None if absent
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
    record: "TableRecord" = None

    def window_centre(self):
        return (self.window_start + self.window_end) / 2

    def counts(self):
        """The events per window, as the count file of periodscan gives them."""
        return WindowCounts(self.window_centre(), self.events)


@dataclass
class TableRecord:
    """What a table's record says of the events it was made from and of its
    size. `format` is None for a table written before the keyed record, of
    whose comment sentences only the count, the first and last time, the
    span and the exposure are read. None where an entry is absent."""
    format: int = None
    events_read: int = None
    t1: float = None
    last: float = None
    span: float = None
    sorted: bool = False
    over_intervals: bool = False
    frequencies: int = None
    windows: int = None
    intervals_file: str = None    # as the survey was given it
    intervals: int = None         # how many it read from that file
    exposure_total: float = None  # the time they cover
    path: str = None              # of the table


RECORD_FORMAT = 2
_RECORD_LINE = re.compile(r"# ([a-z_]+):(.*)")
_WHOLE_NUMBER = re.compile(r"[0-9]+")


def record_entries(path, lines):
    """The `# key: value` lines at the head of a table as {key: (value,
    line number)}; a key given twice is refused."""
    entries = {}
    for line_number, line in enumerate(lines, start=1):
        if not line.startswith("#"):
            break
        match = _RECORD_LINE.fullmatch(line)
        if match is None:
            continue
        key = match.group(1)
        if key in entries:
            raise file_error(path, "the record gives %s twice (also on line %d)"
                             % (key, entries[key][1]), line_number)
        entries[key] = (match.group(2).strip(), line_number)
    return entries


def table_record(lines, path="the table"):
    """The TableRecord of a table's comment lines: read by key when they
    hold `# format: 2`, else from the sentences of older tables ("#
    events_read: 830 (...)", "# t1: 3.83 (first event); last: 363.8; span:
    360", "# exposure: ...")."""
    entries = record_entries(path, lines)
    if "format" not in entries:
        return _old_table_record(lines)
    text, line_number = entries["format"]
    if text != str(RECORD_FORMAT):
        raise file_error(path, "the record is of format %r; this reader knows format %d"
                         % (text, RECORD_FORMAT), line_number)

    def entry(key, read, required=True):
        if key not in entries:
            if required:
                raise file_error(path, "the record has no %s" % key)
            return None
        text, line_number = entries[key]
        value = read(text)
        if value is None:
            raise file_error(path, "%s must be %s, found %r"
                             % (key, read.__doc__, text), line_number)
        return value

    record = TableRecord(format=RECORD_FORMAT)
    record.events_read = entry("events_read", _whole)
    if record.events_read < 2:
        raise file_error(path, "events_read must be at least 2 (a survey needs two times), "
                         "found %d" % record.events_read, entries["events_read"][1])
    record.t1 = entry("first_time", _finite)
    record.last = entry("last_time", _finite)
    if not record.last > record.t1:
        raise file_error(path, "last_time must come after first_time, found %r and %r"
                         % (entries["last_time"][0], entries["first_time"][0]),
                         entries["last_time"][1])
    record.span = entry("span", _positive_number, required=False)
    if record.span is None:
        record.span = record.last - record.t1
    record.sorted = entry("sorted", _yes_no, required=False) or False
    record.over_intervals = entry("exposure", _exposure) == "intervals"
    record.intervals_file = entries.get("intervals_file", (None,))[0]
    record.intervals = entry("intervals", _whole, required=False)
    record.exposure_total = entry("exposure_total", _finite, required=False)
    record.frequencies = entry("frequencies", _whole)
    if entries.get("table", ("",))[0] == "windows" or "windows" in entries:
        record.windows = entry("windows", _whole)
        entry("window_length", _positive_number, required=False)
        not_fitted = entry("windows_not_fitted", _whole, required=False)
        if not_fitted is not None and not_fitted > record.windows:
            raise file_error(path, "windows_not_fitted must be at most the %s of the record, "
                             "found %d" % (plural(record.windows, "window"), not_fitted),
                             entries["windows_not_fitted"][1])
    return record


def _whole(text):
    """a whole number"""
    return int(text) if _WHOLE_NUMBER.fullmatch(text) else None


def _finite(text):
    """a finite number"""
    value = number(text)
    return value if value is not None and math.isfinite(value) else None


def _positive_number(text):
    """a positive number"""
    value = _finite(text)
    return value if value is not None and value > 0 else None


def _yes_no(text):
    """yes or no"""
    return {"yes": True, "no": False}.get(text)


def _exposure(text):
    """whole_span or intervals"""
    return text if text in ("whole_span", "intervals") else None


def _old_table_record(lines):
    record = TableRecord()
    for line in lines:
        if not line.startswith("#"):
            break
        text = line[1:].strip()
        if text.startswith("events_read:"):
            value = number((text.split(":", 1)[1].split() or [""])[0])
            record.events_read = int(value) if value is not None and math.isfinite(value) \
                else None
        elif text.startswith("t1:") and "last:" in text:
            record.t1 = number(text[3:].split("(")[0].strip())
            record.last = number(text.split("last:", 1)[1].split(";")[0].strip())
            if "span:" in text:
                span = number(text.rsplit("span:", 1)[1].strip())
                if span is not None and math.isfinite(span) and span > 0:
                    record.span = span
        elif text.startswith("exposure:"):
            record.over_intervals = "from the first event to the last" not in text
    return record


# Tables written before the keyed record are checked against the events as
# they were: to about the digits of their sentences.
OLD_RECORD_RTOL = 1e-6


def check_table_events(path, record, events, events_path):
    """Refuses an event file that is not the one a survey table was made
    from: every level, interval and flag would come from other events. The
    record's times are doubles spelled with 17 digits: the survey dialect
    reads the same doubles back, to within one unit in the last place."""
    if record is None or events is None or record.events_read is None:
        return
    t = np.asarray(events, dtype=float)

    def near(a, b):
        if b is None:
            return True
        if record.format is None:
            return abs(a - b) <= OLD_RECORD_RTOL * max(1.0, abs(b))
        return abs(a - b) <= math.ulp(b)

    if len(t) != record.events_read or not near(t[0], record.t1) or not near(t[-1], record.last):
        raise ResultFileError(
            "%s: made from %d events%s, but %s holds %d from %s to %s; give the event file "
            "of the run" % (path, record.events_read, _span_words(record.t1, record.last),
                            events_path, len(t), _g(t[0]), _g(t[-1])))


def _g(value):
    return "%.17g" % value


def _span_words(first, last):
    """" from t1 to tN" as far as the record gives them."""
    if first is not None and last is not None:
        return " from %s to %s" % (_g(first), _g(last))
    if first is not None:
        return " from %s" % _g(first)
    if last is not None:
        return " up to %s" % _g(last)
    return ""


def check_table_rows(path, record, rows):
    """Refuses a table with fewer or more rows than its record gives."""
    if record is None or record.format is None:
        return
    expected = record.frequencies * (record.windows if record.windows is not None else 1)
    if rows != expected:
        shape = ("1 frequency" if record.frequencies == 1 else
                 "%d frequencies" % record.frequencies)
        if record.windows is not None:
            shape += " x " + plural(record.windows, "window")
        why = ("cut short?" if rows < expected else
               "the rows do not match the record")
        raise file_error(path, "holds %s but its record gives %s: %s"
                         % (plural(rows, "row"), shape, why))
    if rows and not _ends_line(path):
        # Every row the survey writes ends its line: a last row without one
        # was cut inside a number, which would read as another number.
        raise file_error(path, "its last row has no line end: cut short?")


def _ends_line(path):
    """Whether the file at `path` ends with a line end (True where it
    cannot be read again: the reader has already read it whole)."""
    try:
        with open(path, "rb") as stream:
            stream.seek(-1, os.SEEK_END)
            return stream.read(1) == b"\n"
    except OSError:
        return True


# What a value of each column may be: the test and its wording. The fit of a
# window too sparse to fit is nan; phase and peak time are nan where A = 0.
# The converged fit never falls below the constant rate (DeltaLogLik >= 0,
# less rounding); DeltaLogLik and rayleigh_z grow with the number of events
# (rayleigh_z <= N), and no catalogue comes near 2^53 of them: values beyond
# are damage, and would overflow the sums drawn from them.
MAX_DELTA_LOG_LIK = 2.0 ** 53
MAX_AMPLITUDE = 1.0 + 1e-9
# Times, periods and window lengths are squared and multiplied together on the
# way to the levels and figures; no catalogue needs numbers beyond 1e100.
MAX_MAGNITUDE = 1e100
# period = 1/frequency, each spelled with 17 digits.
RECIPROCAL_RTOL = 1e-9


def _positive(v):
    return math.isfinite(v) and v > 0


def _finite_or_nan(v):
    return not math.isinf(v)


def _count(v):
    return math.isfinite(v) and v >= 0 and v == int(v) and v <= 2.0 ** 53


COLUMN_RULES = {
    "window_start": (math.isfinite, "a finite number"),
    "window_end": (math.isfinite, "a finite number"),
    "events": (_count, "a whole number of events"),
    "period": (_positive, "a positive number"),
    "frequency": (_positive, "a positive number"),
    "delta_log_lik": (lambda v: math.isnan(v) or -1.0 <= v <= MAX_DELTA_LOG_LIK,
                      "nan or a number from -1 to 2^53"),
    "amplitude": (lambda v: math.isnan(v) or 0.0 <= v <= MAX_AMPLITUDE,
                  "nan or a number from 0 to 1"),
    "phase": (_finite_or_nan, "nan or a finite number"),
    "peak_time": (_finite_or_nan, "nan or a finite number"),
    "rayleigh_z": (lambda v: math.isnan(v) or 0.0 <= v <= MAX_DELTA_LOG_LIK,
                   "nan or a number from 0 to 2^53"),
}


# The survey writes nan as DeltaLogLik only for the windows too sparse to fit;
# every period of a spectrum is fitted.
SPECTRUM_RULES = dict(COLUMN_RULES, delta_log_lik=(
    lambda v: -1.0 <= v <= MAX_DELTA_LOG_LIK, "a number from -1 to 2^53 (not nan: every "
    "period of a spectrum is fitted)"))


def _read_table(path, columns, lines=None):
    """The rows of a tab-separated table with '#' comment lines and a header
    row naming `columns`, as (line number, values) pairs. Numbers are read
    with float(), which takes the "nan" and "inf" that the tables hold; each
    value must be one its column can hold (COLUMN_RULES)."""
    lines = read_lines(path, encoding="utf-8") if lines is None else lines
    header = "\t".join(columns)
    rules = [(SPECTRUM_RULES if columns == FIT_COLUMNS else COLUMN_RULES)[name]
             for name in columns]
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
        for column, (name, text, value, (fits, wording)) in enumerate(
                zip(columns, fields, values, rules), start=1):
            if value is None:
                raise file_error(path, "%s (column %d) is not a number: %r"
                                 % (name, column, text), line_number)
            if not fits(value):
                pass
            elif abs(value) > MAX_MAGNITUDE:
                wording = "at most %g in size" % MAX_MAGNITUDE
            else:
                continue
            raise file_error(path, "%s (column %d) must be %s, found %r"
                             % (name, column, wording, text), line_number)
        period, frequency = (values[columns.index(name)] for name in ("period", "frequency"))
        if not abs(period * frequency - 1) <= RECIPROCAL_RTOL:
            raise file_error(path, "frequency (column %d) must be 1/period, found %r and %r"
                             % (columns.index("frequency") + 1, fields[columns.index("period")],
                                fields[columns.index("frequency")]), line_number)
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
    record = table_record(lines, path)
    record.path = path
    rows = _read_table(path, FIT_COLUMNS, lines)
    check_table_rows(path, record, len(rows))
    if len(rows) < 2:
        raise file_error(path, "holds %s; a spectrum has at least two periods"
                         % plural(len(rows), "row"))
    table = np.array([values for _, values in rows], dtype=float)
    order = _period_order(path, table[:, 0], [n for n, _ in rows])
    table = table[order]
    return SpectrumTable(table[:, 0], table[:, 2], table[:, 3], table[:, 1], table[:, 4],
                         table[:, 5], table[:, 6], record.span, record)


def read_window_table(path):
    """PREFIX.windows.tsv: for each window in turn, one row per trial period
    with the columns window_start window_end events and the fit; every window
    lists the same periods."""
    lines = read_lines(path, encoding="utf-8")
    record = table_record(lines, path)
    record.path = path
    rows = _read_table(path, WINDOW_COLUMNS, lines)
    check_table_rows(path, record, len(rows))
    if not rows:
        raise file_error(path, "holds no windows")
    windows = []  # (start, end, events, [(line number, values)])
    for line_number, values in rows:
        start, end, events = values[:3]
        if not windows or (start, end) != windows[-1][:2]:
            if not end >= start:
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
                       fits[0, :, 0], fits[:, :, 2].T, fits[:, :, 3].T, record)


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
    its content (a SpectrumTable or a WindowTable), and the times of the
    event file as the survey reads them (None without an event file)."""
    path: str
    stem: str
    data: object
    times: np.ndarray = None


@dataclass
class Run:
    """The result files of one folder, read and checked. Files that are not
    there are None; `tables` holds the tables of periodscan-survey;
    `warnings` says why a file that is there was set aside. `events` holds
    the times of the event file as the interactive program reads them (for
    its own result files); each table has them as the survey reads them."""
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


# The first line of the tables of periodscan-survey, whatever they are named
# (periodscan-survey -o FILE).
TABLE_TITLES = {"# periodscan-survey: spectrum": SPECTRUM_TABLE_SUFFIX,
                "# periodscan-survey: moving windows": WINDOW_TABLE_SUFFIX}


def titled_table(path):
    """The suffix of the kind of table that the regular file `path` is by its
    first line, or None."""
    if not os.path.isfile(path):
        return None
    try:
        with open(path, "rb") as stream:
            first = stream.readline(80).decode("ascii", "replace").rstrip("\r\n")
    except OSError:
        return None
    return TABLE_TITLES.get(first)


def read_table(path, kind=None):
    """The table at `path`, of the kind its name gives, else `kind`; a table
    named otherwise draws under its name without the extension."""
    if str(path).endswith(SPECTRUM_TABLE_SUFFIX):
        return Table(path, str(path)[:-len(".tsv")], read_spectrum_table(path))
    if str(path).endswith(WINDOW_TABLE_SUFFIX):
        return Table(path, str(path)[:-len(WINDOW_TABLE_SUFFIX)], read_window_table(path))
    stem = os.path.splitext(str(path))[0]
    if kind == SPECTRUM_TABLE_SUFFIX:
        return Table(path, stem, read_spectrum_table(path))
    return Table(path, stem, read_window_table(path))


def attach_table_events(table, events_path):
    """Reads the event file as the survey read it for `table` (sorted where
    the table's record says the survey sorted it; a table of the older
    format does not say, so its events may be sorted) and checks it against
    the record."""
    from .eventfile import SURVEY, read_event_times

    record = table.data.record
    sort = record is None or record.format is None or record.sorted
    table.times = read_event_times(events_path, SURVEY, sort=sort)
    check_table_events(table.path, record, table.times, events_path)


# ZUM_out.dat records nothing of its events, so an event file given with it is
# checked by fitting a few of its periods again: the three highest and two
# others. Its periods are printed with 6 significant digits, so the refit
# spans the periods the text may stand for (PERIOD_DIGITS, plus two steps of
# the 4-byte reals of the program). On the examples the program's DeltaLogLik
# lies above the converged fit by at most 4e-4 (at values near 5) and below it
# (where the program's search stops short of the optimum) by at most 0.035
# (at 2.4); another event file moves it by far more.
PERIOD_DIGITS = 6
REFIT_HIGHEST = 3
REFIT_OTHERS = 2
REFIT_ABOVE = (0.01, 1e-3)     # absolute, relative: the program above the fit
REFIT_BELOW = (0.05, 1e-2)     # the program below the fit


def refit_periods(spectrum):
    """The indices of the periods of ZUM_out.dat that are fitted again."""
    n = len(spectrum.period)
    order = np.argsort(-np.nan_to_num(spectrum.delta_loglik, nan=-np.inf), kind="stable")
    chosen = [int(i) for i in order[:REFIT_HIGHEST]]
    rest = [i for i in range(n) if i not in chosen]
    for k in range(1, REFIT_OTHERS + 1):
        if rest:
            chosen.append(rest[(k * len(rest)) // (REFIT_OTHERS + 1)])
    return sorted(set(chosen))


def check_spectrum_events(spectrum, times, path, events_path):
    """Refuses an event file whose converged fit at a few periods of
    ZUM_out.dat is not the DeltaLogLik printed there."""
    from .likelihood import fit

    for k in refit_periods(spectrum):
        period = spectrum.period[k]
        step = (0.5 * 10.0 ** (math.floor(math.log10(period)) - (PERIOD_DIGITS - 1))
                + 2 * float(np.spacing(np.float32(period))))
        try:
            with np.errstate(all="ignore"):
                fits = fit(times, 1.0 / (period + step * np.array([-1.0, 0.0, 1.0])))
        except np.linalg.LinAlgError:
            # Event times on a lattice of this period: no fit to compare.
            continue
        value = spectrum.delta_loglik[k]
        above = REFIT_ABOVE[0] + REFIT_ABOVE[1] * abs(value)
        below = REFIT_BELOW[0] + REFIT_BELOW[1] * abs(value)
        values = fits.delta_log_lik
        if not (np.nanmin(values) - below <= value <= np.nanmax(values) + above):
            raise ResultFileError(
                "%s: DeltaLogLik at T = %.6g is %.6g, but the events of %s give %.6g there: "
                "the spectrum was not made from this event file; give the event file of the run"
                % (path, period, value, events_path, values[1]))


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


def check_window_events(counts, times, path, events_path):
    """Refuses an event file from which no window length gives the counts of
    NumbOfEvents_in_Windows.dat: the maps and their levels would come from
    other events."""
    if window_length(times, counts.time_mark, counts.count) is None:
        raise ResultFileError(
            "%s: no window length gives these window counts from the events of %s: the "
            "windows were not made from this event file; give the event file of the run"
            % (path, events_path))


def read_run(target, events_path=None):
    """Reads and checks the result files in the folder `target`, or the one
    table of periodscan-survey that `target` names, and the event file if one
    is named, before anything is drawn from them. The event file is read as
    each program read it: for the survey's tables as the survey reads it,
    for ZUM_out.* as the interactive program does."""
    from .eventfile import INTERACTIVE, read_description, read_event_times

    kind = None if is_table(target) else titled_table(target)
    if (is_table(target) or kind) and not os.path.isdir(target):
        if not os.path.exists(target):
            raise file_error(target, "not found")
        run = Run(os.path.dirname(target) or ".", events_path=events_path)
        run.description = read_description(events_path) if events_path else None
        run.tables.append(read_table(target, kind))
        if events_path:
            attach_table_events(run.tables[0], events_path)
        return run
    directory = target
    if not os.path.isdir(directory):
        if os.path.exists(directory):
            raise ResultFileError(
                "%s: neither a folder of result files nor a table of periodscan-survey "
                "(tables are known by their first line, or by their names: NAME%s or "
                "NAME%s)"
                % (directory, SPECTRUM_TABLE_SUFFIX, WINDOW_TABLE_SUFFIX))
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
    run.description = read_description(events_path) if events_path else None
    run.spectrum = read_spectrum(path(SPECTRUM_FILE)) if present(SPECTRUM_FILE) else None
    run.grid = read_grid(path(GRID_FILE)) if present(GRID_FILE) else None
    run.counts = read_window_counts(path(COUNTS_FILE)) if present(COUNTS_FILE) else None
    run.tables = [read_table(path(name)) for name in tables]
    if events_path:
        if run.spectrum is not None or run.grid is not None:
            run.events = read_event_times(events_path, INTERACTIVE)
        if run.spectrum is not None:
            check_spectrum_events(run.spectrum, run.events, path(SPECTRUM_FILE), events_path)
        for table in run.tables:
            attach_table_events(table, events_path)
    if run.grid is not None:
        if run.counts is None:
            raise ResultFileError("%s: not found; it is written with %s and tells which "
                                  "windows were too sparse to estimate"
                                  % (path(COUNTS_FILE), path(GRID_FILE)))
        check_same_run(run.grid, run.counts, path(GRID_FILE), path(COUNTS_FILE))
        if run.events is not None:
            check_window_events(run.counts, run.events, path(COUNTS_FILE), events_path)
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
