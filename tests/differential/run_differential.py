#!/usr/bin/python3
"""The program against the plain transcription of both regimes, byte for byte.

Usage: run_differential.py PERIODSCAN LITERAL_PERIODSCAN [CASES] [SEED]

Each case is a random catalogue with random answers: both regimes, N from 2
to 5,000 events, periods from far below the mean gap to beyond the span,
repeated times and gaps, windows that are empty, hold one event or many. Both
programs run in their own fresh folder with the same standard input; their
console output, exit status and every file they leave must be identical. One
case in four runs the program on a single core, so that both the serial and
the parallel paths are held to the transcription.
"""

import math
import os
import random
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from oracle import f32  # noqa: E402


def catalogue(rng):
    n = int(round(math.exp(rng.uniform(math.log(2), math.log(5000)))))
    span = 10 ** rng.uniform(-1, 4)
    start = rng.choice([0.0, rng.uniform(-100, 100), 1000.0])
    times = [start + rng.uniform(0, span) for _ in range(n)]
    shape = rng.random()
    if shape < 0.25 and n > 6:  # a gap in the middle
        cut = rng.uniform(0.3, 0.6) * span
        times = [x if x - start < cut else x + span for x in times]
    elif shape < 0.45 and n > 3:  # repeated times
        for _ in range(rng.randint(1, 3)):
            i = rng.randrange(n)
            times.extend([times[i]] * rng.randint(1, 4))
    elif shape < 0.55:  # a periodic rate
        period = span / rng.uniform(2, 40)
        times = [x for x in times if rng.random() < 0.5 * (1 + math.cos(2 * math.pi * x / period))]
        times += [start, start + span]
    # 4-byte values, spelled exactly, so both programs read the same times.
    times = sorted(f32(x) for x in times)
    if times[-1] == times[0]:
        times.append(f32(times[0] + 1.0))
    return times


def answers(rng, times):
    span = times[-1] - times[0]
    gap = span / max(len(times) - 1, 1)
    tmin = f32(gap * 10 ** rng.uniform(-2, 1) if rng.random() < 0.7
               else span * rng.uniform(0.5, 3))
    tmax = f32(tmin * 10 ** rng.uniform(0.05, 3))
    if not tmax > tmin:
        tmax = f32(tmin * 2)
    np_ = rng.randint(2, 5)
    lines = ["", "ev.txt", "%r %r" % (tmin, tmax), str(np_)]
    if rng.random() < 0.5:
        return lines + ["0"], 0
    d = f32(span)
    length = f32(d * rng.choice([1.0, rng.uniform(0.05, 1.0)]))
    shift = f32(length * rng.choice([1.0, rng.uniform(0.1, 1.0)]))
    if not (0 < shift <= length <= d):
        length, shift = d, d
    mark = f32(rng.choice([0.0, times[0], rng.uniform(-50, 50)]))
    return lines + ["1", "%r" % length, "%r" % shift, "%r" % mark], 1


def run(program, folder, times, script, one_core):
    with open(os.path.join(folder, "ev.txt"), "w") as f:
        f.writelines("%r\n" % x for x in times)
    preexec = None
    if one_core:
        preexec = (lambda: os.sched_setaffinity(0, {min(os.sched_getaffinity(0))}))
    proc = subprocess.run([program], input=("\n".join(script) + "\n").encode(), cwd=folder,
                          capture_output=True, timeout=600, preexec_fn=preexec)
    files = {}
    for name in sorted(os.listdir(folder)):
        with open(os.path.join(folder, name), "rb") as f:
            files[name] = f.read()
    return proc.returncode, proc.stdout, proc.stderr, files


def main():
    program, literal = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    cases = int(sys.argv[3]) if len(sys.argv) > 3 else 200
    seed = int(sys.argv[4]) if len(sys.argv) > 4 else 20261207
    rng = random.Random(seed)
    passed = failed = 0
    regimes = [0, 0]
    for case in range(cases):
        times = catalogue(rng)
        script, regime = answers(rng, times)
        regimes[regime] += 1
        one_core = case % 4 == 3
        with tempfile.TemporaryDirectory() as a, tempfile.TemporaryDirectory() as b:
            got = run(program, a, times, script, one_core)
            want = run(literal, b, times, script, False)
        if got == want and got[0] == 0:
            passed += 1
        else:
            failed += 1
            print("FAIL case %d (seed %d): N=%d answers=%r one_core=%s" %
                  (case, seed, len(times), script[2:], one_core))
            for label, x, y in zip(["status", "stdout", "stderr", "files"], got, want):
                if x != y:
                    print("  %s differs" % label)
    print("regime 0: %d cases, regime 1: %d cases" % tuple(regimes))
    print("%d passed, %d failed" % (passed, failed))
    sys.exit(1 if failed else 0)


main()
