"""periodscan-map end to end on a small made-up catalogue: the table, the
grids as GDAL reads them, the figure, the same bytes on any cluster (the
embedded one, one worker, a scheduler given by address), and wrong command
lines.

The command is PERIODSCAN_MAP, else periodscan-map beside PERIODSCAN_PLOT;
the package is PERIODSCAN_PYTHONPATH."""

import json
import os
import re
import subprocess
import sys

import numpy as np
import pytest
from e2e import engine_built

HOME = os.environ.get("PERIODSCAN_PYTHONPATH")
PLOT = os.environ.get("PERIODSCAN_PLOT")
MAP = os.environ.get("PERIODSCAN_MAP") or (
    PLOT and os.path.join(os.path.dirname(os.path.abspath(PLOT)), "periodscan-map"))
if not (HOME and MAP and os.path.exists(MAP)):
    pytest.skip("set PERIODSCAN_PYTHONPATH and PERIODSCAN_MAP (or PERIODSCAN_PLOT, with "
                "periodscan-map beside it)", allow_module_level=True)
if not engine_built(HOME):
    pytest.skip("the maps need the compiled engine, which this build leaves out",
                allow_module_level=True)
sys.path.insert(0, os.path.abspath(HOME))

from periodscan.mapfile import GRIDS, read_map_table  # noqa: E402

BAND = ["--min-period", "0.8", "--max-period", "1.25"]
COMMON = ["ev.txt", "--cell", "1"] + BAND + ["--surrogates", "19"]


def catalogue(folder):
    """Events over 200 days: a daily rhythm in the cell west of -117, none in
    the one east of it, a few events to the north (too few to survey)."""
    rng = np.random.default_rng(7)
    t = rng.uniform(0, 200, 4000)
    daily = t[rng.uniform(0, 1.9, len(t)) < 1 + 0.9 * np.cos(2 * np.pi * t)][:400]
    rows = [(x, rng.uniform(-117.9, -117.1), rng.uniform(34.1, 34.9)) for x in daily]
    rows += [(x, rng.uniform(-116.9, -116.1), rng.uniform(34.1, 34.9))
             for x in rng.uniform(0, 200, 300)]
    rows += [(x, -117.5, 35.5) for x in rng.uniform(0, 200, 30)]
    rows.sort()
    magnitudes = rng.uniform(1, 3, len(rows))
    (folder / "ev.txt").write_text("".join(
        "%.6f %.2f %.4f %.4f 5.0\n" % (t, m, lat, lon)
        for (t, lon, lat), m in zip(rows, magnitudes)))
    (folder / "ev.json").write_text(json.dumps({
        "unit": "days", "origin": "2021-01-01T00:00:00Z",
        "columns": ["time", "magnitude", "latitude", "longitude", "depth"]}))


def run(folder, *arguments, status=0):
    env = dict(os.environ, PYTHONPATH=os.path.abspath(HOME))
    done = subprocess.run([os.path.abspath(MAP)] + list(arguments), cwd=folder, env=env,
                          capture_output=True, text=True, timeout=120)
    assert "Traceback" not in done.stderr, done.stderr
    assert done.returncode == status, done.stderr
    return done


def outputs(folder):
    """The bytes of the files written, the command line left out."""
    files = {}
    for name in sorted(os.listdir(folder)):
        if name.startswith("ev.map"):
            data = (folder / name).read_bytes()
            if name.endswith(".tsv"):
                data = b"\n".join(line for line in data.split(b"\n")
                                  if not line.startswith(b"# command:"))
            files[name] = data
    return files


@pytest.fixture(scope="module")
def mapped(tmp_path_factory):
    folder = tmp_path_factory.mktemp("map")
    catalogue(folder)
    done = run(folder, *COMMON, "--workers", "2")
    return folder, done


def test_table_grids_and_figure(mapped):
    folder, done = mapped
    assert "cells: 2 surveyed, 1 left out with 30 events, 1 empty" in done.stdout
    table = read_map_table(str(folder / "ev.map.cells.tsv"))
    c = table.columns
    assert list(c["cell"]) == [0, 1] and list(c["events"]) == [400, 300]
    assert table.record["cells_left_out"] == "1" and table.record["surrogates"] == "19"
    # 19 surrogate scans cannot give less than 1/20
    assert abs(c["best_period"][0] - 1) < 0.01 and c["fap_clustered"][0] < 0.01
    assert c["fap_surrogates"][0] == c["fap"][0] == 0.05
    assert c["fap_baluev"][1] > 0.01 and c["fap"][1] > 0.01
    assert np.all(c["fap"] == np.maximum(c["fap_clustered"], c["fap_surrogates"]))

    from osgeo import gdal
    gdal.UseExceptions()
    gdal.SetConfigOption("AAIGRID_DATATYPE", "Float64")
    for name in GRIDS:
        grid = gdal.Open(str(folder / ("ev.map.%s.asc" % name)))
        assert grid.GetGeoTransform() == (-118.0, 1.0, 0.0, 36.0, 0.0, -1.0)
        band = grid.GetRasterBand(1)
        z = band.ReadAsArray()
        assert z.shape == (2, 2)
        # row 0 of the array is the north; cells 0 and 1 are the south row
        assert list(z[1]) == list(c[name])
        assert list(z[0]) == [band.GetNoDataValue()] * 2
    for name in ("ev.map.png", "ev.map.svg"):
        assert (folder / name).stat().st_size > 10000


def test_same_bytes_on_any_cluster(mapped, tmp_path, monkeypatch):
    folder, _ = mapped
    expected = outputs(folder)
    assert len(expected) == 6
    one = tmp_path / "one"
    one.mkdir()
    catalogue(one)
    run(one, *COMMON, "--workers", "1")
    assert outputs(one) == expected
    monkeypatch.setenv("PYTHONPATH", os.path.abspath(HOME))
    from periodscan.dask_client import dask_client
    with dask_client(workers=2) as client:
        remote = tmp_path / "remote"
        remote.mkdir()
        catalogue(remote)
        run(remote, *COMMON, "--scheduler", client.scheduler_info()["address"])
    assert outputs(remote) == expected


@pytest.mark.parametrize("arguments, status, message", [
    ([], 2, "the following arguments are required"),
    (["ev.txt"] + BAND, 2, "one of the arguments --cell --regions is required"),
    (["ev.txt", "--cell", "1"], 2, "give --min-period and --max-period, or --band"),
    (["ev.txt", "--cell", "1", "--band", "diurnal", "--min-period", "1"], 2, "excludes"),
    (["ev.txt", "--cell", "1", "--min-period", "2", "--max-period", "1"], 2, "must exceed"),
    (["ev.txt", "--cell", "0"] + BAND, 2, "not a positive number"),
    (["ev.txt", "--cell", "1", "--band", "weekly"], 2, "invalid choice"),
    (["ev.txt", "--cell", "1", "--regions", "r.json"] + BAND, 2, "not allowed with"),
    (["ev.txt", "--cell", "1", "--workers", "1", "--scheduler", "tcp://x:1"] + BAND, 2,
     "not allowed with"),
    (["ev.txt", "--cell", "1", "--min-events", "1"] + BAND, 2, "below 2"),
    (["ev.txt", "--cell", "1", "--workers", "100000"] + BAND, 2, "--workers 100000: more than"),
    (["ev.txt", "--cell", "1", "--surrogates", "10" * 10] + BAND, 2, "1010101010 is above"),
    (["nothing.txt", "--cell", "1"] + BAND, 1, "nothing.txt"),
    (["ev.txt", "--cell", "1", "--min-events", "500"] + BAND, 1,
     "no cell holds 500 events or more .the most: 400."),
    (["ev.txt", "--regions", "ev.json"] + BAND, 1, "ev.json: must hold a GeoJSON"),
    (["ev.txt", "--cell", "1e-6"] + BAND, 1, "--cell 1e-06: .* more than"),
    (["ev.txt", "--regions", "missing.json"] + BAND, 1, "missing.json"),
    (["ev.txt", "--cell", "1", "--output", "no/such"] + BAND, 1, "no folder no"),
])
def test_wrong_command_lines_and_inputs(tmp_path, arguments, status, message):
    catalogue(tmp_path)
    done = run(tmp_path, *arguments, status=status)
    assert re.search(message, done.stderr), done.stderr
    assert not [n for n in os.listdir(tmp_path) if n.startswith(("ev.map", "no"))]


def test_band_needs_the_unit(tmp_path):
    catalogue(tmp_path)
    (tmp_path / "ev.json").write_text(json.dumps({"columns": ["time", "magnitude", "latitude",
                                                              "longitude", "depth"]}))
    done = run(tmp_path, "ev.txt", "--cell", "1", "--band", "diurnal", status=1)
    assert "ev.txt: the time unit is not known" in done.stderr
