"""The readers of the four result files, on files written by periodscan itself
and on files laid out by hand in its record layouts, and the check that a
normalised grid belongs to the run of the grid beside it."""

import numpy as np
import pytest

from periodscan.results import (ResultFileError, WindowCounts, grid_image, read_grid, read_run,
                                read_spectrum, read_spectrum_table, read_window_counts,
                                read_window_table, stale_normalized_grid)
from plot_support import (SPECTRUM_TSV, WINDOW_HEADER, WINDOWS_TSV, keyed_table, records,
                          run_periodscan, write_events)

# A small catalogue whose spectrum at Tmin = 1, Tmax = 100, NP = 5 is pinned by
# the end-to-end tests of the static regime.
TWELVE_TIMES = [0.5, 1.25, 3.0, 10.2, 11.0, 12.5, 20.1, 21.3, 30.4, 31.0, 33.3, 40.9]


def test_spectrum_written_by_periodscan(program, tmp_path):
    write_events(tmp_path, TWELVE_TIMES)
    run_periodscan(program, tmp_path, "\nev.txt\n1 100\n5\n0\n")
    spectrum = read_spectrum(tmp_path / "ZUM_out.dat")
    assert spectrum.period.tolist() == [1.0, 3.16228, 10.0, 31.6228, 100.0]
    assert spectrum.delta_loglik.tolist() == [3.20649, 0.0193392, 6.89356, 0.155775, 0.69862]
    assert spectrum.amplitude.tolist() == [1.0, 0.0892889, 1.0, 0.232873, 0.660714]


# Moving-window runs: (label, event times, answers after the file name,
# window counts, time marks, ymin and ymax, whether a normalised grid follows).
WINDOW_RUNS = [
    ("two events, four windows", [0, 10], "1 100\n2\n1\n4\n2\n0\n",
     [1, 0, 0, 1], [4, 6, 8, 10], (0.0, 2.0), False),
    ("a gap, time marks shifted by 100", [0, 1, 2, 8, 9, 10], "1 100\n2\n1\n3\n1.5\n100\n",
     [3, 1, 0, 0, 2], [103, 104.5, 106, 107.5, 109], (0.0, 2.0), False),
    ("no empty window", list(range(21)), "1 10\n3\n1\n4\n2\n0\n",
     [5] * 9, [4, 6, 8, 10, 12, 14, 16, 18, 20], (0.0, 1.0), True),
]


@pytest.mark.parametrize("label,times,answers,counts,marks,y_range,normalized", WINDOW_RUNS,
                         ids=[row[0] for row in WINDOW_RUNS])
def test_window_files_written_by_periodscan(program, tmp_path, label, times, answers,
                                            counts, marks, y_range, normalized):
    write_events(tmp_path, times)
    run_periodscan(program, tmp_path, "\nev.txt\n" + answers)
    grid = read_grid(tmp_path / "ZUM_out.grd")
    window = read_window_counts(tmp_path / "NumbOfEvents_in_Windows.dat")

    assert window.count.tolist() == counts
    assert window.time_mark.tolist() == marks
    assert (grid.nx, grid.ny) == (len(counts), int(answers.split("\n")[1]))
    assert grid.x().tolist() == pytest.approx(marks, rel=1e-7)
    assert (grid.ymin, grid.ymax) == y_range
    assert grid.zmin <= grid.z.min() and grid.z.max() == grid.zmax
    # periodscan fills the columns of windows with fewer than two events with
    # zmin; those are the columns that the diagram must not colour.
    sparse = np.array(counts) < 2
    assert np.all(grid.z[:, sparse] == grid.zmin)
    assert np.ma.getmaskarray(grid_image(grid, window)).tolist() == \
        [sparse.tolist()] * grid.ny

    normalized_path = tmp_path / "ZUM_out_Normalized.grd"
    assert normalized_path.exists() == normalized
    if normalized:
        per_event = read_grid(normalized_path)
        assert per_event.same_layout(grid)
        assert per_event.z == pytest.approx(grid.z / np.array(counts), rel=1e-6)
        assert stale_normalized_grid(grid, per_event, window) is None


# The complete grid of two events at 0 and 10 (L = 4, S = 2, M = 0, NP = 2).
SEVEN_LINE_GRID = [
    "DSAA",
    "           4           2",
    "        4.000000       10.000000",
    "    0.000000E+00        2.000000",
    "    1.000000E-35    1.000000E-35",
    "    1.000000E-35    1.000000E-35    1.000000E-35    1.000000E-35",
    "    1.000000E-35    1.000000E-35    1.000000E-35    1.000000E-35",
]

# Five windows: each row takes a line of four values and a line of one.
WRAPPED_GRID = [
    "DSAA",
    "           5           2",
    "        1.000000        5.000000",
    "   -3.010300E-01    3.010300E-01",
    "        1.000000       10.000000",
    "        1.000000        2.000000        3.000000        4.000000",
    "        5.000000",
    "        6.000000        7.000000        8.000000        9.000000",
    "       10.000000",
]


@pytest.mark.parametrize("lines,ending,header,rows", [
    (SEVEN_LINE_GRID, "\r\n", (4.0, 10.0, 0.0, 2.0, 1e-35, 1e-35), [[1e-35] * 4] * 2),
    (SEVEN_LINE_GRID, "\n", (4.0, 10.0, 0.0, 2.0, 1e-35, 1e-35), [[1e-35] * 4] * 2),
    (WRAPPED_GRID, "\r\n", (1.0, 5.0, -0.30103, 0.30103, 1.0, 10.0),
     [[1, 2, 3, 4, 5], [6, 7, 8, 9, 10]]),
], ids=["seven-line example", "LF line ends", "rows wrapped after four values"])
def test_grid_layout(tmp_path, lines, ending, header, rows):
    path = tmp_path / "ZUM_out.grd"
    path.write_bytes("".join(line + ending for line in lines).encode())
    grid = read_grid(path)
    assert (grid.xmin, grid.xmax, grid.ymin, grid.ymax, grid.zmin, grid.zmax) == header
    assert grid.z.tolist() == rows


@pytest.mark.parametrize("lines,marks,counts", [
    # Counts of 0 are ten blanks; the example of four windows over events at 0 and 10.
    (["    4.00000             1", "    6.00000              ", "    8.00000              ",
      "    10.0000             1"], [4, 6, 8, 10], [1, 0, 0, 1]),
    # The same with the trailing blanks of empty count fields cut off by an editor.
    (["    4.00000             1", "    6.00000", "    10.0000             1"],
     [4, 6, 10], [1, 0, 1]),
    # Exponent spelling of the time mark, a negative mark, a wide count.
    (["   -123.456    2147483647", "   0.100000E+07       123"],
     [-123.456, 1e6], [2147483647, 123]),
], ids=["blank counts", "cut trailing blanks", "exponent and wide count"])
def test_count_file_columns(tmp_path, lines, marks, counts):
    path = tmp_path / "NumbOfEvents_in_Windows.dat"
    path.write_bytes(records(lines))
    window = read_window_counts(path)
    assert window.time_mark.tolist() == marks
    assert window.count.tolist() == counts


def _grid(nx, z):
    lines = ["DSAA", "%12d%12d" % (nx, len(z) // nx), "        4.000000       10.000000",
             "    0.000000E+00        2.000000", "%16.6E%16.6E" % (min(z), max(z))]
    for row in range(len(z) // nx):
        lines.append("".join("%16.6E" % v for v in z[row * nx:(row + 1) * nx]))
    return lines


@pytest.mark.parametrize("normalized,why", [
    (_grid(4, [1, 2, 3, 4, 5, 6, 7, 8]), None),
    (_grid(2, [1, 2, 3, 4]), "its header differs from that of ZUM_out.grd"),
    (_grid(4, [1, 2, 3, 4, 5, 6, 7, 9]),
     "its values are not those of ZUM_out.grd divided by the window counts"),
], ids=["same run", "other layout", "other values"])
def test_normalised_grid_must_match_the_grid(tmp_path, normalized, why):
    (tmp_path / "raw.grd").write_bytes(records(_grid(4, [2, 4, 6, 8, 10, 12, 14, 16])))
    (tmp_path / "norm.grd").write_bytes(records(normalized))
    counts = WindowCounts(np.array([4.0, 6, 8, 10]), np.array([2, 2, 2, 2]))
    assert stale_normalized_grid(read_grid(tmp_path / "raw.grd"),
                                 read_grid(tmp_path / "norm.grd"), counts) == why


def test_survey_tables(tmp_path):
    (tmp_path / "q.spectrum.tsv").write_text(SPECTRUM_TSV)
    (tmp_path / "q.windows.tsv").write_text(WINDOWS_TSV)
    spectrum = read_spectrum_table(tmp_path / "q.spectrum.tsv")
    assert spectrum.period.tolist() == [1, 1.3333333333333333, 2]
    assert spectrum.delta_loglik.tolist() == [9.75, 0.5, 1.5]
    assert spectrum.amplitude.tolist() == [1, 0.125, 0.25]
    assert spectrum.frequency.tolist() == [1, 0.75, 0.5]
    windows = read_window_table(tmp_path / "q.windows.tsv")
    assert windows.window_centre().tolist() == [5, 10]
    assert windows.events.tolist() == [5, 1]
    assert windows.period.tolist() == [1, 2]
    # [period, window]: the second window is too sparse to be fitted.
    assert np.isnan(windows.delta_loglik[:, 1]).all()
    assert windows.delta_loglik[:, 0].tolist() == [7, 1.5]


def _window_rows(*rows):
    """Rows of (start, end, events, period) and FIT, with frequency 1/period."""
    return "\n".join([WINDOW_HEADER] + ["\t".join(map(repr, r[:4] + (1 / r[3],) + r[4:]))
                                        for r in rows]) + "\n"


FIT = (1, 0.25, 1, 0.5, 2)
# (label, file name, content, message after the path)
MALFORMED_TABLES = [
    ("header of another table", "a.spectrum.tsv", "# run\n" + WINDOW_HEADER + "\n",
     ", line 2: expected the header row period frequency delta_log_lik amplitude phase "
     "peak_time rayleigh_z, found %r" % WINDOW_HEADER),
    ("no header", "a.spectrum.tsv", "# run\n", ": has no header row (period frequency "
     "delta_log_lik amplitude phase peak_time rayleigh_z)"),
    ("row cut short", "a.spectrum.tsv", SPECTRUM_TSV.replace("\t0.125\t2\t0.25\t1\n", "\n"),
     ", line 5: expected 7 tab-separated columns, found 3"),
    ("field not a number", "a.spectrum.tsv", SPECTRUM_TSV.replace("9.75", "9,75"),
     ", line 6: delta_log_lik (column 3) is not a number: '9,75'"),
    ("periods out of order", "a.spectrum.tsv",
     SPECTRUM_TSV.replace("\n1\t1\t", "\n3\t0.3333333333333333\t"),
     ", line 6: the periods must run one way, found 3 after 1.33333"),
    ("window lists other periods", "a.windows.tsv",
     _window_rows((0, 10, 5, 2) + FIT, (0, 10, 5, 1) + FIT, (5, 15, 4, 2) + FIT,
                  (5, 15, 4, 1.5) + FIT),
     ", line 5: the window from 5 does not list the periods of the first window"),
    ("event count changes", "a.windows.tsv",
     _window_rows((0, 10, 5, 2) + FIT, (0, 10, 4, 1) + FIT),
     ", line 3: the event count of the window changes from 5 to 4"),
    ("a value beyond doubles", "a.spectrum.tsv", SPECTRUM_TSV.replace("9.75", "1e400"),
     ", line 6: delta_log_lik (column 3) must be a number from -1 to 2^53 (not nan: every period "
     "of a spectrum is fitted), found '1e400'"),
    ("a huge negative value", "a.spectrum.tsv", SPECTRUM_TSV.replace("9.75", "-1e300"),
     ", line 6: delta_log_lik (column 3) must be a number from -1 to 2^53 (not nan: every period "
     "of a spectrum is fitted), found '-1e300'"),
    ("a huge period", "a.spectrum.tsv", SPECTRUM_TSV.replace("\n1\t1\t", "\n1e308\t1e-308\t"),
     ", line 6: period (column 1) must be at most 1e+100 in size, found '1e308'"),
    ("frequency not 1/period", "a.spectrum.tsv", SPECTRUM_TSV.replace("\n1\t1\t", "\n1\t2\t"),
     ", line 6: frequency (column 2) must be 1/period, found '1' and '2'"),
    ("an amplitude above 1", "a.spectrum.tsv", SPECTRUM_TSV.replace("\t0.125\t", "\t1.5\t"),
     ", line 5: amplitude (column 4) must be nan or a number from 0 to 1, found '1.5'"),
    ("infinitely many events", "a.windows.tsv", _window_rows((0, 10, float("inf"), 2) + FIT),
     ", line 2: events (column 3) must be a whole number of events, found 'inf'"),
    ("windows go back", "a.windows.tsv",
     _window_rows((5, 15, 5, 2) + FIT, (0, 10, 4, 2) + FIT),
     ", line 3: the windows must not start earlier than the one before, found 0 after 5"),
]


@pytest.mark.parametrize("label,name,content,message", MALFORMED_TABLES,
                         ids=[m[0] for m in MALFORMED_TABLES])
def test_malformed_survey_table(tmp_path, label, name, content, message):
    path = tmp_path / name
    path.write_text(content)
    reader = read_spectrum_table if name.endswith(".spectrum.tsv") else read_window_table
    with pytest.raises(ResultFileError) as error:
        reader(path)
    assert str(error.value) == str(path) + message


@pytest.mark.parametrize("comments,span", [
    (["# t1: 0.03775972 (first event); last: 364.99652407; span: 364.95876435"], 364.95876435),
    (["# events: q.txt", "# t1: 3 (first event); last: 9; span: 6"], 6.0),
    (["# t1: 3 (first event); last: 3; span: 0"], None),        # no span to speak of
    (["# t1: 3 (first event); last: 9; span: nan"], None),
    (["# span: 6"], None),                                       # not the line of t1
    ([], None),
])
def test_span_of_a_survey_table(tmp_path, comments, span):
    path = tmp_path / "s.spectrum.tsv"
    path.write_text("\n".join(comments + SPECTRUM_TSV.splitlines()[2:]) + "\n")
    assert read_spectrum_table(path).span == span


RECORD = ["# events_read: 3 (0 blank or comment lines skipped)",
          "# t1: 0 (first event); last: 9.5; span: 9.5"]


@pytest.mark.parametrize("times, exposure, message", [
    ("0\n4\n9.5\n", "from the first event to the last", None),
    ("0\n4\n9.5\n", "1 intervals from e.intervals, 8 in all", None),
    ("0\n4\n9.5\n12\n", "from the first event to the last", "made from 3 events from 0 to 9.5"),
    ("0.5\n4\n9.5\n", "from the first event to the last", "holds 3 from 0.5 to 9.5"),
])
def test_a_survey_table_and_its_event_file(tmp_path, times, exposure, message):
    path = tmp_path / "s.spectrum.tsv"
    path.write_text("\n".join(RECORD + ["# exposure: " + exposure]
                              + SPECTRUM_TSV.splitlines()[2:]) + "\n")
    (tmp_path / "e.txt").write_text(times)
    if message is None:
        run = read_run(str(path), str(tmp_path / "e.txt"))
        assert run.tables[0].data.record.over_intervals == ("intervals" in exposure)
        return
    with pytest.raises(ResultFileError, match=message):
        read_run(str(path), str(tmp_path / "e.txt"))


TIMES = [0.5, 1.25, 3.0, 7.5, 9.0]
EVENTS = "".join("%r\n" % t for t in TIMES)
WINDOWS = [(0.5, 5.5, 3), (3.0, 8.0, 2)]
UNIX = [1609459200.123456, 1609459262.5, 1609459300.25]

# (label, table, event file, what read_run says: None when it reads them)
KEYED_TABLES = [
    ("a spectrum and its events", keyed_table(TIMES), EVENTS, None),
    ("a window table and its events", keyed_table(TIMES, windows=WINDOWS), EVENTS, None),
    ("comment lines and extra columns", keyed_table(TIMES, lines_skipped=2),
     "# head\n" + EVENTS.replace("\n", " 3.1 34 -118\n") + "# end\n", None),
    ("an entry this reader does not know", keyed_table(TIMES, future_entry="x"), EVENTS, None),
    ("sorted by the survey", keyed_table(TIMES, sorted="yes"),
     "".join(reversed(EVENTS.splitlines(True))), None),
    ("not sorted by the survey", keyed_table(TIMES), "9\n0.5\n1.25\n3\n7.5\n",
     "ev.txt, line 2: event times must not decrease"),
    ("Unix seconds", keyed_table(UNIX), "".join("%r\n" % t for t in UNIX), None),
    ("a last time one unit in the last place off",
     keyed_table(TIMES, last_time="%.17g" % np.nextafter(9.0, 10)), EVENTS, None),
    ("a last time two units in the last place off",
     keyed_table(TIMES, last_time="%.17g" % np.nextafter(np.nextafter(9.0, 10), 10)), EVENTS,
     "q.spectrum.tsv: made from 5 events from 0.5 to 9.0000000000000036, but .*ev.txt holds "
     "5 from 0.5 to 9; give the event file of the run"),
    ("another event file", keyed_table(TIMES), "0.5\n1\n9\n", "made from 5 events"),
    ("a window table and another event file", keyed_table(TIMES, windows=WINDOWS),
     "0\n1\n", "q.windows.tsv: made from 5 events"),
    ("cut short", keyed_table(TIMES).rsplit("\n", 2)[0] + "\n", None,
     "q.spectrum.tsv: holds 2 rows but its record gives 3 frequencies: cut short\\?"),
    ("windows cut short", keyed_table(TIMES, windows=WINDOWS).rsplit("\n", 2)[0] + "\n", None,
     "q.windows.tsv: holds 5 rows but its record gives 3 frequencies x 2 windows: cut short"),
    ("a key twice", keyed_table(TIMES).replace("# span", "# frequencies: 3\n# span"), None,
     "q.spectrum.tsv, line 14: the record gives frequencies twice \\(also on line 10\\)"),
    ("a format to come", keyed_table(TIMES, format=3), None,
     "q.spectrum.tsv, line 2: the record is of format '3'; this reader knows format 2"),
    ("no frequencies", keyed_table(TIMES, frequencies=None), None,
     "q.spectrum.tsv: the record has no frequencies"),
    ("events_read not a count", keyed_table(TIMES, events_read="inf"), None,
     "q.spectrum.tsv, line 5: events_read must be a whole number, found 'inf'"),
    ("a first time that is no time", keyed_table(TIMES, first_time="1e400"), None,
     "first_time must be a finite number, found '1e400'"),
]


@pytest.mark.parametrize("label,table,events,message", KEYED_TABLES,
                         ids=[c[0] for c in KEYED_TABLES])
def test_a_keyed_table_and_its_event_file(tmp_path, label, table, events, message):
    path = tmp_path / ("q.windows.tsv" if "window_start" in table else "q.spectrum.tsv")
    path.write_text(table)
    events_path = None
    if events is not None:
        events_path = str(tmp_path / "ev.txt")
        (tmp_path / "ev.txt").write_text(events)
    if message is not None:
        with pytest.raises(ResultFileError, match=message):
            read_run(str(path), events_path)
        return
    run = read_run(str(path), events_path)
    times = sorted(float(line.split()[0]) for line in events.splitlines()
                   if line and not line.startswith("#"))
    assert run.tables[0].times.tolist() == times
    assert run.tables[0].data.record.frequencies == 3
