#!/usr/bin/python3
"""The survey's cost on one thread beside astropy's fast Lomb-Scargle, as ratios
measured in one run.

Usage: survey_cost_bench.py [--build DIR] [--baseline PYTHONPATH] [--repeat R]
                            [--events N]

Workload: N events (default 10^6) over 3652.5 days, Poisson with a weak daily
cycle (the generator of bench/whole_path_bench.py, same seed), periods
0.4-30 days on the resolving grid with 5 samples per peak (about 44,600
frequencies).

What is compared, on the same frequencies:
  survey    periodscan._engine.survey(times, 0.4, 30, threads=1) from DIR/python
            (default build/): the converged maximum-likelihood fit of
            Mju*(1 + A*cos(2*pi*f*t + Fi)) and the Rayleigh Z at every frequency.
  baseline  the same call from another build of the engine (--baseline, a
            PYTHONPATH holding periodscan/_engine*.so), e.g. the previous
            commit's, for the before/after ratio.
  astropy   astropy.timeseries.LombScargle(times, ones, fit_mean=False,
            center_data=False, normalization="psd").power(frequencies,
            method="fast"): astropy's first-harmonic periodogram of the event
            times with unit weights (a Schuster periodogram of the point process,
            with the floating-phase correction), by Press & Rybicki's
            extirpolation at astropy's default accuracy. It is single-threaded
            (numpy's FFT).
Each side runs in its own process (the engine's import and the events' loading
are not timed; the time is the process's processor time, which a machine
shared with other work inflates less than the elapsed time) R times (default
5), the sides alternating, and the medians are compared. The printed results
are ratios: survey/astropy (the cost of one surrogate survey against one
astropy periodogram) and, with --baseline, survey/baseline.
"""

import argparse
import os
import pathlib
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent
sys.path.insert(0, str(HERE))
from whole_path_bench import make_synthetic  # noqa: E402

MIN_PERIOD, MAX_PERIOD = 0.4, 30.0


def run_side(side, events, pythonpath, frequencies):
    """One timed run of a side in a fresh process: (seconds, result file)."""
    env = dict(os.environ)
    if pythonpath:
        env["PYTHONPATH"] = str(pythonpath)
    out = pathlib.Path(events).with_name("%s.npy" % side)
    args = [sys.executable, str(pathlib.Path(__file__).resolve()), "--worker", side,
            "--events-file", str(events), "--frequencies-file", str(frequencies),
            "--out", str(out)]
    proc = subprocess.run(args, env=env, capture_output=True, text=True)
    if proc.returncode != 0:
        raise SystemExit("survey_cost_bench: the %s run failed: %s"
                         % (side, proc.stderr.strip()[-600:]))
    return float(proc.stdout.split()[-1]), out


def worker(side, events_file, frequencies_file, out):
    times = np.load(events_file)
    if side == "astropy":
        from astropy.timeseries import LombScargle
        frequencies = np.load(frequencies_file)
        model = LombScargle(times, np.ones_like(times), fit_mean=False, center_data=False,
                            normalization="psd")
        start = time.process_time()
        power = model.power(frequencies, method="fast")
        seconds = time.process_time() - start
        np.save(out, power)
    else:
        from periodscan import _engine
        start = time.process_time()
        result = _engine.survey(times, MIN_PERIOD, MAX_PERIOD, threads=1)
        seconds = time.process_time() - start
        np.save(out, np.vstack([result["frequency"], result["delta_log_lik"],
                                result["amplitude"], result["rayleigh_z"]]))
    print("seconds %.6f" % seconds)


def compare(new, old):
    """The largest differences between two survey results, in DeltaLogLik and A."""
    a, b = np.load(new), np.load(old)
    if a.shape != b.shape or not np.array_equal(a[0], b[0]):
        return "different grids"
    return "max |dDeltaLogLik| %.3g, max |dA| %.3g, max |dZ|/Z %.3g" % (
        np.max(np.abs(a[1] - b[1])), np.max(np.abs(a[2] - b[2])),
        np.max(np.abs(a[3] - b[3]) / np.maximum(b[3], 1e-300)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=str(ROOT / "build"))
    parser.add_argument("--baseline", help="PYTHONPATH of the engine to compare against")
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--events", type=int, default=10**6)
    parser.add_argument("--worker", help=argparse.SUPPRESS)
    parser.add_argument("--events-file", help=argparse.SUPPRESS)
    parser.add_argument("--frequencies-file", help=argparse.SUPPRESS)
    parser.add_argument("--out", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.worker:
        worker(args.worker, args.events_file, args.frequencies_file, args.out)
        return

    with tempfile.TemporaryDirectory(prefix="survey_cost_") as work:
        work = pathlib.Path(work)
        text = work / "events.txt"
        make_synthetic(text)
        times = np.loadtxt(text)[:args.events]
        events = work / "events.npy"
        np.save(events, times)
        build_path = pathlib.Path(args.build) / "python"
        # The survey's own frequencies, for astropy.
        frequencies = work / "frequencies.npy"
        _, first = run_side("survey", events, build_path, frequencies)
        np.save(frequencies, np.load(first)[0])
        print("%d events, %d frequencies, %g-%g d, one thread, %d runs per side"
              % (times.size, np.load(frequencies).size, MIN_PERIOD, MAX_PERIOD, args.repeat))
        sides = [("survey", build_path), ("astropy", None)]
        if args.baseline:
            sides.insert(1, ("baseline", pathlib.Path(args.baseline)))
        seconds = {side: [] for side, _ in sides}
        outputs = {}
        for r in range(args.repeat):
            turn = sides[r % len(sides):] + sides[:r % len(sides)]
            for side, path in turn:
                s, outputs[side] = run_side(side, events, path, frequencies)
                seconds[side].append(s)
        median = {side: statistics.median(v) for side, v in seconds.items()}
        for side, v in seconds.items():
            print("  %-8s median %.3f s (runs %s)"
                  % (side, median[side], " ".join("%.3f" % s for s in v)))
        print("survey/astropy   %.2f" % (median["survey"] / median["astropy"]))
        if args.baseline:
            print("survey/baseline  %.2f" % (median["survey"] / median["baseline"]))
            print("survey against baseline: %s"
                  % compare(outputs["survey"], outputs["baseline"]))


if __name__ == "__main__":
    main()
