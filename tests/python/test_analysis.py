"""periodscan.assess and periodscan.plot: a periodogram assessed in memory
says what periodscan-plot says of the same table, and its false-alarm
probabilities are those the summary prints."""

import json
import os
import re
import subprocess
import sys
from pathlib import Path
from types import SimpleNamespace

import numpy as np
import pytest

import periodscan
from periodscan import likelihood, simulate
from periodscan.analysis import assess, plot
from periodscan.catalogue import catalogue_from_arrays
from periodscan.plot_command import main as plot_main

try:
    from periodscan import _engine
except ImportError:
    _engine = None
ENGINE = pytest.mark.skipif(_engine is None, reason="periodscan._engine is not built")
SURVEY = os.environ.get("PERIODSCAN_SURVEY")
SPAN = 400.0


def numpy_result(times, f):
    """A result as periodscan.survey gives it, from the package's likelihood."""
    fit = likelihood.fit(times, f)
    return SimpleNamespace(period=1 / f, frequency=f, delta_log_lik=fit.delta_log_lik,
                           amplitude=fit.amplitude, phase=fit.phase, t1=float(times[0]),
                           span=float(times[-1] - times[0]))


def located():
    return simulate.neyman_scott(np.random.default_rng(4), SPAN, 0.15, 3.0, delay=0.2,
                                 modulation=simulate.Modulation(1.0, 10.0))


@pytest.fixture(scope="module", params=["located", "intervals"])
def table_run(request, tmp_path_factory):
    """The survey's table of a clustered catalogue with locations, or of a
    periodic one watched over two intervals, and what periodscan-plot prints
    of it; the same events in memory and the arguments of assess()."""
    if not SURVEY:
        pytest.skip("PERIODSCAN_SURVEY names the built periodscan-survey")
    folder = tmp_path_factory.mktemp(request.param)
    args, kwargs = [], {}
    if request.param == "located":
        c = located()
        (folder / "ev.txt").write_text("".join("%.6f %.2f %.4f %.4f 10.0\n" % row for row in zip(
            c.time, c.magnitude, c.latitude, c.longitude)))
        (folder / "ev.json").write_text(json.dumps(
            {"unit": "days", "columns": ["time", "magnitude", "latitude", "longitude", "depth"]}))
        events = np.loadtxt(folder / "ev.txt")
        t = events[:, 0]
        kwargs = dict(magnitudes=events[:, 1], latitudes=events[:, 2], longitudes=events[:, 3],
                      unit="days")
    else:
        c = simulate.poisson(np.random.default_rng(5), SPAN, 1.0, simulate.Modulation(0.4, 10.0))
        (folder / "ev.txt").write_text("".join("%.6f\n" % t for t in c.time
                                               if not 150 < t < 200))
        (folder / "on.txt").write_text("0 150\n200 400\n")
        t = np.loadtxt(folder / "ev.txt")
        args = ["--intervals", "on.txt"]
        kwargs = dict(intervals=[(0, 150), (200, 400)])
    subprocess.run([SURVEY, "ev.txt", "--quiet", "--min-period", "5", "--max-period", "20"]
                   + args, cwd=folder, check=True, capture_output=True)
    return folder, t, kwargs


@ENGINE
def test_analysis_says_what_the_summary_of_the_table_says(table_run, capsys, monkeypatch):
    folder, t, kwargs = table_run
    monkeypatch.chdir(folder)
    assert plot_main(["ev.spectrum.tsv", "--events", "ev.txt", "--no-figures"]) == 0
    printed = capsys.readouterr().out.replace("decluster ev.txt", "decluster EVENTS.txt")
    result = periodscan.survey(t, 5, 20, intervals=kwargs.get("intervals"))
    analysis = assess(result, t, **kwargs)
    # The same lines but the first, which names the table.
    text = " ".join(printed.split("\n", 1)[1].split())
    assert " ".join(analysis.summary().split("\n", 1)[1].split()) == text

    shown = {
        "baluev": r"FAP \(all periods, Poisson\) 1 \S+ \S+ \S+ \S+ (\S+)",
        "clustered": r"peak 1 (\S+) \((kappa|local level)",
        "surrogates": r"over all periods (\S+); \d+ of \d+ surrogate scans",
    }
    if "magnitudes" not in kwargs:
        del shown["surrogates"]
    top = float(np.nanmax(result.delta_log_lik))
    for method, pattern in shown.items():
        assert "%.3g" % analysis.false_alarm_probability(top, method=method) == \
            re.search(pattern, text).group(1)
    assert analysis.peaks[0].significant and "significance: peak 1 passes" in text


@ENGINE
@pytest.mark.parametrize("method", ["single", "baluev", "clustered"])
@pytest.mark.parametrize("frequency", [None, 0.07])
def test_level_gives_back_its_probability(method, frequency):
    c = located()
    result = periodscan.survey(c.time, 5, 20)
    analysis = assess(result, c.time)
    p = np.array([0.05, 0.01])
    level = analysis.false_alarm_level(p, frequency, method)
    assert np.all(level > np.log(1 / p) - 1e-12)
    assert analysis.false_alarm_probability(level, frequency, method) == pytest.approx(p)


def small():
    t = simulate.poisson(np.random.default_rng(3), 100.0, 1.0).time
    f = np.linspace(1 / 20, 1 / 5, 60)
    return numpy_result(t, f), t


@pytest.mark.parametrize("change, message", [
    ({"times": lambda t: t + 1}, "times are not those of the result: their first time is"),
    ({"magnitudes": np.ones_like}, "declustering needs latitudes and longitudes too"),
    ({"magnitudes": np.ones_like, "latitudes": lambda t: np.full(len(t), 91.0),
      "longitudes": np.zeros_like, "unit": "days"}, "latitudes[0] = 91.0 is beyond +-90"),
    ({"magnitudes": lambda t: np.ones(3), "latitudes": np.zeros_like,
      "longitudes": np.zeros_like, "unit": "days"}, "magnitudes has 3 values for"),
    ({"magnitudes": lambda t: np.where(np.arange(len(t)) == 5, np.nan, 1.0),
      "latitudes": np.zeros_like, "longitudes": np.zeros_like, "unit": "days"},
     "magnitudes[5] is nan, not a finite number"),
    ({"magnitudes": np.ones_like, "latitudes": np.zeros_like, "longitudes": np.zeros_like},
     "unit: declustering needs the unit of the times"),
    ({"magnitudes": np.ones_like, "latitudes": np.zeros_like, "longitudes": np.zeros_like,
      "unit": "fortnights"}, "unit must be one of"),
    ({"intervals": lambda t: [(t[0], t[10]), (t[20], t[-1])]}, "lies outside every interval"),
    ({"intervals": lambda t: [(t[0], t[50]), (t[40], t[-1])]}, "without overlapping"),
])
def test_refused_arguments(change, message):
    # (through assess(), which checks the catalogue with catalogue_from_arrays)
    result, t = small()
    kwargs = {"times": t}
    kwargs.update({k: v(t) if callable(v) else v for k, v in change.items()})
    with pytest.raises(ValueError) as error:
        assess(result, **kwargs)
    assert message in str(error.value)


@pytest.mark.parametrize("times, call, message", [
    (True, lambda a: a.false_alarm_probability(5.0, method="surrogates"),
     "needs the magnitudes, latitudes and longitudes"),
    (True, lambda a: a.false_alarm_probability(5.0, method="poisson"), "method must be one of"),
    (True, lambda a: a.false_alarm_level(0.0), "p must lie between 0 and 1"),
    (True, lambda a: a.false_alarm_level(0.05, method="surrogates"), "not a level"),
    (False, lambda a: a.false_alarm_probability(5.0, method="baluev"), "needs the event times"),
])
def test_refused_methods(times, call, message):
    result, t = small()
    analysis = assess(result, t if times else None)
    with pytest.raises(ValueError) as error:
        call(analysis)
    assert message in str(error.value)


def test_plot_in_memory_without_engine_or_display(tmp_path):
    """import periodscan leaves matplotlib alone and works without the
    engine; plot() gives the figure and writes nothing."""
    code = """
import sys
sys.modules["periodscan._engine"] = None
import numpy as np, periodscan
from types import SimpleNamespace
assert "matplotlib" not in sys.modules
t = np.sort(np.random.default_rng(3).uniform(0, 100, 150))
f = np.linspace(1 / 20, 1 / 5, 60)
from periodscan import likelihood
fit = likelihood.fit(t, f)
result = SimpleNamespace(period=1 / f, frequency=f, delta_log_lik=fit.delta_log_lik,
                         amplitude=fit.amplitude, phase=fit.phase, t1=t[0], span=t[-1] - t[0],
                         unit="hours")
fig = periodscan.plot(result, t)
top = fig.axes[0]
assert np.array_equal(top.lines[0].get_xdata(), np.sort(1 / f))
print(fig.axes[-1].get_xlabel())
"""
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "MPLBACKEND")}
    env["PYTHONPATH"] = str(Path(periodscan.__file__).parents[1])
    run = subprocess.run([sys.executable, "-c", code], cwd=tmp_path, capture_output=True,
                         text=True, env=env, timeout=300)
    assert (run.returncode, run.stderr, run.stdout) == (0, "", "period T (hours)\n")
    assert list(tmp_path.iterdir()) == []


def test_plot_keeps_the_sessions_back_end_and_figures(tmp_path):
    code = """
import matplotlib
matplotlib.use("svg")
import matplotlib.pyplot as plt
import numpy as np, periodscan
from types import SimpleNamespace
mine = plt.figure()
f = np.linspace(0.1, 0.2, 20)
result = SimpleNamespace(period=1 / f, frequency=f, delta_log_lik=f, amplitude=f, phase=f,
                         t1=0.0, span=100.0)
periodscan.plot(result)
print(matplotlib.get_backend(), plt.fignum_exists(mine.number))
"""
    env = dict(os.environ, PYTHONPATH=str(Path(periodscan.__file__).parents[1]))
    run = subprocess.run([sys.executable, "-c", code], cwd=tmp_path, capture_output=True,
                         text=True, env=env, timeout=300)
    assert (run.returncode, run.stdout) == (0, "svg True\n"), run.stderr


def test_plot_takes_the_analysis_of_its_own_result():
    result, t = small()
    analysis = assess(result, t)
    with pytest.raises(ValueError, match="another result"):
        plot(small()[0], analysis=analysis)


def test_catalogue_sorted_together():
    c = catalogue_from_arrays([3.0, 1.0, 2.0, 1.0], [3, 1, 2, 1.5], [30, 10, 20, 15],
                              [-3, -1, -2, -1.5], unit="hours")
    assert (c.time.tolist(), c.magnitude.tolist(), c.latitude.tolist(),
            c.longitude.tolist()) == ([1, 1, 2, 3], [1, 1.5, 2, 3], [10, 15, 20, 30],
                                      [-1, -1.5, -2, -3])
    assert c.days_per_unit == 1 / 24


@ENGINE
@pytest.mark.parametrize("cluster_shifts, said", [
    (None, "cluster shifts: not run: 99 surrogate scans of 253 events at 290 frequencies would "
           "take long here; assess(..., cluster_shifts=True) runs them."),
    (True, "cluster shifts (Gardner-Knopoff clusters"),
    (False, None),
])
def test_cluster_shifts_over_budget(monkeypatch, cluster_shifts, said):
    monkeypatch.setattr("periodscan.assessment.SHIFT_BUDGET", 0)
    c = located()
    analysis = assess(periodscan.survey(c.time, 5, 20), c.time, magnitudes=c.magnitude,
                      latitudes=c.latitude, longitudes=c.longitude, unit="days",
                      cluster_shifts=cluster_shifts)
    text = " ".join(analysis.summary().split())
    assert said in text if said else "cluster shifts" not in text
