"""Significance levels, Baluev's false-alarm bound, peak picking and the
period-grid resolution check. Expected values were worked out with bc at 30
digits from the formulas, not with the code under test."""

import math

import numpy as np
import pytest


@pytest.mark.parametrize("p,level", [
    (0.05, 2.995732273553991),    # ln 20
    (0.01, 4.605170185988091),    # ln 100
    (0.001, 6.907755278982137),   # ln 1000
])
def test_single_period_levels(plot, p, level):
    assert plot.single_period_level(p) == pytest.approx(level, rel=1e-15)
    assert plot.single_period_p(level) == pytest.approx(p, rel=1e-12)


def test_single_period_p_is_one_at_and_below_zero(plot):
    assert plot.single_period_p([0.0, -0.3, -1e300]).tolist() == [1.0, 1.0, 1.0]


# FAP(z) = 1 - (1 - e^-z) exp(-W e^-z sqrt z)
@pytest.mark.parametrize("z,w,fap", [
    (math.log(20), 0.0, 0.05),                  # no band: the single-period p
    (math.log(100), 10.0, 0.201201806118275),
    (3.0, 1.0, 0.128293864911219704),
    (10.0, 100.0, 0.0142989049022052806),
    (500.0, 1000.0, 1.59317496140053795e-213),  # far below the rounding of 1
])
def test_baluev_fap(plot, z, w, fap):
    assert float(plot.baluev_fap(z, w)) == pytest.approx(fap, rel=1e-12, abs=0)


def test_baluev_fap_is_one_without_a_positive_peak(plot):
    assert plot.baluev_fap([0.0, -2.0], 50.0).tolist() == [1.0, 1.0]


@pytest.mark.parametrize("fmin,fmax,variance,w", [
    (0.25, 1.0, 1 / (4 * math.pi), 0.75),        # sqrt(4 pi Var) = 1
    (0.25, 1.0, 3.0, 4.60497018575919819814),    # 0.75 sqrt(12 pi)
    (0.5, 0.5, 7.0, 0.0),
])
def test_baluev_w(plot, fmin, fmax, variance, w):
    assert plot.baluev_w(fmin, fmax, variance) == pytest.approx(w, rel=1e-14, abs=1e-300)


@pytest.mark.parametrize("alpha", [0.05, 0.01])
@pytest.mark.parametrize("w", [0.0, 2.0, 13.88, 1301.0])
def test_baluev_level_inverts_the_fap(plot, alpha, w):
    z = plot.baluev_level(alpha, w)
    assert float(plot.baluev_fap(z, w)) == pytest.approx(alpha, rel=1e-9)
    # The scan over a band can only raise the level above the single-period one.
    assert z >= plot.single_period_level(alpha) - 1e-12


@pytest.mark.parametrize("values,peaks", [
    ([1, 3, 2, 5, 4], [3, 1]),
    ([5, 1, 1, 4], [0, 3]),                     # both ends of the grid
    ([1, 2, 2, 1], [2]),                        # a plateau counts once
    ([1, 2, 3], [2]),
    ([1, float("nan"), 3, 1], [2, 0]),          # a non-finite value is passed over
    ([0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0], [11, 9, 7, 5, 3]),  # five at most
    ([2, 1, 2], [0, 2]),                        # equal peaks in grid order
])
def test_largest_peaks(plot, values, peaks):
    values = np.array(values, dtype=float)
    spectrum = plot.Spectrum(np.arange(1, len(values) + 1.0), values, np.zeros(len(values)))
    assert plot.largest_peaks(spectrum) == peaks


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
def test_grid_resolution(plot, periods, span, step, width, coarse, needed):
    res = plot.grid_resolution(periods, span)
    assert res.step == pytest.approx(step, rel=1e-5)
    assert res.width == pytest.approx(width, rel=1e-5)
    assert res.too_coarse == coarse
    assert res.needed == needed
