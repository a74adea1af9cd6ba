"""The FDSN event text format (format=text of an fdsnws-event service):

    #EventID|Time|Latitude|Longitude|Depth/km|Author|Catalog|Contributor|ContributorID|
     MagType|Magnitude|MagAuthor|EventLocationName

(one line in the file), then one event a line, fields separated by "|",
times in UTC. Some services add an EventType column; the columns are taken
by their names in the header, or in the standard order when the header is
missing."""

from .records import Event, Problem, SourceError, number_text
from .timeaxis import TimeError, parse_iso

STANDARD_COLUMNS = ("eventid", "time", "latitude", "longitude", "depth/km", "author",
                    "catalog", "contributor", "contributorid", "magtype", "magnitude",
                    "magauthor", "eventlocationname")
FIELDS = {"magnitude": "magnitude", "latitude": "latitude", "longitude": "longitude",
          "depth": "depth/km", "kind": "eventtype", "ident": "eventid"}


def looks_like(sample_lines):
    for line in sample_lines:
        text = line.strip()
        if text:
            names = [name.strip().lower() for name in text.lstrip("#").split("|")]
            return text.startswith("#") and names[:2] == ["eventid", "time"]
    return False


def read(lines, options, name):
    columns = {name: index for index, name in enumerate(STANDARD_COLUMNS)}
    for number, line in enumerate(lines, 1):
        text = line.strip()
        if not text:
            continue
        if text.startswith("#"):
            names = [cell.strip().lower() for cell in text[1:].split("|")]
            if "eventid" in names:
                if "time" not in names:
                    raise SourceError("%s:%d: the header names no Time column" % (name, number))
                columns = {cell: index for index, cell in enumerate(names)}
            continue
        cells = [cell.strip() for cell in text.split("|")]
        if columns["time"] >= len(cells):
            yield Problem(number, "too few fields", text)
            continue
        try:
            time, step = parse_iso(cells[columns["time"]])
            values = {}
            for field, column in FIELDS.items():
                index = columns.get(column)
                cell = cells[index] if index is not None and index < len(cells) else ""
                values[field] = (number_text(cell, field) if field in
                                 ("magnitude", "latitude", "longitude", "depth")
                                 else cell or None)
        except (TimeError, ValueError) as error:
            yield Problem(number, str(error), text)
            continue
        yield Event(time, step, True, number, **values)
