"""The SCEDC catalogue listing: one event a line,

    YYYY/MM/DD HH:mm:SS.ss ET GT MAG M LAT LON DEPTH Q EVID NPH NGRM

times in UTC, ET the event type (eq earthquake, qb quarry blast), depth in
km; lines starting with "#" are comments, and the last comment,
"### Number of rows returned:N", counts the data rows."""

import re
from fractions import Fraction

from .records import Event, Problem, number_text
from .timeaxis import TimeError, civil_seconds, fraction_step

DATA_LINE = re.compile(r"(\d{4})/(\d\d)/(\d\d)\s+(\d\d):(\d\d):(\d\d)(?:\.(\d*))?(?=\s|$)")
FOOTER = re.compile(r"Number of rows returned:\s*(\d+)")

# Fields by position after splitting at blanks.
TYPE, MAGNITUDE, LATITUDE, LONGITUDE, DEPTH, EVENT_ID = 2, 4, 6, 7, 8, 10
LEAST_FIELDS = DEPTH + 1


def looks_like(sample_lines):
    """True when the first line that is not a comment is an SCEDC data line."""
    for line in sample_lines:
        text = line.strip()
        if text and not text.startswith("#"):
            return DATA_LINE.match(text) is not None
    return False


def read(lines, options):
    rows = 0
    declared = None
    for number, line in enumerate(lines, 1):
        text = line.strip()
        if not text:
            continue
        if text.startswith("#"):
            found = FOOTER.search(text)
            if found:
                declared = (number, int(found.group(1)), text)
            continue
        rows += 1
        yield _event(number, text)
    if declared is not None and declared[1] != rows:
        line_number, count, text = declared
        yield Problem(line_number, "footer declares %d rows, %d found" % (count, rows), text,
                      row=False)


def _event(number, text):
    match = DATA_LINE.match(text)
    if match is None:
        return Problem(number, "not an SCEDC date and time", text)
    fields = text.split()
    if len(fields) < LEAST_FIELDS:
        return Problem(number, "too few fields", text)
    year, month, day, hour, minute, sec, frac = match.groups()
    frac = frac or ""
    try:
        seconds = int(sec) + (Fraction(int(frac), 10 ** len(frac)) if frac else 0)
        time = civil_seconds(int(year), int(month), int(day), int(hour), int(minute), seconds)
        values = [number_text(fields[i], what)
                  for i, what in ((MAGNITUDE, "magnitude"), (LATITUDE, "latitude"),
                                  (LONGITUDE, "longitude"), (DEPTH, "depth"))]
    except (TimeError, ValueError) as error:
        return Problem(number, str(error), text)
    return Event(time, fraction_step(frac), True, number, *values, kind=fields[TYPE],
                 ident=fields[EVENT_ID] if len(fields) > EVENT_ID else None)
