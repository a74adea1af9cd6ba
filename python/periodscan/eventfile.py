"""The event files of the project, read the way each program reads them, and
the description (EVENTS.json) that lies beside them.

Two dialects read one file differently:

INTERACTIVE, the reading of the interactive program. Each event time is the
first number on its line; further columns are ignored and lines of blanks
give no event. Items are separated by blanks, tabs or a comma; "r*v" stands
for v repeated r times. The list ends at the end of the file or just before
the first line whose first item is not a number: a heading, a line that
starts with a comma or a "/", a number of another form (no "inf", "nan" or
hexadecimal), or one beyond the 4-byte range. Every time is held as a 4-byte
real, rounded once from its decimal text.

SURVEY, the reading of periodscan-survey. Blank lines and lines whose first
item (after blanks) starts with "#" are skipped; a UTF-8 byte-order mark on
line 1 is passed over. Every other line starts with a number, held as a
double: digits with an optional decimal point and exponent (E or e), an
optional "-" or "+" (not both), followed by the end of the line, a blank, a
tab, a comma or a semicolon. A number beyond the range of doubles (1e999, or
1e-400, which would become zero) is not a number; "inf" and "nan" are not
finite; a whole number followed by a comma and a run of digits ("12,5") is a
decimal comma, unless the digits go on with ".", "e" or "E" ("12,5.3",
"1609459200,3.1": the comma then separates the time from a real number).
Any such line is an error naming the line; times that decrease are an
error too unless they are to be sorted.
"""

import decimal
import json
import math
import os
import re
import struct
from dataclasses import dataclass
from fractions import Fraction

import numpy as np

from .inputfile import (DESCRIPTION_LIMIT, InputFileError, ResultFileError, file_error,
                        read_input_bytes, read_lines)

INTERACTIVE = "interactive"
SURVEY = "survey"
DIALECTS = (INTERACTIVE, SURVEY)


class EventFileError(ResultFileError):
    """An event file or its description that cannot be read; the message
    names the file and, where there is one, the line."""


class UnreadableDescription(EventFileError):
    """A description that cannot be read at all (missing, not a regular
    file, too large, not UTF-8)."""


def _error(path, message, line=None):
    return EventFileError(str(file_error(path, message, line)))


# ---------------------------------------------------------------------------
# Time units of event files. A year is the Julian year of 365.25 days.

UNIT_SECONDS = {"days": Fraction(86400), "hours": Fraction(3600), "seconds": Fraction(1),
                "years": Fraction(36525 * 86400, 100)}
TIME_UNITS = tuple(UNIT_SECONDS)
SECONDS_PER_UNIT = {unit: float(seconds) for unit, seconds in UNIT_SECONDS.items()}
DAYS_PER_UNIT = {unit: float(seconds / 86400) for unit, seconds in UNIT_SECONDS.items()}
SHORT_UNITS = {"days": "d", "hours": "h", "seconds": "s", "years": "yr"}


# ---------------------------------------------------------------------------
# 4-byte reals


def float32(x):
    """The double x rounded to the nearest 4-byte real; OverflowError beyond
    its range. Times of the interactive program are held this way."""
    return struct.unpack("<f", struct.pack("<f", x))[0]


def _next_float32(x, toward):
    """The 4-byte real after x in the direction of `toward`."""
    with np.errstate(over="ignore"):
        return float(np.nextafter(np.float32(x), np.float32(toward)))


def nearest_float32(text):
    """The 4-byte real nearest to a decimal text (digits, point, exponent
    after E), ties to even; None when that is an infinity.

    float() rounds the decimal to the nearest double. Rounding that double
    again gives the nearest 4-byte real except when the double lies exactly
    halfway between two of them (every such halfway point is a double); then
    the decimal text itself decides the side."""
    double = float(text)
    sign = math.copysign(1.0, double)
    magnitude = abs(double)
    try:
        single = float32(magnitude)
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


def float32_spacing(value):
    """The distance between the 4-byte reals around |value|, the step to
    which 4-byte storage quantises times of that size:
    float32_spacing(364.9) == 2**-15, float32_spacing(2459215.5) == 0.25."""
    magnitude = abs(value)
    if magnitude < 2.0**-126:
        return 2.0**-149
    _, exponent = math.frexp(magnitude)
    return 2.0 ** (exponent - 24)


# ---------------------------------------------------------------------------
# The interactive dialect

INTERACTIVE_SEPARATORS = " \t,/"
EXPONENT_LETTERS = "EeDdQq"
REPEAT_LIMIT = 2**31 - 1


def _digits(text, pos):
    """The position after the run of decimal digits that starts at pos."""
    while pos < len(text) and "0" <= text[pos] <= "9":
        pos += 1
    return pos


def real_spelling(text):
    """The text with its exponent letter spelled E, if it has the form of a
    real of the interactive program (optional sign, digits with at most one
    decimal point, optional exponent after E, D or Q with optional sign and
    digits); else None."""
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


@dataclass(frozen=True)
class Item:
    """The first number of a line as the interactive program reads it."""
    token: str          # the text of the number (v of "r*v")
    spelling: str       # the token with its exponent letter spelled E
    value: float        # the 4-byte real
    follower: str       # the character after the item ("" at the line end)


def shown_item(text, width=40):
    return repr(text if len(text) <= width else text[:width] + "...")


def interactive_item(line):
    """The Item of a line that starts with a number, as the interactive
    program reads it; None for a line of blanks; else the reason (a string)
    why its list ends at this line."""
    stripped = line.lstrip(" \t")
    if not stripped:
        return None
    if stripped[0] == ",":
        return "it starts with a comma, which gives no number"
    if stripped[0] == "/":
        return "it starts with \"/\", which ends the read"
    end = 0
    while end < len(stripped) and stripped[end] not in INTERACTIVE_SEPARATORS:
        end += 1
    item = token = stripped[:end]
    if "*" in item:
        repeat, token = item.split("*", 1)
        if not (repeat.isascii() and repeat.isdigit()) or not repeat.strip("0"):
            return "%s is not a number" % shown_item(item)
        # A count beyond 32 bits ends the list; int() is spared its digits.
        repeat = repeat.lstrip("0")
        if len(repeat) > len(str(REPEAT_LIMIT)) or int(repeat) > REPEAT_LIMIT:
            return "the repeat count of %s is beyond 32 bits" % shown_item(item)
        if not token:
            return "%s gives no number" % shown_item(item)
    spelling = real_spelling(token)
    if spelling is None:
        return "%s is not a number" % shown_item(item)
    value = nearest_float32(spelling)
    if value is None:
        return "%s is beyond the range of 4-byte reals" % shown_item(item)
    return Item(token, spelling, value, stripped[end:end + 1])


def interactive_number(line):
    """The value of the first item on a line that is not blank, as the
    interactive program reads it, or None when the line has no first number
    (the list ends there)."""
    item = interactive_item(line)
    return item.value if isinstance(item, Item) else None


# ---------------------------------------------------------------------------
# The survey dialect

SURVEY_SEPARATORS = " \t,;"
BYTE_ORDER_MARK = "\xef\xbb\xbf"      # UTF-8, as latin-1 text
# The numbers that the survey's reader takes: one optional "+" ahead of the
# forms of std::from_chars (general format), whose "inf", "infinity" and
# "nan(chars)" are taken in any case and then refused as not finite.
_SURVEY_NUMBER = re.compile(
    r"[+-]?(?:(?P<mantissa>[0-9]+\.?[0-9]*|\.[0-9]+)(?:[eE][+-]?[0-9]+)?"
    r"|(?P<special>inf(?:inity)?|nan(?:\([0-9A-Za-z_]*\))?))", re.IGNORECASE)
_WHOLE = re.compile(r"[+-]?[0-9]+")
# The digits after the comma of a decimal comma: a run of digits not going on
# as a real number (with "." or an exponent).
_DECIMAL_COMMA_DIGITS = re.compile(r"[0-9]+(?![0-9.eE])")
DECIMAL_COMMA = ("has a decimal comma: write decimal points (periodscan-prepare "
                 "--decimal-comma converts a CSV table with a header row)")
SHOWN_LENGTH = 60


def survey_number(text):
    """(value, None) when `text` starts with a number of the survey followed
    by the end of the text or a separator, else (None, why not: "is not a
    number", ...). The value may be an infinity or nan (spelled "inf",
    "nan"), which are not finite."""
    match = _SURVEY_NUMBER.match(text)
    if match is None:
        return None, "is not a number"
    end = match.end()
    if end < len(text) and text[end] not in SURVEY_SEPARATORS:
        return None, "is not a number"
    if decimal_comma(text, match):
        return None, DECIMAL_COMMA
    spelling = match.group(0).lstrip("+")
    if match.group("special"):
        if spelling.lstrip("-")[:1] in "nN":
            return math.nan, None
        return (-math.inf if spelling.startswith("-") else math.inf), None
    value = float(spelling)
    if math.isinf(value) or (value == 0 and match.group("mantissa").strip("0.")):
        return None, "is beyond the range of doubles"
    return value, None


def decimal_comma(text, match=None):
    """Whether `text` starts with a whole number written with a decimal comma
    ("12,5", "0,5,3"): a whole number, a comma and digits that do not go on
    as a real number ("12,5.3" is the time 12 and the number 5.3)."""
    match = match or _SURVEY_NUMBER.match(text)
    if match is None or not _WHOLE.fullmatch(match.group(0)):
        return False
    end = match.end()
    return (text[end:end + 1] == ","
            and _DECIMAL_COMMA_DIGITS.match(text, end + 1) is not None)


def parse_number(text):
    """The finite number that is the whole of `text` (a column of an event
    file), as the survey spells numbers; None otherwise."""
    value, _ = survey_number(text)
    if value is None or not math.isfinite(value) or _SURVEY_NUMBER.match(text).end() != len(text):
        return None
    return value


@dataclass(frozen=True)
class LineFault:
    """Why the survey refuses a line: its first item and what is wrong."""
    item: str
    reason: str

    def text(self):
        return "%s %s" % (shown_item(self.item), self.reason)


def survey_line(text):
    """What the survey makes of one line (its byte-order mark removed): None
    for a line it skips, the time (a finite double), or a LineFault."""
    stripped = text.lstrip(" \t")
    if not stripped or stripped.startswith("#"):
        return None
    value, why = survey_number(stripped)
    if value is None or not math.isfinite(value):
        item = re.split("[ \t;]", stripped, maxsplit=1)[0]
        if why != DECIMAL_COMMA:
            item = item.split(",", 1)[0]
        return LineFault(item, why or "is not finite")
    return value


# ---------------------------------------------------------------------------
# Reading a whole file


@dataclass
class EventList:
    """The events of a file: times (doubles; of the interactive dialect they
    hold 4-byte values), the line of every time, the lines skipped (survey
    dialect), and whether the times were sorted."""
    path: str
    dialect: str
    times: np.ndarray
    lines: list
    skipped: int = 0
    reordered: bool = False


def read_events(path, dialect=INTERACTIVE, sort=False, minimum=2):
    """The events of the file at `path` read as `dialect` reads them.
    Raises EventFileError when a line is refused, when the times decrease
    (unless `sort`: the survey dialect then sorts them, as --sort does), or
    when there are fewer than `minimum` or the last is not larger than the
    first."""
    if dialect not in DIALECTS:
        raise ValueError("unknown dialect %r" % dialect)
    # Columns after the first may hold any text, so no encoding is enforced.
    lines = read_lines(path, encoding="latin-1", what="an event file")
    times, numbers, skipped = [], [], 0
    for number, line in enumerate(lines, start=1):
        if dialect == INTERACTIVE:
            if not line.strip(" \t"):
                continue
            value = interactive_number(line)
            if value is None:
                break
        else:
            if number == 1 and line.startswith(BYTE_ORDER_MARK):
                line = line[len(BYTE_ORDER_MARK):]
            value = survey_line(line)
            if value is None:
                skipped += 1
                continue
            if isinstance(value, LineFault):
                raise _error(path, "not a time: %s" % value.text(), number)
        if times and value < times[-1] and not (sort and dialect == SURVEY):
            raise _error(path, "event times must not decrease: event %d is %s, event %d is %s"
                         % (len(times), _spelled(times[-1], dialect), len(times) + 1,
                            _spelled(value, dialect)), number)
        times.append(value)
        numbers.append(number)
    reordered = False
    if sort and any(b < a for a, b in zip(times, times[1:])):
        order = sorted(range(len(times)), key=times.__getitem__)
        times = [times[i] for i in order]
        numbers = [numbers[i] for i in order]
        reordered = True
    if len(times) < minimum or (minimum >= 2 and not times[-1] > times[0]):
        raise _error(path, "needs at least two event times with the last larger than the "
                     "first; found %d" % len(times))
    return EventList(str(path), dialect, np.array(times, dtype=float), numbers, skipped,
                     reordered)


def _spelled(value, dialect):
    return "%g" % value if dialect == INTERACTIVE else repr(value)


def read_event_times(path, dialect=INTERACTIVE, sort=False):
    """The times of read_events."""
    return read_events(path, dialect, sort).times


# ---------------------------------------------------------------------------
# EVENTS.json: the description that periodscan-prepare writes beside an event
# file (origin, unit, columns, ...). Everything reads it here.

# The keys that the programs use, with the JSON types they must have; null is
# taken as "not known", as if the key were absent.
DESCRIPTION_TYPES = {
    "unit": (str, "a string"),
    "origin": (str, "a string"),
    "columns": (list, "a list of names"),
    "declustering": (dict, "an object"),
}


def description_paths(events_path):
    """Where the description of an event file may lie, as the survey looks
    for it: NAME.json for NAME.txt (as periodscan-prepare names it), then the
    whole name plus .json."""
    events_path = str(events_path)
    stem = os.path.splitext(events_path)[0]
    paths = [stem + ".json"] if stem != events_path else []
    return paths + [events_path + ".json"]


def _refuse_constant(name):
    raise ValueError("%s is not a JSON number" % name)


def parse_description(text, path):
    """The checked JSON object of a description's text; EventFileError
    naming `path` otherwise."""
    try:
        data = json.loads(text, parse_constant=_refuse_constant)
    except json.JSONDecodeError as e:
        raise _error(path, "is not JSON (%s)" % e.msg, e.lineno) from None
    except RecursionError:
        raise _error(path, "is nested too deeply to be a description") from None
    except ValueError as e:
        raise _error(path, "is not JSON (%s)" % e) from None
    return check_description(data, path)


def check_description(data, path):
    """`data` if it is a JSON object whose keys in DESCRIPTION_TYPES have
    their types (or are null, which is dropped); else EventFileError naming
    `path`."""
    if not isinstance(data, dict):
        raise _error(path, "must hold a JSON object, not %s" % _json_kind(data))
    checked = {}
    for key, value in data.items():
        if key in DESCRIPTION_TYPES and value is None:
            continue
        if key in DESCRIPTION_TYPES:
            kind, text = DESCRIPTION_TYPES[key]
            if not isinstance(value, kind) or (
                    key == "columns" and not all(isinstance(c, str) for c in value)):
                raise _error(path, '"%s" must be %s, not %s'
                             % (key, text, json.dumps(value)[:SHOWN_LENGTH]))
        checked[key] = value
    return checked


def _json_kind(value):
    for kind, name in ((dict, "an object"), (list, "a list"), (str, "a string"),
                       (bool, "true or false"), (int, "a number"), (float, "a number")):
        if isinstance(value, kind):
            return name
    return "null"


def description_path(events_path):
    """The path of the description of an event file, or None when there is
    none."""
    for path in description_paths(events_path):
        if os.path.isfile(path):
            return path
    return None


def read_description(events_path):
    """The checked JSON object that describes the event file, or None when
    there is none. Raises EventFileError when it is there but cannot be
    read or is not a description."""
    path = description_path(events_path)
    if path is not None:
        return parse_description(read_description_text(path), path)
    return None


def read_description_text(path):
    """The text of the description at `path`: a regular file of at most
    DESCRIPTION_LIMIT bytes of UTF-8; EventFileError otherwise."""
    try:
        return read_input_bytes(path, DESCRIPTION_LIMIT, "a description").decode("utf-8")
    except InputFileError as e:
        raise UnreadableDescription(str(e)) from None
    except UnicodeDecodeError as e:
        raise UnreadableDescription("%s: is not UTF-8 text (byte %d)"
                                    % (path, e.start + 1)) from None


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
        return SHORT_UNITS.get(self.unit, "")

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
    except (ValueError, OverflowError):
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
