"""QuakeML 1.2 event parameters, read with the standard library's expat.

Each <event> gives one event: the time, latitude, longitude and depth of its
preferred origin and the value of its preferred magnitude (the first origin
or magnitude when the event names no preferred one), and its <type>. Depths
are metres in QuakeML and are written in km. Elements are matched by their
local names, so the Basic Event Description namespace of any service
works; child order does not matter (preferredOriginID may follow the
origins).

The file is parsed as it is read, without building a tree. Entity and
document type declarations are refused: QuakeML has neither, and refusing
them shuts out entity expansion and the fetching of external entities.
Elements nested more than MAX_DEPTH (100) deep, and element texts longer
than MAX_TEXT (1 MiB), are refused with the line where they are met; a
document may be one line of any length."""

import xml.parsers.expat
from decimal import Decimal

from .records import Event, Problem, SourceError, number_text
from .timeaxis import TimeError, parse_iso

CHUNK = 1 << 16
# Real documents nest a few levels deep and hold short texts; deeper
# nesting or longer texts are refused rather than collected.
MAX_DEPTH = 100
MAX_TEXT = 1 << 20

# Text kept, by the path of local names below <event>.
EVENT_TEXT = {("preferredOriginID",): "preferred_origin",
              ("preferredMagnitudeID",): "preferred_magnitude",
              ("type",): "kind"}
ORIGIN_TEXT = {("time", "value"): "time", ("latitude", "value"): "latitude",
               ("longitude", "value"): "longitude", ("depth", "value"): "depth"}
MAGNITUDE_TEXT = {("mag", "value"): "magnitude"}


def looks_like(sample_text):
    head = sample_text.lstrip("\ufeff \t\r\n")
    return head.startswith("<") and "quakeml" in head[:4096].lower()


class _Refused(Exception):
    pass


class _Reader:
    """Collects events from expat's callbacks; `done` holds the events and
    problems finished since it was last emptied."""

    def __init__(self, parser):
        self.parser = parser
        self.path = []          # local names of the open elements
        self.event = None       # the event being read: its fields and parts
        self.part = None        # the origin or magnitude being read
        self.part_depth = 0
        self.event_depth = 0
        self.text = []
        self.text_size = 0
        self.done = []
        self.root_checked = False

    def start(self, name, attributes):
        local = name.rpartition("}")[2]
        if len(self.path) >= MAX_DEPTH:
            raise SourceError("elements nested more than %d deep" % MAX_DEPTH)
        if not self.root_checked:
            self.root_checked = True
            if local not in ("quakeml", "eventParameters"):
                raise SourceError("not a QuakeML document (its root is <%s>)" % local)
        self.path.append(local)
        self.text = []
        self.text_size = 0
        if local == "event" and self.event is None:
            self.event = {"line": self.parser.CurrentLineNumber, "origins": [],
                          "magnitudes": [], "public_id": attributes.get("publicID")}
            self.event_depth = len(self.path)
        elif self.event is not None and self.part is None and \
                len(self.path) == self.event_depth + 1 and local in ("origin", "magnitude"):
            self.part = {"public_id": attributes.get("publicID"), "kind": local}
            self.part_depth = len(self.path)
            self.event["origins" if local == "origin" else "magnitudes"].append(self.part)

    def characters(self, data):
        self.text_size += len(data)
        if self.text_size > MAX_TEXT:
            raise SourceError("an element's text longer than %d MiB" % (MAX_TEXT >> 20))
        self.text.append(data)

    def end(self, name):
        if self.event is not None:
            text = "".join(self.text).strip()
            if self.part is not None:
                inner = tuple(self.path[self.part_depth:])
                table = ORIGIN_TEXT if self.part["kind"] == "origin" else MAGNITUDE_TEXT
                if inner in table:
                    self.part[table[inner]] = text
                if len(self.path) == self.part_depth:
                    self.part = None
            else:
                inner = tuple(self.path[self.event_depth:])
                if inner in EVENT_TEXT:
                    self.event[EVENT_TEXT[inner]] = text
                if len(self.path) == self.event_depth:
                    self.done.append(_finish(self.event))
                    self.event = None
        self.path.pop()
        self.text = []
        self.text_size = 0


def _preferred(parts, wanted, what):
    if not parts:
        return None
    if not wanted:
        return parts[0]
    for part in parts:
        if part.get("public_id") == wanted:
            return part
    raise ValueError("preferred %s not in the event" % what)


def _finish(event):
    line = event["line"]
    text = event.get("public_id") or "event at line %d" % line
    try:
        origin = _preferred(event["origins"], event.get("preferred_origin"), "origin")
        magnitude = _preferred(event["magnitudes"], event.get("preferred_magnitude"),
                               "magnitude")
        if origin is None:
            raise ValueError("no origin")
        if not origin.get("time"):
            raise ValueError("origin has no time")
        time, step = parse_iso(origin["time"])
        depth = number_text(origin.get("depth", ""), "depth")
        values = dict(
            magnitude=number_text(magnitude.get("magnitude", ""), "magnitude")
            if magnitude else None,
            latitude=number_text(origin.get("latitude", ""), "latitude"),
            longitude=number_text(origin.get("longitude", ""), "longitude"),
            depth=None if depth is None else _metres_to_km(depth))
    except (TimeError, ValueError) as error:
        return Problem(line, str(error), text)
    return Event(time, step, True, line, kind=event.get("kind") or None,
                 ident=event.get("public_id"), **values)


def _metres_to_km(text):
    """Exact decimal text: "31750.0" -> "31.7500", "-500" -> "-0.500"."""
    return str(Decimal(text).scaleb(-3))


def read(binary, options, name):
    """Events and problems of the QuakeML document on the binary stream."""
    parser = xml.parsers.expat.ParserCreate(namespace_separator="}")
    reader = _Reader(parser)
    parser.StartElementHandler = reader.start
    parser.EndElementHandler = reader.end
    parser.CharacterDataHandler = reader.characters

    def refuse(*_):
        raise _Refused()

    parser.StartDoctypeDeclHandler = refuse
    parser.EntityDeclHandler = refuse
    parser.SetParamEntityParsing(xml.parsers.expat.XML_PARAM_ENTITY_PARSING_NEVER)
    while True:
        chunk = binary.read(CHUNK)
        try:
            parser.Parse(chunk, not chunk)
        except _Refused:
            raise SourceError("%s:%d: document type or entity declarations are not read"
                              % (name, parser.CurrentLineNumber)) from None
        except SourceError as error:
            raise SourceError("%s:%d: %s" % (name, parser.CurrentLineNumber, error)) from None
        except xml.parsers.expat.ExpatError as error:
            raise SourceError("%s:%d: not well-formed XML: %s"
                              % (name, error.lineno, xml.parsers.expat.ErrorString(error.code))
                              ) from None
        yield from reader.done
        reader.done = []
        if not chunk:
            break
