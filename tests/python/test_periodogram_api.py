"""The result object of periodscan.survey against the command and the
summary of periodscan-plot: one's own frequencies, datetime64 times, the
fitted model, significance, and tables written and read back.

Needs the built engine first on the import path (PERIODSCAN_PYTHONPATH), and
PERIODSCAN_SURVEY / PERIODSCAN_PLOT for the tests that run the commands."""

import dataclasses
import os
import re
import subprocess

import numpy as np
import pytest

import periodscan
from periodscan import periodogram

pytestmark = pytest.mark.skipif(periodogram._engine is None,
                                reason="periodscan._engine is not built")

_RNG = np.random.default_rng(2)
# 800 events at random and 40 a week apart, over 300 days.
TIMES = np.sort(np.concatenate([_RNG.uniform(0, 300, 800),
                                7 * np.arange(40) + 0.3 + _RNG.normal(0, 0.3, 40)]))
# The same with two gaps, and the intervals watched around them.
GAPS = TIMES[((TIMES < 100) | (TIMES > 130)) & ((TIMES < 200) | (TIMES > 210))]
INTERVALS = [(GAPS[0], 100.0), (130.0, 200.0), (210.0, GAPS[-1])]


def command(name):
    path = os.environ.get(name)
    if not path:
        pytest.skip(name + " is not set")
    return os.path.abspath(path)


def write_inputs(folder, times, intervals=None):
    (folder / "ev.txt").write_text("".join("%.17g\n" % t for t in times))
    if intervals is not None:
        (folder / "iv.txt").write_text("".join("%.17g %.17g\n" % i for i in intervals))


def rows(result):
    return np.column_stack([getattr(result, name) for name in periodogram.COLUMNS])


def test_own_frequencies_give_the_grids_rows():
    grid = periodscan.survey(TIMES, 2, 50)
    picked = grid.frequency[[600, 3, 250, 17, 121]]
    own = periodscan.survey(TIMES, frequency=picked)
    np.testing.assert_array_equal(own.frequency, np.sort(picked))
    at = np.searchsorted(grid.frequency, own.frequency)
    # Not to the bit: the grid takes its sums by recurrence, fit_at directly.
    for name in ("delta_log_lik", "amplitude", "rayleigh_z"):
        np.testing.assert_allclose(getattr(own, name), getattr(grid, name)[at], rtol=1e-8,
                                   atol=1e-10, err_msg=name)
    turn = np.angle(np.exp(1j * (own.phase - grid.phase[at])))
    np.testing.assert_allclose(turn, 0, atol=1e-6)


MODELS = [
    ("highest row", {"min_period": 2, "max_period": 50}, TIMES, None, None),
    ("log grid", {"min_period": 2, "max_period": 50, "periods": 60}, TIMES, None, None),
    ("off the grid", {"min_period": 2, "max_period": 50}, TIMES, None, 0.1428),
    ("intervals", {"min_period": 2, "max_period": 50}, GAPS, INTERVALS, 0.1428),
    ("own frequencies", {"frequency": [0.1, 0.1428, 0.3]}, GAPS, INTERVALS, None),
]


@pytest.mark.parametrize("label,grid,times,intervals,frequency", MODELS,
                         ids=[m[0] for m in MODELS])
def test_model_holds_the_likelihood_gain(label, grid, times, intervals, frequency):
    """With Mju at its best the integral of the rate is N, so the gain over a
    constant rate N/E is sum ln Lambda(t_i) - N ln(N/E)."""
    result = periodscan.survey(times, intervals=intervals, **grid)
    p = result.model_parameters(frequency)
    n = len(times)
    exposure = (times[-1] - times[0] if intervals is None
                else sum(b - a for a, b in intervals))
    gain = np.sum(np.log(result.model(times, frequency))) - n * np.log(n / exposure)
    assert gain == pytest.approx(p.delta_log_lik, rel=1e-9, abs=1e-9)
    assert p.period == 1 / p.frequency and 0 <= p.amplitude <= 1
    if frequency is not None:
        assert p.frequency == frequency


def test_datetime64_times_are_days_since_1970():
    seconds = np.round(TIMES * 86400).astype(np.int64) + 1_600_000_000
    clock = np.datetime64(0, "s") + seconds.astype("timedelta64[s]")
    days = seconds / 86400
    dated = periodscan.survey(clock, np.timedelta64(2, "D"), 50)
    plain = periodscan.survey(days, 2, 50)
    np.testing.assert_array_equal(rows(dated), rows(plain))
    assert (dated.unit, dated.origin, plain.unit) == ("days", "1970-01-01T00:00:00Z", None)
    np.testing.assert_array_equal(dated.model(clock[:5]), plain.model(days[:5]))
    # Nanoseconds since 1970 pass 2**53: days and their rest are taken apart.
    nanoseconds = periodscan.survey(clock.astype("datetime64[ns]"), 2, 50)
    np.testing.assert_array_max_ulp(nanoseconds.times, days, maxulp=1)


def summary_numbers(text):
    """(p at one period, FAP over all periods) of the top peak, and the
    levels printed for one period and over all periods."""
    top = re.search(r"^  1 +\S+ +\S+ +\S+ +(\S+) +(\S+)$", text, re.M).groups()
    single = re.findall(r"([\d.]+) \(p = ", text)
    scan = re.findall(r"([\d.]+) \(FAP ", text)
    return top, single, scan


def test_significance_matches_the_plot_summary(tmp_path):
    plot = command("PERIODSCAN_PLOT")
    write_inputs(tmp_path, TIMES)
    result = periodscan.survey(TIMES, 2, 50)
    result.write(str(tmp_path / "mine"))
    shown = subprocess.run([plot, "mine.spectrum.tsv", "--events", "ev.txt", "--no-figures"],
                           cwd=tmp_path, capture_output=True, text=True)
    assert shown.returncode == 0, shown.stderr
    z = result.delta_log_lik[result.highest()]
    ours = (("%.3g" % result.false_alarm_probability(z, "single"),
             "%.3g" % result.false_alarm_probability(z)),
            ["%.3f" % v for v in result.false_alarm_level([0.05, 0.01, 0.001], "single")],
            ["%.3f" % v for v in result.false_alarm_level([0.05, 0.01])])
    assert summary_numbers(shown.stdout) == ours
    # The deciding FAP, with the clustering measured at the peak's period.
    deciding = re.search(r"DeltaLogLik/kappa\s+peak 1 ([\d.]+) \(kappa", shown.stdout)
    assert "%.3g" % result.false_alarm_probability(z, "clustered") == deciding.group(1)


WRITES = [
    ("resolving grid", ["--min-period", "2", "--max-period", "50"],
     {"min_period": 2, "max_period": 50}, TIMES, None),
    ("log periods", ["--min-period", "2", "--max-period", "50", "--periods", "30"],
     {"min_period": 2, "max_period": 50, "periods": 30}, TIMES, None),
    ("intervals", ["--min-period", "3", "--max-period", "40", "--samples-per-peak", "2.5",
                   "--intervals", "iv.txt"],
     {"min_period": 3, "max_period": 40, "samples_per_peak": 2.5}, GAPS, INTERVALS),
]


@pytest.mark.parametrize("label,args,grid,times,intervals", WRITES, ids=[w[0] for w in WRITES])
def test_written_table_is_the_commands(tmp_path, label, args, grid, times, intervals):
    survey = command("PERIODSCAN_SURVEY")
    write_inputs(tmp_path, times, intervals)
    subprocess.run([survey, "ev.txt", "--quiet"] + args, cwd=tmp_path, check=True)
    result = periodscan.survey(times, intervals=intervals, **grid)
    assert result.write(str(tmp_path / "mine")) == str(tmp_path / "mine.spectrum.tsv")
    theirs = (tmp_path / "ev.spectrum.tsv").read_text().splitlines()
    mine = (tmp_path / "mine.spectrum.tsv").read_text().splitlines()
    # Where the events came from, and the file the command read its intervals from.
    different = ("# command: ", "# events: ", "# intervals_file: ")
    assert ([line for line in theirs if not line.startswith(different)]
            == [line for line in mine if not line.startswith(different)])
    assert sorted(os.listdir(tmp_path)) == sorted(
        ["ev.txt", "ev.spectrum.tsv", "mine.spectrum.tsv"] + (["iv.txt"] if intervals else []))
    for path in ("mine.spectrum.tsv", "ev.spectrum.tsv"):
        back = periodscan.read_survey(str(tmp_path / path), events=times, intervals=intervals)
        np.testing.assert_array_equal(rows(back), rows(result))
        assert back.model_parameters() == result.model_parameters()


def test_result_as_a_table():
    result = periodscan.survey(TIMES, 2, 50)
    table = result.to_table()
    assert table.dtype.names == periodogram.COLUMNS
    np.testing.assert_array_equal(table["delta_log_lik"], result.delta_log_lik)
    try:
        import pandas  # noqa: F401
    except ImportError:
        with pytest.raises(ImportError, match="needs pandas"):
            result.to_table("pandas")
    else:
        assert list(result.to_table("pandas").columns) == list(periodogram.COLUMNS)
    assert repr(result) == ("SurveyResult(720 rows, periods 2.00202 to 50, 840 events; highest "
                            "peak: period 2.35403, delta_log_lik 5.58112, amplitude 0.1619)")


def test_refusals(tmp_path):
    result = periodscan.survey(TIMES, 2, 50)
    result.write(str(tmp_path / "a"))
    unread = periodscan.read_survey(str(tmp_path / "a.spectrum.tsv"))
    (tmp_path / "b.spectrum.tsv").mkdir()
    cases = [
        (lambda: result.false_alarm_probability(5, "bootstrap"), ValueError,
         "method must be one of single, baluev, clustered, surrogates, not 'bootstrap'"),
        (lambda: result.false_alarm_level(0), ValueError,
         "false_alarm_probability must lie between 0 and 1 (both left out)"),
        (lambda: result.false_alarm_probability(5, "surrogates"), ValueError,
         "method 'surrogates' needs the magnitudes, latitudes and longitudes of the events: "
         "give assess() magnitudes=, latitudes= and longitudes="),
        (lambda: result.false_alarm_level(0.01, frequency=0.1), TypeError,
         "frequency and the keywords of periodscan.assess go with the methods clustered and "
         "surrogates only"),
        (lambda: unread.false_alarm_probability(5), ValueError,
         "Baluev's false-alarm probability, which takes the variance of the times, needs the "
         "event times: read the table with read_survey(path, events=...)"),
        (lambda: unread.model_parameters(0.1), ValueError,
         "a fit off the result's frequencies needs the event times: read the table with "
         "read_survey(path, events=...)"),
        (lambda: result.write(str(tmp_path / "b")), IsADirectoryError,
         "%s: is a folder" % (tmp_path / "b.spectrum.tsv")),
        (lambda: periodscan.fit_at(TIMES, [0.3, 0.1, 0.3]).write(str(tmp_path / "c")),
         ValueError, "the result lists a frequency twice; a table lists each once"),
        (lambda: result.write(str(tmp_path) + os.sep), ValueError,
         "prefix needs the start of a file name, not %r" % (str(tmp_path) + os.sep)),
        (lambda: dataclasses.replace(result, delta_log_lik=result.delta_log_lik * np.nan)
         .model_parameters(), ValueError,
         "the result has no finite delta_log_lik, so no highest peak"),
        (lambda: periodscan.survey(TIMES, frequency=np.broadcast_to(1.0, (10**8 + 1,))),
         ValueError, "frequency holds 100000001 frequencies, more than the 100000000 a "
         "result may have"),
    ]
    for call, error, message in cases:
        with pytest.raises(error) as raised:
            call()
        assert str(raised.value) == message
    assert sorted(os.listdir(tmp_path)) == ["a.spectrum.tsv", "b.spectrum.tsv"]
    # What a table without its events still gives: the rows and the model.
    assert unread.model_parameters() == result.model_parameters()
