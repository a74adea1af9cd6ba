"""CSV catalogues: the CSV of the USGS ComCat search

    time,latitude,longitude,depth,mag,magType,nst,gap,dmin,rms,net,id,updated,place,type,...

and any CSV file whose time column is named with --time-column. Times are
ISO 8601 text (UTC unless a zone is given) or numbers in --time-unit; the
magnitude, position, depth (km), event type and id columns are found by
their usual names or named with --column FIELD=NAME. The delimiter is the
one of , ; tab | that the header line uses most; with --decimal-comma a
comma cannot be one. A row of more or fewer fields than the header cannot be
read: a decimal comma in a comma-separated file splits a number in two."""

import csv

from .records import Event, Problem, SourceError, number_text
from .timeaxis import (DAY_NUMBER_EPOCHS, SECONDS_PER_DAY, UNIT_SECONDS, TimeError, is_number,
                       looks_like_date, parse_iso, parse_number)

COMCAT_HEADER = ("time", "latitude", "longitude", "depth", "mag")

# Usual column names, compared without regard to case; a magnitude column
# may also be any single column whose name ends in "mag" (usgs_mag).
FIELD_NAMES = {
    "magnitude": ("mag", "magnitude"),
    "latitude": ("latitude", "lat"),
    "longitude": ("longitude", "lon", "long", "lng"),
    "depth": ("depth", "depth/km", "depth_km", "depth(km)"),
    "kind": ("type", "eventtype", "event_type"),
    "ident": ("id", "eventid", "event_id"),
}
NUMERIC_FIELDS = ("magnitude", "latitude", "longitude", "depth")
# Field names as the user writes them in --column.
COLUMN_FIELDS = {"magnitude": "magnitude", "latitude": "latitude", "longitude": "longitude",
                 "depth": "depth", "type": "kind", "id": "ident"}
DELIMITERS = (",", ";", "\t", "|")


def looks_like_comcat(sample_lines):
    header = _header_line(sample_lines)
    if header is None:
        return False
    names = [name.strip().lower() for name in header.split(",")]
    return tuple(names[:len(COMCAT_HEADER)]) == COMCAT_HEADER


def _header_line(lines):
    for line in lines:
        text = line.strip()
        if text and not text.startswith("#"):
            return text
    return None


def read_comcat(lines, options, name):
    return read(lines, options, name, time_column="time")


def read(lines, options, name, time_column=None):
    """Events and problems of a CSV file; `lines` is a text stream opened
    with newline="" (csv handles quoted line ends itself)."""
    time_column = time_column or options.time_column
    first = _skip_to_header(lines)
    if first is None:
        raise SourceError("%s: no header line" % name)
    header_number, header_text = first
    where = "%s:%d" % (name, header_number)
    delimiter = _delimiter(header_text, options.decimal_comma, where)
    header = [cell.strip() for cell in next(csv.reader([header_text], delimiter=delimiter))]
    time_index = _find_column(header, time_column, where, "time")
    columns = {field: _field_column(header, field, options, where) for field in FIELD_NAMES}
    # strict: a quote left open to the end of the file, or text after a
    # closing quote, is an error of that row rather than text of the field.
    reader = csv.reader(lines, delimiter=delimiter, strict=True)
    kind_of_times = None   # True once a calendar time was read, False for numbers
    last_line = header_number
    while True:
        number = last_line + 1
        try:
            row = next(reader)
        except StopIteration:
            return
        except csv.Error as error:
            last_line = header_number + reader.line_num
            yield Problem(number, *_quoting_problem(str(error), number, last_line))
            continue
        last_line = header_number + reader.line_num
        if not any(cell.strip() for cell in row):
            continue
        if last_line > number:
            swallowed = _swallowed(row, header, delimiter, time_index)
            if swallowed:
                yield Problem(number, "a quoted field runs over what looks like a record (a "
                              "quote left open?)", "lines %d to %d: %s"
                              % (number, last_line, swallowed[:80]))
                continue
            if len(row) != len(header):
                yield Problem(number, "a quoted field runs across lines and the row has not "
                              "the header's %d fields (a quote left open?)" % len(header),
                              "lines %d to %d, %d fields" % (number, last_line, len(row)))
                continue
        text = delimiter.join(row)
        if len(row) != len(header):
            yield Problem(number, _field_count_problem(row, header, delimiter, time_index),
                          text)
            continue
        if time_index >= len(row) or not row[time_index].strip():
            yield Problem(number, "no time", text)
            continue
        try:
            time, step, calendar = _time(row[time_index], options, kind_of_times)
            values = {field: None for field in FIELD_NAMES}
            for field, index in columns.items():
                if index is not None and index < len(row):
                    cell = row[index]
                    values[field] = (number_text(cell, field, options.decimal_comma)
                                     if field in NUMERIC_FIELDS else cell.strip() or None)
        except _NeedsUnit:
            raise SourceError("%s:%d: the times are numbers (%r): give their unit with "
                              "--time-unit, and --time-epoch if they count from a calendar "
                              "date" % (name, number, row[time_index].strip()))
        except ValueError as error:
            yield Problem(number, str(error), text)
            continue
        kind_of_times = calendar
        yield Event(time, step, calendar, number, **values)


def _delimiter(header_text, decimal_comma, where):
    """The delimiter the header line uses most; a tie goes to "," (to ";"
    with a decimal comma, so that a single column of times can be read)."""
    delimiter = max(DELIMITERS, key=header_text.count)
    if decimal_comma:
        if header_text.count(delimiter) == 0:
            return ";"
        if delimiter == ",":
            raise SourceError("%s: --decimal-comma, but commas also separate the fields of the "
                              "header: a decimal comma could not be told from a separator; "
                              "separate the fields with ';' or tabs" % where)
    return delimiter


def _field_count_problem(row, header, delimiter, time_index):
    """The reason a row of another number of fields than the header's is
    left out."""
    reason = "not the header's %d fields" % len(header)
    if delimiter == "," and len(row) > len(header) and time_index + 1 < len(row) and \
            is_number(row[time_index].strip()) and row[time_index + 1].strip().isdigit():
        reason += (" (decimal commas? give --decimal-comma and separate the fields with ';' "
                   "or tabs)")
    return reason


def _quoting_problem(error, first, last):
    """(reason, text) of a row the csv module cannot read."""
    where = "line %d" % first if last == first else "lines %d to %d" % (first, last)
    if "field limit" in error:
        return ("a field longer than %d bytes (a quote left open?)" % csv.field_size_limit(),
                "%s: the rows there are left out" % where)
    if "expected after" in error or "end of data" in error:
        return ("quotes do not pair (a quote left open?)",
                "%s: %s; the rows there are left out"
                % (where, "text follows a closing quote" if "expected after" in error else
                   "the file ends inside a quoted field"))
    return error, where


def _swallowed(row, header, delimiter, time_index):
    """A line inside a quoted field of the row that looks like a record of
    its own: as many cells as the header (or at least three) with a time
    where the time column is. '' when there is none."""
    least = min(len(header), 3)
    for cell in row:
        for piece in cell.splitlines()[1:]:
            cells = piece.split(delimiter)
            if len(cells) >= least and len(cells) > time_index and \
                    (looks_like_date(cells[time_index]) or is_number(cells[time_index])):
                return piece
    return ""


class _NeedsUnit(Exception):
    pass


def _time(text, options, kind_of_times):
    """(seconds, step, calendar) of a time cell."""
    text = text.strip()
    if looks_like_date(text):
        if kind_of_times is False:
            raise ValueError("a date among times written as numbers")
        time, step = parse_iso(text)
        return time, step, True
    spelled = text.replace(",", ".") if options.decimal_comma else text
    if not is_number(spelled):
        if "," in text and is_number(text.replace(",", ".")):
            raise ValueError("decimal comma in the time (give --decimal-comma)")
        raise TimeError("time is neither a date nor a number")
    if kind_of_times is True and options.time_epoch is None and \
            options.time_unit not in DAY_NUMBER_EPOCHS:
        raise ValueError("a number among times written as dates")
    if options.time_unit is None:
        raise _NeedsUnit()
    return number_time(spelled, options)


def number_time(text, options):
    """(seconds, step, calendar) of a time written as a number in
    options.time_unit: Julian or Modified Julian Day numbers and numbers
    with a --time-epoch are calendar times, the others stay on their own
    axis."""
    value, step = parse_number(text)
    unit = options.time_unit
    if unit in DAY_NUMBER_EPOCHS:
        return ((value - DAY_NUMBER_EPOCHS[unit]) * SECONDS_PER_DAY, step * SECONDS_PER_DAY,
                True)
    seconds = value * UNIT_SECONDS[unit]
    step *= UNIT_SECONDS[unit]
    if options.time_epoch is None:
        return seconds, step, False
    return options.time_epoch + seconds, step, True


def _skip_to_header(lines):
    """(line number, text) of the first line that is neither blank nor a
    comment; the stream is left just after it."""
    number = 0
    for line in lines:
        number += 1
        text = line.strip("\r\n")
        if text.strip() and not text.lstrip().startswith("#"):
            return number, text
    return None


def _find_column(header, wanted, where, what):
    for exact in (True, False):
        for index, name in enumerate(header):
            if name == wanted if exact else name.lower() == wanted.lower():
                return index
    raise SourceError("%s: no column named %r for the %s; the columns are: %s"
                      % (where, wanted, what, ", ".join(header)))


def _field_column(header, field, options, where):
    given = {COLUMN_FIELDS[key]: value for key, value in options.columns.items()}
    if field in given:
        return _find_column(header, given[field], where, field) if given[field] else None
    lowered = [name.lower() for name in header]
    for candidate in FIELD_NAMES[field]:
        if candidate in lowered:
            return lowered.index(candidate)
    if field == "magnitude":
        ending = [i for i, name in enumerate(lowered) if name.endswith("mag")]
        if len(ending) == 1:
            return ending[0]
    return None
