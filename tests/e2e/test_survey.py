"""periodscan-survey end to end: every input error with its message and exit
status (and no result file left behind), sorting, the recorded run, the same
bytes for any thread count, a known daily cycle, moving windows read back
through GDAL, progress on a terminal, and an interrupted run.

The program is named by the environment variable PERIODSCAN_SURVEY."""

import json
import os
import pty
import re
import shutil
import signal
import subprocess
import time

import pytest

DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples")
QUARRY = os.path.join(DATA, "scsn_2021_quarry_blasts_days.txt")
ISCGEM = os.path.join(DATA, "iscgem_m6_days.txt")
PERIODS = ["--min-period", "1", "--max-period", "4"]


@pytest.fixture(scope="session")
def survey():
    path = os.environ.get("PERIODSCAN_SURVEY")
    if not path:
        pytest.skip("PERIODSCAN_SURVEY is not set: it names the built periodscan-survey "
                    "(by hand: PERIODSCAN_SURVEY=build/periodscan-survey "
                    "/usr/bin/python3 -m pytest tests/e2e/test_survey.py)")
    return os.path.abspath(path)


def run(survey, folder, args, **kwargs):
    return subprocess.run([survey] + args, cwd=folder, capture_output=True, text=True, **kwargs)


def rows(path):
    """The data rows of a result table, without the '#' lines."""
    with open(path) as f:
        return [line for line in f if not line.startswith("#")]


def comments(path):
    with open(path) as f:
        return [line[2:].rstrip("\n") for line in f if line.startswith("#")]


def record(path):
    """The title and the "# key: value" record of a table, as a dict (each
    key once)."""
    title, *lines = comments(path)
    keys = dict(line.split(": ", 1) for line in lines)
    assert len(keys) == len(lines), lines
    keys["title"] = title
    return keys


# Event file content -> exit status and the message on standard error.
EVENT_ERRORS = [
    ("text line", "0\n1\nabc def\n", "ev.txt:3: not a time: \"abc def\""),
    ("date", "0\n2021-01-05 10:00\n", "ev.txt:2: not a time: \"2021-01-05 10:00\""),
    ("decreasing", "0\n5 x\n3 y\n",
     "ev.txt:3: time 3 is smaller than 5 on line 2 (--sort sorts the events): \"3 y\""),
    ("not finite", "0\nnan\n", "ev.txt:2: not a finite time: \"nan\""),
    ("long line is cut", "0\n" + "x" * 70 + "\n", "ev.txt:2: not a time: \"" + "x" * 60 + "...\""),
    ("empty", "", "ev.txt: 0 events: a survey needs at least two"),
    ("comments only", "# a\n\n   \n", "ev.txt: 0 events: a survey needs at least two"),
    ("one event", "# a\n5\n", "ev.txt: 1 event: a survey needs at least two"),
    ("zero span", "4\n4\n4\n", "ev.txt: every event is at time 4: the span is zero"),
    ("window too long", "0\n10\n", "the window (20) is longer than the span of the events (10)"),
    ("too many windows", "0\n1e9\n", "--step 1 gives more than 10000000 windows"),
    ("broken description", "0\n10\n", "ev.json: ',' or '}' missing after a value (at byte 17)"),
]


@pytest.mark.parametrize("label,content,message", EVENT_ERRORS,
                         ids=[case[0] for case in EVENT_ERRORS])
def test_event_file_errors(survey, tmp_path, label, content, message):
    (tmp_path / "ev.txt").write_text(content)
    args = ["ev.txt"] + PERIODS
    if label in ("window too long", "too many windows"):
        args += ["--window", "20", "--step", "1"]
    if label == "broken description":
        (tmp_path / "ev.json").write_text('{"unit": "days" "origin": ""}')
    result = run(survey, tmp_path, args)
    assert (result.returncode, result.stderr, result.stdout) == (
        1, "periodscan-survey: " + message + "\n", "")
    assert sorted(os.listdir(tmp_path)) == sorted(["ev.txt"] + (
        ["ev.json"] if label == "broken description" else []))


# Interval file content -> the message (events at 0, 5 and 10).
INTERVAL_ERRORS = [
    ("not two numbers", "0 4\n5\n", "on.txt:2: not an interval (start and end): \"5\""),
    ("empty interval", "0 4\n# gap\n6 6\n", "on.txt:3: the interval does not end after it starts: "
     "\"6 6\""),
    ("overlap", "0 6\n5 10\n", "on.txt:2: the interval starts before the one on line 1 ends "
     "(intervals must be sorted and must not overlap): \"5 10\""),
    ("unsorted", "5 10\n0 4\n", "on.txt:2: the interval starts before the one on line 1 ends "
     "(intervals must be sorted and must not overlap): \"0 4\""),
    ("no interval", "# none\n", "on.txt: no intervals in the file"),
    ("event outside", "0 4\n6 10\n", "ev.txt:4: the event at 5 lies outside every interval of "
     "on.txt"),
    ("missing file", None, "on.txt: cannot open: No such file or directory"),
]


@pytest.mark.parametrize("label,content,message", INTERVAL_ERRORS,
                         ids=[case[0] for case in INTERVAL_ERRORS])
def test_interval_file_errors(survey, tmp_path, label, content, message):
    (tmp_path / "ev.txt").write_text("0\n# comment\n\n5\n10\n")
    if content is not None:
        (tmp_path / "on.txt").write_text(content)
    result = run(survey, tmp_path, ["ev.txt", "--intervals", "on.txt"] + PERIODS)
    assert (result.returncode, result.stderr) == (1, "periodscan-survey: " + message + "\n")
    assert not [name for name in os.listdir(tmp_path) if name.startswith("ev.")
                and name != "ev.txt"]


# Command lines -> the first line on standard error; each is followed by the
# usage and exit status 2.
USAGE_ERRORS = [
    ([], "no event file given"),
    (["ev.txt", "--min-period", "2", "--max-period", "1"],
     "--min-period must be smaller than --max-period"),
    (["ev.txt"] + PERIODS + ["--step", "1"], "--window and --step go together"),
    (["ev.txt"] + PERIODS + ["--samples-per-peak", "x"],
     "--samples-per-peak needs a positive number, not 'x'"),
]


@pytest.mark.parametrize("args,message", USAGE_ERRORS, ids=[case[1] for case in USAGE_ERRORS])
def test_bad_command_lines(survey, tmp_path, args, message):
    (tmp_path / "ev.txt").write_text("0\n10\n")
    result = run(survey, tmp_path, args)
    assert result.returncode == 2
    lines = result.stderr.splitlines()
    assert lines[0] == "periodscan-survey: " + message
    assert lines[1].startswith("usage: periodscan-survey EVENTS")
    assert os.listdir(tmp_path) == ["ev.txt"]


def test_help_names_every_option_and_an_example(survey, tmp_path):
    result = run(survey, tmp_path, ["--help"])
    assert result.returncode == 0
    for option in ["--min-period", "--max-period", "--samples-per-peak", "--periods", "--window",
                   "--step", "--intervals", "-o FILE", "--output", "--threads", "--sort",
                   "--quiet", "--version", "Examples:"]:
        assert option in result.stdout


def release_number():
    with open(os.path.join(DATA, os.pardir, "CMakeLists.txt")) as f:
        return re.search(r"project\(periodscan VERSION (\S+)", f.read()).group(1)


@pytest.mark.parametrize("args", [["--version"], ["ev.txt", "--max-period", "4", "--version"]])
def test_version_is_the_release_set_in_cmake(survey, tmp_path, args):
    result = run(survey, tmp_path, args)
    assert (result.returncode, result.stdout, result.stderr) == (
        0, "periodscan-survey %s\n" % release_number(), "")
    assert os.listdir(tmp_path) == []


@pytest.mark.parametrize("extra, closing", [
    ([], "wrote ev.spectrum.tsv (4 periods)"),
    (["--window", "9.99", "--step", "9.99"],
     "wrote ev.windows.tsv and ev.windows.grd (1 window, 4 periods)"),
])
def test_the_closing_line_counts_in_words(survey, tmp_path, extra, closing):
    (tmp_path / "ev.txt").write_text("".join("%g\n" % (0.37 * i) for i in range(28)))
    result = run(survey, tmp_path, ["ev.txt", "--periods", "4"] + PERIODS + ["--quiet"] + extra)
    assert result.returncode == 0, result.stderr
    assert closing + "; highest peak" in result.stdout + result.stderr


def test_a_folder_that_cannot_be_written_fails_at_once(survey, tmp_path):
    (tmp_path / "ev.txt").write_text("0\n1\n3\n")
    result = run(survey, tmp_path, ["ev.txt", "--output", "missing/x"] + PERIODS)
    assert (result.returncode, result.stderr) == (
        1, "periodscan-survey: missing/x.spectrum.tsv: cannot create: No such file or directory\n")


def test_a_grid_beyond_a_hundred_million_rows_is_refused(survey, tmp_path):
    (tmp_path / "ev.txt").write_text("0\n1\n3\n")
    for low in ("1e-8", "1e-20"):
        result = run(survey, tmp_path, ["ev.txt", "--min-period", low, "--max-period", "30"])
        assert result.returncode == 1
        assert result.stderr.startswith(
            "periodscan-survey: the table would have more than 100000000 rows (")
        assert result.stderr.endswith("): raise --min-period or lower --samples-per-peak\n")
        assert not (tmp_path / "ev.spectrum.tsv").exists()


def test_an_input_is_never_overwritten(survey, tmp_path):
    (tmp_path / "ev.spectrum.tsv").write_text("0\n1\n3\n")
    result = run(survey, tmp_path, ["ev.spectrum.tsv", "--output", "ev"] + PERIODS)
    assert (result.returncode, result.stderr) == (
        1, "periodscan-survey: ev.spectrum.tsv: is an input of this run; choose another "
           "--output\n")
    assert (tmp_path / "ev.spectrum.tsv").read_text() == "0\n1\n3\n"


# -o FILE: arguments -> exit status, the files written, and the end of the
# closing line or the first line on standard error. The folder d and the
# intervals on.grd are there from the start.
WINDOWS = ["--window", "9.99", "--step", "9.99"]
OUTPUT_FILE_CASES = [
    (["-o", "r.tsv"], 0, ["r.tsv"], "wrote r.tsv (4 periods)"),
    (["-o=d/r.x.tsv"], 0, ["d/r.x.tsv"], "wrote d/r.x.tsv (4 periods)"),
    (["-o", "d/w.tsv"] + WINDOWS, 0, ["d/w.grd", "d/w.tsv"],
     "wrote d/w.tsv and d/w.grd (1 window, 4 periods)"),
    (["-o", "d"], 1, [], "d: is a folder; -o names the file to write"),
    (["-o", "ev.txt"], 1, [], "ev.txt: is an input of this run; choose another -o"),
    (["-o", "on.tsv", "--intervals", "on.grd"] + WINDOWS, 1, [],
     "on.grd: is an input of this run; choose another -o"),
    (["-o", "-"], 2, [], "-o needs the name of a file to write, not '-'"),
    (["-o", "r.tsv", "--output", "r"], 2, [], "-o and --output exclude each other"),
]


@pytest.mark.parametrize("args,status,files,message", OUTPUT_FILE_CASES,
                         ids=[" ".join(case[0]) for case in OUTPUT_FILE_CASES])
def test_output_file_names_the_table(survey, tmp_path, args, status, files, message):
    (tmp_path / "ev.txt").write_text("".join("%g\n" % (0.37 * i) for i in range(28)))
    (tmp_path / "on.grd").write_text("0 10\n")
    (tmp_path / "d").mkdir()
    result = run(survey, tmp_path, ["ev.txt", "--periods", "4"] + PERIODS + ["--quiet"] + args)
    assert result.returncode == status, result.stderr
    found = sorted(os.path.relpath(os.path.join(top, name), tmp_path)
                   for top, _, names in os.walk(tmp_path) for name in names)
    assert found == sorted(files + ["ev.txt", "on.grd"])
    if status:
        assert result.stderr.splitlines()[0] == "periodscan-survey: " + message
        return
    assert (message + "; highest peak") in result.stdout
    table = record(tmp_path / files[-1])
    assert table.get("grid_file") == (files[0] if len(files) == 2 else None)


def test_sort_gives_the_spectrum_of_the_sorted_file(survey, tmp_path):
    (tmp_path / "shuffled.txt").write_text("# heading\n7.5\n0\n\n3.25 mag\n9\n1\n")
    (tmp_path / "sorted.txt").write_text("0\n1\n3.25\n7.5\n9\n")
    assert run(survey, tmp_path, ["shuffled.txt", "--sort"] + PERIODS).returncode == 0
    assert run(survey, tmp_path, ["sorted.txt"] + PERIODS).returncode == 0
    assert rows(tmp_path / "shuffled.spectrum.tsv") == rows(tmp_path / "sorted.spectrum.tsv")
    shuffled = record(tmp_path / "shuffled.spectrum.tsv")
    assert (shuffled["events_read"], shuffled["lines_skipped"], shuffled["sorted"]) == (
        "5", "2", "yes")
    assert record(tmp_path / "sorted.spectrum.tsv")["sorted"] == "no"


def test_the_run_is_recorded_with_the_catalogue_description(survey, tmp_path):
    (tmp_path / "q.txt").write_text("2.5\n3\n7.5\n")
    # Both names: the one catalogue preparation writes wins.
    (tmp_path / "q.txt.json").write_text('{"unit": "years"}')
    (tmp_path / "q.json").write_text(json.dumps(
        {"unit": "days", "origin": "2021-01-01T00:00:00Z", "source": {"rows": [1, 2]}}))
    result = run(survey, tmp_path, ["q.txt", "--min-period", "2", "--max-period", "5",
                                    "--samples-per-peak", "2"])
    assert result.returncode == 0, result.stderr
    assert record(tmp_path / "q.spectrum.tsv") == {
        "title": "periodscan-survey: spectrum",
        "format": "2",
        "table": "spectrum",
        "command": "%s q.txt --min-period 2 --max-period 5 --samples-per-peak 2" % survey,
        "events": "q.txt",
        "events_read": "3",
        "lines_skipped": "0",
        "sorted": "no",
        "first_time": "2.5",
        "last_time": "7.5",
        "span": "5",
        "unit": "days",
        "origin": "2021-01-01T00:00:00Z",
        "description": "q.json",
        "exposure": "whole_span",
        "exposure_total": "5",
        "grid": "resolving",
        "min_period": "2",
        "max_period": "5",
        "samples_per_peak": "2",
        "grid_length": "5",
        "frequency_step": "0.10000000000000001",
        "frequencies": "4",
        "model": "Mju*(1 + A*cos(2*pi*frequency*(t - t1) + phase))",
        "peak_time": "time of a rate maximum, reduced into [0, period) from time 0; nan where "
                     "amplitude = 0; the maxima are peak_time + k*period, and the fit places "
                     "best the one nearest the mean time of the events",
        "rayleigh_z": "|sum exp(2*pi*i*frequency*(t - t1))|^2/N",
    }
    table = rows(tmp_path / "q.spectrum.tsv")
    assert table[0] == ("period\tfrequency\tdelta_log_lik\tamplitude\tphase\tpeak_time\t"
                        "rayleigh_z\n")
    assert [row.split("\t")[:2] for row in table[1:]] == [
        ["5", "0.2"], ["3.333333333333333", "0.30000000000000004"], ["2.5", "0.4"],
        ["2", "0.5"]]


def test_threads_do_not_change_a_byte(survey, tmp_path):
    outputs = []
    for threads in ("1", "2"):
        folder = tmp_path / threads
        folder.mkdir()
        args = [QUARRY, "--min-period", "0.2", "--max-period", "3", "--output", "t",
                "--threads", threads, "--quiet"]
        assert run(survey, folder, args).returncode == 0
        assert run(survey, folder, args + ["--window", "90", "--step", "45"]).returncode == 0
        texts = []
        for name in ("t.spectrum.tsv", "t.windows.tsv", "t.windows.grd"):
            with open(folder / name) as f:
                # The recorded command line differs, by the thread count.
                texts.append([line for line in f if not line.startswith("# command:")])
        outputs.append(texts)
    assert outputs[0] == outputs[1]


def test_finds_a_daily_cycle_and_its_time_of_day(survey, tmp_path):
    # Ten events a day for 200 days, crowded around 15:00 (0.625 d), on an
    # axis whose first event is far from 0.
    times = []
    for day in range(200):
        for k in range(10):
            times.append(5000 + day + 0.625 + 0.02 * (k - 4.5) + 0.003 * ((day * 7 + k) % 5))
    times.sort()
    (tmp_path / "daily.txt").write_text("".join("%.8f\n" % t for t in times))
    result = run(survey, tmp_path, ["daily.txt", "--min-period", "0.3", "--max-period", "3"])
    assert result.returncode == 0, result.stderr
    assert result.stdout.startswith("periodscan-survey: wrote daily.spectrum.tsv (")
    best = max((row.split("\t") for row in rows(tmp_path / "daily.spectrum.tsv")[1:]),
               key=lambda fields: float(fields[2]))
    period, peak_time = float(best[0]), float(best[5])
    assert abs(period - 1) < 1e-4
    assert 0 <= peak_time < period
    # The fitted rate peaks at peak_time + k*period: in mid-sample, at the
    # mean time of day (0.631), not one that drifted with the origin.
    middle = 5100.631
    k = round((middle - peak_time) / period)
    assert abs(peak_time + k * period - middle) < 0.005
    # The closing line names the maximum nearest the mean event time, 5100.13.
    named = float(result.stdout.split("(rate maximum at ")[1].split(",")[0])
    assert abs(named - 5099.631) < 0.005


def blocks(path):
    """The data rows of a table as dicts of numbers, grouped by window (one
    group for a spectrum)."""
    header, *lines = rows(path)
    names = header.rstrip("\n").split("\t")
    groups = {}
    for line in lines:
        row = dict(zip(names, map(float, line.split("\t"))))
        groups.setdefault(row.get("window_start"), []).append(row)
    return groups


def maximum_near(row, time):
    return row["peak_time"] + round((time - row["peak_time"]) / row["period"]) * row["period"]


# The quarry blasts of 2021 (days since midnight UTC) peak at about 20:05 UTC.
# Across the grid points of the daily peak, within half a resolution element
# (two steps) of its highest, peak_time reduced by each row's own period runs
# over hours; the maximum nearest the mean event time stays within 10 minutes
# of the one at the peak's own period, found on a grid 20 times finer.
@pytest.mark.parametrize("windows", [[], ["--window", "60", "--step", "15"]],
                         ids=["whole year", "60-day windows"])
def test_the_maximum_at_the_mean_time_holds_across_a_peak(survey, tmp_path, windows):
    with open(QUARRY) as f:
        times = [float(line.split()[0]) for line in f]
    ten_minutes = 10 / 1440
    coarse, fine = [["--min-period", lo, "--max-period", hi, "--samples-per-peak", k,
                     "--output", name, "--quiet"] + windows
                    for name, lo, hi, k in [("coarse", "0.9", "1.1", "5"),
                                            ("fine", "0.98", "1.02", "100")]]
    for args in (coarse, fine):
        assert run(survey, tmp_path, [QUARRY] + args).returncode == 0
    table = ".windows.tsv" if windows else ".spectrum.tsv"
    fine_blocks = blocks(tmp_path / ("fine" + table))
    for start, block in blocks(tmp_path / ("coarse" + table)).items():
        inside = [t for t in times if start is None or block[0]["window_start"] <= t
                  <= block[0]["window_end"]]
        mean = sum(inside) / len(inside)
        best = max(fine_blocks[start], key=lambda row: row["delta_log_lik"])
        truth = maximum_near(best, mean)
        assert 19.7 < truth % 1 * 24 < 21.5, (start, truth)
        top = max(range(len(block)), key=lambda i: block[i]["delta_log_lik"])
        for row in block[top - 2:top + 3]:
            assert abs(maximum_near(row, mean) - truth) < ten_minutes, (start, row)
        if not windows:
            # At a period of exactly one day peak_time is that time of day.
            assert run(survey, tmp_path, [QUARRY, "--min-period", "1", "--max-period", "1.00002",
                                          "--periods", "2", "--output", "day"]).returncode == 0
            day = blocks(tmp_path / "day.spectrum.tsv")[None][0]
            assert abs(day["period"] - 1) < 1e-6  # the grid keeps 4-byte frequencies
            assert abs(day["peak_time"] - truth % 1) < ten_minutes


def gdal(*args):
    if shutil.which(args[0]) is None:
        pytest.skip("%s (gdal-bin) is not installed" % args[0])
    return subprocess.run(args, capture_output=True, text=True, check=True).stdout


def test_window_grid_reads_in_gdal_with_its_extents_and_blanks(survey, tmp_path):
    # Events in days 0-6, one at 10, then from 25 on: the windows from 8 to
    # 16, 12 to 20 and 16 to 24 hold fewer than two.
    times = [0.1 * i for i in range(61)] + [10] + [25 + 0.13 * i for i in range(85)]
    (tmp_path / "ev.txt").write_text("".join("%.2f\n" % t for t in times))
    result = run(survey, tmp_path, ["ev.txt", "--min-period", "0.5", "--max-period", "2",
                                    "--window", "8", "--step", "4"])
    assert result.returncode == 0, result.stderr
    assert "(7 windows, 61 periods)" in result.stdout  # 35.92 - 8: windows start 0, 4, ..., 24

    info = json.loads(gdal("gdalinfo", "-json", str(tmp_path / "ev.windows.grd")))
    assert info["size"] == [7, 61]
    # Cell centres x = 4, 8, ..., 28 (window centres), y = 0.5 ... 2 in steps
    # of 0.1 = 1/(5*8); the extents are half a cell wider.
    x0, dx, _, y0, _, dy = info["geoTransform"]
    assert (x0, dx) == pytest.approx((2, 4))
    assert (y0, dy) == pytest.approx((2.0 + 0.0125, -0.025))
    assert info["bands"][0]["noDataValue"] == pytest.approx(1.70141e38)

    table = [row.rstrip("\n").split("\t") for row in rows(tmp_path / "ev.windows.tsv")[1:]]
    assert len(table) == 7 * 61
    blank = [row for row in table if row[5] == "nan"]
    assert sorted({(row[0], row[2]) for row in blank}) == [("12", "0"), ("16", "0"), ("8", "1")]
    assert all(row[5:] == ["nan"] * 5 for row in blank)
    # Window 2 (start 4), period 0.5: row 0 of the file is y_min (frequency
    # 0.5), so in GDAL's north-up lines it is the last line; column 1.
    cell = gdal("gdallocationinfo", "-valonly", str(tmp_path / "ev.windows.grd"), "1", "60")
    expected = next(row[5] for row in table if row[0] == "4" and row[4] == "0.5")
    assert float(cell) == pytest.approx(float(expected), rel=1e-15)
    blank_cell = gdal("gdallocationinfo", "-valonly", str(tmp_path / "ev.windows.grd"), "2", "0")
    assert float(blank_cell) == pytest.approx(1.70141e38)


def test_a_window_whose_events_share_one_time_is_marked_not_fitted(survey, tmp_path):
    (tmp_path / "ev.txt").write_text("0\n0\n5\n5\n5\n9\n9.5\n10\n")
    result = run(survey, tmp_path, ["ev.txt", "--min-period", "1", "--max-period", "2",
                                    "--window", "2", "--step", "4"])
    assert result.returncode == 0, result.stderr
    table = [row.rstrip("\n").split("\t") for row in rows(tmp_path / "ev.windows.tsv")[1:]]
    marked = {(row[0], row[2]) for row in table if row[5:] == ["nan"] * 5}
    fitted = {(row[0], row[2]) for row in table if "nan" not in row}
    assert (marked, fitted) == ({("0", "2"), ("4", "3")}, {("8", "3")})
    windows = record(tmp_path / "ev.windows.tsv")
    assert {key: windows[key] for key in ("title", "table", "frequencies", "windows",
                                          "window_length", "window_step", "windows_not_fitted",
                                          "grid_file", "events_read", "first_time")} == {
        "title": "periodscan-survey: moving windows", "table": "windows", "frequencies": "6",
        "windows": "3", "window_length": "2", "window_step": "4", "windows_not_fitted": "2",
        "grid_file": "ev.windows.grd", "events_read": "8", "first_time": "0"}
    assert len(table) == 3 * 6


def test_a_window_that_only_touches_the_intervals_is_not_fitted(survey, tmp_path):
    # The window from 10 to 20 holds the events at 10 and 20, each on the end
    # of an interval, but none of the watched time.
    (tmp_path / "ev.txt").write_text("0\n1\n2\n10\n20\n21\n22\n")
    (tmp_path / "on.txt").write_text("0 10\n20 30\n")
    result = run(survey, tmp_path, ["ev.txt", "--min-period", "1", "--max-period", "2",
                                    "--window", "10", "--step", "10", "--intervals", "on.txt"])
    assert result.returncode == 0, result.stderr
    table = [row.rstrip("\n").split("\t") for row in rows(tmp_path / "ev.windows.tsv")[1:]]
    assert {(row[0], row[2]) for row in table if row[5] == "nan"} == {("10", "2")}
    assert {(row[0], row[2]) for row in table if row[5] != "nan"} == {("0", "4")}
    keys = record(tmp_path / "ev.windows.tsv")
    assert [keys[key] for key in ("exposure", "intervals_file", "intervals", "exposure_total",
                                  "span", "windows_not_fitted")] == [
        "intervals", "on.txt", "2", "20", "22", "1"]


def test_progress_on_a_terminal_and_quiet(survey, tmp_path):
    args = [survey, QUARRY, "--min-period", "0.5", "--max-period", "2"]
    leader, follower = pty.openpty()
    try:
        process = subprocess.run(args, cwd=tmp_path, stdout=subprocess.PIPE, stderr=follower,
                                 text=True)
        os.close(follower)
        follower = -1
        shown = b""
        while True:
            try:
                chunk = os.read(leader, 4096)
            except OSError:
                break
            if not chunk:
                break
            shown += chunk
    finally:
        os.close(leader)
        if follower >= 0:
            os.close(follower)
    assert process.returncode == 0
    assert b"100% [########################]" in shown
    quiet = run(survey, tmp_path, args[1:] + ["--quiet"])
    assert quiet.stderr == ""
    assert quiet.stdout.startswith("periodscan-survey: wrote scsn_2021_quarry_blasts_days")


def test_an_interrupted_run_leaves_the_older_file_alone(survey, tmp_path):
    (tmp_path / "iscgem_m6_days.spectrum.tsv").write_text("older\n")
    process = subprocess.Popen([survey, ISCGEM, "--min-period", "0.01", "--max-period", "100",
                                "--quiet"], cwd=tmp_path, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE)
    time.sleep(1.0)
    process.send_signal(signal.SIGTERM)
    process.communicate(timeout=60)
    assert process.returncode == -signal.SIGTERM
    assert sorted(os.listdir(tmp_path)) == ["iscgem_m6_days.spectrum.tsv"]
    assert (tmp_path / "iscgem_m6_days.spectrum.tsv").read_text() == "older\n"
