"""Checking an event file the way the programs will read it.

The interactive program takes the first number of each line, stores it as a
4-byte real and ignores the rest of the line; lines of blanks give nothing.
Its list ends silently at the first line that does not start with a number:
a heading, a line that starts with a comma or a "/", a number of another
form (no "inf", "nan" or hexadecimal), one beyond the 4-byte range, or
"r*" (an empty repeat). Items are separated by blanks, tabs, a comma or a
"/", so "2021/01/01 00:54:22" is read as 2021 and "0,0377" as 0; "r*v" is
v. The survey reads the first item of each line (up to a blank, tab or
comma or semicolon) as an 8-byte number, skips blank lines and lines
starting with "#", and refuses any other line that is not a finite number.
Both readings are those of periodscan.eventfile, which the plotting and
declustering tools use too.

examine() reports what each program reads and the traps: a list that ends
before lines that hold numbers, times out of order or without duration,
whole-number times (a date read as its year or day), decimal commas, 4-byte
storage that moves times by more than a hundredth of their typical
spacing, and lists the largest gaps."""

import math
import re
import statistics
from dataclasses import dataclass, field
from decimal import Decimal
from fractions import Fraction
from typing import Optional

from ..eventfile import (BYTE_ORDER_MARK, UNIT_SECONDS, EventFileError, Item, LineFault,
                         check_description, float32_spacing, interactive_item,
                         decimal_comma, nearest_float32, survey_line)
from ..wording import agreeing, counted
from .timeaxis import TimeError, format_iso, parse_iso

# Storage that moves times by more than this share of the median interval
# between neighbouring events changes what a short period sees.
QUANTISATION_SHARE = 0.01
LARGEST_GAPS = 5
SHOWN_LINES = 5


@dataclass
class Value:
    """The first number of a line as the interactive program reads it."""
    line: int
    token: str          # the text of the number (v of "r*v")
    exact: Decimal
    stored: float       # the 4-byte real
    follower: str       # the character after the item ("" at the line end)
    decimal_comma: bool  # the line starts as a number with a decimal comma does


def first_value(text):
    """(Value fields, None) for a line that starts with a number, or
    (None, reason) for one that ends the interactive list, or (None, None)
    for a line of blanks."""
    item = interactive_item(text)
    if not isinstance(item, Item):
        return None, item
    return (item.token, Decimal(item.spelling), item.value, item.follower,
            decimal_comma(text.lstrip(" \t"))), None


@dataclass
class Reading:
    values: list = field(default_factory=list)      # every line that starts with a number
    listed: int = 0                                  # how many the interactive program reads
    end_line: Optional[int] = None
    end_reason: Optional[str] = None
    survey_count: int = 0
    survey_line: Optional[int] = None
    survey_reason: Optional[str] = None


def read(data):
    """Reads the bytes of an event file as both programs do. Lines end at a
    line feed; a carriage return before it is dropped."""
    reading = Reading()
    chunks = data.split(b"\n")
    if chunks and chunks[-1] == b"":
        chunks.pop()
    previous_survey = None
    for number, chunk in enumerate(chunks, 1):
        text = chunk[:-1] if chunk.endswith(b"\r") else chunk
        text = text.decode("latin-1")
        fields, reason = first_value(text)
        # A byte-order mark hides the first number from the interactive
        # program only; the other checks look at the number behind it.
        behind_mark = fields
        if number == 1 and text.startswith(BYTE_ORDER_MARK):
            behind_mark, _ = first_value(text[len(BYTE_ORDER_MARK):])
        if behind_mark is not None:
            reading.values.append(Value(number, *behind_mark))
        if fields is not None:
            if reading.end_line is None:
                reading.listed += 1
        elif reason is not None and reading.end_line is None:
            reading.end_line, reading.end_reason = number, reason
        if reading.survey_line is None:
            previous_survey = _survey_line(reading, number, text, previous_survey)
    return reading


def _survey_line(reading, number, text, previous):
    if number == 1 and text.startswith(BYTE_ORDER_MARK):
        text = text[len(BYTE_ORDER_MARK):]
    value = survey_line(text)
    if value is None:
        return previous
    if isinstance(value, LineFault):
        reading.survey_line, reading.survey_reason = number, value.text()
        return previous
    if previous is not None and value < previous:
        reading.survey_line = number
        reading.survey_reason = "the time decreases"
        return previous
    reading.survey_count += 1
    return value


@dataclass
class Finding:
    trap: bool
    text: str
    line: Optional[int] = None


class Calendar:
    """Calendar dates of times on an event file's axis, from the origin and
    unit of its description (EVENTS.json); says nothing when there is none."""

    def __init__(self, meta):
        self.origin = self.unit = None
        if meta and meta.get("unit") in UNIT_SECONDS:
            self.unit = meta["unit"]
            try:
                self.origin = parse_iso(meta["origin"])[0] if meta.get("origin") else None
            except (TimeError, TypeError):
                self.origin = None

    def date(self, value):
        if self.origin is None:
            return ""
        seconds = self.origin + Fraction(value) * UNIT_SECONDS[self.unit]
        return format_iso(Fraction(round(seconds)))

    def unit_name(self):
        return " " + self.unit if self.unit else ""


def examine(data, meta=None, meta_path=None):
    """Findings on the bytes of an event file, in reading order. `meta` is
    its description (the JSON read from `meta_path`), if there is one, or the
    EventFileError that refused it."""
    reading = read(data)
    findings = []
    note = findings.append
    try:
        if isinstance(meta, EventFileError):
            raise meta
        if meta is not None:
            meta = check_description(meta, meta_path or "its description (.json)")
    except EventFileError as e:
        note(Finding(True, "%s (the programs that read descriptions refuse it)" % e))
        meta = None
    calendar = Calendar(meta)

    values = reading.values
    if reading.end_line is None:
        note(Finding(False, "the interactive program reads %s, to the end of the file"
                     % counted(reading.listed, "time")))
    else:
        later = [v for v in values if v.line > reading.end_line]
        where = "the interactive program's list ends at line %d: %s" % (
            reading.end_line, reading.end_reason)
        if later:
            note(Finding(True, "%s; %s %s with a number and %s not read "
                         "(the first is line %d); it reads %s"
                         % (where, counted(len(later), "later line"),
                            agreeing(len(later), "starts", "start"),
                            agreeing(len(later), "is", "are"), later[0].line,
                            counted(reading.listed, "time")),
                         reading.end_line))
        elif reading.listed == 0:
            note(Finding(True, where + "; it reads no time", reading.end_line))
        elif reading.survey_line is None and reading.survey_count > reading.listed:
            note(Finding(True, "%s; it reads %s, the survey %d"
                         % (where, counted(reading.listed, "time"), reading.survey_count),
                         reading.end_line))
        else:
            note(Finding(False, "%s; it reads %s, and no later line starts with a number"
                         % (where, counted(reading.listed, "time"))))
    if reading.survey_line is None:
        note(Finding(False, "the survey reads %s" % counted(reading.survey_count, "time")))
    else:
        note(Finding(True, "the survey stops here: %s" % reading.survey_reason,
                     reading.survey_line))
    if len(values) < 2:
        note(Finding(True, "fewer than two times: nothing to analyse"))
        return findings

    _order(values, note)
    _spelling(values, note)
    _storage(values, calendar, note)
    _gaps(values, calendar, note)
    return findings


def _order(values, note):
    falls = [(a, b) for a, b in zip(values, values[1:]) if b.exact < a.exact]
    if falls:
        if len(falls) == len(values) - 1:
            note(Finding(True, "the times decrease on every line: the file runs newest first "
                         "(periodscan-prepare sorts it)", values[1].line))
        else:
            lines = ", ".join(str(b.line) for _, b in falls[:SHOWN_LINES])
            n = len(falls)
            note(Finding(True, "%s %s smaller than the one before %s (%s %s%s); "
                         "both programs stop at the first" % (
                             counted(n, "time"), agreeing(n, "is", "are"),
                             agreeing(n, "it", "them"), agreeing(n, "line", "lines"), lines,
                             ", ..." if n > SHOWN_LINES else ""),
                         falls[0][1].line))
    if not falls and not values[-1].stored > values[0].stored:
        note(Finding(True, "the last time is not larger than the first once stored as 4-byte "
                     "reals (%s and %s): the interactive program needs a duration"
                     % (values[0].token, values[-1].token), values[-1].line))


def _spelling(values, note):
    whole = [v for v in values if re.fullmatch(r"[+-]?\d+", v.token)]
    dated = [v for v in whole if v.follower == "/"]
    comma = [v for v in whole if v.decimal_comma]
    if dated:
        note(Finding(True, "%s %s with a date such as %r: each is read as its first "
                     "number, %s" % (counted(len(dated), "line"),
                                     agreeing(len(dated), "starts", "start"),
                                     dated[0].token + "/...", dated[0].token),
                     dated[0].line))
    if comma:
        note(Finding(True, "%s %s with a whole number followed by a comma, as a "
                     "decimal comma writes a time (%s,...): each is read as the whole part "
                     "only" % (counted(len(comma), "line"),
                               agreeing(len(comma), "starts", "start"), comma[0].token),
                     comma[0].line))
    if len(whole) == len(values) and not dated and not comma:
        note(Finding(True, "all %d times are whole numbers: a date read as its year or day? "
                     "(write at least one decimal if whole times are meant)" % len(values),
                     values[0].line))


def _storage(values, calendar, note):
    largest = max(values, key=lambda v: abs(v.stored))
    step = float32_spacing(largest.stored)
    merged = [(a, b) for a, b in zip(values, values[1:])
              if a.exact != b.exact and a.stored == b.stored]
    intervals = [float(b.exact - a.exact) for a, b in zip(values, values[1:])
                 if b.exact > a.exact]
    median = statistics.median(intervals) if intervals else 0.0
    text = ("4-byte storage rounds times to steps of up to %.6g%s (near %s, line %d)"
            % (step, calendar.unit_name(), largest.token, largest.line))
    if merged:
        text += ("; %d neighbouring pairs of different times become equal (the first at "
                 "line %d)" % (len(merged), merged[0][1].line))
    origin = Decimal(math.floor(min(v.exact for v in values)))
    reach = max(abs(v.exact - origin) for v in values)
    better = float32_spacing(float(reach))
    if reach > 0 and better < step:
        place = calendar.date(origin)
        stored = [nearest_float32(str(v.exact - origin)) for v in values]
        still = sum(1 for i in range(len(values) - 1)
                    if values[i].exact != values[i + 1].exact and stored[i] == stored[i + 1])
        text += ("; counted from %s%s the step would be %.6g%s"
                 % (origin, " (%s, --origin of periodscan-prepare)" % place if place else "",
                    better, " and %d pairs would become equal" % still if merged else ""))
    trap = median > 0 and step > QUANTISATION_SHARE * median
    if trap:
        text += (", where the median interval between events is %.6g: storage moves times by "
                 "a noticeable share of their spacing" % median)
    note(Finding(trap, text, largest.line if trap else None))


def _gaps(values, calendar, note):
    ordered = sorted(values, key=lambda v: v.exact)
    pairs = sorted(zip(ordered, ordered[1:]), key=lambda p: p[1].exact - p[0].exact,
                   reverse=True)[:LARGEST_GAPS]
    note(Finding(False, "largest gaps between neighbouring times:"))
    for a, b in pairs:
        dates = calendar.date(a.exact)
        note(Finding(False, "  %.6g%s from line %d to line %d (%s to %s%s)" % (
            float(b.exact - a.exact), calendar.unit_name(), a.line, b.line, a.token, b.token,
            ", %s to %s" % (dates, calendar.date(b.exact)) if dates else "")))
