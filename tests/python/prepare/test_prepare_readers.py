"""The catalogue readers, on excerpts of each format: the same four events of
the 2021 Southern California catalogue must come out of every format with the
same exact times, and every unreadable row must be reported with its line."""

import gzip
import io
from fractions import Fraction

import pytest

from prepare_support import DATA
from periodscan.prepare import sources
from periodscan.prepare.records import Event, Problem, ReadOptions, SourceError
from periodscan.prepare.timeaxis import format_iso


def read(path, forced=None, **options):
    source = sources.load(str(path), ReadOptions(**options), forced)
    return source.format, source.items


def events(items):
    return [(format_iso(e.time), e.magnitude, e.latitude, e.longitude, e.depth, e.kind)
            for e in sorted((i for i in items if isinstance(i, Event)), key=lambda e: e.time)]


def problems(items):
    return [(p.line, p.reason) for p in items if isinstance(p, Problem)]


FOUR_EVENTS = [
    ("2021-01-01T00:54:22.44Z", "0.65", "33.635", "-116.665", "16.2"),
    ("2021-01-01T01:23:49.09Z", "1.77", "34.039", None, "10.2"),
    ("2021-01-01T01:35:18.4Z", "1.91", "33.835", "-117.847", "5.4"),
    ("2021-01-04T19:55:12.54Z", "1.25", "34.999", "-118.185", "-0.8"),
]


@pytest.mark.parametrize("name, fmt, types", [
    ("scedc_2021_excerpt.catalog", "scedc", ["eq", "eq", "eq", "qb"]),
    ("comcat_2021_excerpt.csv", "comcat", ["earthquake"] * 3 + ["quarry blast"]),
    ("fdsn_2021_excerpt.txt", "fdsn-text", ["earthquake"] * 3 + ["quarry blast"]),
])
def test_each_format_gives_the_same_events(name, fmt, types):
    found, items = read(DATA / name)
    assert found == fmt
    assert problems(items) == []
    got = events(items)
    # Longitude -118.760 is written -118.76 outside the SCEDC listing.
    assert [g[:3] + (g[4],) for g in got] == [e[:3] + (e[4],) for e in FOUR_EVENTS]
    assert [g[5] for g in got] == types


def test_quakeml_takes_the_preferred_origin_and_magnitude():
    fmt, items = read(DATA / "three_events.quakeml")
    assert fmt == "quakeml"
    assert problems(items) == []
    assert events(items) == [
        # preferred origin and magnitude named after them, not the first
        ("1952-07-21T11:52:14.54Z", "7.50", "34.958", "-118.998", "6.0000", "earthquake"),
        # preferred named before them; depth in metres becomes km
        ("2021-01-01T00:54:22.44Z", "0.65", "33.635", "-116.665", "16.200", "earthquake"),
        # no preferred one named: the only origin and magnitude
        ("2021-01-04T19:55:12.54Z", "1.25", "34.999", "-118.185", "-0.800", "quarry blast"),
    ]


QUAKEML = """<?xml version="1.0"?>
<q:quakeml xmlns:q="http://quakeml.org/xmlns/quakeml/1.2" xmlns="http://quakeml.org/xmlns/bed/1.2">
 <eventParameters publicID="smi:x/c">
  <event publicID="smi:x/e1">
   <preferredOriginID>smi:x/o9</preferredOriginID>
   <origin publicID="smi:x/o1"><time><value>2021-01-01T00:00:00Z</value></time></origin>
  </event>
  <event publicID="smi:x/e2"><type>earthquake</type></event>
  <event publicID="smi:x/e3">
   <origin publicID="smi:x/o3"><latitude><value>1</value></latitude></origin>
  </event>
  <event publicID="smi:x/e4">
   <origin publicID="smi:x/o4"><time><value>2021-01-02T00:00:00Z</value></time>
    <depth><value>deep</value></depth></origin>
  </event>
 </eventParameters>
</q:quakeml>
"""


def test_quakeml_events_that_cannot_be_read_are_named_by_line(tmp_path):
    path = tmp_path / "faults.xml"
    path.write_text(QUAKEML)
    assert problems(read(path)[1]) == [(4, "preferred origin not in the event"),
                                       (8, "no origin"), (9, "origin has no time"),
                                       (12, "depth is not a number")]


@pytest.mark.parametrize("text, message", [
    ('<?xml version="1.0"?>\n<!DOCTYPE q [<!ENTITY a "aaaa">]>\n<quakeml>&a;</quakeml>',
     "x.xml:2: document type or entity declarations are not read"),
    ('<?xml version="1.0"?>\n<quakeml>\n<eventParameters>\n</quakeml>',
     "x.xml:4: not well-formed XML: mismatched tag"),
    ('<?xml version="1.0"?>\n<html>quakeml</html>',
     "x.xml:2: not a QuakeML document (its root is <html>)"),
])
def test_unsafe_or_broken_xml_is_refused(tmp_path, monkeypatch, text, message):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "x.xml").write_text(text)
    with pytest.raises(SourceError) as error:
        read("x.xml", forced="quakeml")
    assert str(error.value) == message


def test_scedc_rows_that_cannot_be_read_and_a_footer_that_differs(tmp_path):
    lines = (DATA / "scedc_2021_excerpt.catalog").read_text().splitlines()
    lines[11] = lines[11].replace("2021/01/01", "2021/02/30")
    lines[12] = lines[12][:40]
    lines.insert(13, "2021/01/01 01:40:00.52 eq  l 0,26 l    35.864 -117.647   9.5 A 37463653")
    path = tmp_path / "damaged.catalog"
    path.write_text("\n".join(lines) + "\n")
    assert problems(read(path)[1]) == [
        (12, "date out of range"), (13, "too few fields"),
        (14, "decimal comma in the magnitude (give --decimal-comma)"),
        (17, "footer declares 4 rows, 5 found")]


def test_a_listing_without_its_header_is_still_a_listing(tmp_path):
    path = tmp_path / "headless.txt"
    lines = (DATA / "scedc_2021_excerpt.catalog").read_text().splitlines()
    path.write_text("\n".join(lines[10:14]) + "\n")
    fmt, items = read(path)
    assert fmt == "scedc" and len(events(items)) == 4


def test_fdsn_text_without_a_header_uses_the_standard_columns(tmp_path):
    path = tmp_path / "plain.txt"
    lines = (DATA / "fdsn_2021_excerpt.txt").read_text().splitlines()[1:]
    path.write_text("\n".join("|".join(line.split("|")[:13]) for line in lines) + "\n")
    _, items = read(path, forced="fdsn-text")
    assert [e[:5] for e in events(items)][0] == FOUR_EVENTS[0]


@pytest.mark.parametrize("body, options, expected", [
    # ISO times with a zone, a semicolon-separated file with a named column
    ("id;when;Magnitude\n1;2021-01-01T01:00:00+01:00;2,5\n", {"decimal_comma": True},
     [("2021-01-01T00:00:00Z", "2.5")]),
    # Julian Day numbers keep every digit
    ("t,mag\n2459215.53775972,1\n", {"time_unit": "jd"},
     [("2021-01-01T00:54:22.439808Z", "1")]),
    # numbers from a calendar epoch
    ("t\n1.5\n", {"time_unit": "hours", "time_epoch": Fraction(18628 * 86400)},
     [("2021-01-01T01:30:00Z", None)]),
    # a magnitude column found by its ending
    ("usgs_mag,event_at\n6.2,2021-12-19T16:28:25Z\n", {"time_column": "event_at"},
     [("2021-12-19T16:28:25Z", "6.2")]),
    # decimal commas: one column of times, or fields separated by tabs
    ("t\n0,5\n2,75\n", {"decimal_comma": True, "time_unit": "days"},
     [("1970-01-01T12:00:00Z", None), ("1970-01-03T18:00:00Z", None)]),
    ("t\tmag\n0,5\t3,1\n", {"decimal_comma": True, "time_unit": "days"},
     [("1970-01-01T12:00:00Z", "3.1")]),
])
def test_csv_times(tmp_path, body, options, expected):
    path = tmp_path / "c.csv"
    path.write_text(body)
    options.setdefault("time_column", "when" if "when" in body else "t")
    _, items = read(path, forced="csv", **options)
    assert [(e[0], e[1]) for e in events(items)] == expected


TOO_MANY = "not the header's 2 fields"
COMMAS = TOO_MANY + (" (decimal commas? give --decimal-comma and separate the fields with ';' "
                     "or tabs)")


@pytest.mark.parametrize("body, options, expected", [
    # a decimal comma in a comma-separated file must not cut a time short
    ("t,m\n0,5,3,1\n1,2\n3.5\n4,5,6\n", {"time_unit": "days"},
     [(2, COMMAS), (4, TOO_MANY), (5, COMMAS)]),
    ("t;m\n0,0377;1\n", {"time_unit": "days"},
     [(2, "decimal comma in the time (give --decimal-comma)")]),
    ("t\n2021-01-01\n12.5\n", {"time_unit": "days"},
     [(3, "a number among times written as dates")]),
    ("t\n12.5\n2021-01-01\n", {"time_unit": "days"},
     [(3, "a date among times written as numbers")]),
    ("t,m\n1,1\nnan,1\n\n,2\n1e999999999,3\n", {"time_unit": "days"},
     [(3, "time is neither a date nor a number"), (5, "no time"), (6, "number out of range")]),
])
def test_csv_rows_that_cannot_be_read(tmp_path, body, options, expected):
    path = tmp_path / "c.csv"
    path.write_text(body)
    _, items = read(path, forced="csv", time_column="t", **options)
    assert problems(items) == expected


@pytest.mark.parametrize("body, message", [
    ("t\n12.5\n", "c.csv:2: the times are numbers ('12.5'): give their unit with --time-unit, "
     "and --time-epoch if they count from a calendar date"),
    ("a,b\n1,2\n", "c.csv:1: no column named 't' for the time; the columns are: a, b"),
    ("t,m\n0,5,1\n", "c.csv:1: --decimal-comma, but commas also separate the fields of the "
     "header: a decimal comma could not be told from a separator; separate the fields with "
     "';' or tabs"),
])
def test_csv_files_that_cannot_be_read(tmp_path, monkeypatch, body, message):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "c.csv").write_text(body)
    with pytest.raises(SourceError) as error:
        read("c.csv", forced="csv", time_column="t", decimal_comma="--decimal" in message)
    assert str(error.value) == message


def test_gzip_files_are_read_whatever_their_name(tmp_path):
    path = tmp_path / "listing.dat"
    path.write_bytes(gzip.compress((DATA / "scedc_2021_excerpt.catalog").read_bytes()))
    source = sources.load(str(path), ReadOptions())
    assert source.compressed
    assert source.format == "scedc" and len(events(source.items)) == 4


class Pipe(io.RawIOBase):
    """A stream that cannot be rewound, as a FIFO or a pipe."""

    def __init__(self, data):
        self.data = io.BytesIO(data)

    def readable(self):
        return True

    def readinto(self, buffer):
        return self.data.readinto(buffer)


@pytest.mark.parametrize("stream", [io.BytesIO, Pipe])
def test_gzip_members_and_padding_are_read_from_files_and_pipes(stream):
    half = (DATA / "scedc_2021_excerpt.catalog").read_bytes().splitlines(keepends=True)
    data = gzip.compress(b"".join(half[:8])) + gzip.compress(b"".join(half[8:])) + b"\0" * 9
    source = sources.read_stream(stream(data), "s", ReadOptions())
    assert source.format == "scedc" and len(events(source.items)) == 4
    assert source.size == len(data)


@pytest.mark.parametrize("stream", [io.BytesIO, Pipe])
@pytest.mark.parametrize("limits, message", [
    ({}, "s: decompresses to more than 200 times its size"),
    ({"MAX_DECOMPRESSED": 2 << 20, "MAX_RATIO": 10 ** 6}, "s: decompresses to more than 2 MiB"),
])
def test_a_gzip_bomb_is_refused_before_its_rows_are_read(monkeypatch, stream, limits, message):
    for name, value in limits.items():
        monkeypatch.setattr(sources, name, value)
    monkeypatch.setattr(sources, "_parse", lambda *_: pytest.fail("rows read from a bomb"))
    bomb = gzip.compress(b"time,mag\n" + b"1,3\n" * (1 << 20))
    with pytest.raises(SourceError) as error:
        sources.read_stream(stream(bomb), "s", ReadOptions(time_column="time"))
    assert str(error.value).startswith(message)


CSV_HEAD = b"time,latitude,longitude,depth,mag\n2021-01-01T00:00:00Z,1,1,1,1\n"


@pytest.mark.parametrize("data, limits, message", [
    (gzip.compress(CSV_HEAD + b"2021-01-02T00:00:00Z,1,1,1,1\n" * 2000),
     {"MAX_DECOMPRESSED": 10000}, "s: decompresses to more than 0 MiB"),
    (CSV_HEAD + b"2021-01-02T00:00:00Z,1,1,1,1\r" * 100 + b"x" * 2000, {"MAX_LINE": 1000},
     "s:3: a line longer than 0 MiB"),       # "\r" alone ends a line too; numbered by "\n"
    (b"<quakeml><eventParameters><event>" + b"x" * 5000 + b"</event></eventParameters>"
     b"</quakeml>", {"quakeml.MAX_TEXT": 1000}, "s:1: an element's text longer than 0 MiB"),
    (b"\x1f\x8b" + b"\0" * 30, {}, "s: cannot read: "),
    (gzip.compress(CSV_HEAD)[:-5], {}, "s: cannot read: Compressed file ended"),
])
def test_streams_beyond_the_bounds_are_refused(monkeypatch, data, limits, message):
    for name, value in limits.items():
        module, _, name = name.rpartition(".")
        monkeypatch.setattr(getattr(sources, module) if module else sources, name, value)
    with pytest.raises(SourceError) as error:
        sources.read_stream(io.BytesIO(data), "s", ReadOptions())
    assert str(error.value).startswith(message)
