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
import math
import struct

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
