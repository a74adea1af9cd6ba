#!/usr/bin/python3
"""The survey beside its peers on three workloads, as ratios measured in one run.

    survey_bench.py [--build DIR] [--repeat R] [--full-peer] [--contract]

W1: 2021 quarry blasts, 0.25-4 days, 5 samples per peak (about 6,750 periods)
W2: ISC-GEM M6, 0.4-30 days, 5 samples per peak (about 324,000 periods)
W3: 10^6 synthetic events over ten years with a weak daily cycle (made here
    with a fixed seed), 0.4-30 days, 5 samples per peak (about 45,000 periods)

For each workload: the survey (bench/survey_driver, every core), the numpy
Schuster scan of the same periods (bench/schuster_peer.py) and their ratio.
The peer's cost is the same for every period, so on W2 and W3 it is timed on
every 10th and every 100th period and scaled to the whole grid unless
--full-peer is given (a full W3 peer takes about a quarter of an hour).
On W1 the interactive program runs on 40 periods of the same range for the
per-period ratio. The survey's peak memory is reported from its rusage.
Each side is timed R times (default 3) and its fastest run is kept, since
the machine is shared.

--contract also runs the interactive program on its own grid of the quarry
blasts and the ISC-GEM catalogue and reports by how much the survey from double
times falls below the program anywhere, beside the effect of rounding the
times to 4-byte reals (the survey from rounded times against the survey from
double times).
"""

import argparse
import os
import pathlib
import subprocess
import sys
import tempfile
import time

import numpy as np

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent
sys.path.insert(0, str(HERE))
import schuster_peer  # noqa: E402

EXAMPLES = ROOT / "examples"
W3_SEED = 20261208


def make_w3(path):
    """10^6 events over 3652.5 days, rate proportional to 1 + 0.05 cos(2 pi t)."""
    rng = np.random.default_rng(W3_SEED)
    n, span, a = 10**6, 3652.5, 0.05
    candidates = rng.uniform(0.0, span, int(n * (1 + a) * 1.05))
    accept = rng.uniform(0.0, 1.0, candidates.size) * (1 + a)
    keep = candidates[accept < 1 + a * np.cos(2 * np.pi * candidates)]
    t = np.sort(rng.choice(keep, n, replace=False))
    np.savetxt(path, t, fmt="%.9f")


def survey(driver, events, tmin, tmax, *extra):
    """Survey seconds (as the driver times survey_spectrum), frequencies, peak RSS in MiB."""
    proc = subprocess.Popen([str(driver), str(events), str(tmin), str(tmax), *map(str, extra)],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    _, status, usage = os.wait4(proc.pid, 0)
    out, err = proc.stdout.read(), proc.stderr.read()
    if status != 0:
        raise SystemExit(f"survey_driver failed: {err.strip()}")
    fields = dict(item.split("=") for item in out.split())
    return float(fields["seconds"]), int(fields["frequencies"]), usage.ru_maxrss / 1024.0


def peer(events, tmin, tmax, stride):
    t = schuster_peer.read_times(events)
    f = schuster_peer.resolving_frequencies(tmin, tmax, t[-1] - t[0], 5.0)
    sample = f[::stride]
    start = time.perf_counter()
    schuster_peer.schuster(t, sample)
    seconds = time.perf_counter() - start
    return seconds * len(f) / len(sample), len(f)


def interactive_run(program, events, tmin, tmax, np_periods, workdir):
    """Runs the interactive program's static regime; returns (seconds, rows of ZUM_out.dat)."""
    answers = f"\n{events}\n{tmin} {tmax}\n{np_periods}\n0\n"
    start = time.perf_counter()
    subprocess.run([str(program)], cwd=workdir, input=answers, text=True, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    seconds = time.perf_counter() - start
    rows = np.loadtxt(pathlib.Path(workdir) / "ZUM_out.dat")
    return seconds, rows


def contract(build, workdir):
    driver = build / "bench" / "survey_driver"
    program = build / "periodscan"
    print("\nContract on the interactive program's grid (survey from double times):")
    print("  gap: min over the grid of survey minus program, both at the program's own")
    print("  4-byte frequencies Omega.")
    print(f"{'catalogue':<36}{'periods':>8}{'gap':>12}"
          f"{'float-time effect':>19}{'worst margin':>14}")
    for name, tmin, tmax, np_periods in [("scsn_2021_quarry_blasts_days.txt", 0.25, 4, 400),
                                         ("scsn_2021_quarry_blasts_days.txt", 0.98, 1.02, 201),
                                         ("iscgem_m6_days.txt", 0.4, 30, 100)]:
        events = EXAMPLES / name
        _, rows = interactive_run(program, events, tmin, tmax, np_periods, workdir)
        double_out = pathlib.Path(workdir) / "survey_double.txt"
        float_out = pathlib.Path(workdir) / "survey_float.txt"
        survey(driver, events, tmin, tmax, "--interactive", np_periods, "--out", double_out)
        survey(driver, events, tmin, tmax, "--interactive", np_periods, "--float-times",
               "--out", float_out)
        sd, sf = np.loadtxt(double_out), np.loadtxt(float_out)
        assert np.allclose(sd[:, 0], rows[:, 0], rtol=1e-5), "period grids differ"
        gap = (sd[:, 1] - rows[:, 1]).min()
        effect = np.abs(sd[:, 1] - sf[:, 1])
        # The program prints 6 significant digits: half a unit of the last one.
        printed = 0.5 * 10.0 ** (np.floor(np.log10(np.maximum(np.abs(rows[:, 1]), 1e-30))) - 5)
        margin = (sd[:, 1] - rows[:, 1] + effect + printed).min()
        print(f"{name + f' {tmin}-{tmax}':<36}{np_periods:>8}{gap:>12.6f}"
              f"{effect.max():>19.6f}{margin:>14.6f}")
    print("  worst margin: min over the grid of (survey - program + float-time effect")
    print("  + half the program's last printed digit); >= 0 where the contract holds.")


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=str(ROOT / "build"),
                        help="build folder (default build/)")
    parser.add_argument("--repeat", type=int, default=3,
                        help="runs per measurement (fastest kept)")
    parser.add_argument("--full-peer", action="store_true", help="time the peer on every period")
    parser.add_argument("--contract", action="store_true", help="also check the interactive grid")
    args = parser.parse_args(argv)
    build = pathlib.Path(args.build).resolve()
    driver = build / "bench" / "survey_driver"
    program = build / "periodscan"
    for needed in (driver, program):
        if not needed.exists():
            raise SystemExit(f"survey_bench: {needed} not built")

    with tempfile.TemporaryDirectory(prefix="survey_bench_") as workdir:
        w3 = pathlib.Path(workdir) / "synthetic_1e6.txt"
        make_w3(w3)
        workloads = [("W1 quarry blasts", EXAMPLES / "scsn_2021_quarry_blasts_days.txt",
                      0.25, 4, 1),
                     ("W2 ISC-GEM M6", EXAMPLES / "iscgem_m6_days.txt", 0.4, 30, 10),
                     ("W3 synthetic 1e6", w3, 0.4, 30, 100)]
        print(f"cores: {os.cpu_count()}; survey on every core; peer timed on every Sth period, "
              "scaled")
        print(f"{'workload':<20}{'periods':>9}{'survey s':>10}{'MiB':>7}{'peer s':>10}{'S':>5}"
              f"{'peer/survey':>13}")
        w1_survey_per_period = None
        for label, events, tmin, tmax, stride in workloads:
            runs = [survey(driver, events, tmin, tmax) for _ in range(max(1, args.repeat))]
            seconds, count, mib = min(runs)
            peers = [peer(events, tmin, tmax, 1 if args.full_peer else stride)
                     for _ in range(max(1, args.repeat))]
            peer_seconds, peer_count = min(peers)
            assert peer_count == count, (peer_count, count)
            print(f"{label:<20}{count:>9}{seconds:>10.3f}{mib:>7.0f}{peer_seconds:>10.2f}"
                  f"{(1 if args.full_peer else stride):>5}{peer_seconds / seconds:>13.1f}")
            if w1_survey_per_period is None:
                w1_survey_per_period = seconds / count
        program_seconds = min(
            interactive_run(program, EXAMPLES / "scsn_2021_quarry_blasts_days.txt", 0.25, 4, 40,
                            workdir)[0]
            for _ in range(max(1, args.repeat)))
        per_period = program_seconds / 40
        print(f"\nW1 per period: interactive program {per_period * 1e3:.2f} ms "
              f"(40 periods, one core), survey {w1_survey_per_period * 1e6:.2f} us: "
              f"ratio {per_period / w1_survey_per_period:.0f}")
        if args.contract:
            contract(build, workdir)


if __name__ == "__main__":
    main(sys.argv[1:])
