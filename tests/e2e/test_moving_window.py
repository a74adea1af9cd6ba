#!/usr/bin/python3
"""Regime 1 end to end: the console countdown, "ZUM_out.grd",
"NumbOfEvents_in_Windows.dat" and "ZUM_out_Normalized.grd" byte for byte; the
number of windows; result files that cannot be written; storage that cannot
be had; and the grid read back by GDAL.

Blank-only grids and every count file are spelled out here from their rules.
Cells that the estimator computes come from `window_model`, a literal model of
the scan built on oracle.py, never from the program's own output."""

import json
import math
import os
import shutil
import subprocess

import pytest

import oracle
from e2e import (FILE_PROMPT, LENGTH, MARKS, NUMBER, PERIODS, PREAMBLE, REGIME, SHIFT, check,
                 count_line, fatal, labels, records, run)

f32 = oracle.f32
BLANK = f32(1e-35)
GRD = "ZUM_out.grd"
NORMALIZED = "ZUM_out_Normalized.grd"
COUNTS = "NumbOfEvents_in_Windows.dat"
TOO_SMALL = " Moving time window shift is too small !"


def asked(n):
    """Console records up to the last window question, for an event file of n
    times."""
    return PREAMBLE + [FILE_PROMPT, count_line(n), PERIODS, NUMBER] + REGIME + [LENGTH, SHIFT,
                                                                                MARKS]


def progress(windows_left, periods_left):
    return "+" + oracle.integer10(windows_left) + oracle.integer10(periods_left)


def list_real(x):
    """A 4-byte real in the list layout (16 characters)."""
    if 1 <= abs(x) < 1e7:
        return "%16.6f" % x
    return "%16.6E" % x


def grid_lines(nx, ny, x, y, z, rows):
    """A grid file: x, y, z are (min, max) pairs, rows the cells of each
    period, lowest first."""
    lines = ["DSAA", "%12d%12d" % (nx, ny)] + [list_real(a) + list_real(b) for a, b in (x, y, z)]
    for row in rows:
        for i in range(0, len(row), 4):
            lines.append("".join(list_real(v) for v in row[i:i + 4]))
    return lines


def finish(columns):
    """The finishing pass over columns[w][k], in storage order; returns the
    finished columns and (zmin, zmax)."""
    cells = [c for column in columns for c in column]
    zmax = cells[0]
    for c in cells:
        if c > zmax:
            zmax = c
    zmin = zmax
    for c in cells:
        if c > BLANK and c < zmin:
            zmin = c
    return [[zmin if c <= BLANK else c for c in column] for column in columns], (zmin, zmax)


def window_model(times, tmin, tmax, np_, length, shift, mark_shift):
    """Regime 1 from its rules, on answers given as text. Returns the console
    records after the dialogue and the result files."""
    t = [f32(float(x)) for x in times]
    tmin, tmax = f32(float(tmin)), f32(float(tmax))
    L, S, M = (f32(float(v)) for v in (length, shift, mark_shift))
    D = f32(t[-1] - t[0])
    nw = int((D - L) / S + 1)
    lgmin, lgmax = f32(math.log10(tmin)), f32(math.log10(tmax))
    step = f32((lgmax - lgmin) / float(np_ - 1))
    omegas = [f32(oracle.TWO_PI / math.pow(10.0, float(k) * step + lgmin)) for k in range(np_)]
    console, columns, counts = ["  "], [], []
    for w in range(1, nw + 1):
        ws = t[0] + (w - 1) * S
        we = ws + L
        chosen = [x for x in t if ws <= x <= we]
        counts.append(len(chosen))
        t0 = f32(ws)
        if len(chosen) < 2 or f32(chosen[-1] - t0) == 0:
            columns.append([BLANK] * np_)
            continue
        column = []
        for k in range(np_):
            column.append(oracle.find_afi(omegas[k], chosen, t0)[1])
            console.append(progress(nw - w, np_ - 1 - k))
        columns.append(column)

    xmin = f32(M + L)
    marks = [f32(xmin + (w - 1) * S) for w in range(1, nw + 1)]
    xy = ((xmin, marks[-1]), (lgmin, lgmax))

    def grid(cols, z):
        return records(grid_lines(nw, np_, xy[0], xy[1], z, [list(r) for r in zip(*cols)]))

    columns, z = finish(columns)
    files = {GRD: grid(columns, z),
             COUNTS: records(oracle.general15(m) + oracle.integer10(n)
                             for m, n in zip(marks, counts))}
    if min(counts) > 0:
        normalised = [[f32(c / n) for c in col] for col, n in zip(columns, counts)]
        normalised, z2 = finish(normalised)
        files[NORMALIZED] = grid(normalised, z2)
    return console, files


def event_file(times):
    return {"ev.txt": "".join(x + "\n" for x in times).encode()}


def answers(tmin, tmax, np_, length, shift, mark_shift):
    return "\nev.txt\n%s %s\n%d\n1\n%s\n%s\n%s\n" % (tmin, tmax, np_, length, shift, mark_shift)


# The complete files of blank cells: events at 0 and 10, four windows holding
# 1, 0, 0 and 1 events. No search, no progress record, no normalised grid.
BLANK_GRID = [
    "DSAA",
    "           4           2",
    "        4.000000       10.000000",
    "    0.000000E+00        2.000000",
    "    1.000000E-35    1.000000E-35",
    "    1.000000E-35    1.000000E-35    1.000000E-35    1.000000E-35",
    "    1.000000E-35    1.000000E-35    1.000000E-35    1.000000E-35",
]
BLANK_COUNTS = ["    4.00000             1", "    6.00000              ",
                "    8.00000              ", "    10.0000             1"]
PAIR = event_file(["0", "10"])

# The worked example with a gap: windows [0,3], [1.5,4.5], [3,6], [4.5,7.5],
# [6,9] hold 3, 1, 0, 0 and 2 events; windows 1 and 5 are searched.
GAP_TIMES = ["0", "1", "2", "8", "9", "10"]
GAP = event_file(GAP_TIMES)
GAP_ANSWERS = answers(1, 100, 2, 3, 1.5, 100)
GAP_CONSOLE = ["  ", progress(4, 1), progress(4, 0), progress(0, 1), progress(0, 0)]
GAP_COUNTS = records(["    103.000             3", "    104.500             1",
                      "    106.000              ", "    107.500              ",
                      "    109.000             2"])
gap_console, gap_files = window_model(GAP_TIMES, 1, 100, 2, 3, 1.5, 100)

# L = D: one window from t(1) = 0.3; D rounds to 99.69999695, so the window
# ends just short of t(N) = 100 and the two events there are left out.
EDGE_TIMES = ["0.3", "40", "60", "100", "100"]
EDGE = event_file(EDGE_TIMES)
edge_console, edge_files = window_model(EDGE_TIMES, 1, 100, 2, "99.69999695", "99.69999695", 0)

# No window empty, one holding a single event: the normalised grid is
# written, and that window's column holds the first grid's zmin divided by 1.
ONE_TIMES = ["0", "0.5", "1", "3", "5", "5.5", "6"]
ONE = event_file(ONE_TIMES)
ONE_ANSWERS = answers("0.5", 20, 3, 2, 1, "-1.5")
one_console, one_files = window_model(ONE_TIMES, "0.5", 20, 3, 2, 1, "-1.5")


def test_model_of_the_worked_examples():
    assert gap_console == GAP_CONSOLE and gap_files[COUNTS] == GAP_COUNTS
    assert NORMALIZED not in gap_files
    # The header as the rules give it: nx, ny, time marks 103 to 109, lg 1 to 100.
    assert gap_files[GRD].startswith(records([
        "DSAA", "           5           2", "      103.000000      109.000000",
        "    0.000000E+00        2.000000"]))
    assert edge_console == ["  ", progress(0, 1), progress(0, 0)]
    assert edge_files[COUNTS] == records(["    99.7000             3"])
    assert one_files[COUNTS] == records(["   0.500000             3", "    1.50000             2",
                                         "    2.50000             1", "    3.50000             2",
                                         "    4.50000             3"])


def truncated(length, nw, first_mark, last_mark):
    """A run whose (D - L)/S + 1 falls just short of a whole number after
    rounding: nw windows over events at 0 and 1, every cell blank."""
    rows = ["    1.000000E-35" * 4, "    1.000000E-35" * (nw - 4)] * 2
    grid = ["DSAA", "%12d%12d" % (nw, 2), first_mark + last_mark,
            "    0.000000E+00        2.000000", "    1.000000E-35    1.000000E-35"] + rows
    marks = ["   0.%d00000    " % (int(length[2]) + w) for w in range(nw)]
    counts = [m + ("         1" if w == 0 else " " * 10) for w, m in enumerate(marks)]
    events = event_file(["0", "1"])
    return ("L = %s gives %d windows" % (length, nw), answers(1, 100, 2, length, "0.1", 0),
            events, asked(2) + ["  "],
            dict(events, **{GRD: records(grid), COUNTS: records(counts)}))


# An earlier normalised grid stays as it was when a window is empty; a longer
# earlier grid is cut to the new records.
OLD = {NORMALIZED: b"earlier run\r\n", GRD: b"x" * 5000, COUNTS: b"y" * 5000}

# (label, standard input, files given, console records, every file afterwards)
WINDOW_RUNS = [
    ("every cell blank", answers(1, 100, 2, 4, 2, 0), PAIR, asked(2) + ["  "],
     dict(PAIR, **{GRD: records(BLANK_GRID), COUNTS: records(BLANK_COUNTS)})),
    ("gap example", GAP_ANSWERS, GAP, asked(6) + GAP_CONSOLE, dict(GAP, **gap_files)),
    ("earlier normalised grid untouched", GAP_ANSWERS, dict(GAP, **OLD),
     asked(6) + GAP_CONSOLE, dict(GAP, **gap_files, **{NORMALIZED: OLD[NORMALIZED]})),
    truncated("0.3", 7, "    3.000000E-01", "    9.000000E-01"),
    truncated("0.5", 5, "    5.000000E-01", "    9.000000E-01"),
    ("L = D leaves out the events at t(N)",
     answers(1, 100, 2, "99.69999695", "99.69999695", 0), EDGE, asked(5) + edge_console,
     dict(EDGE, **edge_files)),
    ("one-event window, normalised grid", ONE_ANSWERS, ONE, asked(7) + one_console,
     dict(ONE, **one_files)),
]


@pytest.mark.parametrize("label,stdin,given,console,files", WINDOW_RUNS,
                         ids=labels(WINDOW_RUNS))
def test_window_run(program, label, stdin, given, console, files):
    check(run(program, stdin, given), console, files=files)


def zmin_and_row(text, k):
    """The zmin text and the cells of grid row k (1-based) of a grid file."""
    lines = text.decode().split("\r\n")
    cells = " ".join(lines[5:]).split()
    nx = int(lines[1].split()[0])
    return lines[4][:16].strip(), cells[(k - 1) * nx:k * nx]


def test_one_event_column_of_the_normalised_grid_is_the_first_zmin(program):
    result = run(program, ONE_ANSWERS, ONE)
    first_zmin = zmin_and_row(result.files.get(GRD, b"\r\n" * 6), 1)[0]
    for k in (1, 2, 3):
        assert zmin_and_row(result.files.get(NORMALIZED, b"\r\n" * 6), k)[1][2:3] == [first_zmin]


def directory(name):
    return lambda folder: os.mkdir(os.path.join(folder, name))


def full_device(name):
    return lambda folder: os.symlink("/dev/full", os.path.join(folder, name))


# Result files that cannot be written: the run ends with the fatal error
# report naming the file; the files closed before it are complete.
one_grid_only = {GRD: one_files[GRD]}
one_grid_counts = {GRD: one_files[GRD], COUNTS: one_files[COUNTS]}
UNWRITABLE = [
    ("grid is a directory", directory(GRD), "open failure", GRD, {}),
    ("count file is a directory", directory(COUNTS), "open failure", COUNTS, one_grid_only),
    ("normalised grid is a directory", directory(NORMALIZED), "open failure", NORMALIZED,
     one_grid_counts),
    ("grid on a full device", full_device(GRD), "failure during a write", GRD, {}),
    ("count file on a full device", full_device(COUNTS), "failure during a write", COUNTS,
     one_grid_only),
    ("normalised grid on a full device", full_device(NORMALIZED), "failure during a write",
     NORMALIZED, one_grid_counts),
]


@pytest.mark.parametrize("label,setup,kind,name,closed", UNWRITABLE, ids=labels(UNWRITABLE))
def test_result_file_cannot_be_written(program, label, setup, kind, name, closed):
    result = run(program, ONE_ANSWERS, ONE, setup=setup)
    check(result, asked(7) + one_console, stderr=fatal(kind, "file", name), status=2,
          files=dict(ONE, **closed))


def test_shift_too_small_is_asked_again(program):
    """A shift that would make more windows than a 32-bit integer counts."""
    result = run(program, "\nev.txt\n1 100\n2\n1\n3\n1e-9\n1.5\n0\n", PAIR)
    check(result, asked(2)[:-1] + [TOO_SMALL, SHIFT, MARKS, "  "], files=None)


def test_storage_exhausted(program, monkeypatch):
    """1e5 windows of 2e9 periods: more storage than can be had. The run ends
    before any result file is opened, so an earlier grid stays as it was."""
    # A program built with the address sanitizer must fail the request like
    # the system allocator does, not abort.
    monkeypatch.setenv("ASAN_OPTIONS", ":".join(
        filter(None, [os.environ.get("ASAN_OPTIONS"), "allocator_may_return_null=1"])))
    wide = event_file(["0", "100000"])
    result = run(program, "\nev.txt\n1 100\n2000000000\n1\n1\n1\n0\n",
                 dict(wide, **{GRD: b"earlier run\r\n"}))
    # A sanitizer build adds a warning line of its own about the failed request.
    result.stderr = b"".join(line for line in result.stderr.splitlines(True)
                             if b"WARNING: AddressSanitizer failed to allocate" not in line)
    check(result, asked(2), stderr=fatal("storage exhausted", "memory", "none"), status=2,
          files=dict(wide, **{GRD: b"earlier run\r\n"}))


@pytest.mark.skipif(shutil.which("gdalinfo") is None or shutil.which("gdallocationinfo") is None,
                    reason="gdalinfo not installed; Debian package gdal-bin")
def test_gdal_reads_the_grid(program, tmp_path):
    """Reads the gap example's "ZUM_out.grd" with GDAL's Golden Software ASCII
    grid driver: size, extents (the marks are cell centres) and cells."""
    path = tmp_path / GRD
    path.write_bytes(run(program, GAP_ANSWERS, GAP).files.get(GRD, b""))
    info = json.loads(subprocess.run(["gdalinfo", "-json", "-mm", str(path)],
                                     capture_output=True, check=True).stdout)
    assert info.get("driverShortName") == "GSAG"
    assert info.get("size") == [5, 2]
    # Columns 1.5 apart centred on 103..109, rows 2 apart centred on 0 and 2.
    corners = info.get("cornerCoordinates", {})
    assert corners.get("upperLeft") == [102.25, 3.0]
    assert corners.get("lowerRight") == [109.75, -1.0]
    lines = gap_files[GRD].decode().split("\r\n")
    zmin, zmax = (float(v) for v in lines[4].split())
    band = info["bands"][0]
    # gdalinfo rounds the computed range to three decimals.
    assert abs(band.get("computedMin", math.inf) - zmin) < 1e-3
    assert abs(band.get("computedMax", math.inf) - zmax) < 1e-3
    cells = [float(v) for line in lines[5:] for v in line.split()]
    rows = [cells[0:5], cells[5:10]]
    # GDAL's line 0 is the top row: the last period.
    for col, line, want in [(0, 1, rows[0][0]), (4, 1, rows[0][4]), (0, 0, rows[1][0]),
                            (4, 0, rows[1][4]), (2, 0, zmin)]:
        got = subprocess.run(["gdallocationinfo", "-valonly", str(path), str(col), str(line)],
                             capture_output=True, check=True).stdout.decode().strip()
        assert f32(float(got)) == f32(want), "cell %d,%d" % (col, line)
