"""The simulated catalogues of the validation: what makes each process."""

import numpy as np
import pytest

from periodscan import simulate


def _largest_cluster_share(c):
    return np.bincount(c.cluster).max() / len(c.time)


def _late_over_early_rate(c):
    """Events per day in the last third over the first third."""
    third = c.span / 3
    return np.sum(c.time > 2 * third) / max(np.sum(c.time < third), 1)


def _longest_cluster(c):
    return max(np.ptp(c.time[c.cluster == k]) for k in np.unique(c.cluster))


@pytest.mark.parametrize("make, measure, lo, hi", [
    # one sequence holds most of the events
    (lambda rng: simulate.one_sequence(rng, 1000.0, 0.2, 800), _largest_cluster_share, 0.6, 0.9),
    # the rate doubles part way: twice as many events late as early
    (lambda rng: simulate.rate_step(rng, 1000.0, 0.4, 2.0), _late_over_early_rate, 1.7, 2.3),
    (lambda rng: simulate.poisson(rng, 1000.0, 0.4), _late_over_early_rate, 0.8, 1.2),
    # swarms last no longer than their duration
    (lambda rng: simulate.swarms(rng, 1000.0, 0.05, 15, 2.0), _longest_cluster, 1.5, 2.0),
])
def test_processes(make, measure, lo, hi):
    c = make(np.random.default_rng(3))
    assert np.all(np.diff(c.time) >= 0) and c.time.min() >= 0 and c.time.max() <= c.span
    assert len(c.magnitude) == len(c.latitude) == len(c.longitude) == len(c.time)
    assert lo <= measure(c) <= hi
