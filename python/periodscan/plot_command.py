"""periodscan-plot: figures and a short summary from the result files of periodscan.

    periodscan-plot [DIR | TABLE] [--events FILE] [--cluster-shifts]

Reads the result files that periodscan leaves in DIR (default: the current
directory) and writes beside them, each as PNG and SVG:

  spectrum           from ZUM_out.dat: DeltaLogLik against the period (log axis)
                     with the significance levels, the peaks with their flags and
                     times of the rate maximum, the amplitude A below;
  time_frequency     from ZUM_out.grd: DeltaLogLik over time and period,
                     windows with fewer than two events in grey, a contour at
                     the 1 % false-alarm level over the periods of a window
                     (times kappa), the events per window in a panel below;
  time_frequency_normalized
                     the same from ZUM_out_Normalized.grd (DeltaLogLik per event);
  window_counts      from NumbOfEvents_in_Windows.dat: events per window.

The tables of periodscan-survey in DIR, or the one named as TABLE, are drawn
the same way: NAME.spectrum.tsv as NAME.spectrum, NAME.windows.tsv as
NAME.time_frequency (DeltaLogLik over window centre and period) and
NAME.window_counts.

It prints the largest peaks of the spectrum, flags them (edge of the grid,
side lobe, A = 1) and warns when the period grid is too coarse to resolve a
peak. With --events (the event-time file of the run) it also gives
false-alarm probabilities corrected for the scan over all periods, checks
the catalogue for clustering, gives the false-alarm probabilities of
DeltaLogLik/kappa (times only) and, where the event file has magnitudes and
locations, from cluster shifts; and likelihood intervals at the significant
peaks, or an upper limit on A where none is. The axes carry the time unit and
calendar dates of the event file's EVENTS.json where there is one.

If standard output is closed before the summary is written (as with
"| head -1"), the program ends quietly with status 141.

Exit status: 0 when the figures were written; 1 when a result file or the
event file is missing or malformed, or a figure cannot be written; 2 for a
wrong command line.
"""

import argparse
import os
import sys

from .figures import draw_run
from .results import ResultFileError, read_run
from .summary import assess_run, run_summary

PROGRAM = "periodscan-plot"
# The status of a program ended by the broken-pipe signal, as the shell
# reports it (128 + SIGPIPE).
CLOSED_PIPE_STATUS = 141


def parse_arguments(argv):
    parser = argparse.ArgumentParser(
        prog=PROGRAM,
        description="Draw the result files of periodscan found in DIR and print the largest "
                    "peaks of the spectrum.")
    parser.add_argument("directory", nargs="?", default=".", metavar="DIR",
                        help="folder holding the result files (default: the current one), "
                             "or one table of periodscan-survey (NAME.spectrum.tsv or "
                             "NAME.windows.tsv)")
    parser.add_argument("--events", metavar="FILE",
                        help="the event-time file of the run: gives the observation span, "
                             "the false-alarm probabilities over all periods, the clustering "
                             "check and the likelihood intervals")
    parser.add_argument("--cluster-shifts", action="store_true",
                        help="run the cluster-shift test however long it takes (by default "
                             "it runs only where it is quick); needs an event file with "
                             "magnitudes and locations and its EVENTS.json")
    return parser.parse_args(argv)


def main(argv=None):
    """Runs the command; returns its exit status (argparse exits with 2 on a
    wrong command line)."""
    args = parse_arguments(argv)
    try:
        run = read_run(args.directory, args.events)
        for warning in run.warnings:
            print("%s: warning: %s" % (PROGRAM, warning), file=sys.stderr)
        report = assess_run(run, args.cluster_shifts)
        written = draw_run(run, report)
    except ResultFileError as e:
        print("%s: error: %s" % (PROGRAM, e), file=sys.stderr)
        return 1
    lines = run_summary(run, report)
    lines.append("figures: " + " ".join(os.path.basename(p) for p in written))
    try:
        print("\n".join(lines))
        sys.stdout.flush()
    except BrokenPipeError:
        # The reader of the summary has gone (as with "| head -1"); the
        # figures are written. Standard output goes to /dev/null so that the
        # flush at exit does not fail again.
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        return CLOSED_PIPE_STATUS
    return 0
