"""Intervals of observation: the span of the catalogue minus the stretches
in which the network did not record (outages named by the user, and gaps
between neighbouring events longer than a given length).

A gap is left out from one event to the next, so both events stay on the
ends of observed intervals: events at 10, 11 and 25 with gaps longer than
5 left out give the intervals [10, 11] and [25, ...]. The network may have
watched for part of such a gap; the intervals file lists what was left out
so that the user can confirm it or move the ends.

The intervals file holds one interval a line, start then end on the time
axis of the event file, in increasing order; "#" starts a comment line."""

from dataclasses import dataclass


@dataclass
class LeftOut:
    start: object      # exact times (Fractions) on the events' axis
    end: object
    why: str           # "detected gap" or "named outage"


def detect_gaps(times, longer_than):
    """Gaps between neighbouring times (sorted) longer than `longer_than`."""
    return [LeftOut(a, b, "detected gap") for a, b in zip(times, times[1:])
            if b - a > longer_than]


def observed(span_start, span_end, left_out):
    """The span minus the left-out stretches, as sorted (start, end) pairs
    of positive length; stretches may overlap or reach beyond the span."""
    intervals = []
    position = span_start
    for stretch in sorted(left_out, key=lambda s: s.start):
        if stretch.end <= position:
            continue
        if stretch.start > position:
            intervals.append((position, min(stretch.start, span_end)))
        position = max(position, stretch.end)
        if position >= span_end:
            break
    if position < span_end:
        intervals.append((position, span_end))
    return [(a, b) for a, b in intervals if b > a]


def inside(intervals, times):
    """For each time (sorted), whether it lies in one of the sorted
    intervals, ends included."""
    result, index = [], 0
    for time in times:
        while index < len(intervals) and intervals[index][1] < time:
            index += 1
        result.append(index < len(intervals) and intervals[index][0] <= time)
    return result


def format_file(intervals, left_out, spell, describe, header):
    """The text of an intervals file: `header` comment lines, one comment per
    left-out stretch, then the intervals. `spell` prints a time on the
    output axis, `describe` adds a calendar note ("" when there is none)."""
    lines = ["# " + line for line in header]
    for stretch in sorted(left_out, key=lambda s: s.start):
        lines.append("# left out (%s): %s %s%s" % (
            stretch.why, spell(stretch.start), spell(stretch.end), describe(stretch)))
    lines.extend("%s %s" % (spell(a), spell(b)) for a, b in intervals)
    return "\n".join(lines) + "\n"


class IntervalsError(ValueError):
    pass


def parse_file(text, name="intervals"):
    """[(start, end)] as floats from the text of an intervals file;
    IntervalsError naming the line for anything else than two increasing
    numbers a line, in order and not overlapping."""
    intervals = []
    for number, line in enumerate(text.splitlines(), 1):
        stripped = line.strip()
        if not stripped or stripped.startswith("#"):
            continue
        fields = stripped.split()
        try:
            start, end = (float(f) for f in fields)
        except ValueError:
            raise IntervalsError("%s:%d: expected a start and an end, found %r"
                                 % (name, number, stripped)) from None
        if not end > start:
            raise IntervalsError("%s:%d: the end must be after the start" % (name, number))
        if intervals and start < intervals[-1][1]:
            raise IntervalsError("%s:%d: intervals must be in order and not overlap"
                                 % (name, number))
        intervals.append((start, end))
    return intervals
