"""Properties of the catalogue readers and of the observed intervals, on
generated input: what the csv module writes reads back field for field, a
quote left open never loses rows silently, FDSN text and ISO times round
trip exactly, the time parsers raise nothing but TimeError, and every event
written lies in an interval of the intervals file."""

import csv
import io
from fractions import Fraction

from hypothesis import given, settings
from hypothesis import strategies as st

from periodscan.prepare import sources
from periodscan.prepare.intervals import parse_file
from periodscan.prepare.preparation import Preparation, Request
from periodscan.prepare.records import Event, Problem, ReadOptions
from periodscan.prepare.selection import Selection
from periodscan.prepare.timeaxis import (TimeError, format_iso, parse_iso, parse_length,
                                         parse_number)

SETTINGS = settings(max_examples=100, deadline=None, database=None)


def _seconds(whole, micro, digits):
    return whole + Fraction(micro // 10 ** (6 - digits), 10 ** digits)


# Seconds from 1900 to 2100, with up to 6 decimals.
times = st.builds(_seconds, st.integers(-2208988800, 4102444799), st.integers(0, 999999),
                  st.integers(0, 6))
# Free text without digits, so that no line of it looks like a record.
place = st.text(alphabet=st.sampled_from(list("ab ,;\"\n\r'|")), max_size=30)
HEADER = ["time", "latitude", "longitude", "depth", "mag", "place", "type"]


def read_bytes(data, forced=None, **options):
    source = sources.read_stream(io.BytesIO(data), "source", ReadOptions(**options), forced)
    return ([i for i in source.items if isinstance(i, Event)],
            [i for i in source.items if isinstance(i, Problem)])


def comcat_text(rows):
    stream = io.StringIO()
    writer = csv.writer(stream, lineterminator="\r\n")    # quotes fields with "\r" too
    writer.writerow(HEADER)
    for time, text in rows:
        writer.writerow([format_iso(time), "34.5", "-118", "5", "1.5", text, "earthquake"])
    return stream.getvalue()


@SETTINGS
@given(rows=st.lists(st.tuples(times, place), min_size=1, max_size=20))
def test_csv_written_by_the_csv_module_reads_back(rows):
    events, problems = read_bytes(comcat_text(rows).encode())
    assert problems == []
    assert [e.time for e in events] == [t for t, _ in rows]


@SETTINGS
@given(rows=st.lists(st.tuples(times, place), min_size=2, max_size=20), data=st.data())
def test_a_quote_left_open_is_reported(rows, data):
    broken = data.draw(st.integers(0, len(rows) - 1))
    rows[broken] = (rows[broken][0], "XYZ")
    # The place of the broken row opens a quote that it does not close.
    text = comcat_text(rows).replace("XYZ,earthquake", '"Somewhere, CA,\nearthquake')
    events, problems = read_bytes(text.encode())
    assert problems, "a quote left open was read without a word"
    assert len(events) < len(rows)


@SETTINGS
@given(rows=st.lists(st.tuples(times, st.decimals(-9, 9, places=2), place), min_size=1,
                     max_size=20))
def test_fdsn_text_round_trip(rows):
    lines = ["#EventID|Time|Latitude|Longitude|Depth/km|Author|Catalog|Contributor|"
             "ContributorID|MagType|Magnitude|MagAuthor|EventLocationName"]
    for i, (time, magnitude, text) in enumerate(rows):
        name = text.replace("|", " ").replace("\n", " ").replace("\r", " ")
        lines.append("e%d|%s|34.5|-118|5|a|c|c|i|ml|%s|a|%s" % (i, format_iso(time)[:-1],
                                                                magnitude, name))
    events, problems = read_bytes(("\n".join(lines) + "\n").encode())
    assert problems == []
    assert [(e.time, e.magnitude) for e in events] == [(t, str(m)) for t, m, _ in rows]


@SETTINGS
@given(time=times)
def test_iso_times_round_trip_exactly(time):
    assert parse_iso(format_iso(time))[0] == time


@SETTINGS
@given(text=st.one_of(
    st.text(max_size=60),
    st.from_regex(r"[+-]?\d{1,12}([-/]\d{1,3}){2}([T ]\d{1,3}(:\d{1,3}){0,2}([.,]\d{0,40})?)?"
                  r"\s*(Z|[+-]\d{1,4})?", fullmatch=True),
    st.from_regex(r"[+-]?\d{0,150}(\.\d{0,150})?([eE][+-]?\d{1,6})?\s*[a-z]{0,3}",
                  fullmatch=True)))
def test_time_parsers_raise_only_their_error(text):
    for parse in (parse_iso, parse_number, lambda t: parse_length(t, "days")):
        try:
            parse(text)
        except TimeError:
            pass


@SETTINGS
@given(steps=st.lists(st.integers(1, 400), min_size=2, max_size=30),
       gap=st.integers(1, 200), outage=st.tuples(st.integers(0, 4000), st.integers(1, 500)))
def test_every_event_written_lies_in_an_interval(steps, gap, outage):
    seconds = [sum(steps[:i + 1]) * 3600 for i in range(len(steps))]
    source = sources.SourceFile("s", items=[
        Event(Fraction(s), Fraction(1), False, line) for line, s in enumerate(seconds, 1)])
    start, length = outage
    selection = Selection(outages=[(Fraction(start * 3600), Fraction((start + length) * 3600))])
    request = Request(output="e.txt", unit="days", calendar=False, time_unit="seconds",
                      gap=Fraction(gap * 3600))
    run = Preparation(request, [source], selection)
    try:
        run.settle()
    except Exception as error:            # too few events left: refused, nothing written
        assert "at least two events" in str(error)
        return
    files = dict(run.files())
    intervals = parse_file(files["e.intervals"])
    for line in files["e.txt"].split():
        time = float(line)
        assert any(a <= time <= b for a, b in intervals), (time, intervals)
