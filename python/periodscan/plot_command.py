"""periodscan-plot: figures and a short summary from the result files of periodscan.

    periodscan-plot [DIR | TABLE] [--events FILE] [--cluster-shifts]
                    [--surrogates N [--scheduler ADDRESS] [--checkpoint FILE] [--resume]]
                    [--no-figures] [--out-dir FOLDER] [--format png,svg,pdf]
                    [--no-period-marks] [--json FILE]

Reads the result files that periodscan leaves in DIR (default: the current
directory) and writes beside them (or in --out-dir FOLDER), each as PNG and
SVG (or the formats of --format):

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
NAME.window_counts. A table that -o wrote under another name (runs/daily.tsv)
is known by its first line and drawn as its name without the extension
(runs/daily).

It prints the largest peaks of the spectrum, flags them (edge of the grid,
side lobe, A = 1) and warns when the period grid is too coarse to resolve a
peak. With --events (the event-time file of the run) it also gives
false-alarm probabilities corrected for the scan over all periods, checks
the catalogue for clustering, gives the false-alarm probabilities of
DeltaLogLik/kappa (times only) and, where the event file has magnitudes and
locations, from cluster shifts; and likelihood intervals at the significant
peaks, or an upper limit on A where none is. The axes carry the time unit and
calendar dates of the event file's EVENTS.json where there is one.

--surrogates N runs the cluster-shift test with N surrogates (all of them,
whatever it costs) on Dask: an embedded cluster of one worker process per
core, or the scheduler at --scheduler ADDRESS (or $DASK_SCHEDULER_ADDRESS),
whose workers must import periodscan and its engine. Each surrogate draws
from its own stream, so the result is the same on any cluster. Its FAP, (the
surrogates reaching the largest DeltaLogLik + 1)/(N + 1), takes the place of
the 99-surrogate one. The surrogates done are kept after every batch in a
checkpoint: --checkpoint FILE, else a file named after the inputs in the
results' folder, removed once the test is complete. After Ctrl-C (exit
status 130), or any failure, the same command with --resume continues from
it; a checkpoint of other inputs is refused.

--no-figures prints the summary alone (matplotlib is not even loaded).
--out-dir FOLDER writes the figures there, under the same names; FOLDER is
made if missing, but not the folders above it.
--format takes a comma list from png, svg and pdf; default png,svg.
--no-period-marks leaves out the tidal and calendar periods (M2, S2, N2, K1,
O1, Mf, Mm, Ssa, Sa, day, week) that the spectra mark where the time unit is
known.
--json FILE writes the report as JSON (docs/report-json.md) to FILE, after
the figures.

If standard output is closed before the summary is written (as with
"| head -1"), the program ends quietly with status 141.

Exit status: 0 when the figures and the report were written; 1 when a
result file or the event file is missing or malformed, or a figure or the
report cannot be written; 2 for a wrong command line, or when a figure or
the report would replace an input of the run.
"""

import argparse
import os
import sys

from .command_line import CLOSED_PIPE_STATUS, add_version_option, discard_output, write_output
from .dask_client import DaskUnavailable
from .eventfile import description_path
from .figures import FIGURE_FORMATS, KNOWN_FORMATS, draw_run, figure_paths
from .intervalfile import table_intervals_path
from .jsonreport import report_document, write_report
from .report import assess_run
from .results import RESULT_FILES, ResultFileError, read_run
from .summary import run_summary, run_warnings
from .surrogates import CheckpointError, SurrogateRequest

PROGRAM = "periodscan-plot"
INTERRUPTED_STATUS = 130


def parse_arguments(argv):
    parser = argparse.ArgumentParser(
        prog=PROGRAM,
        description="Draw the result files of periodscan found in DIR and print the largest "
                    "peaks of the spectrum.")
    parser.add_argument("directory", nargs="?", default=".", metavar="DIR",
                        help="folder holding the result files (default: the current one), "
                             "or one table of periodscan-survey (NAME.spectrum.tsv, "
                             "NAME.windows.tsv, or as -o named it)")
    parser.add_argument("--events", metavar="FILE",
                        help="the event-time file of the run: gives the observation span, "
                             "the false-alarm probabilities over all periods, the clustering "
                             "check and the likelihood intervals")
    parser.add_argument("--cluster-shifts", action="store_true",
                        help="run the cluster-shift test however long it takes (by default "
                             "it runs only where it is quick); needs an event file with "
                             "magnitudes and locations and its EVENTS.json")
    parser.add_argument("--surrogates", metavar="N",
                        help="run the cluster-shift test with N surrogates on Dask (see "
                             "--scheduler), however long it takes")
    parser.add_argument("--scheduler", metavar="ADDRESS",
                        help="with --surrogates: the Dask scheduler to run them on (default: "
                             "$DASK_SCHEDULER_ADDRESS, else a local cluster started here)")
    parser.add_argument("--checkpoint", metavar="FILE",
                        help="with --surrogates: keep the surrogates done in FILE (default: a "
                             "file in the results' folder, removed when the test is complete)")
    parser.add_argument("--resume", action="store_true",
                        help="with --surrogates: continue from the checkpoint of an "
                             "interrupted run of the same inputs")
    parser.add_argument("--no-figures", action="store_true",
                        help="print the summary only; draw no figure")
    parser.add_argument("--out-dir", metavar="FOLDER",
                        help="write the figures in FOLDER (made if missing, but not its "
                             "parents) instead of beside the results")
    parser.add_argument("--format", metavar="LIST", default=",".join(FIGURE_FORMATS),
                        help="the figure formats, a comma list from %s (default: %%(default)s)"
                             % ", ".join(KNOWN_FORMATS))
    parser.add_argument("--no-period-marks", action="store_true",
                        help="do not mark the tidal and calendar periods (M2, S2, N2, K1, O1, "
                             "Mf, Mm, Ssa, Sa, day, week) on the spectra; they are marked "
                             "only where the event file's EVENTS.json gives the time unit")
    parser.add_argument("--json", metavar="FILE",
                        help="write the report (peaks, false-alarm probabilities, verdicts, "
                             "intervals, the grid check) as JSON to FILE")
    add_version_option(parser, PROGRAM)
    args = parser.parse_args(argv)
    if args.json is not None:
        why = json_path_problem(args.json)
        if why:
            parser.error("--json %s: %s" % (args.json, why))
    why = surrogate_problem(args)
    if why:
        parser.error(why)
    args.formats, why = figure_formats(args.format)
    if why:
        parser.error("--format %s: %s" % (args.format, why))
    if args.out_dir is not None:
        why = out_dir_problem(args.out_dir)
        if why:
            parser.error("--out-dir %s: %s" % (args.out_dir, why))
    return args


MAX_SURROGATES = 1000000


def surrogate_problem(args):
    """Why the options of the surrogates are refused, or None; sets
    args.surrogates to a whole number."""
    if args.surrogates is None:
        given = [name for name, value in (("--scheduler", args.scheduler),
                                          ("--checkpoint", args.checkpoint),
                                          ("--resume", args.resume)) if value]
        return "%s needs --surrogates N" % given[0] if given else None
    text = args.surrogates
    if not (text.strip().isascii() and text.strip().isdigit()) \
            or not 1 <= int(text) <= MAX_SURROGATES:
        return "--surrogates %s: not a whole number from 1 to %d" % (text, MAX_SURROGATES)
    args.surrogates = int(text)
    if args.events is None:
        return "--surrogates needs --events FILE (with magnitudes and locations)"
    if args.scheduler is not None and not args.scheduler.strip():
        return "--scheduler: no address given"
    if args.checkpoint is not None:
        why = json_path_problem(args.checkpoint)
        if why:
            return "--checkpoint %s: %s" % (args.checkpoint, why)
    return None


def figure_formats(text):
    """The formats of a --format list, in its order and each once, and why
    the list is refused (or None)."""
    formats = [name.strip().lower() for name in text.split(",")]
    if not any(formats):
        return (), "names no format; give one or more of %s" % ",".join(KNOWN_FORMATS)
    unknown = [name for name in formats if name not in KNOWN_FORMATS]
    if unknown:
        return (), "'%s' is not one of %s" % (unknown[0], ",".join(KNOWN_FORMATS))
    return tuple(dict.fromkeys(formats)), None


def out_dir_problem(path):
    """Why the figures cannot go to the folder `path`, or None. A missing
    folder is made later, where its parent is there."""
    if path == "":
        return "not a folder name"
    if os.path.lexists(path):
        # lexists: a dangling link or a loop of links is no folder either.
        return None if os.path.isdir(path) else "is not a folder"
    parent = os.path.dirname(os.path.normpath(path)) or "."
    if not os.path.isdir(parent):
        return "no folder %s to make it in" % parent
    return None


def json_path_problem(path):
    """Why the report cannot go to `path` (checked before anything is read
    or drawn), or None."""
    if path == "-":
        return "standard output carries the summary; name a file"
    if path == "" or path.endswith(os.sep):
        return "not a file name"
    if os.path.isdir(path):
        return "is a folder"
    if os.path.exists(path) and not os.path.isfile(path):
        # The report is renamed into place: over a device or a FIFO it
        # would replace the node itself.
        return "is not a regular file (a device or a named pipe)"
    folder = os.path.dirname(path) or "."
    if not os.path.isdir(folder):
        return "no folder %s to write it in" % folder
    return None


def input_paths(run):
    """The files that `run` was read from."""
    paths = [os.path.join(run.directory, name) for name in RESULT_FILES]
    paths += [table.path for table in run.tables]
    if run.events_path:
        paths.append(run.events_path)
        paths.append(description_path(run.events_path))
    for table in run.tables:
        record = getattr(table.data, "record", None)
        if record is not None and record.over_intervals and record.intervals_file:
            paths.append(table_intervals_path(record.intervals_file, table.path))
    return [path for path in paths if path and os.path.exists(path)]


def overwritten_input(run, outputs):
    """(output, input) when one of `outputs` would replace a file the run was
    read from, else None."""
    inputs = [(path, os.stat(path)) for path in input_paths(run)]
    for figure in outputs:
        try:
            info = os.stat(figure)
        except OSError:
            continue
        for path, other in inputs:
            if (info.st_dev, info.st_ino) == (other.st_dev, other.st_ino):
                return figure, path
    return None


def checkpoint_folder(out_dir, results):
    """Where the default checkpoint goes: the --out-dir folder where it is
    there, else the results' folder; None where neither can be written."""
    for folder in (out_dir, results):
        if folder and os.path.isdir(folder) and os.access(folder, os.W_OK | os.X_OK):
            return folder
    return None


def make_folder(path):
    """Makes the --out-dir folder if missing (not its parents)."""
    try:
        os.mkdir(path)
    except FileExistsError:
        if not os.path.isdir(path):
            raise ResultFileError("--out-dir %s: is not a folder" % path) from None
    except OSError as e:
        raise ResultFileError("--out-dir %s: cannot be made (%s)"
                              % (path, e.strerror or e)) from None


def main(argv=None):
    """Runs the command; returns its exit status (argparse exits with 2 on a
    wrong command line)."""
    args = parse_arguments(argv)
    shifts = args.cluster_shifts
    if args.surrogates is not None:
        shifts = SurrogateRequest(args.surrogates, args.scheduler, args.checkpoint,
                                  resume=args.resume)
    try:
        return _run(args, shifts)
    except KeyboardInterrupt as stop:
        # Ctrl-C, or SIGTERM while the surrogates run on Dask.
        word = getattr(stop, "word", "interrupted")
        kept = getattr(shifts, "kept", None)
        if kept:
            print("%s: %s: %d of %d surrogates are kept in %s; the same command "
                  "with --resume continues" % (PROGRAM, word, kept[1], args.surrogates,
                                               kept[0]), file=sys.stderr)
        else:
            print("%s: %s" % (PROGRAM, word), file=sys.stderr)
        return getattr(stop, "status", INTERRUPTED_STATUS)


def _run(args, shifts):
    written = None
    try:
        run = read_run(args.directory, args.events)
        figures = [] if args.no_figures else figure_paths(run, args.out_dir, args.formats)
        outputs = figures + [path for path in (args.json, args.checkpoint) if path]
        clash = overwritten_input(run, outputs)
        if clash:
            output, path = clash
            same = "" if output == path else " (%s)" % path
            what = {args.json: "the report", args.checkpoint: "the checkpoint"}.get(
                output, "a figure")
            print("%s: error: %s is an input of this run%s; %s would replace it: "
                  "rename it, or write elsewhere" % (PROGRAM, output, same, what),
                  file=sys.stderr)
            return 2
        if args.json and os.path.abspath(args.json) in map(os.path.abspath, figures):
            print("%s: error: --json %s: a figure is written there" % (PROGRAM, args.json),
                  file=sys.stderr)
            return 2
        # The report or a figure would replace a checkpoint that is to be kept.
        taken = {os.path.abspath(path): "a figure" for path in figures}
        if args.json:
            taken[os.path.abspath(args.json)] = "the report"
        if args.checkpoint and os.path.abspath(args.checkpoint) in taken:
            print("%s: error: --checkpoint %s: %s is written there"
                  % (PROGRAM, args.checkpoint, taken[os.path.abspath(args.checkpoint)]),
                  file=sys.stderr)
            return 2
        for warning in run.warnings:
            print("%s: warning: %s" % (PROGRAM, warning), file=sys.stderr)
        if isinstance(shifts, SurrogateRequest) and args.checkpoint is None:
            shifts.folder = checkpoint_folder(args.out_dir, run.directory)
        report = assess_run(run, shifts)
        lines = run_summary(run, report)
        for warning in run_warnings(run, report):
            print("%s: warning: %s" % (PROGRAM, warning), file=sys.stderr)
        if not args.no_figures:
            if args.out_dir is not None:
                make_folder(args.out_dir)
            written = draw_run(run, report, args.out_dir, args.formats,
                               not args.no_period_marks)
        if args.json:
            write_report(args.json, report_document(run, report, written))
    except (ResultFileError, CheckpointError, DaskUnavailable) as e:
        print("%s: error: %s" % (PROGRAM, e), file=sys.stderr)
        if written:
            print("%s: the figures are written" % PROGRAM, file=sys.stderr)
        return 1
    if written is not None:
        where = "" if args.out_dir is None else " in " + args.out_dir
        lines.append("figures%s: " % where + " ".join(os.path.basename(p) for p in written))
    if args.json:
        lines.append("report: " + args.json)
    done = {(False, False): "no file is written", (True, False): "the figures are written",
            (False, True): "the report is written", (True, True): "the figures and the report "
            "are written"}[(written is not None, bool(args.json))]
    try:
        return 0 if write_output(PROGRAM, lines, done) else 1
    except BrokenPipeError:
        # The reader of the summary has gone (as with "| head -1"); the
        # figures are written.
        discard_output()
        return CLOSED_PIPE_STATUS
