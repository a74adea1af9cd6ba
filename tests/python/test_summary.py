"""Peak picking, the period-grid resolution check, the clustering and
significance lines, the flags and the window length of the summary. Expected
widths and grid sizes were worked out with bc from the formulas, not with the
code under test."""

import json
import math
import re

import numpy as np
import pytest

from periodscan import likelihood, simulate
from periodscan.assessment import assess_spectrum
from periodscan.eventfile import read_event_times
from periodscan.report import grid_resolution, largest_peaks
from periodscan.results import Spectrum, window_length
from periodscan.summary import spectrum_summary


@pytest.mark.parametrize("values,peaks", [
    ([1, 3, 2, 5, 4], [3, 1]),
    ([5, 1, 1, 4], [0, 3]),                     # both ends of the grid
    ([1, 2, 2, 1], [2]),                        # a plateau counts once
    ([1, 2, 3], [2]),
    ([1, float("nan"), 3, 1], [2, 0]),          # a non-finite value is passed over
    ([0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0], [11, 9, 7, 5, 3]),  # five at most
    ([2, 1, 2], [0, 2]),                        # equal peaks in grid order
])
def test_largest_peaks(values, peaks):
    values = np.array(values, dtype=float)
    spectrum = Spectrum(np.arange(1, len(values) + 1.0), values, np.zeros(len(values)))
    assert largest_peaks(spectrum) == peaks


def _grid(tmin, tmax, n):
    return np.logspace(math.log10(tmin), math.log10(tmax), n)


# A peak at T over Lobs is T / (Lobs ln 10) wide in log10 T; the grid resolves
# it when its step is at most a third of that at Tmin.
@pytest.mark.parametrize("periods,span,step,width,coarse,needed", [
    # Quarry blasts on the coarse grid, Lobs the span of the events.
    (_grid(0.25, 4, 60), 360.00991771, 0.0204088, 3.01585e-4, True, 11979),
    # The same grid with Lobs = Tmax, what is used without the event file.
    (_grid(0.25, 4, 60), 4.0, 0.0204088, 0.0271434, True, 135),
    # The fine grid around one day.
    (_grid(0.98, 1.02, 201), 360.00991771, 8.6871e-5, 1.182214e-3, False, 46),
])
def test_grid_resolution(periods, span, step, width, coarse, needed):
    res = grid_resolution(periods, span)
    assert res.step == pytest.approx(step, rel=1e-5)
    assert res.width == pytest.approx(width, rel=1e-5)
    assert res.too_coarse == coarse
    assert res.needed == needed


# ---------------------------------------------------------------------------
# What the summary says beyond the Poisson levels, on simulated catalogues
# scanned with the likelihood of the package: 400 days, a grid from 5 to 20
# days five points per peak width.

SPAN = 400.0


def scanned(catalogue):
    t = catalogue.time
    span = t[-1] - t[0]
    f = np.arange(1 / 20, 1 / 5, 1 / (5 * span))
    fit = likelihood.fit(t, f)
    order = np.argsort(1 / f)
    return Spectrum(1 / f[order], fit.delta_log_lik[order], fit.amplitude[order]), t


def summary_text(catalogue):
    spectrum, t = scanned(catalogue)
    return re.sub(r"\n {3,}", " ", "\n".join(spectrum_summary(spectrum, t)))


CATALOGUES = {
    "poisson": lambda rng: simulate.poisson(rng, SPAN, 2.0),
    "neyman-scott": lambda rng: simulate.neyman_scott(rng, SPAN, 0.5, 5.0, delay=0.2),
    "periodic": lambda rng: simulate.poisson(rng, SPAN, 2.0, simulate.Modulation(0.5, 10.0)),
}


@pytest.mark.parametrize("kind,present,absent", [
    ("poisson", ["clustering check: no sign of clustering",
                 "significance: no peak passes the 5 % level over all periods",
                 "95 % upper limit on A over the band"],
     ["profile-likelihood intervals", "Poisson false-alarm levels do not apply"]),
    ("neyman-scott", ["clustering check: clustered: the mean DeltaLogLik over the",
                      "the Poisson false-alarm levels do not apply",
                      "clustering measured at each peak's own period",
                      # the local level gives clustered events a verdict
                      "significance: no peak passes the 5 % level over all periods"],
     ["no sign of clustering"]),
    ("periodic", ["clustering check: no sign of clustering",
                  "significance: peak 1 passes the 5 % level over all periods",
                  "peak 1, 95 % profile-likelihood intervals"],
     ["upper limit on A"]),
])
def test_clustering_and_significance_lines(kind, present, absent):
    text = summary_text(CATALOGUES[kind](np.random.default_rng(7)))
    for phrase in present:
        assert phrase in text
    for phrase in absent:
        assert phrase not in text


def test_interval_of_a_simulated_peak_covers_the_true_period():
    text = summary_text(CATALOGUES["periodic"](np.random.default_rng(11)))
    found = re.search(r"peak 1, 95 % profile-likelihood intervals.*?: T = \S+ \[(\S+), (\S+)\]",
                      text)
    lo, hi = float(found.group(1)), float(found.group(2).rstrip("],"))
    assert lo < 10.0 < hi and hi - lo < 0.5


# Flags of hand-made spectra without the event times: the edge of the grid and
# A = 1 are known; a side lobe needs the span of the events.
@pytest.mark.parametrize("values,amplitudes,flags", [
    ([1, 2, 5], [0.1, 0.2, 0.3], "flags: peak 1 edge of grid."),
    ([1, 5, 2, 3, 1], [0.1, 1.0, 0.2, 0.5, 0.1], "flags: peak 1 A = 1."),
    ([6, 1, 5, 2], [1.0, 0.1, 0.2, 0.1], "flags: peak 1 edge of grid; A = 1."),
    ([1, 5, 2, 3, 1], [0.1, 0.2, 0.2, 0.5, 0.1], None),
])
def test_flags_without_events(values, amplitudes, flags):
    n = len(values)
    spectrum = Spectrum(np.arange(1.0, n + 1), np.array(values, float), np.array(amplitudes))
    lines = spectrum_summary(spectrum)
    flag_lines = [line.strip() for line in lines if line.strip().startswith("flags:")]
    assert flag_lines == ([flags] if flags else [])
    assert "  side lobes: not checked without the span of the events (give --events)." in lines
    assert ("  clustering check: not made without the span of the events (give --events)."
            in lines)


def _windows(t, length, step, n):
    """Counts of windows [t1 + w S, t1 + w S + L], ends included."""
    starts = t[0] + step * np.arange(n)
    return np.array([np.sum((t >= s) & (t <= s + length)) for s in starts])


@pytest.mark.parametrize("length,step", [(60.0, 15.0), (10.0, 5.0), (7.5, 7.5), (100.0, 1.0)])
def test_window_length_is_found_from_the_counts(length, step):
    t = np.sort(np.random.default_rng(3).uniform(0, 365, 800))
    n = int((t[-1] - t[0] - length) / step + 1)
    marks = 3.0 + length + step * np.arange(n)          # any time-mark shift
    assert window_length(t, marks, _windows(t, length, step, n)) == length


def test_window_length_of_another_run_is_not_found():
    t = np.sort(np.random.default_rng(3).uniform(0, 365, 800))
    counts = _windows(t, 60.0, 15.0, 21)
    counts[::2] += 7
    assert window_length(t, 75.0 + 15.0 * np.arange(21), counts) is None


def _event_file(folder, catalogue):
    """An event file as periodscan-prepare writes it, with its EVENTS.json."""
    path = folder / "ev.txt"
    path.write_text("".join("%.6f %.2f %.4f %.4f 10.0\n" % row for row in zip(
        catalogue.time, catalogue.magnitude, catalogue.latitude, catalogue.longitude)))
    description = {"unit": "days",
                   "columns": ["time", "magnitude", "latitude", "longitude", "depth"]}
    (folder / "ev.json").write_text(json.dumps(description))
    return str(path), description


@pytest.mark.parametrize("amplitude,passes", [(0.0, False), (1.0, True)])
def test_cluster_shifts_from_magnitudes_and_locations(tmp_path, amplitude, passes):
    catalogue = simulate.neyman_scott(np.random.default_rng(4), SPAN, 0.15, 3.0, delay=0.2,
                                      modulation=simulate.Modulation(amplitude, 10.0))
    path, description = _event_file(tmp_path, catalogue)
    t = read_event_times(path)
    f = np.arange(1 / 20, 1 / 5, 1 / (2 * (t[-1] - t[0])))
    fit = likelihood.fit(t, f)
    spectrum = Spectrum(1 / f[::-1], fit.delta_log_lik[::-1], fit.amplitude[::-1])
    assessment = assess_spectrum(spectrum, largest_peaks(spectrum), t, description, path)
    text = " ".join(" ".join(spectrum_summary(spectrum, t, assessment=assessment)).split())
    shifts = re.search(r"cluster shifts \(Gardner-Knopoff clusters from magnitudes and "
                       r"locations, .*?\): FAP of the largest DeltaLogLik over all periods (\S+);",
                       text)
    assert (float(shifts.group(1)) < 0.05) == passes
    assert ("significance: peak 1 passes" in text) == passes
    background = re.search(r"declustered background \((\d+) Gardner-Knopoff main shocks, "
                           r"clustering check passes\): FAP over all periods at the peak's "
                           r"frequency peak 1 (\S+),", text)
    assert (float(background.group(2)) < 0.05) == passes
