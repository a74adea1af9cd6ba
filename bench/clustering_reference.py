#!/usr/bin/python3
"""Derives the Poisson reference quantiles of the clustering check.

For each number K of independent frequencies it simulates Poisson catalogues,
fits the periodic law at the K frequencies 3/L, 4/L, ..., (K + 2)/L (L the
span of the events) and records the mean DeltaLogLik; it prints the median,
99th and 99.9th percentiles with their count, and the same quantiles of
Gamma(K, 1/K) (K independent exponentials), as a markdown table. The result
is stored in python/periodscan/clustering.py.

    PYTHONPATH=python bench/clustering_reference.py [--reps N] [--seed S]
        [--min-k K] [--max-k K] [--build DIR]

The fits use periodscan.survey (one sample per 1/L) when the compiled engine
is found, in the package or in the build tree DIR, else the numpy fit of
periodscan.likelihood; both give the same DeltaLogLik to about 1e-11.
"""

import argparse
import importlib
import os
import sys

import numpy as np

import periodscan
from periodscan import likelihood

K_VALUES = (1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024)
EVENTS = (100, 1000)
# The band starts this many cycles over the span above zero frequency.
LOW_CYCLES = 3


def numpy_mean(t, k):
    span = t[-1] - t[0]
    f = (LOW_CYCLES + np.arange(k)) / span
    return float(np.mean(likelihood.fit(t, f).delta_log_lik))


def survey_mean(t, k):
    survey = importlib.import_module("periodscan.periodogram")
    span = t[-1] - t[0]
    # One sample per 1/L from 3/L; the last period half a step inside K.
    r = survey.survey(t, span / (LOW_CYCLES + k - 0.5), span / LOW_CYCLES,
                      samples_per_peak=1, threads=1)
    assert len(r.delta_log_lik) == k
    return float(np.mean(r.delta_log_lik))


def pick(build):
    if build:
        periodscan.__path__.append(os.path.join(build, "python", "periodscan"))
        survey = importlib.import_module("periodscan.periodogram")
        if survey._engine is None:     # imported with the package, before the path grew
            try:
                survey._engine = importlib.import_module("periodscan._engine")
            except ImportError:
                pass
    try:
        survey = importlib.import_module("periodscan.periodogram")
        survey.survey(np.array([0.0, 0.5, 1.0, 2.0]), 0.5, 1.0)
        return survey_mean, "survey"
    except ImportError:
        return numpy_mean, "numpy"


def main(argv=None):
    parser = argparse.ArgumentParser()
    parser.add_argument("--reps", type=int, default=4000)
    parser.add_argument("--seed", type=int, default=20261208)
    parser.add_argument("--min-k", type=int, default=1)
    parser.add_argument("--max-k", type=int, default=1024)
    parser.add_argument("--build", metavar="DIR")
    args = parser.parse_args(argv)
    mean_of, engine = pick(args.build)
    print("engine: %s" % engine, file=sys.stderr)
    print("| K | events | catalogues | median | 99 % | 99.9 % | gamma median | gamma 99 % |")
    print("|---:|---:|---:|---:|---:|---:|---:|---:|")
    for k in K_VALUES:
        if not args.min_k <= k <= args.max_k:
            continue
        rng = np.random.default_rng([args.seed, k])
        g = rng.gamma(k, 1.0 / k, 200000)
        # Above 128 the mean is nearly normal: fewer catalogues do.
        reps = args.reps if k <= 128 else max(500, args.reps * 128 // k)
        for n in EVENTS:
            means = np.array([mean_of(np.sort(rng.uniform(0.0, 1.0, n)), k)
                              for _ in range(reps)])
            q = np.quantile(means, [0.5, 0.99, 0.999])
            print("| %d | %d | %d | %.3f | %.3f | %.3f | %.3f | %.3f |"
                  % (k, n, reps, q[0], q[1], q[2], np.median(g), np.quantile(g, 0.99)),
                  flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
