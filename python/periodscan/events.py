"""The event-time file of a run, read the way periodscan reads it.

Each event time is the first number on its line; further columns are
ignored and lines of blanks give no event. Items are separated by blanks,
tabs or a comma; "r*v" stands for v repeated r times. The list ends at the
end of the file or just before the first line whose first item is not a
number: a heading, a line that starts with a comma or a "/", a number of
another form (no "inf", "nan" or hexadecimal), or one beyond the 4-byte
range. periodscan holds every time as a 4-byte real, rounded once from its
decimal text; so does this reader.
"""

import decimal
import json
import math
import os
import struct
from dataclasses import dataclass

import numpy as np

from .results import ResultFileError, file_error, read_lines

SEPARATORS = " \t,/"
EXPONENT_LETTERS = "EeDdQq"
REPEAT_LIMIT = 2**31 - 1


def _digits(text, pos):
    """The position after the run of decimal digits that starts at pos."""
    while pos < len(text) and "0" <= text[pos] <= "9":
        pos += 1
    return pos


def _real_spelling(text):
    """The text with its exponent letter spelled E, if it has the form of a
    real (optional sign, digits with at most one decimal point, optional
    exponent after E, D or Q with optional sign and digits); else None."""
    pos = 1 if text[:1] in ("+", "-") else 0
    end = _digits(text, pos)
    mantissa_digits = end - pos
    if text[end:end + 1] == ".":
        after = _digits(text, end + 1)
        mantissa_digits += after - end - 1
        end = after
    if mantissa_digits == 0:
        return None
    if end == len(text):
        return text
    if text[end] not in EXPONENT_LETTERS:
        return None
    pos = end + 1
    if text[pos:pos + 1] in ("+", "-"):
        pos += 1
    exponent_end = _digits(text, pos)
    if exponent_end == pos or exponent_end != len(text):
        return None
    return text[:end] + "E" + text[end + 1:]


def _float32(x):
    """x rounded to the nearest 4-byte real; OverflowError beyond its range."""
    return struct.unpack("<f", struct.pack("<f", x))[0]


def _next_float32(x, toward):
    """The 4-byte real after x in the direction of `toward`."""
    with np.errstate(over="ignore"):
        return float(np.nextafter(np.float32(x), np.float32(toward)))


def nearest_float32(text):
    """The 4-byte real nearest to the decimal `text` (in the form that
    _real_spelling returns), ties to even; None when that is an infinity.

    float() rounds the decimal to the nearest double. Rounding that double
    again gives the nearest 4-byte real except when the double lies exactly
    halfway between two of them (every such halfway point is a double); then
    the decimal text itself decides the side."""
    double = float(text)
    sign = math.copysign(1.0, double)
    magnitude = abs(double)
    try:
        single = _float32(magnitude)
    except OverflowError:
        single = math.inf
    if single != magnitude:
        if single < magnitude:
            below, above = single, _next_float32(single, math.inf)
        else:
            below, above = _next_float32(single, 0.0), single
        # Beyond the largest 4-byte real, rounding goes to infinity from
        # halfway to the next power of two.
        halfway = (below + (2.0**128 if math.isinf(above) else above)) / 2
        if magnitude == halfway:
            exact = decimal.Decimal(text).copy_abs()  # abs() would round to 28 digits
            if exact > decimal.Decimal(halfway):
                single = above
            elif exact < decimal.Decimal(halfway):
                single = below
    if math.isinf(single):
        return None
    return sign * single


def first_number(line):
    """The value of the first item on a line that is not blank, as periodscan
    reads it, or None when the line has no first number (the list ends
    there)."""
    stripped = line.lstrip(" \t")
    if not stripped or stripped[0] in ",/":
        return None
    end = 0
    while end < len(stripped) and stripped[end] not in SEPARATORS:
        end += 1
    item = stripped[:end]
    if "*" in item:
        repeat, item = item.split("*", 1)
        if not (repeat.isascii() and repeat.isdigit() and item):
            return None
        # A count beyond 32 bits ends the list; int() is spared its digits.
        repeat = repeat.lstrip("0")
        if not repeat or len(repeat) > 10 or int(repeat) > REPEAT_LIMIT:
            return None
    spelling = _real_spelling(item)
    if spelling is None:
        return None
    return nearest_float32(spelling)


def read_event_times(path):
    """The event times of the file at `path` as doubles that hold 4-byte
    values. Raises ResultFileError when they decrease, or when there are
    fewer than two or the last is not larger than the first."""
    times = []
    # Columns after the first may hold any text, so no encoding is enforced.
    for line_number, line in enumerate(read_lines(path, encoding="latin-1"), start=1):
        if not line.strip(" \t"):
            continue
        value = first_number(line)
        if value is None:
            break
        if times and value < times[-1]:
            raise file_error(path, "event times must not decrease: event %d is %g, event %d "
                             "is %g" % (len(times), times[-1], len(times) + 1, value),
                             line_number)
        times.append(value)
    if len(times) < 2 or not times[-1] > times[0]:
        raise ResultFileError("%s: needs at least two event times with the last larger than "
                              "the first; found %d" % (path, len(times)))
    return np.array(times, dtype=float)


# ---------------------------------------------------------------------------
# EVENTS.json: the description that periodscan-prepare writes beside an event
# file. The figures take the time unit and, where the times have a calendar,
# their origin from it.

TIME_UNITS = ("days", "hours", "seconds", "years")
# Length of one time unit in seconds; a year is the Julian year of 365.25 days.
SECONDS_PER_UNIT = {"days": 86400.0, "hours": 3600.0, "seconds": 1.0,
                    "years": 365.25 * 86400.0}


def description_paths(events_path):
    """Where the description of an event file may lie: EVENTS.json for
    EVENTS.txt (as periodscan-prepare names it), or the whole name plus
    .json."""
    stem = os.path.splitext(events_path)[0]
    paths = [stem + ".json"]
    if stem != events_path:
        paths.append(events_path + ".json")
    return paths


def read_description(events_path):
    """The JSON object that describes the event file, or None when there is
    none. Raises ResultFileError when it is there but not a JSON object."""
    for path in description_paths(events_path):
        if not os.path.isfile(path):
            continue
        try:
            with open(path, encoding="utf-8") as f:
                data = json.load(f)
        except (OSError, UnicodeDecodeError) as e:
            raise file_error(path, "cannot be read (%s)" % e) from None
        except json.JSONDecodeError as e:
            raise file_error(path, "is not JSON (%s)" % e.msg, e.lineno) from None
        if not isinstance(data, dict):
            raise file_error(path, "must hold a JSON object")
        return data
    return None


@dataclass(frozen=True)
class TimeAxis:
    """The unit of the event times and, when they have a calendar, the UTC
    instant of time 0 (a numpy datetime64 in microseconds)."""
    unit: str = None
    origin: np.datetime64 = None

    def suffix(self):
        """" (days)" for axis labels; empty when the unit is not known."""
        return " (%s)" % self.unit if self.unit else ""

    def short_unit(self):
        return {"days": "d", "hours": "h", "seconds": "s", "years": "yr"}.get(self.unit, "")

    @property
    def has_calendar(self):
        return self.origin is not None and self.unit in SECONDS_PER_UNIT

    def to_datetime(self, t):
        """The calendar instants of times t (datetime64 in microseconds)."""
        micro = np.round(np.asarray(t, dtype=float) * SECONDS_PER_UNIT[self.unit] * 1e6)
        return self.origin + micro.astype("int64").astype("timedelta64[us]")

    def date_text(self, t):
        """A time as "2021-07-02 09:42 UTC", or as a plain number without a
        calendar."""
        if not self.has_calendar:
            return "%.6g" % t
        text = str(self.to_datetime(t))          # 2021-07-02T09:42:05.123456
        return text[:16].replace("T", " ") + " UTC"


def parse_origin(text):
    """The datetime64 of an ISO 8601 UTC time such as "2021-01-01T00:00:00Z"
    or "2016-01-01T11:25:04.5Z"; None when it is not one."""
    if not isinstance(text, str):
        return None
    text = text.strip()
    if text.endswith(("Z", "z")):
        text = text[:-1]
    elif text.endswith("+00:00"):
        text = text[:-6]
    try:
        return np.datetime64(text.replace(" ", "T"), "us")
    except ValueError:
        return None


def time_axis(description):
    """The TimeAxis of an event file's description (None gives an axis with
    no unit). An unknown unit or an origin that is not a UTC time is left
    out rather than drawn wrongly."""
    if not description:
        return TimeAxis()
    unit = description.get("unit")
    unit = unit if unit in TIME_UNITS else None
    origin = parse_origin(description.get("origin")) if unit else None
    return TimeAxis(unit, origin)
