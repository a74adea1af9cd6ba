"""What the readers of the catalogue formats hand back: one Event per data
row that could be read, one Problem per row that could not, and
SourceError for a file that cannot be read at all."""

from dataclasses import dataclass
from decimal import Decimal, InvalidOperation
from fractions import Fraction
from typing import Optional

# The columns an event file can carry after the time, in their order.
EXTRA_COLUMNS = ("magnitude", "latitude", "longitude", "depth")


@dataclass(slots=True)
class Event:
    """One event as read. `time` and `step` are exact seconds: on the
    calendar axis from 1970-01-01T00:00Z, else on the source's own axis;
    `step` is the place value of the last digit the source wrote. The other
    fields are the source's text (depth in km), or None where unknown."""
    time: Fraction
    step: Fraction
    calendar: bool
    line: int
    magnitude: Optional[str] = None
    latitude: Optional[str] = None
    longitude: Optional[str] = None
    depth: Optional[str] = None
    kind: Optional[str] = None     # event type in the source's own code
    ident: Optional[str] = None    # event id, where the source gives one
    source: int = 0                # index of the source among those joined

    def key(self):
        """What two copies of one record share, wherever they were read."""
        return (self.time, self.magnitude, self.latitude, self.longitude, self.depth,
                self.kind, self.ident)


@dataclass(slots=True)
class Problem:
    """A row that cannot be read (`row` True) or a remark on the whole file
    that --strict also refuses (`row` False: a footer count that differs)."""
    line: int
    reason: str
    text: str
    row: bool = True


class SourceError(Exception):
    """A source that cannot be read at all; the message names file and line."""


def number_text(text, what, decimal_comma=False):
    """The stripped text of a numeric field, None when empty; raises
    ValueError('<what> is not a number') for anything else than a finite
    decimal number. With decimal_comma, "4,5" is taken as "4.5"."""
    text = text.strip()
    if not text:
        return None
    if decimal_comma:
        text = text.replace(",", ".")
    try:
        value = Decimal(text)
    except InvalidOperation:
        value = None
    if value is None or not value.is_finite() or "_" in text:
        if "," in text and not decimal_comma:
            raise ValueError("decimal comma in the %s (give --decimal-comma)" % what)
        raise ValueError("%s is not a number" % what)
    return text


@dataclass
class ReadOptions:
    """How to read the sources: the time column of a CSV file and, for
    times written as numbers, their unit and the calendar time of their
    zero (None: the numbers stay on their own axis)."""
    time_column: Optional[str] = None
    time_unit: Optional[str] = None
    time_epoch: Optional[Fraction] = None
    decimal_comma: bool = False
    columns: dict = None           # field -> column name given with --column

    def __post_init__(self):
        if self.columns is None:
            self.columns = {}
