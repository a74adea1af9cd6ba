#!/usr/bin/python3
"""The Schuster periodogram as a numpy user would write it: the peer of the
survey's benchmark.

    schuster_peer.py EVENTS TMIN TMAX [--samples-per-peak K] [--stride S]

Scans the frequencies 1/TMAX, 1/TMAX + step, ... up to 1/TMIN, step
1/(K*span), like the survey's resolving grid, and prints
"periods=M seconds=S" (with --stride S only every S-th frequency is done).
"""

import argparse
import sys
import time

import numpy as np


def read_times(path):
    """First column of an event file, up to the first line that is not a number."""
    times = []
    with open(path) as f:
        for line in f:
            fields = line.split()
            if not fields:
                continue
            try:
                times.append(float(fields[0]))
            except ValueError:
                break
    return np.asarray(times)


def resolving_frequencies(tmin, tmax, span, samples_per_peak):
    first = 1.0 / tmax
    step = 1.0 / (samples_per_peak * span)
    count = int(np.floor((1.0 / tmin - first) / step * (1.0 + 1e-12))) + 1
    return first + step * np.arange(count)


def schuster(times, frequencies, block_bytes=64 << 20):
    """|sum exp(2 pi i f t)|^2 / N for every frequency, in blocks of
    frequencies so that the phase matrix stays within block_bytes."""
    t = np.asarray(times, dtype=float)
    t = t - t[0]
    n = t.size
    block = max(1, block_bytes // (8 * n))
    power = np.empty(len(frequencies))
    for start in range(0, len(frequencies), block):
        omega = 2.0 * np.pi * np.asarray(frequencies[start:start + block])
        phase = np.outer(omega, t)
        c = np.cos(phase).sum(axis=1)
        s = np.sin(phase).sum(axis=1)
        power[start:start + block] = (c * c + s * s) / n
    return power


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("events")
    parser.add_argument("tmin", type=float)
    parser.add_argument("tmax", type=float)
    parser.add_argument("--samples-per-peak", type=float, default=5.0)
    parser.add_argument("--stride", type=int, default=1)
    args = parser.parse_args(argv)
    t = read_times(args.events)
    f = resolving_frequencies(args.tmin, args.tmax, t[-1] - t[0], args.samples_per_peak)
    f = f[::max(1, args.stride)]
    start = time.perf_counter()
    schuster(t, f)
    print(f"periods={len(f)} seconds={time.perf_counter() - start:.6f}")


if __name__ == "__main__":
    main(sys.argv[1:])
