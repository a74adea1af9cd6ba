"""Significance levels and Baluev's false-alarm bound. Expected values were
worked out with bc at 30 digits from the formulas, not with the code under
test."""

import math

import pytest

from periodscan.significance import (baluev_fap, baluev_level, baluev_w, single_period_level,
                                     single_period_p)


@pytest.mark.parametrize("p,level", [
    (0.05, 2.995732273553991),    # ln 20
    (0.01, 4.605170185988091),    # ln 100
    (0.001, 6.907755278982137),   # ln 1000
])
def test_single_period_levels(p, level):
    assert single_period_level(p) == pytest.approx(level, rel=1e-15)
    assert single_period_p(level) == pytest.approx(p, rel=1e-12)


def test_single_period_p_is_one_at_and_below_zero():
    assert single_period_p([0.0, -0.3, -1e300]).tolist() == [1.0, 1.0, 1.0]


# FAP(z) = 1 - (1 - e^-z) exp(-W e^-z sqrt z)
@pytest.mark.parametrize("z,w,fap", [
    (math.log(20), 0.0, 0.05),                  # no band: the single-period p
    (math.log(100), 10.0, 0.201201806118275),
    (3.0, 1.0, 0.128293864911219704),
    (10.0, 100.0, 0.0142989049022052806),
    (500.0, 1000.0, 1.59317496140053795e-213),  # far below the rounding of 1
])
def test_baluev_fap(z, w, fap):
    assert float(baluev_fap(z, w)) == pytest.approx(fap, rel=1e-12, abs=0)


def test_baluev_fap_is_one_without_a_positive_peak():
    assert baluev_fap([0.0, -2.0], 50.0).tolist() == [1.0, 1.0]


@pytest.mark.parametrize("fmin,fmax,variance,w", [
    (0.25, 1.0, 1 / (4 * math.pi), 0.75),        # sqrt(4 pi Var) = 1
    (0.25, 1.0, 3.0, 4.60497018575919819814),    # 0.75 sqrt(12 pi)
    (0.5, 0.5, 7.0, 0.0),
])
def test_baluev_w(fmin, fmax, variance, w):
    assert baluev_w(fmin, fmax, variance) == pytest.approx(w, rel=1e-14, abs=1e-300)


@pytest.mark.parametrize("alpha", [0.05, 0.01])
@pytest.mark.parametrize("w", [0.0, 2.0, 13.88, 1301.0])
def test_baluev_level_inverts_the_fap(alpha, w):
    z = baluev_level(alpha, w)
    assert float(baluev_fap(z, w)) == pytest.approx(alpha, rel=1e-9)
    # The scan over a band can only raise the level above the single-period one.
    assert z >= single_period_level(alpha) - 1e-12
