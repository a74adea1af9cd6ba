"""periodscan.survey, the binding of the survey engine, against the command
periodscan-survey on the same times: the same numbers to the bit, and the
same arguments rejected.

Needs the built package first on the import path
(PERIODSCAN_PYTHONPATH=<build>/python) and PERIODSCAN_SURVEY naming the built
command."""

import importlib
import os
import subprocess

import numpy as np
import pytest

# The module by its own name (the package exports its functions).
survey_module = importlib.import_module("periodscan.periodogram")
COLUMNS = survey_module.COLUMNS
survey = survey_module.survey

TIMES = [0.5, 1.25, 3.0, 10.2, 11.0, 12.5, 20.1, 21.3, 30.4, 31.0, 33.3, 40.9, 41.0, 47.75]


@pytest.fixture(scope="module")
def engine():
    if survey_module._engine is None:
        pytest.skip("periodscan._engine is not built or not first on the path "
                    "(PERIODSCAN_PYTHONPATH=<build>/python)")


@pytest.fixture(scope="module")
def command():
    path = os.environ.get("PERIODSCAN_SURVEY")
    if not path:
        pytest.skip("PERIODSCAN_SURVEY is not set: it names the built periodscan-survey")
    return os.path.abspath(path)


def command_columns(command, folder, times, args, intervals=None):
    (folder / "ev.txt").write_text("".join(repr(t) + "\n" for t in times))
    extra = []
    if intervals is not None:
        (folder / "on.txt").write_text("".join("%r %r\n" % tuple(i) for i in intervals))
        extra = ["--intervals", "on.txt"]
    subprocess.run([command, "ev.txt", "--quiet"] + args + extra, cwd=folder, check=True,
                   capture_output=True)
    with open(folder / "ev.spectrum.tsv") as f:
        lines = [line.rstrip("\n").split("\t") for line in f if not line.startswith("#")]
    assert tuple(lines[0]) == COLUMNS
    values = np.array([[float(field) for field in line] for line in lines[1:]])
    return {name: values[:, i] for i, name in enumerate(COLUMNS)}


CASES = [
    ("resolving grid", {"min_period": 1.5, "max_period": 20},
     ["--min-period", "1.5", "--max-period", "20"], None),
    ("samples per peak", {"min_period": 1.5, "max_period": 20, "samples_per_peak": 2.5},
     ["--min-period", "1.5", "--max-period", "20", "--samples-per-peak", "2.5"], None),
    ("interactive periods", {"min_period": 1, "max_period": 100, "periods": 7},
     ["--min-period", "1", "--max-period", "100", "--periods", "7"], None),
    ("intervals", {"min_period": 2, "max_period": 30},
     ["--min-period", "2", "--max-period", "30"], [(0, 12.5), (20, 35), (40, 50)]),
]


@pytest.mark.parametrize("label,kwargs,args,intervals", CASES, ids=[c[0] for c in CASES])
def test_binding_gives_the_commands_columns(engine, command, tmp_path, label, kwargs, args,
                                            intervals):
    expected = command_columns(command, tmp_path, TIMES, args, intervals)
    result = survey(np.array(TIMES), intervals=intervals, threads=2, **kwargs)
    assert len(result) == len(expected["period"])
    # The command lists the log grid period rising; the result frequency rising.
    rows = slice(None, None, -1) if "periods" in kwargs else slice(None)
    for name in COLUMNS:
        np.testing.assert_array_equal(getattr(result, name)[rows], expected[name], err_msg=name)
    assert result.t1 == TIMES[0]
    assert result.span == TIMES[-1] - TIMES[0]


BAD = [
    ({"times": [1.0]}, "a survey needs at least two times"),
    ({"times": [2.0, 2.0]}, "every time is the same: the span is zero"),
    ({"times": [0.0, 5.0, 3.0]},
     "times[2] = 3 is smaller than times[1] = 5 (sort the times first)"),
    ({"times": [0.0, float("nan")]}, "times[1] is not finite"),
    ({"times": [[0.0, 1.0]]}, "times must be a one-dimensional array"),
    ({"min_period": 5}, "the periods must satisfy 0 < min_period < max_period"),
    ({"samples_per_peak": 0}, "samples_per_peak must be positive"),
    ({"periods": 1}, "periods must be at least 2"),
    ({"periods": 5, "samples_per_peak": 3}, "samples_per_peak and periods exclude each other"),
    ({"intervals": [(0, 4), (3, 10)]},
     "intervals[1] starts before the one before it ends (intervals must be sorted and must "
     "not overlap)"),
    ({"intervals": [(0, 4), (6, 10)]}, "times[2] = 5 lies outside every interval"),
    ({"intervals": [(0, 0), (6, 10)]}, "intervals[0] does not end after it starts"),
    ({"threads": -1}, "threads must be 0 (every core) or more"),
    ({"periods": 200000000}, "the grid would have more than 100000000 frequencies: lower periods"),
    ({"min_period": 1e-8}, "the grid would have more than 100000000 frequencies: raise "
     "min_period or lower samples_per_peak"),
    ({"periods": 10**12}, "the grid would have more than 100000000 frequencies: lower periods"),
    ({"threads": 10**30}, "threads must be at most 1024"),
    ({"intervals": np.ma.masked_array([[0, 4], [5, 10]], mask=[[0, 0], [0, 1]])},
     "intervals has masked values: pass the rows without them, "
     "intervals[~intervals.mask.any(axis=1)], instead"),
    ({"min_period": None}, "give min_period and max_period, or frequency"),
    ({"frequency": [0.5]}, "give either frequency or min_period and max_period (with "
     "samples_per_peak or periods), not both"),
    ({"min_period": None, "max_period": None, "frequency": [0.5, 0.25, 0.5]},
     "frequency holds 0.5 twice (frequency[0] and frequency[2]): give each frequency once"),
    ({"min_period": None, "max_period": None, "frequency": [0.5, -1.0]},
     "frequency[1] = -1.0 is not a positive finite frequency"),
    ({"times": np.array(["2021-01-01", "NaT", "2021-01-03"], dtype="datetime64[D]")},
     "times[1] is NaT (not a time)"),
]

# Arguments of the wrong kind: TypeError, not a truncated or converted value.
WRONG_TYPES = [
    ({"threads": 2.5}, "threads must be a whole number, not float"),
    ({"periods": True}, "periods must be a whole number, not bool"),
    ({"min_period": "0.9"}, "min_period must be a real number, not str"),
    ({"times": np.array([0.0, 1.0, None, 10.0], dtype=object)},
     "times must be real numbers, not NoneType (times[2])"),
    ({"min_period": np.timedelta64(1, "D")},
     "min_period is a time difference, but the times are numbers: give min_period as a number "
     "in their unit"),
    ({"times": np.array(["2021-01-01", "2021-01-03"], dtype="datetime64[D]"),
      "intervals": [(0, 1e6)]},
     "the times are datetime64 but intervals are not: give intervals as datetime64 too"),
]


REFUSED = [(TypeError, c, m) for c, m in WRONG_TYPES] + [(ValueError, c, m) for c, m in BAD]


@pytest.mark.parametrize("error,change,message", REFUSED, ids=[r[2] for r in REFUSED])
def test_binding_refuses_what_the_command_refuses(engine, error, change, message):
    arguments = dict(times=[0.0, 1.0, 5.0, 10.0], min_period=1, max_period=4)
    arguments.update(change)
    with pytest.raises(error) as raised:
        survey(**arguments)
    assert str(raised.value) == message


def test_the_package_reexports_survey(engine):
    import periodscan
    assert periodscan.survey is survey
    # No module of that name for `import periodscan.survey as m` to find
    # in place of the function.
    with pytest.raises(ModuleNotFoundError, match="No module named 'periodscan.survey'"):
        importlib.import_module("periodscan.survey")
