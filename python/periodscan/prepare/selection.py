"""Choosing the events: the filters of the command line, the joining of
several sources with their exact duplicates, and the counts by reason."""

from collections import Counter
from dataclasses import dataclass, field
from decimal import Decimal
from fractions import Fraction
from typing import Optional

from .records import Problem


@dataclass
class Selection:
    """Filters; times are exact seconds on the axis of the events. A
    region's longitudes may cross the antimeridian (170 -170)."""
    types: Optional[frozenset] = None   # event types, casefolded
    start: Optional[Fraction] = None    # kept: start <= t
    end: Optional[Fraction] = None      # kept: t < end
    min_magnitude: Optional[Decimal] = None
    region: Optional[tuple] = None      # (lat min, lat max, lon min, lon max)
    max_depth: Optional[Decimal] = None
    outages: list = field(default_factory=list)   # (start, end): no event kept inside

    def drop_reason(self, event):
        """Why the event is left out, or None when it is kept."""
        if self.types is not None:
            if event.kind is None:
                return "no event type (--types)"
            if event.kind.strip().casefold() not in self.types:
                return "event type not selected (--types)"
        if self.start is not None and event.time < self.start:
            return "before --start"
        if self.end is not None and event.time >= self.end:
            return "at or after --end"
        if self.min_magnitude is not None:
            if event.magnitude is None:
                return "no magnitude (--min-magnitude)"
            if Decimal(event.magnitude) < self.min_magnitude:
                return "magnitude below --min-magnitude"
        if self.region is not None:
            if event.latitude is None or event.longitude is None:
                return "no position (--region)"
            if not in_region(Decimal(event.latitude), Decimal(event.longitude), self.region):
                return "outside --region"
        if self.max_depth is not None:
            if event.depth is None:
                return "no depth (--max-depth)"
            if Decimal(event.depth) > self.max_depth:
                return "deeper than --max-depth"
        for start, end in self.outages:
            if start < event.time < end:
                return "inside an --outage"
        return None


def wrap_longitude(longitude):
    """The longitude in [-180, 180): 190 -> -170, 180 -> -180."""
    wrapped = (longitude + 180) % 360     # Decimal: the sign of the dividend
    if wrapped < 0:
        wrapped += 360
    return wrapped - 180


def in_region(latitude, longitude, region):
    lat_min, lat_max, lon_min, lon_max = region
    if not lat_min <= latitude <= lat_max:
        return False
    if lon_max - lon_min >= 360:
        return True
    west, east, longitude = (wrap_longitude(lon_min), wrap_longitude(lon_max),
                             wrap_longitude(longitude))
    if west <= east:
        return west <= longitude <= east
    return longitude >= west or longitude <= east


@dataclass
class SourceCounts:
    rows_read: int = 0
    kept: int = 0
    dropped: Counter = field(default_factory=Counter)
    event_types: Counter = field(default_factory=Counter)
    problems: list = field(default_factory=list)       # Problems, rows and remarks
    identical: list = field(default_factory=list)      # (line, line) of twin records kept
    newest_first: bool = False


DUPLICATE = "duplicate of an event in an earlier source"


def choose(sources, selection):
    """(kept events in time order, SourceCounts per source, duplicate pairs)
    where a duplicate pair is ((source, line) dropped, (source, line) kept).

    A record met again in a later source (overlapping downloads) is dropped
    as a duplicate; identical records within one source are kept and
    listed, since one file may hold two events that no field tells apart.
    The sort is stable: events with equal times keep the order of the
    sources and of the lines."""
    kept = []
    counts = []
    duplicates = []
    seen = {}
    for index, source in enumerate(sources):
        tally = SourceCounts()
        counts.append(tally)
        events = []
        for item in source.items:
            if isinstance(item, Problem):
                tally.problems.append(item)
                if item.row:
                    tally.rows_read += 1
                    tally.dropped[item.reason] += 1
                continue
            item.source = index
            events.append(item)
        tally.rows_read += len(events)
        tally.event_types.update(e.kind for e in events if e.kind is not None)
        falling = sum(1 for a, b in zip(events, events[1:]) if b.time < a.time)
        rising = sum(1 for a, b in zip(events, events[1:]) if b.time > a.time)
        tally.newest_first = falling > rising
        for event in events:
            reason = selection.drop_reason(event)
            if reason is None:
                first = seen.setdefault(event.key(), event)
                if first is not event:
                    if first.source != index:
                        reason = DUPLICATE
                        duplicates.append(((index, event.line), (first.source, first.line)))
                    else:
                        tally.identical.append((first.line, event.line))
            if reason is not None:
                tally.dropped[reason] += 1
                continue
            tally.kept += 1
            kept.append(event)
    kept.sort(key=lambda e: e.time)
    return kept, counts, duplicates
