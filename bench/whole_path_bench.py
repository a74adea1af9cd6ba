#!/usr/bin/python3
"""The whole path a user takes: the survey, then its table read back and
assessed by periodscan-plot with the event file, timed on this machine.

Usage: whole_path_bench.py BUILD_DIR [--case NAME ...] [--timeout S]

Cases (name: events, band; target for the whole path):
  scsn2021:  examples/scsn_2021_days.txt, 0.2-10 d; 10 s
  iscgem:    examples/iscgem_m6_days.txt, 0.4-30 d; 30 s
  synthetic: 10^6 events over 3652.5 d, Poisson with a weak daily cycle (made
             here, fixed seed, with its EVENTS.json: unit days), 0.4-30 d; 60 s

Each case runs `periodscan-survey EVENTS --min-period A --max-period B
--quiet` (every core) and then `periodscan-plot TABLE --events EVENTS
--no-figures`; a plot without --no-figures draws its figures into a
temporary folder, and the table says so. Reported per case: events,
periods, survey seconds, whole-path seconds, their ratio, the target and
whether it is met. A step still running after --timeout S seconds (default
900, for the whole case) is stopped and the case reported as "over S s".
"""

import argparse
import json
import os
import pathlib
import signal
import subprocess
import sys
import tempfile
import time

import numpy as np

HERE = pathlib.Path(__file__).resolve().parent
EXAMPLES = HERE.parent / "examples"
SYNTHETIC_SEED = 20261209


def make_synthetic(path):
    """10^6 times over 3652.5 days, rate proportional to 1 + 0.05 cos(2 pi t)."""
    rng = np.random.default_rng(SYNTHETIC_SEED)
    n, span, a = 10**6, 3652.5, 0.05
    candidates = rng.uniform(0.0, span, int(n * (1 + a) * 1.05))
    accept = rng.uniform(0.0, 1 + a, candidates.size) < 1 + a * np.cos(2 * np.pi * candidates)
    keep = candidates[accept]
    np.savetxt(path, np.sort(rng.choice(keep, n, replace=False)), fmt="%.9f")
    description = {"unit": "days", "origin": "2000-01-01T00:00:00Z", "columns": ["time"]}
    path.with_suffix(".json").write_text(json.dumps(description, indent=1) + "\n")


CASES = {
    "scsn2021": (EXAMPLES / "scsn_2021_days.txt", 0.2, 10, 10),
    "iscgem": (EXAMPLES / "iscgem_m6_days.txt", 0.4, 30, 30),
    "synthetic": (None, 0.4, 30, 60),
}


class Overtime(Exception):
    pass


def timed(args, cwd, deadline):
    """Seconds the command took; Overtime when it is still running at the
    deadline (it is stopped then), SystemExit when it fails."""
    start = time.perf_counter()
    proc = subprocess.Popen(args, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True, start_new_session=True)
    try:
        out, err = proc.communicate(timeout=max(0.0, deadline - time.monotonic()))
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        proc.communicate()
        raise Overtime() from None
    if proc.returncode != 0:
        raise SystemExit("whole_path_bench: %s failed (status %d): %s"
                         % (os.path.basename(args[0]), proc.returncode, err.strip()[-400:]))
    return time.perf_counter() - start


def record_value(table, key):
    with open(table) as f:
        for line in f:
            if not line.startswith("#"):
                break
            if line.startswith("# %s: " % key):
                return line.split(": ", 1)[1].strip()
    return "?"


def count_events(path):
    with open(path) as f:
        return sum(1 for line in f if line.strip() and not line.startswith("#"))


def run_case(build, name, workdir, timeout, no_figures):
    events, tmin, tmax, target = CASES[name]
    if events is None:
        events = pathlib.Path(workdir) / "synthetic.txt"
        print("  %s: writing 10^6 synthetic events" % name, flush=True)
        make_synthetic(events)
    folder = pathlib.Path(workdir) / name
    folder.mkdir()
    row = {"case": name, "events": count_events(events), "target": target}
    deadline = time.monotonic() + timeout
    try:
        print("  %s: survey %g-%g" % (name, tmin, tmax), flush=True)
        row["survey"] = timed([str(build / "periodscan-survey"), str(events), "--min-period",
                               str(tmin), "--max-period", str(tmax), "--output", "run",
                               "--quiet"], folder, deadline)
        table = folder / "run.spectrum.tsv"
        row["periods"] = record_value(table, "frequencies")
        print("  %s: survey %.2f s, %s periods; plot" % (name, row["survey"], row["periods"]),
              flush=True)
        plot = [str(build / "periodscan-plot"), str(table), "--events", str(events)]
        row["plot"] = timed(plot + (["--no-figures"] if no_figures else []), folder, deadline)
        print("  %s: plot %.2f s" % (name, row["plot"]), flush=True)
    except Overtime:
        row["over"] = timeout
        print("  %s: over %g s, stopped" % (name, timeout), flush=True)
    return row


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build", help="build folder with periodscan-survey and periodscan-plot")
    parser.add_argument("--case", action="append", choices=list(CASES),
                        help="run only this case (may be given again)")
    parser.add_argument("--timeout", type=float, default=900.0,
                        help="seconds a case may take before it is stopped (default 900)")
    args = parser.parse_args(argv)
    build = pathlib.Path(args.build).resolve()
    for program in ("periodscan-survey", "periodscan-plot"):
        if not (build / program).exists():
            raise SystemExit("whole_path_bench: %s is not built" % (build / program))
    helped = subprocess.run([str(build / "periodscan-plot"), "--help"], capture_output=True,
                            text=True)
    no_figures = "--no-figures" in helped.stdout
    rows = []
    with tempfile.TemporaryDirectory(prefix="whole_path_bench_") as workdir:
        for name in args.case or list(CASES):
            rows.append(run_case(build, name, workdir, args.timeout, no_figures))
    print("cores: %d; plot %s" % (len(os.sched_getaffinity(0)),
                                  "with --no-figures" if no_figures
                                  else "without --no-figures (figures drawn)"))
    print("%-10s %8s %8s %9s %13s %6s %7s %5s"
          % ("case", "events", "periods", "survey s", "whole path s", "ratio", "target", "met"))
    for row in rows:
        if "over" in row:
            survey = "%9.2f" % row["survey"] if "survey" in row else "%9s" % "-"
            print("%-10s %8d %8s %s %13s %6s %6gs %5s"
                  % (row["case"], row["events"], row.get("periods", "-"), survey,
                     "over %g s" % row["over"], "-", row["target"], "no"))
            continue
        whole = row["survey"] + row["plot"]
        print("%-10s %8d %8s %9.2f %13.2f %6.1f %6gs %5s"
              % (row["case"], row["events"], row["periods"], row["survey"], whole,
                 whole / row["survey"], row["target"], "yes" if whole <= row["target"] else "no"))


if __name__ == "__main__":
    main(sys.argv[1:])
