#!/usr/bin/python3
"""Whole runs of the program against the plain transcription of its regimes
(literal_periodscan), side by side on the same input in one session, and the
speed-up of the program on all cores and on one core.

Usage: whole_run_bench.py BUILD_DIR [--repeat R] [--case NAME ...]

Each repetition runs the transcription, the program on every core and the
program pinned to one core, one after the other, and checks that all three
wrote the same bytes. Reported: the median of the per-repetition ratios
(transcription time / program time) and the peak resident memory of each.
"""

import argparse
import os
import random
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
from oracle import f32  # noqa: E402


def uniform_catalogue(n, span, seed):
    rng = random.Random(seed)
    return sorted(f32(rng.uniform(0, span)) for _ in range(n))


def read_catalogue(path):
    times = []
    with open(path) as f:
        for line in f:
            fields = line.split()
            if fields:
                times.append(f32(float(fields[0])))
    return times


def cases():
    t20k = uniform_catalogue(20000, 365.0, 1)
    d = f32(t20k[-1] - t20k[0])
    length = f32(d / 10)
    shift = f32((d - length) / 19.5)  # 20 windows
    quarry = os.path.join(HERE, "..", "examples", "scsn_2021_quarry_blasts_days.txt")
    return {
        "regime0_N20000_NP100": (t20k, ["", "ev.txt", "0.5 100", "100", "0"]),
        "regime1_N20000_W20_NP50": (t20k, ["", "ev.txt", "0.5 100", "50", "1",
                                           repr(length), repr(shift), "0"]),
        "quarry_blasts_NP8000": (read_catalogue(quarry), ["", "ev.txt", "0.25 4", "8000", "0"]),
    }


def run(program, times, script, one_core):
    folder = tempfile.mkdtemp(prefix="periodscan-bench-")
    with open(os.path.join(folder, "ev.txt"), "w") as f:
        f.writelines("%r\n" % x for x in times)
    preexec = None
    if one_core:
        preexec = (lambda: os.sched_setaffinity(0, {min(os.sched_getaffinity(0))}))
    start = time.perf_counter()
    proc = subprocess.Popen([program], stdin=subprocess.PIPE, stdout=subprocess.PIPE, cwd=folder,
                            preexec_fn=preexec)
    proc.stdin.write(("\n".join(script) + "\n").encode())
    proc.stdin.close()
    out = proc.stdout.read()
    _, status, usage = os.wait4(proc.pid, 0)
    seconds = time.perf_counter() - start
    proc.returncode = status
    files = {}
    for name in sorted(os.listdir(folder)):
        with open(os.path.join(folder, name), "rb") as f:
            files[name] = f.read()
        os.remove(os.path.join(folder, name))
    os.rmdir(folder)
    if status != 0:
        sys.exit("%s ended with status %d" % (program, status))
    return seconds, usage.ru_maxrss / 1024.0, (out, files)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--case", action="append")
    args = parser.parse_args()
    program = os.path.abspath(os.path.join(args.build, "periodscan"))
    literal = os.path.abspath(os.path.join(args.build, "tests", "literal_periodscan"))
    all_cases = cases()
    for name in args.case or list(all_cases):
        times, script = all_cases[name]
        both, one, mem = [], [], {"literal": 0.0, "all cores": 0.0, "one core": 0.0}
        for _ in range(args.repeat):
            t_lit, m_lit, out_lit = run(literal, times, script, False)
            t_all, m_all, out_all = run(program, times, script, False)
            t_one, m_one, out_one = run(program, times, script, True)
            if not (out_lit == out_all == out_one):
                sys.exit("%s: outputs differ" % name)
            both.append(t_lit / t_all)
            one.append(t_lit / t_one)
            for key, m in (("literal", m_lit), ("all cores", m_all), ("one core", m_one)):
                mem[key] = max(mem[key], m)
            print("  %s: transcription %.1f s, all cores %.1f s, one core %.1f s" %
                  (name, t_lit, t_all, t_one), flush=True)
        print("%s: speed-up median %.2f on all cores (%d), %.2f on one core; peak memory "
              "MiB: transcription %.0f, all cores %.0f, one core %.0f; outputs identical" %
              (name, statistics.median(both), len(os.sched_getaffinity(0)),
               statistics.median(one), mem["literal"], mem["all cores"], mem["one core"]),
              flush=True)


main()
