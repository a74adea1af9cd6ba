"""periodscan-plot --surrogates and periodscan-map on a real Dask cluster: a
scheduler and two workers started here on the loopback interface (random
free ports), then one worker; the report, the surrogates' maxima and the
map's files equal those of the embedded cluster bit for bit. Every process
started here is stopped by its id."""

import json
import os
import shutil
import subprocess
import time

import numpy as np
import pytest
from e2e import engine_built

SURROGATES = "49"


def _needs(variable):
    path = os.environ.get(variable)
    if not path:
        pytest.skip("%s is not set" % variable)
    return os.path.abspath(path)


def _catalogue(folder):
    """About 300 events in clusters (a main shock with aftershocks near it in
    time and place), with magnitudes and locations."""
    rng = np.random.default_rng(11)
    rows = []
    for t in np.sort(rng.uniform(0.0, 400.0, 120)):
        lat, lon = rng.uniform(-30, 30), rng.uniform(-60, 60)
        rows.append((t, 5.5, lat, lon))
        for _ in range(rng.integers(0, 4)):
            rows.append((t + rng.uniform(0.001, 0.5), 4.0, lat + rng.normal(0, 0.02),
                         lon + rng.normal(0, 0.02)))
    rows.sort()
    (folder / "ev.txt").write_text("".join("%.6f %.2f %.4f %.4f 10.0\n" % r for r in rows))
    (folder / "ev.json").write_text(json.dumps(
        {"unit": "days", "columns": ["time", "magnitude", "latitude", "longitude", "depth"]}))


def _stop(process):
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def _plot(plot, folder, env, name, *extra):
    done = subprocess.run([plot, "ev.spectrum.tsv", "--events", "ev.txt", "--no-figures",
                           "--surrogates", SURROGATES, "--checkpoint", name + ".npz",
                           "--json", name + ".json", *extra],
                          cwd=folder, env=env, capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, done.stderr
    assert "of %s surrogate scans reached" % SURROGATES in " ".join(done.stdout.split())
    with np.load(folder / (name + ".npz")) as kept:
        maxima = kept["maxima"].tobytes()
    return json.loads((folder / (name + ".json")).read_text()), maxima


def _map(plot, folder, env, name, *extra):
    """The map's table and grids (the table's command line left out)."""
    command = os.path.join(os.path.dirname(plot), "periodscan-map")
    done = subprocess.run([command, "ev.txt", "--cell", "60", "--min-period", "2",
                           "--max-period", "50", "--min-events", "20", "--no-figures",
                           "--output", name, *extra],
                          cwd=folder, env=env, capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, done.stderr
    files = {}
    for path in sorted(folder.glob(name + ".*")):
        lines = path.read_bytes().split(b"\n")
        files[path.name[len(name):]] = [line for line in lines
                                        if not line.startswith(b"# command:")]
    assert ".cells.tsv" in files
    return files


def test_scheduler_and_workers_give_the_embedded_result(tmp_path):
    survey, plot = _needs("PERIODSCAN_SURVEY"), _needs("PERIODSCAN_PLOT")
    home = _needs("PERIODSCAN_PYTHONPATH")
    if not engine_built(home):
        pytest.skip("the surrogates need the compiled engine, which this build leaves out")
    distributed = pytest.importorskip("distributed")
    if not (shutil.which("dask-scheduler") and shutil.which("dask-worker")):
        pytest.skip("dask-scheduler and dask-worker (python3-distributed) are not on PATH")
    _catalogue(tmp_path)
    subprocess.run([survey, "ev.txt", "--min-period", "2", "--max-period", "50", "--output",
                    "ev"], cwd=tmp_path, check=True, capture_output=True, timeout=60)
    env = dict(os.environ, PYTHONPATH=home)
    env.pop("DASK_SCHEDULER_ADDRESS", None)
    embedded = _plot(plot, tmp_path, env, "embedded")
    embedded_map = _map(plot, tmp_path, env, "embedded-map")

    started = []
    try:
        started.append(subprocess.Popen(
            ["dask-scheduler", "--host", "127.0.0.1", "--port", "0", "--no-dashboard",
             "--scheduler-file", "scheduler.json"], cwd=tmp_path, env=env,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        deadline = time.monotonic() + 30
        while not (tmp_path / "scheduler.json").exists():
            assert time.monotonic() < deadline, "the scheduler did not start"
            time.sleep(0.2)
        time.sleep(0.2)
        address = json.loads((tmp_path / "scheduler.json").read_text())["address"]
        for name in ("w1", "w2"):
            started.append(subprocess.Popen(
                ["dask-worker", address, "--host", "127.0.0.1", "--nthreads", "1",
                 "--no-dashboard", "--no-nanny", "--name", name], cwd=tmp_path, env=env,
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        with distributed.Client(address, timeout="20s") as client:
            client.wait_for_workers(2, timeout=30)
            two = _plot(plot, tmp_path, env, "two", "--scheduler", address)
            assert _map(plot, tmp_path, env, "two-map", "--scheduler", address) == embedded_map
            _stop(started.pop())
            deadline = time.monotonic() + 30
            while len(client.scheduler_info()["workers"]) > 1:
                assert time.monotonic() < deadline, "the second worker did not leave"
                time.sleep(0.2)
        one = _plot(plot, tmp_path, dict(env, DASK_SCHEDULER_ADDRESS=address), "one")
    finally:
        for process in reversed(started):
            _stop(process)
    for name, run in (("two workers", two), ("one worker", one)):
        assert run[1] == embedded[1], name
        assert run[0] == embedded[0], name
