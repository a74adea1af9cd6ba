"""periodscan-prepare: event files from earthquake catalogues, and checks of
event files.

    periodscan-prepare SOURCE... -o EVENTS.txt [options]
    periodscan-prepare check EVENTS.txt
    periodscan-prepare decluster EVENTS.txt -o BACKGROUND.txt

The first form reads catalogues (QuakeML 1.2, FDSN text, ComCat CSV, SCEDC
listings, or any CSV with --time-column; gzip-compressed files too; "-" is
standard input), keeps
the events that pass the filters, and writes EVENTS.txt: one event a line,
the time first, then magnitude, latitude, longitude and depth (km) where the
source gives them ("nan" where one event lacks them), sorted by time. Times
are computed exactly from the source text and printed with enough decimals
that rounding moves none by more than 0.05 % of the source's own time step.
Beside it go EVENTS.json (origin, unit, columns, sources with their SHA-256,
filters and counts) and, with --gap, --outage or --intervals, the observed
intervals (EVENTS.intervals). With -o - the event file goes to standard
output, the summary to standard error, and the description is written only
to the file named with --description.

The second form reads an event file as the interactive program and the
survey do and reports the traps it finds.

Exit status: 0 on success (check: no trap found); 1 when a source cannot be
read, no usable sample remains, --strict meets an unreadable row, or a file
cannot be written (check: a trap was found, or the file cannot be read); 2
for a wrong command line. Nothing is written when the run fails.
"""

import argparse
import os
import sys
from decimal import Decimal, InvalidOperation

from .. import eventfile
from ..command_line import (StandardOutputError, add_version_option, discard_output,
                            output_problem, write_output)
from . import check as checking
from . import sources as catalogue
from .preparation import Preparation, PreparationError, Request
from .records import Event, ReadOptions, SourceError
from .selection import Selection
from .timeaxis import (DAY_NUMBER_EPOCHS, OUTPUT_UNITS, UNIT_SECONDS, TimeError, parse_iso,
                       parse_length, parse_number)
from .writer import clashing_outputs, describe_write_error, write_together

PROGRAM = "periodscan-prepare"
# Files are written all together or not at all (command_line reads this).
STOPPED_NOTE = "nothing written"
STANDARD_OUTPUT = "-"
SOURCE_TIME_UNITS = ("seconds", "minutes", "hours", "days", "years", "jd", "mjd")


class UsageError(Exception):
    pass


class RunError(Exception):
    pass


def main(argv=None):
    """Runs the command with the arguments after the program name; returns
    the exit status. The first argument may name a subcommand."""
    argv = sys.argv[1:] if argv is None else list(argv)
    if argv and argv[0] in SUBCOMMANDS:
        return SUBCOMMANDS[argv[0]](argv[1:])
    return prepare_command(argv)


def _parse(parser, argv):
    """Parsed arguments, or the exit status argparse chose (2, or 0 for --help)."""
    try:
        return parser.parse_args(argv), None
    except SystemExit as stop:
        return None, stop.code if isinstance(stop.code, int) else 2


# ----------------------------------------------------------------- prepare

def prepare_parser():
    parser = argparse.ArgumentParser(
        prog=PROGRAM, usage="%(prog)s SOURCE... -o EVENTS.txt [options]\n"
        "       %(prog)s check EVENTS.txt\n"
        "       %(prog)s decluster EVENTS.txt -o BACKGROUND.txt",
        description="Writes an event file for periodscan from earthquake catalogues.",
        epilog="Subcommands: check EVENTS.txt (how the programs will read an event file); "
        "decluster EVENTS.txt -o BACKGROUND.txt (the background events, without aftershocks "
        "and foreshocks).")
    parser.add_argument("sources", nargs="+", metavar="SOURCE",
                        help="catalogue files, joined; - is standard input. Each is read once "
                        "as a stream (a FIFO will do; folders and devices are refused); lines "
                        "may be at most %d MiB long (QuakeML excepted); a gzip-compressed "
                        "source is decompressed to at most %d MiB, and to at most %d times its "
                        "size" % (catalogue.MAX_LINE >> 20, catalogue.MAX_DECOMPRESSED >> 20,
                                  catalogue.MAX_RATIO))
    parser.add_argument("-o", "--output", required=True, metavar="EVENTS.txt",
                        help="the event file; EVENTS.json is written beside it. - writes the "
                        "event file to standard output and no description unless "
                        "--description is given")
    parser.add_argument("--description", metavar="FILE",
                        help="where to write the description (default: EVENTS.json beside the "
                        "event file)")
    reading = parser.add_argument_group("reading the sources")
    reading.add_argument("--format", choices=catalogue.FORMATS,
                         help="the format of every source (default: told from the file)")
    reading.add_argument("--time-column", metavar="NAME", help="the time column of a CSV file")
    reading.add_argument("--time-unit", choices=SOURCE_TIME_UNITS,
                         help="the unit of times written as numbers (jd, mjd: Julian and "
                         "Modified Julian Day numbers); years are 365.25 days")
    reading.add_argument("--time-epoch", metavar="ISO",
                         help="the UTC date and time at which numeric times are zero")
    reading.add_argument("--decimal-comma", action="store_true",
                         help="numbers are written with a decimal comma (4,5)")
    reading.add_argument("--column", action="append", default=[], metavar="FIELD=NAME",
                         help="the CSV column of magnitude, latitude, longitude, depth, type "
                         "or id (an empty NAME ignores the field)")
    output = parser.add_argument_group("the event file")
    output.add_argument("--unit", choices=OUTPUT_UNITS, default="days",
                        help="unit of the times (default days; years are 365.25 days)")
    output.add_argument("--origin", metavar="ISO",
                        help="time zero, an ISO 8601 UTC time (default: the midnight UTC before "
                        "the first event, or before --start); for numeric times without a "
                        "calendar a number (default 0)")
    output.add_argument("--decimals", type=int, metavar="N",
                        help="decimals of the times (default: enough for the source's precision)")
    filters = parser.add_argument_group("filters")
    filters.add_argument("--min-magnitude", metavar="M", help="keep magnitude >= M")
    filters.add_argument("--start", metavar="TIME", help="keep events at or after TIME")
    filters.add_argument("--end", metavar="TIME", help="keep events before TIME")
    filters.add_argument("--types", metavar="LIST",
                         help="comma-separated event types to keep, in the source's own codes "
                         "(eq,qb in an SCEDC listing; earthquake,quarry blast in ComCat)")
    filters.add_argument("--region", nargs=4, metavar=("LATMIN", "LATMAX", "LONMIN", "LONMAX"),
                         help="keep events inside; LONMIN > LONMAX crosses the antimeridian")
    filters.add_argument("--max-depth", metavar="KM", help="keep depth <= KM")
    observed = parser.add_argument_group("observed intervals")
    observed.add_argument("--gap", metavar="LENGTH",
                          help="leave out gaps between events longer than LENGTH (in --unit, "
                          "or with s, min, h, d or yr: 2d)")
    observed.add_argument("--outage", nargs=2, action="append", default=[],
                          metavar=("START", "END"),
                          help="a time without recording: left out of the intervals, and its "
                          "events left out of the event file")
    observed.add_argument("--intervals", metavar="FILE",
                          help="where to write the intervals (default EVENTS.intervals when "
                          "--gap or --outage is given; needed with -o -). Events that would "
                          "lie in no interval (alone between two gaps, or a first or last "
                          "event before a gap) are left out of the event file")
    parser.add_argument("--strict", action="store_true",
                        help="fail when any row cannot be read")
    add_version_option(parser, PROGRAM)
    return parser


def prepare_command(argv):
    parser = prepare_parser()
    args, status = _parse(parser, argv)
    if args is None:
        return status
    try:
        return prepare(args)
    except BrokenPipeError:
        # What is left in the buffer would fail again when Python exits.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        _error("standard output was closed; nothing written")
        return 1
    except UsageError as error:
        parser.print_usage(sys.stderr)
        _error(str(error))
        return 2
    except (RunError, SourceError) as error:
        _error(str(error))
        return 1


def _error(text):
    print("%s: error: %s" % (PROGRAM, text), file=sys.stderr)


def _warn(text):
    print("%s: %s" % (PROGRAM, text), file=sys.stderr)


def read_options(args):
    options = ReadOptions(time_column=args.time_column, time_unit=args.time_unit,
                          decimal_comma=args.decimal_comma)
    if args.time_epoch is not None:
        if args.time_unit in DAY_NUMBER_EPOCHS:
            raise UsageError("--time-epoch does not go with --time-unit %s, which has its own"
                             % args.time_unit)
        options.time_epoch = _iso(args.time_epoch, "--time-epoch")
    for pair in args.column:
        field, sep, name = pair.partition("=")
        if not sep or field.strip() not in ("magnitude", "latitude", "longitude", "depth",
                                            "type", "id"):
            raise UsageError("--column %s: expected FIELD=NAME with FIELD one of magnitude, "
                             "latitude, longitude, depth, type, id" % _shown(pair))
        options.columns[field.strip()] = name.strip()
    return options


def _shown(text, width=40):
    """The argument as a message quotes it, cut short when it is long."""
    return repr(text if len(text) <= width else text[:width] + "...")


def _iso(text, option):
    try:
        return parse_iso(text)[0]
    except TimeError as error:
        raise UsageError("%s %s: %s (expected an ISO 8601 UTC time such as "
                         "2021-01-01T00:00:00Z)" % (option, _shown(text), error)) from None


def _decimal(text, option):
    try:
        value = Decimal(text)
    except InvalidOperation:
        value = None
    if value is None or not value.is_finite():
        raise UsageError("%s %s: not a number" % (option, _shown(text)))
    return value


class Axis:
    """Reads the times of the command line on the axis of the events: ISO
    8601 for calendar times, else numbers in the source's --time-unit."""

    def __init__(self, calendar, time_unit):
        self.calendar = calendar
        self.time_unit = time_unit

    def time(self, text, option):
        """(seconds, step) of a time of the command line."""
        if self.calendar:
            try:
                return parse_iso(text)
            except TimeError as error:
                raise UsageError("%s %s: %s; expected an ISO 8601 UTC time such as 2021-01-01, "
                                 "as the events are calendar times"
                                 % (option, _shown(text), error)) from None
        try:
            value, step = parse_number(text)
        except TimeError as error:
            raise UsageError("%s %s: %s; expected a number in the source's time unit (%s)"
                             % (option, _shown(text), error, self.time_unit)) from None
        return value * UNIT_SECONDS[self.time_unit], step * UNIT_SECONDS[self.time_unit]


def selection_from(args, axis):
    selection = Selection()
    if args.types is not None:
        types = frozenset(t.strip().casefold() for t in args.types.split(",") if t.strip())
        if not types:
            raise UsageError("--types names no event type")
        selection.types = types
    if args.start is not None:
        selection.start = axis.time(args.start, "--start")[0]
    if args.end is not None:
        selection.end = axis.time(args.end, "--end")[0]
    if selection.start is not None and selection.end is not None and \
            selection.end <= selection.start:
        raise UsageError("--end must come after --start")
    if args.min_magnitude is not None:
        selection.min_magnitude = _decimal(args.min_magnitude, "--min-magnitude")
    if args.max_depth is not None:
        selection.max_depth = _decimal(args.max_depth, "--max-depth")
    if args.region is not None:
        region = tuple(_decimal(v, "--region") for v in args.region)
        if not -90 <= region[0] <= region[1] <= 90:
            raise UsageError("--region: the latitudes must satisfy -90 <= LATMIN <= LATMAX "
                             "<= 90")
        selection.region = region
    for start, end in args.outage:
        a, b = axis.time(start, "--outage")[0], axis.time(end, "--outage")[0]
        if b <= a:
            raise UsageError("--outage %s %s: the end must come after the start" % (start, end))
        selection.outages.append((a, b))
    return selection


def prepare(args):
    options = read_options(args)
    if args.decimals is not None and not 0 <= args.decimals <= 30:
        raise UsageError("--decimals must be between 0 and 30")
    to_stdout = args.output == STANDARD_OUTPUT
    if not to_stdout and os.path.isdir(args.output):
        raise UsageError("-o %s is a folder" % args.output)
    if to_stdout and args.intervals is None and (args.gap is not None or args.outage):
        raise UsageError("-o - writes the event file to standard output: name the intervals "
                         "file with --intervals")
    if args.sources.count(catalogue.STANDARD_INPUT) > 1:
        raise UsageError("- (standard input) is named more than once among the sources")
    if args.decimal_comma and args.format == "comcat" and not args.time_column:
        raise UsageError("--decimal-comma with --format comcat: commas separate the fields of "
                         "a ComCat CSV, so a decimal comma could not be told from a separator")
    for option in ("intervals", "description"):
        if getattr(args, option) == STANDARD_OUTPUT:
            raise UsageError("--%s -: only the event file can go to standard output" % option)
    gap = gap_text = None
    if args.gap is not None:
        try:
            gap = parse_length(args.gap, args.unit)
        except TimeError as error:
            raise UsageError("--gap %s: %s" % (_shown(args.gap), error)) from None
        gap_text = args.gap.strip()
        if gap_text[-1].isdigit():
            gap_text += " " + args.unit

    sources = [catalogue.load(path, options, args.format) for path in args.sources]
    kinds = {item.calendar for source in sources for item in source.items
             if isinstance(item, Event)}
    if len(kinds) > 1:
        raise RunError("some sources give calendar times and some give numbers without a "
                       "calendar (give --time-epoch)")
    axis = Axis(kinds.pop() if kinds else True, options.time_unit)
    request = Request(
        output=args.output, unit=args.unit, calendar=axis.calendar, time_unit=args.time_unit,
        origin=axis.time(args.origin, "--origin") if args.origin is not None else None,
        decimals=args.decimals, gap=gap, gap_text=gap_text, intervals=args.intervals,
        description=args.description,
        filters={"types": args.types, "start": args.start, "end": args.end,
                 "min_magnitude": args.min_magnitude, "max_depth": args.max_depth,
                 "region": args.region, "outages": args.outage})
    run = Preparation(request, sources, selection_from(args, axis))
    for line in run.problem_lines():
        _warn(line)
    if args.strict and run.problems():
        raise RunError("--strict: %d rows or remarks above; nothing written" % run.problems())
    try:
        run.settle()
    except PreparationError as error:
        raise RunError(str(error)) from None
    files = run.files()
    if to_stdout:
        events_text, files = files[0][1], files[1:]
    clash = clashing_outputs([path for path, _ in files], args.sources)
    if clash:
        raise UsageError(clash + "; nothing written")
    write_files(files, events_text if to_stdout else None)
    if to_stdout:
        for line in run.summary_lines():
            print(line, file=sys.stderr)
        return 0
    written = "%s written" % ", ".join(path for path, _ in files)
    return 0 if write_output(PROGRAM, run.summary_lines(), written) else 1


def write_files(files, to_stdout=None):
    """Writes [(path, text)] all or nothing and, when given, the text
    `to_stdout` to standard output before the files take their names."""
    def write_stdout():
        sys.stdout.write(to_stdout)
        sys.stdout.flush()
    try:
        write_together(files, write_stdout if to_stdout is not None else None)
    except BrokenPipeError:
        raise
    except StandardOutputError as error:
        discard_output()
        raise RunError("cannot write the events to standard output (%s); nothing written"
                       % output_problem(error)) from None
    except OSError as error:
        raise RunError("cannot write %s: %s; nothing written"
                       % (error.filename or "standard output", describe_write_error(error))
                       ) from None


# ------------------------------------------------------------------- check

def check_parser():
    parser = argparse.ArgumentParser(
        prog=PROGRAM + " check",
        description="Reads an event file as the interactive program and the survey do, and "
        "reports the traps: where the interactive list ends early, times out of order, "
        "whole-number times, decimal commas, 4-byte storage that moves times by a noticeable "
        "share of their spacing; and the largest gaps. Exit 0 when no trap is found, 1 "
        "otherwise.")
    parser.add_argument("events", metavar="EVENTS.txt", help="the event file; - is standard "
                        "input")
    parser.add_argument("--json", metavar="FILE",
                        help="the description of the file (default: EVENTS.json beside it, "
                        "when present), for units and calendar dates")
    add_version_option(parser, PROGRAM)
    return parser


def check_command(argv):
    args, status = _parse(check_parser(), argv)
    if args is None:
        return status
    try:
        data = _read_whole(args.events)
    except OSError as error:
        _error("%s: cannot read: %s" % (args.events, error.strerror or error))
        return 1
    except SourceError as error:
        _error(str(error))
        return 1
    meta, meta_path = None, args.json
    try:
        if args.json:
            text = eventfile.read_description_text(args.json)
            meta = eventfile.parse_description(text, args.json)
        elif args.events != catalogue.STANDARD_INPUT:
            meta_path = eventfile.description_path(args.events)
            meta = eventfile.read_description(args.events)
    except eventfile.EventFileError as error:
        if args.json and isinstance(error, eventfile.UnreadableDescription):
            _error(str(error))
            return 1
        # A description the other programs refuse is a trap of the file.
        meta = error
    findings = checking.examine(data, meta, meta_path)
    traps = 0
    print("%s:" % args.events)
    for finding in findings:
        if finding.trap:
            traps += 1
            where = "%s:%d" % (args.events, finding.line) if finding.line else args.events
            print("%s: trap: %s" % (where, finding.text))
        else:
            print("  %s" % finding.text)
    print("no trap found" if traps == 0 else "%d trap%s found" % (traps, "s" * (traps > 1)))
    return 1 if traps else 0


def _read_whole(path):
    """The bytes of an event file to check, opened as a source is: "-" is
    standard input; folders and devices are refused (/dev/zero would never
    end), and so is a FIFO that nothing is written to."""
    stream, owned = catalogue.open_source(path, "an event file")
    try:
        return stream.read()
    finally:
        if owned:
            stream.close()


# Subcommands by their first argument; anything else is a source of the
# default command.
def decluster_command(argv):
    # Imported here: declustering needs numpy, the rest of the command does not.
    from periodscan.decluster import decluster_main
    return decluster_main(argv)


SUBCOMMANDS = {"check": check_command, "decluster": decluster_command}
