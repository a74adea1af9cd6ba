"""The Fano factor and kappa, the clustering check and the cluster shifts."""

import numpy as np
import pytest

from periodscan import clustering, simulate, likelihood


@pytest.mark.parametrize("times, window, expected", [
    # counts 2, 0, 4, 2 in [0,1) [1,2) [2,3) [3,4): mean 2, variance 8/3
    ([0.0, 0.5, 2.1, 2.2, 2.3, 2.4, 3.5, 3.6, 4.0], 1.0, 4.0 / 3),
    # one event per window: no variance at all
    ([0.0, 1.0, 2.0, 3.0, 4.0], 1.0, 0.0),
    # counts 3, 0, 3, 0: mean 1.5, variance 3
    ([0.0, 0.1, 0.2, 2.0, 2.1, 2.2, 4.0], 1.0, 2.0),
    # the partial window after the last full one is left out: counts 1, 3
    ([0.0, 1.2, 1.3, 1.4, 2.5], 1.0, 1.0),
])
def test_fano_factor_of_hand_made_counts(times, window, expected):
    fano, windows = clustering.fano_factor(np.array(times), window, offsets=(0.0,))
    assert fano == pytest.approx(expected)


def test_kappa_is_one_for_regular_events_and_the_window_is_a_quarter_of_tmin():
    t = np.arange(0.0, 400.0, 0.5)
    k = clustering.fano_kappa(t, min_period=20.0)
    assert (k.kappa, k.window, k.windows) == (1.0, 5.0, 79)
    assert k.fano < 0.1


@pytest.mark.parametrize("span, tmin, duration, reason", [
    (400.0, 20.0, 5.0, "no window fits between the cluster duration 5 and Tmin/4 = 5"),
    (400.0, 20.0, 8.0, "no window fits between the cluster duration 8 and Tmin/4 = 5"),
    (40.0, 20.0, None, "the span 40 holds 8 windows of Tmin/4 = 5, fewer than 10"),
])
def test_kappa_is_undefined_when_no_window_fits(span, tmin, duration, reason):
    k = clustering.fano_kappa(np.linspace(0.0, span, 200), tmin, duration)
    assert k.kappa is None
    assert reason in k.sentence()


def _clusters_of_four(duration):
    rng = np.random.default_rng(7)
    parents = np.sort(rng.uniform(0, 5000, 1000))
    return np.sort(np.concatenate([parents + rng.uniform(0, duration, 1000)
                                   for _ in range(4)]))


@pytest.mark.parametrize("given", [0.5, None])
def test_kappa_of_clusters_of_four_is_about_four(given):
    # Clusters of exactly S events give E[S^2] / E[S] = S once the windows
    # outlast them; then the factor no longer grows with the window.
    k = clustering.fano_kappa(_clusters_of_four(0.5), min_period=40.0, cluster_duration=given)
    assert k.kappa == pytest.approx(4.0, rel=0.15)


def test_clusters_longer_than_the_window_leave_kappa_undefined():
    k = clustering.fano_kappa(_clusters_of_four(15.0), min_period=40.0)
    assert k.kappa is None and k.growth > clustering.FANO_PLATEAU
    assert "no window fits: the Fano factor of counts still grows" in k.sentence()


def test_independent_indices_take_one_grid_point_per_one_over_span():
    span = 100.0
    f = 0.1 + np.arange(51) / (5 * span)          # 5 points per 1/L
    assert list(clustering.independent_indices(f, span)) == list(range(0, 51, 5))
    coarse = 0.1 + np.arange(4) * 0.05            # coarser than 1/L: each once
    assert list(clustering.independent_indices(coarse, span)) == [0, 1, 2, 3]


def _spectrum(t, tmin=20.0, tmax=200.0):
    span = t[-1] - t[0]
    f = 1 / tmax + np.arange(0, 1 / tmin - 1 / tmax, 1 / (5 * span))
    return f, likelihood.fit(t, f).delta_log_lik, span


def _weekday_blasts(rng):
    """800 events in a year, each on a weekday between 8 and 16 h."""
    days = rng.integers(0, 365, 3000)
    days = days[days % 7 < 5][:800]
    return simulate.Catalogue(np.sort(days + rng.uniform(8, 16, len(days)) / 24), None, None,
                              None, None, 365.0)


@pytest.mark.parametrize("make, tmin, tmax, clustered, frequencies", [
    (lambda rng: simulate.poisson(rng, 1000.0, 0.4), 20, 200, False, 41),
    (lambda rng: simulate.neyman_scott(rng, 1000.0, 0.15, 5), 20, 200, True, 40),
    # a strong cycle lifts its own neighbourhood only: not clustering
    (lambda rng: simulate.poisson(rng, 1000.0, 0.4, simulate.Modulation(0.9, 50.0)),
     20, 200, False, 38),
    # a band that holds little more than the peak cannot be checked
    (lambda rng: simulate.poisson(rng, 1000.0, 0.4, simulate.Modulation(0.9, 50.0)),
     45, 55, None, 0),
    # blasts by day on weekdays: the harmonics and combination tones of the
    # daily and weekly cycles are lines, not clustering
    (_weekday_blasts, 0.2, 10, False, 1704),
])
def test_clustering_check(make, tmin, tmax, clustered, frequencies):
    f, z, span = _spectrum(make(np.random.default_rng(11)).time, tmin, tmax)
    check = clustering.clustering_check(f, z, span)
    assert check.frequencies == frequencies
    assert check.clustered is clustered
    assert ("Poisson false-alarm levels do not apply" in check.sentence()) == bool(clustered)
    assert ("widen the band" in check.sentence()) == (clustered is None)
