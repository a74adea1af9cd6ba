"""A survey table fitted over observation intervals is assessed over them:
periodscan-plot --events finds the intervals file its record names (as the
survey was given it, else beside the table) and gives the likelihood
intervals or the upper limit on A; an intervals file it cannot read is named
in the summary instead."""

import json
import os
import subprocess

import pytest

from plot_support import EXAMPLES, run_tool
from test_plot_command import unwrapped

SURVEY = os.environ.get("PERIODSCAN_SURVEY")
SURVEY = SURVEY and os.path.abspath(SURVEY)
BLASTS = EXAMPLES / "scsn_2021_quarry_blasts_days.txt"


@pytest.mark.skipif(not SURVEY, reason="PERIODSCAN_SURVEY names the built periodscan-survey")
@pytest.mark.parametrize("intervals, cwd, expected, absent", [
    # a month unwatched; the plot run where the survey ran
    ("0 150\n180 366\n", ".", "profile-likelihood intervals", "not computed"),
    # run from elsewhere: the file is found beside the table
    ("0 150\n180 366\n", "..", "profile-likelihood intervals", "not computed"),
    # an event outside the intervals cannot be: the survey refuses it; a file
    # broken after the survey is named
    (None, ".", "not computed: the likelihood intervals, the upper limit on A and the time "
     "of the rate maximum: the table's observation intervals cannot be read", "95 %"),
])
def test_table_over_intervals_is_assessed_over_them(tmp_path, intervals, cwd, expected,
                                                    absent):
    run = tmp_path / "run"
    run.mkdir()
    events = run / "ev.txt"
    times = [float(line.split()[0]) for line in BLASTS.read_text().splitlines()
             if line.strip() and not line.startswith("#")]
    events.write_text("".join("%r\n" % t for t in times if t <= 150 or t >= 180))
    (run / "on.txt").write_text(intervals or "0 150\n180 366\n")
    subprocess.run([SURVEY, "ev.txt", "--min-period", "0.25", "--max-period", "4",
                    "--intervals", "on.txt", "--quiet"], cwd=run, check=True, timeout=120)
    if intervals is None:
        (run / "on.txt").write_text("0 150\n100 366\n")
    where = run if cwd == "." else tmp_path
    table = os.path.relpath(run / "ev.spectrum.tsv", where)
    result = run_tool(table, "--events", os.path.relpath(events, where), cwd=where)
    assert result.returncode == 0, result.stderr
    text = unwrapped(result.stdout)
    assert expected in text and absent not in text


PREPARE = os.environ.get("PERIODSCAN_PREPARE")
PREPARE = PREPARE and os.path.abspath(PREPARE)


@pytest.mark.skipif(not (SURVEY and PREPARE), reason="needs the built survey and prepare")
def test_prepared_blasts_over_intervals_get_every_verdict(tmp_path):
    # The README's path: prepare with intervals, survey over them, plot with
    # a JSON report. With magnitudes and locations the declustered
    # background and the cluster shifts decide beside the local level.
    raw = EXAMPLES / "raw" / "2021.catalog"
    subprocess.run([PREPARE, str(raw), "--types", "qb", "--start", "2021-01-01", "--end",
                    "2022-01-01", "--intervals", "b.intervals", "-o", "b.txt"], cwd=tmp_path,
                   check=True, timeout=300, capture_output=True)
    subprocess.run([SURVEY, "b.txt", "--min-period", "0.5", "--max-period", "2",
                    "--intervals", "b.intervals", "--quiet"], cwd=tmp_path, check=True,
                   timeout=120)
    result = run_tool("b.spectrum.tsv", "--events", "b.txt", "--no-figures", "--json", "r.json",
                      cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    top = json.loads((tmp_path / "r.json").read_text())["spectra"][0]["peaks"][0]
    faps = top["false_alarm"]
    for method in ("local_level", "cluster_shifts", "declustered_background", "applies"):
        assert faps[method]["value"] is not None and faps[method]["value"] < 0.05, method
