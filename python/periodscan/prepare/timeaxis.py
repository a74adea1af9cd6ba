"""Exact times: calendar arithmetic, ISO 8601 text, numbers with a unit, and
the fixed-point text of the event file.

Every time is carried as a fractions.Fraction of seconds from the source text
to the printed decimals, so no binary floating-point step can lose digits:
2021-01-01T00:54:22.44Z is exactly 1609462462.44 s after 1970-01-01T00:00Z,
and 22.44 s after the midnight before it is printed in days as
0.0377597222 (10 decimals), the exactly rounded value of 3262.44/86400.

Calendar times count seconds from 1970-01-01T00:00:00Z on the proleptic
Gregorian calendar with days of 86400 s (leap seconds are not counted: a
time written 23:59:60 is the midnight that follows). Times given as bare
numbers without a calendar epoch stay on their own axis, whose zero is the
source's zero.
"""

import re
from fractions import Fraction

from ..eventfile import TIME_UNITS
from ..eventfile import UNIT_SECONDS as EVENT_FILE_UNIT_SECONDS

SECONDS_PER_DAY = 86400
NANOSECONDS = 10 ** 9

# The units of event files (a year is the Julian year of 365.25 days), and
# minutes, which sources may use.
UNIT_SECONDS = dict(EVENT_FILE_UNIT_SECONDS, minutes=Fraction(60))

# Units of the event file.
OUTPUT_UNITS = TIME_UNITS

# Day numbers that carry their own epoch: Julian Day 2440587.5 and Modified
# Julian Day 40587 are 1970-01-01T00:00Z.
DAY_NUMBER_EPOCHS = {"jd": Fraction(4881175, 2), "mjd": Fraction(40587)}

# Short spellings accepted after a length (--gap 2d).
UNIT_SUFFIXES = {"s": "seconds", "min": "minutes", "h": "hours", "d": "days", "yr": "years"}

MAX_EXPONENT = 400
# Bounds on the text of a time, so that no text can make the exact
# arithmetic slow or the printed time overflow a double: years within
# +-99999, at most 30 decimals, numbers of at most 100 characters and of
# magnitude below 1e15 (in any unit, 3e7 years of seconds).
MAX_YEAR = 99999
MAX_DECIMALS = 30
MAX_NUMBER_TEXT = 100
MAX_MAGNITUDE = 10 ** 15

_ISO = re.compile(
    r"([+-]?\d{4,})([-/])(\d\d)\2(\d\d)"
    r"(?:[Tt ](\d\d):(\d\d)(?::(\d\d)(?:[.,](\d+))?)?)?"
    r"\s*([Zz]|[+-]\d\d(?::?\d\d)?)?")
_NUMBER = re.compile(r"[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?")


class TimeError(ValueError):
    """A time that cannot be read; the message says why, without the text."""


def days_from_civil(year, month, day):
    """Days from 1970-01-01 to the given proleptic Gregorian date (any year):
    days_from_civil(2021, 1, 1) == 18628, days_from_civil(1969, 12, 31) == -1."""
    year -= month <= 2
    era = year // 400
    year_of_era = year - era * 400
    day_of_year = (153 * (month + (-3 if month > 2 else 9)) + 2) // 5 + day - 1
    day_of_era = year_of_era * 365 + year_of_era // 4 - year_of_era // 100 + day_of_year
    return era * 146097 + day_of_era - 719468


def civil_from_days(days):
    """The (year, month, day) of a day number of days_from_civil."""
    days += 719468
    era = days // 146097
    day_of_era = days - era * 146097
    year_of_era = (day_of_era - day_of_era // 1460 + day_of_era // 36524
                   - day_of_era // 146096) // 365
    day_of_year = day_of_era - (365 * year_of_era + year_of_era // 4 - year_of_era // 100)
    shifted_month = (5 * day_of_year + 2) // 153
    day = day_of_year - (153 * shifted_month + 2) // 5 + 1
    month = shifted_month + (3 if shifted_month < 10 else -9)
    return year_of_era + era * 400 + (month <= 2), month, day


def days_in_month(year, month):
    if month == 2:
        return 29 if year % 4 == 0 and (year % 100 != 0 or year % 400 == 0) else 28
    return 30 if month in (4, 6, 9, 11) else 31


def fraction_step(digits):
    """The place value of the last significant digit of a decimal fraction
    written as `digits` (the text after the point): "44" -> 1/100,
    "500000" -> 1/10, "" or "000" -> 1."""
    return Fraction(1, 10 ** len(digits.rstrip("0")))


def civil_seconds(year, month, day, hour=0, minute=0, seconds=Fraction(0)):
    """Seconds from 1970-01-01T00:00Z to the given UTC date and time;
    TimeError when a field is out of range. Seconds up to 60.999... are
    accepted (a leap second counts into the next minute)."""
    if not 1 <= month <= 12:
        raise TimeError("date out of range")
    if not 1 <= day <= days_in_month(year, month):
        raise TimeError("date out of range")
    if not (0 <= hour <= 23 and 0 <= minute <= 59 and 0 <= seconds < 61):
        raise TimeError("time of day out of range")
    return (days_from_civil(year, month, day) * SECONDS_PER_DAY + hour * 3600 + minute * 60
            + seconds)


def looks_like_date(text):
    """True when text starts like a date (YYYY-MM-DD or YYYY/MM/DD)."""
    return _ISO.match(text.strip()) is not None


def parse_iso(text):
    """(seconds since 1970-01-01T00:00Z, step) of an ISO 8601 date or date
    and time, with "/" also taken between the date fields and a blank in
    place of T. A time without a zone is UTC; a zone offset is taken off.
    The step is the place value of the last significant digit written:
    parse_iso("2016-01-01 11:25:04.500000+00:00") gives step 1/10 s,
    parse_iso("2021-03-01") gives step 86400 s. TimeError if not such a time."""
    match = _ISO.fullmatch(text.strip())
    if match is None:
        raise TimeError("not a date and time")
    year, _, month, day, hour, minute, sec, frac, zone = match.groups()
    if len(year.lstrip("+-").lstrip("0")) > len(str(MAX_YEAR)) or abs(int(year)) > MAX_YEAR:
        raise TimeError("year out of range (at most %d)" % MAX_YEAR)
    if frac is not None and len(frac) > MAX_DECIMALS:
        raise TimeError("more than %d decimals of the second" % MAX_DECIMALS)
    if hour is None:
        step = Fraction(SECONDS_PER_DAY)
        seconds = Fraction(0)
    elif sec is None:
        step = Fraction(60)
        seconds = Fraction(0)
    else:
        step = fraction_step(frac or "")
        seconds = int(sec) + (Fraction(int(frac), 10 ** len(frac)) if frac else 0)
    value = civil_seconds(int(year), int(month), int(day), int(hour or 0), int(minute or 0),
                          seconds)
    if zone and zone not in "Zz":
        digits = zone[1:].replace(":", "")
        offset = int(digits[:2]) * 3600 + int(digits[2:4] or 0) * 60
        if int(digits[:2]) > 23 or int(digits[2:4] or 0) > 59:
            raise TimeError("zone offset out of range")
        value -= offset if zone[0] == "+" else -offset
    return value, step


def format_iso(seconds):
    """ISO 8601 UTC text of an exact time: "2021-01-01T00:00:00Z", with as
    many decimals of the second as the time needs, at most 9 (rounded to
    the nearest nanosecond, halves to even)."""
    nanoseconds = round(Fraction(seconds) * NANOSECONDS)
    whole_days, in_day = divmod(nanoseconds, SECONDS_PER_DAY * NANOSECONDS)
    year, month, day = civil_from_days(whole_days)
    whole_seconds, fraction = divmod(in_day, NANOSECONDS)
    hour, rest = divmod(whole_seconds, 3600)
    minute, sec = divmod(rest, 60)
    text = "%04d-%02d-%02dT%02d:%02d:%02d" % (year, month, day, hour, minute, sec)
    if fraction:
        text += "." + ("%09d" % fraction).rstrip("0")
    return text + "Z"


def parse_number(text):
    """(value, step) of a decimal number: parse_number("1851.20") is
    (Fraction(185120, 100), 1/10). TimeError if not a plain number
    ("inf", "nan", "1_000" and hexadecimal are not)."""
    text = text.strip()
    if len(text) > MAX_NUMBER_TEXT:
        raise TimeError("a number of more than %d characters" % MAX_NUMBER_TEXT)
    match = _NUMBER.fullmatch(text)
    if match is None:
        raise TimeError("not a number")
    mantissa, exponent = match.group(1), match.group(2)
    decimals = mantissa.split(".")[1] if "." in mantissa else ""
    power = 0
    if exponent:
        # The exact value of 1e999999999 would take gigabytes; no time needs it.
        digits = exponent[1:].lstrip("+-").lstrip("0")
        if len(digits) > len(str(MAX_EXPONENT)) or int(digits or "0") > MAX_EXPONENT:
            raise TimeError("number out of range")
        power = int(exponent[1:])
    step = fraction_step(decimals) * Fraction(10) ** power
    value = Fraction(text)
    if abs(value) >= MAX_MAGNITUDE:
        raise TimeError("number out of range (at most 1e15)")
    if step < Fraction(1, 10 ** MAX_DECIMALS):
        raise TimeError("number finer than 1e-%d" % MAX_DECIMALS)
    return value, step


def is_number(text):
    return _NUMBER.fullmatch(text.strip()) is not None


def parse_length(text, default_unit):
    """A length of time in seconds: a number in `default_unit`, or a number
    followed by s, min, h, d or yr ("2d", "12 h"). TimeError otherwise."""
    match = re.fullmatch(r"\s*([0-9.eE+-]+)\s*([a-z]*)\s*", text)
    if match is None:
        raise TimeError("not a length of time")
    number, suffix = match.groups()
    unit = UNIT_SUFFIXES.get(suffix) if suffix else default_unit
    if unit is None:
        raise TimeError("unknown unit %r (use s, min, h, d or yr)" % suffix)
    value, _ = parse_number(number)
    if value <= 0:
        raise TimeError("a length must be positive")
    return value * UNIT_SECONDS[unit]


def format_fixed(value, decimals):
    """Exact decimal text of a Fraction rounded half away from zero to
    `decimals` places: format_fixed(Fraction(1, 8), 2) == "0.13",
    format_fixed(Fraction(-1, 8), 2) == "-0.13", format_fixed(Fraction(-1, 1000), 2)
    == "0.00" (no sign on a zero)."""
    scale = 10 ** decimals
    scaled = abs(value) * scale
    rounded = (2 * scaled.numerator + scaled.denominator) // (2 * scaled.denominator)
    sign = "-" if value < 0 and rounded else ""
    whole, fraction = divmod(rounded, scale)
    if decimals == 0:
        return "%s%d" % (sign, whole)
    return "%s%d.%0*d" % (sign, whole, decimals, fraction)


def exact_decimals(value):
    """The number of decimals that print the Fraction exactly, or None when
    its decimal expansion does not end (1/3, or 1 s in days)."""
    denominator = value.denominator
    twos = fives = 0
    while denominator % 2 == 0:
        denominator //= 2
        twos += 1
    while denominator % 5 == 0:
        denominator //= 5
        fives += 1
    return max(twos, fives) if denominator == 1 else None


# Rounding to the printed decimals moves a time by at most half of the last
# printed place; that place is kept at most a thousandth of the source's own
# time step, so printing adds at most 0.05 % of that step.
PRINT_STEP_FRACTION = Fraction(1, 1000)


def choose_decimals(values, finest_step):
    """Decimals for printing `values` (Fractions in the output unit) whose
    source times were written to `finest_step` (output unit): the fewest
    that print every value exactly if that is no more than the rounding
    rule above asks, else what the rule asks; never fewer than 1, so that a
    time is never written as a whole number."""
    wanted = 1
    limit = finest_step * PRINT_STEP_FRACTION
    while Fraction(1, 10 ** wanted) > limit:
        wanted += 1
    exact = 1
    for value in values:
        needed = exact_decimals(value)
        if needed is None or needed > wanted:
            return wanted
        exact = max(exact, needed)
    return exact
