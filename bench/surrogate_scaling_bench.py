#!/usr/bin/python3
"""Surrogates per second on Dask against the number of workers, and the cost
of one surrogate against astropy's fast Lomb-Scargle, as ratios measured in
one run; then, on paper, 9,999 surrogates of a 10^7-event catalogue.

Usage: surrogate_scaling_bench.py [--build DIR] [--surrogates S] [--workers 1,2]

Cases (periods 0.4-30 days, the resolving grid with 5 samples per peak):
  synthetic  10^6 events over 3652.5 days (bench/whole_path_bench.py's
             generator), about 44,600 frequencies;
  iscgem     examples/iscgem_m6_days.txt, about 324,000 frequencies.
Every event is its own cluster here: the cost of a surrogate scan depends on
the events and the frequencies, not on how they cluster.

For each case and worker count W, an embedded cluster of W single-threaded
workers (periodscan.dask_client) runs periodscan.surrogate_fap with S
surrogates (default 8 per worker count); the cluster's start is not timed.
Reported: surrogates per second, the speed-up against one worker, the cost
of one surrogate on one worker (W / rate) and its ratio to astropy's fast
first-harmonic LombScargle on the same frequencies (median of 3,
processor time, in this process). The maxima must be the same bits for every
W, or the run stops.
"""

import argparse
import os
import pathlib
import statistics
import sys
import tempfile
import time

import numpy as np

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent
sys.path.insert(0, str(HERE))
from whole_path_bench import make_synthetic  # noqa: E402

MIN_PERIOD, MAX_PERIOD = 0.4, 30.0
PAPER_EVENTS = 10**7
PAPER_SURROGATES = 9999
PAPER_WORKERS = (10, 100)


def astropy_seconds(times, frequencies, repeat=3):
    from astropy.timeseries import LombScargle
    model = LombScargle(times, np.ones_like(times), fit_mean=False, center_data=False,
                        normalization="psd")
    runs = []
    for _ in range(repeat):
        start = time.process_time()
        model.power(frequencies, method="fast")
        runs.append(time.process_time() - start)
    return statistics.median(runs)


def case_times(name, scratch):
    if name == "synthetic":
        path = pathlib.Path(scratch) / "synthetic.txt"
        make_synthetic(path)
        return np.loadtxt(path)
    return np.loadtxt(ROOT / "examples" / "iscgem_m6_days.txt", usecols=0)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=str(ROOT / "build"))
    parser.add_argument("--surrogates", type=int, default=8)
    parser.add_argument("--workers", default="1,2")
    parser.add_argument("--cases", default="synthetic,iscgem")
    args = parser.parse_args()
    sys.path.insert(0, os.path.join(args.build, "python"))
    import periodscan
    from periodscan.dask_client import dask_client

    counts = [int(w) for w in args.workers.split(",")]
    per_surrogate = {}
    print("case       events  frequencies  workers  surrogates/s  speed-up  "
          "1 surrogate/astropy")
    with tempfile.TemporaryDirectory() as scratch:
        for name in args.cases.split(","):
            times = case_times(name, scratch)
            grid = periodscan.survey(times, MIN_PERIOD, MAX_PERIOD)
            labels = np.arange(len(times))
            reference, rates = None, {}
            lomb = astropy_seconds(times, grid.frequency)
            for workers in counts:
                with dask_client(workers=workers) as client:
                    client.wait_for_workers(workers)
                    start = time.perf_counter()
                    test = periodscan.surrogate_fap(times, labels, grid.frequency,
                                                    float(np.max(grid.delta_log_lik)),
                                                    n=args.surrogates, client=client)
                    seconds = time.perf_counter() - start
                if reference is None:
                    reference = test.maxima
                elif not np.array_equal(reference, test.maxima):
                    raise SystemExit("surrogate_scaling_bench: the maxima differ between "
                                     "worker counts")
                rates[workers] = args.surrogates / seconds
                one = workers / rates[workers]
                per_surrogate[name] = (len(times), one)
                print("%-9s %7d  %11d  %7d  %12.3f  %8.2f  %19.2f"
                      % (name, len(times), len(grid), workers, rates[workers],
                         rates[workers] / rates[counts[0]], one / lomb))
    if "synthetic" in per_surrogate:
        events, one = per_surrogate["synthetic"]
        # The spreading is linear in the events; the grid is the same length
        # for the same span, so a surrogate of 10^7 events costs about ten times more.
        cost = one * PAPER_EVENTS / events
        data = PAPER_EVENTS * 16 / 2**20
        for workers in PAPER_WORKERS:
            hours = PAPER_SURROGATES * cost / workers / 3600
            print("on paper: %d surrogates of %d events over the same span: %.1f h on %d "
                  "workers (%.2f s per surrogate per worker; %.0f MiB of times and labels "
                  "sent once to each worker)"
                  % (PAPER_SURROGATES, PAPER_EVENTS, hours, workers, cost, data))


if __name__ == "__main__":
    main()
