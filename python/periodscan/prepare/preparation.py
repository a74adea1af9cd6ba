"""One run of periodscan-prepare after its sources are read: the events
kept, the time axis of the event file, and the texts of the files it writes
and of the summary it prints. Nothing here prints or writes."""

import json
import os
from collections import Counter
from dataclasses import dataclass
from fractions import Fraction
from typing import Optional

from ..wording import agreeing, counted
from . import intervals as observing
from .records import EXTRA_COLUMNS
from .selection import choose
from .sources import FORMAT_NAMES, display_name, label
from .timeaxis import (SECONDS_PER_DAY, UNIT_SECONDS, choose_decimals, format_fixed,
                       format_iso)
from .writer import sidecar

SHOWN_PROBLEMS = 5
SHOWN_GAPS = 20
ALONE = "alone between gaps longer than --gap"
STANDARD_OUTPUT = "-"


class PreparationError(Exception):
    pass


@dataclass
class Request:
    """What the command line asks for, with times already on the events'
    axis (exact seconds). `filters` is kept as given, for the description."""
    output: str
    unit: str
    calendar: bool
    time_unit: Optional[str]
    origin: Optional[tuple] = None          # (seconds, step)
    decimals: Optional[int] = None
    gap: Optional[Fraction] = None          # seconds
    gap_text: Optional[str] = None
    intervals: Optional[str] = None
    filters: Optional[dict] = None
    description: Optional[str] = None       # the path of EVENTS.json; None: none written


class Preparation:
    def __init__(self, request, sources, selection):
        self.request = request
        self.sources = sources
        self.selection = selection
        self.kept, self.counts, self.duplicates = choose(sources, selection)
        self.unit_seconds = UNIT_SECONDS[request.unit]
        self.origin = self.decimals = None
        self.left_out, self.span, self.observed = [], None, []
        self.intervals_path = None
        self.alone = []          # events left out for lying in no observed interval

    # -- reading and choosing

    def problems(self):
        return sum(len(tally.problems) for tally in self.counts)

    def problem_lines(self):
        """Warnings on the rows that cannot be read: the first few of each
        source with their lines, then the count by reason."""
        lines = []
        for source, tally in zip(self.sources, self.counts):
            for problem in tally.problems[:SHOWN_PROBLEMS]:
                lines.append("%s:%d: %s: %r" % (label(source), problem.line, problem.reason,
                                                problem.text[:120]))
            rows = [p for p in tally.problems if p.row]
            if len(tally.problems) > SHOWN_PROBLEMS or rows:
                by_reason = Counter(p.reason for p in rows)
                lines.append("%s: %s cannot be read (%s)%s" % (
                    label(source), counted(len(rows), "row"),
                    ", ".join("%s: %d" % kv for kv in by_reason.most_common()),
                    "; the first %d are shown above" % SHOWN_PROBLEMS
                    if len(tally.problems) > SHOWN_PROBLEMS else ""))
        return lines

    def settle(self):
        """Fixes the origin, the observed intervals and the decimals;
        PreparationError when the events kept cannot make an event file."""
        kept, request, selection = self.kept, self.request, self.selection
        if len(kept) < 2 or kept[-1].time <= kept[0].time:
            read = sum(t.rows_read - sum(p.row for p in t.problems) for t in self.counts)
            raise PreparationError(
                "%s kept%s: an event file needs at least two events at different times; "
                "nothing written" % (counted(len(kept), "event"),
                                     " of %d read" % read if read else ""))
        if request.origin is not None:
            self.origin, origin_step = request.origin
        elif request.calendar:
            first = kept[0].time if selection.start is None else selection.start
            self.origin = Fraction(first // SECONDS_PER_DAY * SECONDS_PER_DAY)
            origin_step = Fraction(SECONDS_PER_DAY)
        else:
            self.origin, origin_step = Fraction(0), None
        if request.gap is not None or selection.outages or request.intervals:
            self.intervals_path = request.intervals or sidecar(request.output, ".intervals")
            self._observe()
        if request.decimals is not None:
            self.decimals = request.decimals
        else:
            times = [e.time for e in kept] + [t for s in self.left_out for t in (s.start, s.end)]
            steps = [e.step for e in kept] + ([origin_step] if origin_step else [])
            times += list(self.span or ())
            self.decimals = choose_decimals([self.on_axis(t) for t in times],
                                            min(steps) / self.unit_seconds)
        self.check_printed()

    def _observe(self):
        """The observed intervals: the span minus the outages and the gaps
        between neighbouring events. A gap is left out from one event to the
        next, so an event with a long gap on either side (or on the one side
        of the first and last) would lie on no interval of positive length:
        such events are left out of the event file too, and the span and
        intervals are taken again without them. Every event kept then lies
        in an interval, ends included."""
        request, selection = self.request, self.selection
        outages = [observing.LeftOut(a, b, "named outage") for a, b in selection.outages]
        gaps = observing.detect_gaps([e.time for e in self.kept], request.gap) \
            if request.gap is not None else []
        self.left_out = sorted(outages + gaps, key=lambda s: s.start)
        while True:
            if len(self.kept) < 2:
                raise PreparationError(
                    "%s %s in an observed interval: an event file needs at least two "
                    "events at different times; nothing written"
                    % (counted(len(self.kept), "event"), agreeing(len(self.kept), "lies", "lie")))
            self.span = (self.kept[0].time if selection.start is None else selection.start,
                         self.kept[-1].time if selection.end is None else selection.end)
            self.observed = observing.observed(*self.span, self.left_out)
            inside = observing.inside(self.observed, [e.time for e in self.kept])
            if all(inside):
                return
            for event, keep in zip(self.kept, inside):
                if not keep:
                    tally = self.counts[event.source]
                    tally.kept -= 1
                    tally.dropped[ALONE] += 1
                    self.alone.append(event)
            self.kept = [e for e, keep in zip(self.kept, inside) if keep]

    def check_printed(self):
        """PreparationError unless the times as printed still make an
        intervals file the survey reads (ends increasing, intervals in order)
        holding every event: --decimals too few can merge them."""
        if not self.intervals_path:
            return
        printed = [(float(self.spell(a)), float(self.spell(b))) for a, b in self.observed]
        for (a, b), (c, _) in zip(printed, printed[1:] + [(float("inf"), 0)]):
            if not b > a or c < b:
                raise PreparationError("with %d decimals the intervals of the observed times "
                                       "cannot be told apart (at %s); give more --decimals"
                                       % (self.decimals, self.spell(self.observed[0][0])))

    # -- the time axis of the event file

    def on_axis(self, seconds):
        return (seconds - self.origin) / self.unit_seconds

    def spell(self, seconds):
        return format_fixed(self.on_axis(seconds), self.decimals)

    def date(self, seconds):
        return format_iso(seconds) if self.request.calendar else ""

    def axis_text(self):
        if self.request.calendar:
            return "%s since %s" % (self.request.unit, format_iso(self.origin))
        zero = format_fixed(self.origin / UNIT_SECONDS[self.request.time_unit], 12)
        return "%s from %s on the source's axis" % (
            self.request.unit, zero.rstrip("0").rstrip("."))

    def columns(self):
        return [c for c in EXTRA_COLUMNS if any(getattr(e, c) is not None for e in self.kept)]

    # -- the files

    def files(self):
        """[(path, text)] of the event file, its description and the
        intervals file when one is asked for."""
        columns = self.columns()
        lines = [" ".join([self.spell(e.time)] + [getattr(e, c) or "nan" for c in columns])
                 for e in self.kept]
        files = [(self.request.output, "\n".join(lines) + "\n")]
        if self.intervals_path:
            files.append((self.intervals_path, self.intervals_text()))
        if self.description_path():
            files.append((self.description_path(),
                          json.dumps(self.description(), indent=2) + "\n"))
        return files

    def description_path(self):
        """Where EVENTS.json goes: --description, else beside the event file
        (none when the event file goes to standard output)."""
        if self.request.description is not None:
            return self.request.description
        if self.request.output == STANDARD_OUTPUT:
            return None
        return sidecar(self.request.output, ".json")

    def output_name(self):
        return "standard output" if self.request.output == STANDARD_OUTPUT else \
            self.request.output

    def intervals_text(self):
        selection = self.selection
        chosen = selection.start is not None or selection.end is not None
        header = ["observed intervals of %s: start and end, %s"
                  % (os.path.basename(self.request.output), self.axis_text()),
                  "span %s %s%s" % (self.spell(self.span[0]), self.spell(self.span[1]),
                                    "" if chosen else " (first and last event)")]

        def dates(stretch):
            if not self.request.calendar:
                return ""
            return " (%s to %s)" % (self.date(stretch.start), self.date(stretch.end))
        return observing.format_file(self.observed, self.left_out, self.spell, dates, header)

    def description(self):
        """The content of EVENTS.json."""
        request, counts = self.request, self.counts
        dropped = Counter()
        for tally in counts:
            dropped.update(tally.dropped)
        description = {
            "program": "periodscan-prepare",
            "events_file": os.path.basename(request.output),   # "-": standard output
            # Times without a calendar have no origin to name: the key is left
            # out rather than null, since readers take "origin" as a string.
            "origin": format_iso(self.origin) if request.calendar else None,
            "unit": request.unit,
            "source_time_unit": None if request.calendar else request.time_unit,
            "decimals": self.decimals,
            "columns": ["time"] + self.columns(),
            "column_units": {"time": request.unit, "magnitude": "as in the source",
                             "latitude": "degrees", "longitude": "degrees", "depth": "km"},
            "events": len(self.kept),
            "first": self.spell(self.kept[0].time),
            "last": self.spell(self.kept[-1].time),
            "sources": [{
                "name": display_name(source),
                "path": source.path,
                "size": source.size,
                "sha256": source.sha256,
                "compressed": source.compressed,
                "format": source.format,
                "rows_read": tally.rows_read,
                "kept": tally.kept,
                "dropped": dict(tally.dropped.most_common()),
                "event_types": dict(tally.event_types.most_common()),
                "remarks": [p.reason for p in tally.problems if not p.row],
                "newest_first": tally.newest_first,
            } for source, tally in zip(self.sources, counts)],
            "filters": request.filters,
            "counts": {
                "rows_read": sum(t.rows_read for t in counts),
                "kept": len(self.kept),
                "dropped": dict(dropped.most_common()),
            },
            "intervals": None if self.intervals_path is None else {
                "file": os.path.basename(self.intervals_path),
                "gap": request.gap_text,
                "left_out": [{"start": self.spell(s.start), "end": self.spell(s.end),
                              "why": s.why} for s in self.left_out],
                "observed": [[self.spell(a), self.spell(b)] for a, b in self.observed],
            },
        }
        if description["origin"] is None:
            del description["origin"]
        return description

    # -- the summary

    def summary_lines(self):
        lines = []
        for source, tally in zip(self.sources, self.counts):
            parts = ["%s: %s, %s" % (label(source), FORMAT_NAMES[source.format],
                                     counted(tally.rows_read, "row"))]
            if tally.event_types:
                parts.append("event types %s" % ", ".join(
                    "%s %d" % kv for kv in sorted(tally.event_types.items())))
            if tally.newest_first:
                parts.append("newest first (sorted)")
            lines.append("; ".join(parts))
            if tally.dropped:
                lines.append("  left out: %s" % ", ".join(
                    "%s %d" % kv for kv in tally.dropped.most_common()))
            if tally.identical:
                first = tally.identical[0]
                one = len(tally.identical) == 1
                lines.append("  %d %s an earlier line's record and %s kept (first: lines %d and "
                             "%d)" % (len(tally.identical), "line repeats" if one else
                                      "lines repeat", "is" if one else "are", *first))
        if self.duplicates:
            (dropped_source, dropped_line), (kept_source, kept_line) = self.duplicates[0]
            lines.append("%s of events of an earlier source left out (first: %s:%d, "
                         "the same as %s:%d)" % (counted(len(self.duplicates), "duplicate"),
                                                 label(self.sources[dropped_source]), dropped_line,
                                                 label(self.sources[kept_source]), kept_line))
        first, last = self.kept[0].time, self.kept[-1].time
        lines.append("%s: %s, %s, %s; columns %s" % (
            self.output_name(), counted(len(self.kept), "event"), self.axis_text(),
            counted(self.decimals, "decimal"),
            " ".join(["time"] + self.columns())))
        lines.append("  first %s%s, last %s%s" % (
            self.spell(first), " (%s)" % self.date(first) if self.request.calendar else "",
            self.spell(last), " (%s)" % self.date(last) if self.request.calendar else ""))
        also = [p for p in (self.description_path(), self.intervals_path) if p]
        if also:
            lines.append("  also written: %s" % ", ".join(also))
        if self.alone:
            lines.append("  %s left out, %s (first: %s:%d)" % (
                counted(len(self.alone), "event"), ALONE,
                label(self.sources[self.alone[0].source]), self.alone[0].line))
        lines.extend(self._gap_lines())
        return lines

    def _gap_lines(self):
        gaps = [s for s in self.left_out if s.why == "detected gap"]
        if not gaps:
            return []
        lines = ["  gaps longer than %s left out of the intervals; confirm them, or edit %s:"
                 % (self.request.gap_text, self.intervals_path)]
        for stretch in gaps[:SHOWN_GAPS]:
            lines.append("    %s %s (%.6g %s%s)" % (
                self.spell(stretch.start), self.spell(stretch.end),
                float((stretch.end - stretch.start) / self.unit_seconds), self.request.unit,
                ", %s to %s" % (self.date(stretch.start), self.date(stretch.end))
                if self.request.calendar else ""))
        if len(gaps) > SHOWN_GAPS:
            lines.append("    ... and %d more, all in %s" % (
                len(gaps) - SHOWN_GAPS, self.intervals_path))
        return lines
