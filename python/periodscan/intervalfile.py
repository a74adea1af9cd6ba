"""Reading the observation intervals of a survey (its --intervals file): the
stretches of time over which the events were watched, as the survey reads
them. One interval a line, its start and its end the first two numbers of
the line (anything after them is ignored); blank lines and '#' comments are
skipped; each interval ends after it starts and starts no earlier than the
one before ended (touching intervals are allowed).

    "0 10"     -> (0, 10)
    "10, 12.5" -> (10, 12.5)
    "11 20"    -> refused: starts before the interval on the line before ends
"""

import math
import os

import numpy as np

from .eventfile import EventFileError, SURVEY_SEPARATORS, survey_number
from .results import ResultFileError, file_error, read_lines


def _fields(text):
    """The first two fields of a line split as the survey splits it."""
    fields, rest = [], text.strip(SURVEY_SEPARATORS)
    while rest and len(fields) < 2:
        end = 0
        while end < len(rest) and rest[end] not in SURVEY_SEPARATORS:
            end += 1
        fields.append(rest[:end])
        rest = rest[end:].lstrip(SURVEY_SEPARATORS)
    return fields


def read_intervals(path):
    """The intervals of `path` as an array of (start, end) rows; an
    EventFileError naming the file and line for anything else."""
    try:
        lines = read_lines(path, what="an interval file")
    except ResultFileError as e:
        raise EventFileError(str(e)) from None
    out = []
    for line_number, line in enumerate(lines, start=1):
        text = line.strip()
        if not text or text.startswith("#"):
            continue
        pair = []
        for field in _fields(text):
            value, why = survey_number(field)
            if value is None:
                raise EventFileError(str(file_error(path, "%r %s" % (field, why), line_number)))
            if not math.isfinite(value):
                raise EventFileError(str(file_error(path, "%r is not finite" % field,
                                                    line_number)))
            pair.append(value)
        if len(pair) < 2:
            raise EventFileError(str(file_error(path, "an interval needs a start and an end",
                                                line_number)))
        start, end = pair
        if not end > start:
            raise EventFileError(str(file_error(path, "the interval must end after it starts",
                                                line_number)))
        if out and start < out[-1][1]:
            raise EventFileError(str(file_error(
                path, "the interval starts before the one on the line before ends",
                line_number)))
        out.append((start, end))
    if not out:
        raise EventFileError(str(file_error(path, "holds no interval")))
    return np.array(out, dtype=float)


def table_intervals_path(recorded, table_path):
    """Where the intervals file named in a table's record is: the path as
    the survey was given it (relative to where it ran), else the same path
    relative to the table's folder."""
    if os.path.isabs(recorded) or os.path.exists(recorded) or table_path is None:
        return recorded
    beside = os.path.join(os.path.dirname(table_path), recorded)
    return beside if os.path.exists(beside) else recorded
