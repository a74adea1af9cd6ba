"""The command `periodscan-prepare decluster EVENTS.txt -o BACKGROUND.txt`
(`decluster_main`), by the windows of Gardner and Knopoff (declustering.py):
it writes the background events (the input lines as they were),
BACKGROUND.json (the input's description with the declustering noted) and
BACKGROUND.clusters (for every event of the input: its line number, the line
number of its cluster's main shock, 1 if it is kept, else 0, and the line
number of the first main shock of its linked group).
"""

import argparse
import json
import math
import os
import sys
from dataclasses import dataclass

import numpy as np

from periodscan import eventfile
from periodscan.command_line import add_version_option, write_output
from periodscan.declustering import FORESHOCK_FRACTION, gardner_knopoff
from periodscan.eventfile import DAYS_PER_UNIT, EventFileError
from periodscan.inputfile import TABLE_LIMIT, InputFileError, read_input_bytes
from periodscan.prepare.writer import clashing_outputs, write_together

PROGRAM = "periodscan-prepare decluster"
METHOD = "Gardner-Knopoff windows (1974; fits of van Stiphout et al. 2012)"

DEFAULT_COLUMNS = ("time", "magnitude", "latitude", "longitude", "depth")
NEEDED_COLUMNS = ("time", "magnitude", "latitude", "longitude")
# Coordinates beyond these (degrees) are not places on the Earth.
LIMITS = {"latitude": 90, "longitude": 360}


def _error(path, message, line=None):
    where = path if line is None else "%s, line %d" % (path, line)
    return EventFileError("%s: %s" % (where, message))


def description_path(events_path):
    """Where the description of an event file is written: NAME.json for
    NAME.txt, as periodscan-prepare names it."""
    return os.path.splitext(events_path)[0] + ".json"


@dataclass
class EventTable:
    lines: list          # every line of the file, without its line end
    rows: list           # line numbers (1-based) of the events
    values: dict         # column name -> array over the events


def read_events(path, columns):
    """The events of a file written by periodscan-prepare: blank lines and
    lines starting with # are passed over, every other line holds the
    columns in the given order, of which those in NEEDED_COLUMNS must be
    numbers."""
    try:
        data = read_input_bytes(path, TABLE_LIMIT, "an event file")
    except InputFileError as e:
        raise EventFileError(str(e)) from None
    try:
        lines = data.decode("utf-8-sig").splitlines()
    except UnicodeDecodeError as e:
        raise _error(path, "is not UTF-8 text (byte %d of the line)"
                     % (e.start - data.rfind(b"\n", 0, e.start)),
                     data.count(b"\n", 0, e.start) + 1) from None
    where = {name: columns.index(name) for name in NEEDED_COLUMNS}
    rows, values = [], {name: [] for name in NEEDED_COLUMNS}
    for number, line in enumerate(lines, start=1):
        text = line.strip()
        if not text or text.startswith("#"):
            continue
        fields = text.split()
        for name, col in where.items():
            if col >= len(fields):
                raise _error(path, "no %s (column %d); declustering needs the time, magnitude,"
                             " latitude and longitude of every event" % (name, col + 1), number)
            value = eventfile.parse_number(fields[col])
            if value is None:
                raise _error(path, "the %s is not a number: %r" % (name, fields[col]), number)
            if name in LIMITS and not abs(value) <= LIMITS[name]:
                raise _error(path, "the %s %s is beyond +-%d degrees"
                             % (name, fields[col], LIMITS[name]), number)
            values[name].append(value)
        rows.append(number)
    if not rows:
        raise _error(path, "holds no events")
    return EventTable(lines, rows, {k: np.array(v) for k, v in values.items()})


def _columns(description, path):
    """The columns of the event file; the description was checked by
    eventfile.read_description."""
    if description is None or "columns" not in description:
        return list(DEFAULT_COLUMNS)
    columns = description["columns"]
    missing = [c for c in NEEDED_COLUMNS if c not in columns]
    if missing:
        raise _error(eventfile.description_path(path), "has no column %s; declustering needs "
                     "the time, magnitude, latitude and longitude" % ", ".join(missing))
    return columns


def _unit(description, given, path):
    unit = given or (description or {}).get("unit")
    if unit is None:
        raise _error(path, "the time unit is not known: there is no %s; give --unit"
                     % description_path(path))
    if unit not in DAYS_PER_UNIT:
        raise _error(eventfile.description_path(path) if not given else path,
                     "unknown time unit %r (known: %s)" % (unit, ", ".join(DAYS_PER_UNIT)))
    return unit


def _write_all(outputs, inputs):
    """Writes every (path, text) pair at once (nothing new is left behind on
    a failure); refuses outputs that clash with each other or an input."""
    clash = clashing_outputs([path for path, _ in outputs], inputs)
    if clash:
        raise _error(outputs[0][0], clash)
    try:
        write_together(outputs)
    except OSError as e:
        raise _error(e.filename or outputs[0][0], "cannot be written (%s)"
                     % (e.strerror or e)) from None


def decluster_file(events_path, output_path, unit=None,
                   foreshock_fraction=FORESHOCK_FRACTION):
    """Reads, declusters and writes; returns (events, background events)."""
    description = eventfile.read_description(events_path)
    columns = _columns(description, events_path)
    unit = _unit(description, unit, events_path)
    table = read_events(events_path, columns)
    v = table.values
    result = gardner_knopoff(v["time"] * DAYS_PER_UNIT[unit], v["magnitude"], v["latitude"],
                             v["longitude"], foreshock_fraction)
    rows = np.asarray(table.rows)
    kept = set(rows[result.background].tolist())
    # Comment lines ahead of the first event (a header) go with the events.
    header = [line for line in table.lines[:table.rows[0] - 1] if line.strip()]
    body = header + [table.lines[number - 1] for number in table.rows if number in kept]
    cluster_lines = ["# declustered with %s from %s" % (METHOD, os.path.basename(events_path)),
                     "# line: the event's line in that file; cluster: the line of its main "
                     "shock; kept: 1 for the background event of its cluster; linked: the "
                     "first line among the main shocks of clusters linked by their windows "
                     "(move these together in cluster-shift surrogates)",
                     "# line cluster kept linked"]
    cluster_lines += ["%d %d %d %d" % (rows[i], rows[result.main_shock[i]],
                                       result.background[i], rows[result.linked[i]])
                      for i in range(len(rows))]
    # The description of the input, its provenance included, now describing
    # the background events, with the step that made them.
    out_description = dict(description or {"unit": unit, "columns": columns})
    first, last = (table.lines[number - 1].split()[0] for number in (min(kept), max(kept)))
    out_description.update({
        "program": PROGRAM, "events_file": os.path.basename(output_path),
        "events": len(kept), "first": first, "last": last})
    out_description["declustering"] = {
        "method": METHOD, "source": os.path.basename(events_path),
        "foreshock_fraction": foreshock_fraction, "events": len(rows),
        "background": len(kept), "clusters_file":
            os.path.basename(os.path.splitext(output_path)[0] + ".clusters")}
    _write_all([
        (output_path, "\n".join(body) + "\n"),
        (description_path(output_path), json.dumps(out_description, indent=2) + "\n"),
        (os.path.splitext(output_path)[0] + ".clusters", "\n".join(cluster_lines) + "\n"),
    ], [events_path] + ([eventfile.description_path(events_path)] if description else []))
    return len(rows), int(result.background.sum())


def decluster_main(argv=None, out=None, err=None):
    out, err = out or sys.stdout, err or sys.stderr
    parser = argparse.ArgumentParser(
        prog=PROGRAM,
        description="Remove the aftershocks and foreshocks of a catalogue with the windows of "
                    "Gardner and Knopoff, keeping the largest event of every cluster. Writes "
                    "the background events to the output, its .json beside it, and the "
                    "cluster of every input event to a .clusters file beside it.",
        epilog="example: periodscan-prepare decluster events.txt -o background.txt")
    parser.add_argument("events", metavar="EVENTS.txt",
                        help="event file with time, magnitude, latitude and longitude columns")
    parser.add_argument("-o", "--output", required=True, metavar="BACKGROUND.txt")
    parser.add_argument("--unit", choices=sorted(DAYS_PER_UNIT),
                        help="time unit of the event file (default: from EVENTS.json)")
    parser.add_argument("--foreshock-fraction", type=float, default=FORESHOCK_FRACTION,
                        metavar="F", help="events up to F times the time window before a "
                        "main shock join its cluster (default %(default)g)")
    # --version names the program, not the subcommand.
    add_version_option(parser, PROGRAM.partition(" ")[0])
    args = parser.parse_args(argv)
    if args.output == "-":
        parser.error("-o -: declustering writes three files, so its output must be a file name")
    if not (0 <= args.foreshock_fraction < math.inf):
        parser.error("--foreshock-fraction must be a finite number, zero or more")
    if args.events == "-":
        parser.error("standard input is not read by decluster: it needs a file (EVENTS.txt "
                     "with its EVENTS.json beside it)")
    outputs = [args.output, description_path(args.output),
               os.path.splitext(args.output)[0] + ".clusters"]
    clash = clashing_outputs(outputs, [args.events, eventfile.description_path(args.events)
                                       or args.events])
    if clash:
        parser.error(clash + "; nothing written")
    try:
        n, kept = decluster_file(args.events, args.output, args.unit, args.foreshock_fraction)
    except EventFileError as e:
        print("%s: error: %s" % (PROGRAM, e), file=err)
        return 1
    line = "%s: %d background events of %d (%s); clusters in %s" % (
        args.output, kept, n, METHOD, outputs[2])
    if out is not sys.stdout:
        print(line, file=out)
        return 0
    return 0 if write_output(PROGRAM, [line], ", ".join(outputs) + " written") else 1


if __name__ == "__main__":
    sys.exit(decluster_main())
