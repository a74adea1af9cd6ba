"""Peak picking and the period-grid resolution check of the summary. Expected
widths and grid sizes were worked out with bc from the formulas, not with the
code under test."""

import math

import numpy as np
import pytest

from periodscan.results import Spectrum
from periodscan.summary import grid_resolution, largest_peaks


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
