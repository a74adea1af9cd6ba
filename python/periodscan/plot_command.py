"""periodscan-plot: figures and a short summary from the result files of periodscan.

    periodscan-plot [DIR | TABLE] [--events FILE]

Reads the result files that periodscan leaves in DIR (default: the current
directory) and writes beside them, each as PNG and SVG:

  spectrum           from ZUM_out.dat: DeltaLogLik against the period (log axis)
                     with the significance levels, the amplitude A below;
  time_frequency     from ZUM_out.grd: DeltaLogLik over time mark and log10 T,
                     windows with fewer than two events in grey, a contour at
                     the single-period level p = 0.01;
  time_frequency_normalized
                     the same from ZUM_out_Normalized.grd (DeltaLogLik per event);
  window_counts      from NumbOfEvents_in_Windows.dat: events per window.

The tables of periodscan-survey in DIR, or the one named as TABLE, are drawn
the same way: NAME.spectrum.tsv as NAME.spectrum, NAME.windows.tsv as
NAME.time_frequency (DeltaLogLik over window centre and period) and
NAME.window_counts.

It prints the largest peaks of the spectrum and warns when the period grid is
too coarse to resolve a peak. With --events (the event-time file of the run)
it also gives false-alarm probabilities corrected for the scan over all
periods, and uses the span of the events as the observation span.

Exit status: 0 when the figures were written; 1 when a result file or the
event file is missing or malformed, or a figure cannot be written; 2 for a
wrong command line.
"""

import argparse
import os
import sys

from .figures import draw_run
from .results import ResultFileError, read_run
from .summary import run_summary

PROGRAM = "periodscan-plot"


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
                        help="the event-time file of the run: gives the observation span and "
                             "the false-alarm probabilities over all periods")
    return parser.parse_args(argv)


def main(argv=None):
    """Runs the command; returns its exit status (argparse exits with 2 on a
    wrong command line)."""
    args = parse_arguments(argv)
    try:
        run = read_run(args.directory, args.events)
        for warning in run.warnings:
            print("%s: warning: %s" % (PROGRAM, warning), file=sys.stderr)
        written = draw_run(run)
    except ResultFileError as e:
        print("%s: error: %s" % (PROGRAM, e), file=sys.stderr)
        return 1
    lines = run_summary(run)
    lines.append("figures: " + " ".join(os.path.basename(p) for p in written))
    print("\n".join(lines))
    return 0
