"""periodscan-plot as a command: the summary and the coarse-grid warning on the
quarry-blast example, the figures it writes, and the messages and exit status
for missing, malformed or stale result files."""

import json
import os
import re
import shutil
import subprocess
import sys

import numpy as np

import pytest

from periodscan.plot_command import main
from periodscan.results import read_spectrum
from plot_support import (SPECTRUM_TSV, TOOL, WINDOWS_TSV, examples_beside, png_size,
                          records, run_periodscan, run_tool, svg_root, without_grid_warnings,
                          write_events)

QUARRY_EVENTS = "../examples/scsn_2021_quarry_blasts_days.txt"


def unwrapped(text):
    """The summary with its continuation lines joined to the line before."""
    return re.sub(r"\n {2,}(?=\S)(?!\d)", " ", text)


@pytest.fixture(scope="module")
def quarry(program, tmp_path_factory):
    """The quarry-blast answer files run as a user runs them: from a scratch
    folder beside examples/. Returns the scratch folder of each."""
    folders = {}
    for grid in ("coarse", "fine"):
        run = examples_beside(tmp_path_factory.mktemp(grid))
        answers = (run.parent / "examples" / ("scsn_2021_quarry_blasts_%s.answers" % grid))
        run_periodscan(program, run, answers.read_text())
        folders[grid] = run
    return folders


def first_peak(summary):
    row = re.search(r"^  1 +(\S+) +(\S+) +(\S+) +(\S+)(?: +(\S+))?$", summary, re.M)
    return [float(v) for v in row.groups() if v is not None]


def test_coarse_grid_warns_and_misses_the_daily_peak(quarry):
    run = quarry["coarse"]
    result = run_tool("--events", QUARRY_EVENTS, cwd=run)
    assert result.returncode == 0
    summary = unwrapped(result.stdout)
    assert "Lobs = 360.01, the span of the 830 events." in summary
    # The warning on standard error, a note in the summary.
    assert result.stderr == (
        "periodscan-plot: warning: ZUM_out.dat: the period grid is too coarse to resolve a "
        "peak: its step in log10 T (0.0204) exceeds a third of the peak width at Tmin "
        "(0.000101), so a narrow peak can fall between two periods and be missed. 11979 periods "
        "from 0.25 to 4 would resolve it (or narrow the range).\n")
    assert ("  11979 periods from 0.25 to 4 would resolve it (see the warning on standard "
            "error).") in summary
    assert "WARNING" not in result.stdout
    spectrum = read_spectrum(run / "ZUM_out.dat")
    near_one_day = (spectrum.period > 0.9) & (spectrum.period < 1.1)
    assert spectrum.delta_loglik[near_one_day].max() < 5
    # The largest peak is the one on the first grid period, the 6-hour harmonic.
    assert first_peak(summary)[:2] == [0.25, 23.7534]


def test_spectrum_and_events_of_other_runs_are_refused(quarry):
    # ZUM_out.dat records nothing of its events: a few periods are fitted again.
    result = run_tool("--events", "../examples/coal_disasters_years.txt", cwd=quarry["coarse"])
    assert result.returncode == 1
    assert re.fullmatch(r"periodscan-plot: error: \./ZUM_out\.dat: DeltaLogLik at T = \S+ is "
                        r"\S+, but the events of \.\./examples/coal_disasters_years\.txt give "
                        r"\S+ there: the spectrum was not made from this event file; give the "
                        r"event file of the run\n", result.stderr)


def test_coarse_grid_warning_without_events_uses_tmax(quarry):
    result = run_tool(quarry["coarse"])
    assert result.returncode == 0
    summary = unwrapped(result.stdout)
    assert "taking Lobs = Tmax = 4," in summary
    assert "135 periods from 0.25 to 4 would resolve it" in summary
    assert "FAP" not in summary


def test_fine_grid_resolves_the_daily_peak_without_warning(quarry):
    result = run_tool("--events", QUARRY_EVENTS, cwd=quarry["fine"])
    assert result.returncode == 0, result.stderr
    summary = unwrapped(result.stdout)
    assert "WARNING" not in summary
    assert "a peak at Tmin = 0.98 is 0.00118 wide: fine enough." in summary
    period, delta_loglik, amplitude, p_single, fap = first_peak(summary)
    assert abs(period - 1) < 1e-3 and delta_loglik > 500 and amplitude > 0.99
    assert p_single < 1e-200 and fap < 1e-200
    assert len(re.findall(r"^  \d +\S", summary, re.M)) == 5
    assert "levels at one period: 2.996 (p = 0.05), 4.605 (p = 0.01), 6.908 (p = 0.001)" \
        in summary
    # The two large neighbours are the side lobes of the daily cycle, whose
    # rate falls to zero at night.
    summary = " ".join(summary.split())
    assert "flags: peak 1 A = 1, peak 2 side lobe of T = 1, peak 3 side lobe of T = 1," in summary
    assert ("significance: peak 1 passes the 5 % level over all periods by every method that "
            "applies. Peaks 2, 3 pass too, but as side lobes of a stronger peak.") in summary
    interval = re.search(r"peak 1, 95 % profile-likelihood intervals, widened by kappa = \S+: "
                         r"T = \S+ \[(\S+), (\S+)\]", summary)
    assert float(interval.group(1)) < 1 < float(interval.group(2).rstrip("],"))


def _check_figures(folder, stems):
    for stem in stems:
        width, height = png_size(folder / (stem + ".png"))
        assert width > 300 and height > 200
        svg_root(folder / (stem + ".svg"))


def test_figures_of_both_regimes(program, tmp_path):
    write_events(tmp_path, [0, 1, 2, 3, 5, 9, 10, 11, 13, 17, 18])
    run_periodscan(program, tmp_path, "\nev.txt\n1 100\n5\n0\n")
    # Windows of 4 shifted by 2 hold 4, 3, 1, 2, 3, 3, 1 and 2 events: none is
    # empty, so the normalised grid is written, and two are drawn grey.
    run_periodscan(program, tmp_path, "\nev.txt\n2 20\n4\n1\n4\n2\n0\n")
    assert (tmp_path / "ZUM_out_Normalized.grd").exists()
    result = run_tool(tmp_path, "--events", tmp_path / "ev.txt")
    assert result.returncode == 0, result.stderr
    assert without_grid_warnings(result.stderr) == ""
    stems = ["spectrum", "time_frequency", "time_frequency_normalized", "window_counts"]
    _check_figures(tmp_path, stems)
    assert result.stdout.splitlines()[-1] == "figures: " + " ".join(
        "%s.%s" % (stem, ext) for stem in stems for ext in ("png", "svg"))
    assert "window with fewer than two events" in (tmp_path / "time_frequency.svg").read_text()

    # The same files give the same SVG bytes: no dates, no random ids.
    first = {stem: (tmp_path / (stem + ".svg")).read_bytes() for stem in stems}
    assert run_tool(tmp_path, "--events", tmp_path / "ev.txt").returncode == 0
    assert first == {stem: (tmp_path / (stem + ".svg")).read_bytes() for stem in stems}


def test_normalised_grid_left_by_an_earlier_run_is_not_drawn(program, tmp_path):
    write_events(tmp_path, list(range(21)))
    run_periodscan(program, tmp_path, "\nev.txt\n1 10\n3\n1\n4\n2\n0\n")
    # A second run whose windows include empty ones writes no normalised grid
    # and leaves the first run's file in place.
    write_events(tmp_path, [0, 1, 2, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20])
    run_periodscan(program, tmp_path, "\nev.txt\n1 10\n3\n1\n4\n2\n0\n")
    assert (tmp_path / "ZUM_out_Normalized.grd").exists()
    result = run_tool(tmp_path)
    assert result.returncode == 0
    assert result.stderr == (
        "periodscan-plot: warning: %s/ZUM_out_Normalized.grd is left from an earlier run (this "
        "run has windows without events, for which no normalised grid is written); not drawn\n"
        % tmp_path)
    assert not (tmp_path / "time_frequency_normalized.png").exists()
    _check_figures(tmp_path, ["time_frequency", "window_counts"])


SPECTRUM = ["    1.00000        3.20649        1.00000    ",
            "    10.0000        6.89356        1.00000    "]
GRID = ["DSAA", "           4           2", "        4.000000       10.000000",
        "    0.000000E+00        2.000000", "    1.000000E-35    1.000000E-35",
        "    1.000000E-35    1.000000E-35    1.000000E-35    1.000000E-35",
        "    1.000000E-35    1.000000E-35    1.000000E-35    1.000000E-35"]
COUNTS = ["    4.00000             1", "    6.00000              ",
          "    8.00000              ", "    10.0000             1"]
ALL_FILES = "ZUM_out.dat, ZUM_out.grd, ZUM_out_Normalized.grd, NumbOfEvents_in_Windows.dat"

# (label, files in the folder, extra arguments, message after "{d}/").
MALFORMED = [
    ("no result files", {"notes.txt": b"x"}, [],
     ": no result files of periodscan (%s)" % ALL_FILES),
    ("spectrum record cut short", {"ZUM_out.dat": records(
        SPECTRUM[:1] + ["    10.0000        6.89356"])}, [],
     "/ZUM_out.dat, line 2: expected 3 numbers (T, DeltaLogLik, A), found 2 fields"),
    ("spectrum field not a number", {"ZUM_out.dat": records(
        SPECTRUM[:1] + ["    10.0000        6.89356        *******"])}, [],
     "/ZUM_out.dat, line 2: A is not a number: '*******'"),
    ("spectrum periods fall", {"ZUM_out.dat": records(SPECTRUM[::-1])}, [],
     "/ZUM_out.dat, line 2: the periods must grow from record to record, found 1.00000 "
     "after 10"),
    ("spectrum period zero", {"ZUM_out.dat": records(
        ["   0.000000        3.20649        1.00000    "] + SPECTRUM[1:])}, [],
     "/ZUM_out.dat, line 1: the period T must be positive, found 0.000000"),
    ("spectrum of one record", {"ZUM_out.dat": records(SPECTRUM[:1])}, [],
     "/ZUM_out.dat: holds 1 record; a spectrum has at least two periods"),
    ("spectrum empty", {"ZUM_out.dat": b""}, [],
     "/ZUM_out.dat: holds 0 records; a spectrum has at least two periods"),
    ("spectrum not text", {"ZUM_out.dat": b"   \xff\xfe"}, [],
     "/ZUM_out.dat: is not a text file of periodscan (byte 4 is not ASCII)"),
    ("grid without DSAA", {"ZUM_out.grd": records(["DSBB"] + GRID[1:]),
                           "NumbOfEvents_in_Windows.dat": records(COUNTS)}, [],
     '/ZUM_out.grd: is not a Surfer ASCII grid: the first line must be "DSAA"'),
    ("grid header cut short", {"ZUM_out.grd": records(GRID[:3]),
                               "NumbOfEvents_in_Windows.dat": records(COUNTS)}, [],
     "/ZUM_out.grd: ends in the header; line 4 should hold ymin ymax"),
    ("grid size not whole", {"ZUM_out.grd": records(GRID[:1] + ["    4.5    2"] + GRID[2:]),
                             "NumbOfEvents_in_Windows.dat": records(COUNTS)}, [],
     "/ZUM_out.grd, line 2: nx and ny must be whole numbers, found 4.5 2"),
    ("grid values cut short", {"ZUM_out.grd": records(GRID[:-1]),
                               "NumbOfEvents_in_Windows.dat": records(COUNTS)}, [],
     "/ZUM_out.grd: holds 4 grid values; the header (nx = 4, ny = 2) calls for 8"),
    ("grid without count file", {"ZUM_out.grd": records(GRID)}, [],
     "/NumbOfEvents_in_Windows.dat: not found; it is written with {d}/ZUM_out.grd and tells "
     "which windows were too sparse to estimate"),
    ("count file of another run", {"ZUM_out.grd": records(GRID),
                                   "NumbOfEvents_in_Windows.dat": records(COUNTS[:3])}, [],
     "/NumbOfEvents_in_Windows.dat has 3 windows but {d}/ZUM_out.grd has 4 columns: the two "
     "files are not from the same run"),
    ("count file with other time marks", {
        "ZUM_out.grd": records(GRID),
        "NumbOfEvents_in_Windows.dat": records([c.replace("    4.00000", "    5.00000")
                                                for c in COUNTS])}, [],
     "/NumbOfEvents_in_Windows.dat has time marks 5 to 10 but {d}/ZUM_out.grd has 4 to 10: "
     "the two files are not from the same run"),
    ("count field overflowed", {"ZUM_out.grd": records(GRID),
                                "NumbOfEvents_in_Windows.dat": records(
                                    ["    4.00000    **********"] + COUNTS[1:])}, [],
     "/NumbOfEvents_in_Windows.dat, line 1: expected the event count in columns 16-25, "
     "found '**********'"),
    ("event file out of order", {"ZUM_out.dat": records(SPECTRUM), "ev.txt": b"0\n1\n0.5\n"},
     ["--events", "{d}/ev.txt"],
     "/ev.txt, line 3: event times must not decrease: event 2 is 1, event 3 is 0.5"),
    ("event file of one event", {"ZUM_out.dat": records(SPECTRUM), "ev.txt": b"7\nend\n8\n"},
     ["--events", "{d}/ev.txt"],
     "/ev.txt: needs at least two event times with the last larger than the first; found 1"),
    ("event file missing", {"ZUM_out.dat": records(SPECTRUM)}, ["--events", "{d}/none.txt"],
     "/none.txt: not found"),
]


@pytest.mark.parametrize("label,files,args,message", MALFORMED, ids=[m[0] for m in MALFORMED])
def test_malformed_input_is_reported(tmp_path, capsys, label, files, args, message):
    for name, content in files.items():
        (tmp_path / name).write_bytes(content)
    d = str(tmp_path)
    status = main([d] + [a.format(d=d) for a in args])
    out, err = capsys.readouterr()
    assert (status, out) == (1, "")
    assert err == "periodscan-plot: error: " + d + message.format(d=d) + "\n"
    assert not list(tmp_path.glob("*.png")) and not list(tmp_path.glob("*.svg"))


def test_command_exit_status(tmp_path):
    (tmp_path / "ZUM_out.dat").write_bytes(records(SPECTRUM[:1]))
    result = run_tool(tmp_path)
    assert (result.returncode, result.stdout) == (1, "")
    assert result.stderr == ("periodscan-plot: error: %s/ZUM_out.dat: holds 1 record; a "
                             "spectrum has at least two periods\n" % tmp_path)
    result = run_tool(tmp_path / "missing")
    assert (result.returncode, result.stderr) == (
        1, "periodscan-plot: error: %s/missing: no such directory\n" % tmp_path)
    assert run_tool(tmp_path, "--no-such-option").returncode == 2


def test_figures_are_written_to_a_folder_it_can_write(tmp_path):
    """The figures land beside the result files; a folder that cannot take
    them is reported, not passed over."""
    (tmp_path / "ZUM_out.dat").write_bytes(records(SPECTRUM))
    (tmp_path / "spectrum.png").mkdir()
    result = run_tool(tmp_path)
    assert result.returncode == 1
    assert without_grid_warnings(result.stderr).startswith(
        "periodscan-plot: error: %s/spectrum.png: cannot be written" % tmp_path)
    shutil.rmtree(tmp_path / "spectrum.png")


def test_survey_tables_drawn(tmp_path):
    """A folder holding a table of moving windows, and a spectrum table named
    on the command line: each drawn beside itself, summarised like the files
    of periodscan."""
    (tmp_path / "q.windows.tsv").write_text(WINDOWS_TSV)
    result = run_tool(tmp_path)
    assert (result.returncode, without_grid_warnings(result.stderr)) == (0, "")
    assert result.stdout.splitlines() == [
        "q.windows.tsv: 2 windows x 2 periods, windows from 0 to 15, T 1 to 2",
        "  largest DeltaLogLik 7 in the window 0 to 10, T = 1",
        "  1 window with fewer than two distinct event times (grey)",
        "  contour: 1 % false alarm over all periods of a window (Poisson; clustering not "
        "corrected without",
        "    --events): 7.3.",
        "figures: q.time_frequency.png q.time_frequency.svg q.window_counts.png "
        "q.window_counts.svg"]
    _check_figures(tmp_path, ["q.time_frequency", "q.window_counts"])

    (tmp_path / "other").mkdir()
    (tmp_path / "other" / "s.spectrum.tsv").write_text(SPECTRUM_TSV)
    result = run_tool("other/s.spectrum.tsv", cwd=tmp_path)
    assert (result.returncode, without_grid_warnings(result.stderr)) == (0, "")
    assert result.stdout.startswith("s.spectrum.tsv: 3 periods from 1 to 2\n")
    # Without --events, Lobs = Tmax = 2: a peak 0.5 wide, three times the step 0.25 at most.
    assert ("frequency grid: step 0.25; a peak is 1/Lobs = 0.5 wide in frequency: too coarse."
            in unwrapped(result.stdout))
    assert result.stdout.endswith("figures: s.spectrum.png s.spectrum.svg\n")
    _check_figures(tmp_path / "other", ["s.spectrum"])
    assert "period T (time units of the event file)" in svg_texts(
        tmp_path / "other" / "s.spectrum.svg")


def svg_texts(path):
    """The texts of an SVG figure of matplotlib, which writes each as a comment."""
    return re.findall(r"<!-- (.*?) -->", path.read_text())


def test_figures_give_units_and_dates_without_warnings(program, tmp_path):
    times = np.sort(np.random.default_rng(5).uniform(0, 100, 300))
    write_events(tmp_path, ["%.6f" % t for t in times])
    (tmp_path / "ev.json").write_text(json.dumps(
        {"origin": "2021-01-01T00:00:00Z", "unit": "days", "columns": ["time"]}))
    run_periodscan(program, tmp_path, "\nev.txt\n2 20\n30\n0\n")
    run_periodscan(program, tmp_path, "\nev.txt\n2 10\n5\n1\n20\n5\n0\n")
    result = subprocess.run([sys.executable, "-W", "error::UserWarning", str(TOOL),
                             str(tmp_path), "--events", str(tmp_path / "ev.txt")],
                            capture_output=True, text=True, timeout=300)
    assert (result.returncode, without_grid_warnings(result.stderr)) == (0, "")
    assert "  window length 20, found from the events and the window counts;" in result.stdout
    assert {"period T (days)", "week", "Mf"} <= set(svg_texts(tmp_path / "spectrum.svg"))
    texts = svg_texts(tmp_path / "time_frequency.svg")
    assert {"period T (days)", "window centre (UTC); windows 20 days long", "Feb",
            "events in"} <= set(texts)
    assert any(t.startswith("1 % false alarm over all periods of a window (Poisson")
               for t in texts)
    result = run_tool(tmp_path, "--events", tmp_path / "ev.txt", "--no-period-marks")
    assert (result.returncode, without_grid_warnings(result.stderr)) == (0, "")
    assert not {"week", "Mf"} & set(svg_texts(tmp_path / "spectrum.svg"))


def test_closed_output_pipe_ends_quietly(tmp_path):
    """As with "periodscan-plot | head -1" once head has gone: no traceback,
    the status of a program ended by the broken-pipe signal, figures kept."""
    (tmp_path / "ZUM_out.dat").write_bytes(records(SPECTRUM))
    reader, writer = os.pipe()
    os.close(reader)
    try:
        result = subprocess.run([str(TOOL), str(tmp_path)], stdout=writer,
                                stderr=subprocess.PIPE, timeout=120)
    finally:
        os.close(writer)
    assert (result.returncode, without_grid_warnings(result.stderr)) == (141, b"")
    _check_figures(tmp_path, ["spectrum"])


# --out-dir and --format: arguments after s.spectrum.tsv -> exit status, the
# figures written (paths from the folder of the table, which also holds a
# file "not_a_folder"), and the last line on standard error.
OUT_DIR_CASES = [
    (["--out-dir", "figs", "--format", "pdf,png"], 0, ["figs/s.spectrum.pdf",
                                                       "figs/s.spectrum.png"], ""),
    (["--format", "SVG,svg"], 0, ["s.spectrum.svg"], ""),
    (["--out-dir", "."], 0, ["s.spectrum.png", "s.spectrum.svg"], ""),
    (["--out-dir", "figs/deeper"], 2, [], "--out-dir figs/deeper: no folder figs to make it in"),
    (["--out-dir", "not_a_folder"], 2, [], "--out-dir not_a_folder: is not a folder"),
    (["--format", ""], 2, [], "--format : names no format; give one or more of png,svg,pdf"),
    (["--format", "png,,svg"], 2, [], "--format png,,svg: '' is not one of png,svg,pdf"),
    (["--format", "png,jpg"], 2, [], "--format png,jpg: 'jpg' is not one of png,svg,pdf"),
    (["--out-dir", "figs", "--events", "figs/s.spectrum.svg"], 2, [],
     "figs/s.spectrum.svg is an input of this run; a figure would replace it: rename it, or "
     "write elsewhere"),
]


@pytest.mark.parametrize("args,status,figures,message", OUT_DIR_CASES,
                         ids=[" ".join(case[0]) for case in OUT_DIR_CASES])
def test_out_dir_and_format(tmp_path, args, status, figures, message):
    (tmp_path / "s.spectrum.tsv").write_text(SPECTRUM_TSV)
    (tmp_path / "not_a_folder").write_text("")
    if "--events" in args:
        (tmp_path / "figs").mkdir()
        write_events(tmp_path / "figs", ["0", "1", "2", "3"], "s.spectrum.svg")

    def files():
        return {os.path.relpath(os.path.join(top, name), tmp_path)
                for top, _, names in os.walk(tmp_path) for name in names}
    before = files()
    result = run_tool("s.spectrum.tsv", *args, cwd=tmp_path)
    assert result.returncode == status, result.stderr
    assert without_grid_warnings(result.stderr).splitlines()[-1:] == (
        ["periodscan-plot: error: " + message] if message else [])
    assert sorted(files() - before) == figures
    if status == 0:
        where = " in " + args[1] if args[0] == "--out-dir" else ""
        assert result.stdout.endswith("figures%s: %s\n" % (where, " ".join(
            os.path.basename(path) for path in figures)))
