"""A map cell's task: the highest peak and its false-alarm probabilities,
or nan throughout with the reason where the cell cannot be fitted."""

import math

import numpy as np
import pytest

from periodscan import periodogram
from periodscan.mapping import cell_input, shift_cell, survey_cell

pytestmark = pytest.mark.skipif(periodogram._engine is None,
                                reason="periodscan._engine is not built")

RNG = np.random.default_rng(3)
DAILY = np.sort(RNG.uniform(0, 100, 3000))
DAILY = DAILY[RNG.uniform(0, 2, len(DAILY)) < 1 + np.cos(2 * np.pi * DAILY)]


def cell(times):
    n = len(times)
    # small events spread over the cell: declustering leaves them apart
    return cell_input(4, np.arange(n)[::-1], np.asarray(times, dtype=float),
                      RNG.uniform(1, 2, n), RNG.uniform(34, 35, n), RNG.uniform(-118, -117, n))


@pytest.mark.parametrize("times, band, note", [
    ([5.0] * 50, (0.9, 1.1), "the span is zero"),
    (np.linspace(0, 50, 120), (300, 430), "the band holds 1 trial period"),
])
def test_cells_that_cannot_be_fitted(times, band, note):
    result = survey_cell(cell(times), band[0], band[1], 5)
    assert (result.index, result.events) == (4, len(times))
    assert note in result.note
    assert math.isnan(result.delta_log_lik) and math.isnan(result.fap)


def test_daily_rhythm_is_found_and_confirmed_by_the_shifts():
    daily = cell(DAILY)
    assert np.all(np.diff(daily.times) >= 0)
    result = survey_cell(daily, 0.8, 1.25, 5)
    assert result.note == "" and abs(result.best_period - 1) < 0.005
    assert result.fap_baluev < 1e-6 and result.fap_clustered < 1e-6
    fap = shift_cell(daily, "days", 0.8, 1.25, 5, result.delta_log_lik, 19, 1)
    assert fap == 0.05
