"""Cluster-shift surrogates run by the engine: reproducible for a seed and any
thread count, the sequential stop rule, and arguments refused."""

import importlib

import numpy as np
import pytest

from periodscan import simulate, surrogates

survey_module = importlib.import_module("periodscan.periodogram")
pytestmark = pytest.mark.skipif(survey_module._engine is None,
                                reason="periodscan._engine is not built or not first on the "
                                "path (PERIODSCAN_PYTHONPATH=<build>/python)")


def _catalogue():
    t = simulate.neyman_scott(np.random.default_rng(8), 400.0, 0.15, 5).time
    clusters = np.repeat(np.arange(len(t) // 5 + 1), 5)[:len(t)]
    f = 1 / 50 + np.arange(200) / (5 * (t[-1] - t[0]))
    return t, clusters, f


@pytest.mark.parametrize("observed, fap, drawn, reached", [
    (-np.inf, 1.0, 10, 10),        # every surrogate reaches it: stops after 10
    (np.inf, 1 / 100, 99, 0),      # none does: (0 + 1) / (99 + 1)
])
def test_stop_rule(observed, fap, drawn, reached):
    t, clusters, f = _catalogue()
    r = surrogates.cluster_shift_surrogates(t, clusters, f, observed)
    assert (r.fap, r.drawn, r.reached) == (pytest.approx(fap), drawn, reached)


def test_same_seed_same_result_for_any_thread_count():
    t, clusters, f = _catalogue()
    watched = [(t[0], 150.0), (180.0, t[-1])]
    kept = (t <= 150.0) | (t >= 180.0)
    runs = [surrogates.cluster_shift_surrogates(t[kept], clusters[kept], f, 12.0,
                                                intervals=watched, seed=seed, threads=threads,
                                                max_surrogates=20)
            for seed, threads in ((5, 1), (5, 2), (6, 2))]
    assert runs[0] == runs[1]
    assert runs[0].clusters == len(np.unique(clusters[kept]))
    different = survey_module._engine.shift_scans(t, clusters, f, 12.0, seed=6,
                                                  max_surrogates=3)["maxima"]
    same = survey_module._engine.shift_scans(t, clusters, f, 12.0, seed=5,
                                             max_surrogates=3)["maxima"]
    assert list(different) != list(same)


@pytest.mark.parametrize("change, error, message", [
    ({"clusters": [0, 1]}, ValueError, "one label per event"),
    ({"clusters": np.zeros(0) + 0.5}, TypeError, "whole numbers"),
    ({"frequencies": [0.02, -1.0]}, ValueError, r"frequencies\[1\] = -1 is not a positive"),
    ({"frequencies": []}, ValueError, "holds no frequency"),
    ({"max_surrogates": 0}, ValueError, "max_surrogates must be at least 1"),
])
def test_arguments_refused(change, error, message):
    t, clusters, f = _catalogue()
    arguments = {"times": t, "clusters": clusters, "frequencies": f, "observed": 1.0}
    arguments.update(change)
    with pytest.raises(error, match=message):
        surrogates.cluster_shift_surrogates(**arguments)
