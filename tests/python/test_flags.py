"""The flags of a spectrum's peaks: edge of grid, side lobe, A at its bound."""

import numpy as np
import pytest

from periodscan import flags

SPAN = 100.0
F = 1.0 + np.arange(61) / (5 * SPAN)       # 5 points per 1/L from f = 1


def _spectrum(*bumps):
    """A spectrum of narrow bumps (index, height) on a floor of 1."""
    z = np.ones_like(F)
    for i, height in bumps:
        z[i] = height
    return z


@pytest.mark.parametrize("bumps, peak, amplitude, labels", [
    ([(30, 50.0)], 30, 0.4, []),
    ([(0, 50.0)], 0, 0.4, ["edge of grid"]),
    ([(60, 50.0)], 60, 0.4, ["edge of grid"]),
    # 1.6 / L below a stronger peak: its first side lobe
    ([(30, 50.0), (22, 10.0)], 22, 0.4, ["side lobe of T = 0.943396"]),
    # 2 / L away still counts, 3 / L does not
    ([(30, 50.0), (40, 10.0)], 40, 0.4, ["side lobe of T = 0.943396"]),
    ([(30, 50.0), (45, 10.0)], 45, 0.4, []),
    # the stronger one of a pair is not a side lobe of the weaker
    ([(30, 50.0), (22, 10.0)], 30, 0.4, []),
    ([(30, 50.0)], 30, 0.9995, ["A = 1"]),
    ([(30, 50.0)], 30, 0.99, []),
    ([(0, 50.0), (8, 90.0)], 0, 1.0, ["edge of grid", "side lobe of T = 0.984252", "A = 1"]),
])
def test_peak_flags(bumps, peak, amplitude, labels):
    z = _spectrum(*bumps)
    a = np.full_like(F, 0.2)
    a[peak] = amplitude
    (got,) = flags.peak_flags(F, z, a, [peak], SPAN)
    assert got.labels(period=1 / F) == labels


def test_flags_do_not_depend_on_the_order_of_the_grid():
    z = _spectrum((30, 50.0), (22, 10.0))
    a = np.full_like(F, 0.2)
    rev = slice(None, None, -1)
    got = flags.peak_flags(F[rev], z[rev], a[rev], [60 - 22, 60], SPAN)
    assert [g.labels(period=1 / F[rev]) for g in got] == [["side lobe of T = 0.943396"],
                                                          ["edge of grid"]]
