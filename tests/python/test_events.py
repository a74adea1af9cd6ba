"""Event files read as each program reads them: which line gives which time,
where the interactive list ends, what the survey refuses, the rounding to
4-byte reals, and the description beside the file."""

import math
from decimal import Decimal

import numpy as np
import pytest
from hypothesis import example, given, settings
from hypothesis import strategies as st

from periodscan.eventfile import (INTERACTIVE, SURVEY, EventFileError, LineFault,
                                  interactive_number, read_description, read_event_times,
                                  read_events, survey_line, time_axis)
from periodscan.results import ResultFileError

# (label, file content, times read)
EVENT_FILES = [
    # Blank line passed over, D exponent, r*v repetition, tab; the list ends
    # before "nan", which is no number to periodscan.
    ("mixed spellings", b"1.5 9.9\n\n2.5D0,7\n3*4.0\n  5\n+.6e1\tx\nnan\n8\n",
     [1.5, 2.5, 4.0, 5.0, 6.0]),
    ("a line starting with a comma ends the list", b"1\n2\n  ,3\n4\n", [1, 2]),
    ("a slash ends the list", b"1\n2\n/\n4\n", [1, 2]),
    ("a time beyond the 4-byte range ends the list", b"1\n2\n1e39\n4\n", [1, 2]),
    ("r* alone ends the list", b"1\n2\n2*\n4\n", [1, 2]),
    ("a repeat count beyond 32 bits ends the list", b"1\n2\n4294967296*3\n4\n", [1, 2]),
    ("infinity and hexadecimal end the list", b"1\n2\ninf\n", [1, 2]),
    ("0x10 ends the list", b"1\n2\n0x10\n", [1, 2]),
    ("a slash or comma right after the time", b"1/x\n2,3\n3 /\n", [1, 2, 3]),
    ("NUL inside the first item ends the list", b"1\n2\n3\x004\n5\n", [1, 2]),
    ("NUL after the first item is ignored", b"1 \x00\x00\n2\n", [1, 2]),
    ("CR LF line ends and a last CR", b"1\r\n2\r\n3\r", [1, 2, 3]),
    ("a time too small for 4 bytes is zero", b"0\n1e-50\n1\n", [0, 0, 1]),
    # Rounded once, from the decimal text: through a double the second time
    # would land on the tie 1 + 2**-24 and go to 1, giving no duration.
    ("rounded once to 4 bytes", b"1\n1.000000059604644775390625000001\n",
     [1.0, 1.0000001192092896]),
    ("a tie goes to even", b"1\n1.000000178813934326171875\n", [1.0, 1.0000002384185791]),
]


@pytest.mark.parametrize("label,content,times", EVENT_FILES, ids=[e[0] for e in EVENT_FILES])
def test_event_file_read_as_periodscan_reads_it(tmp_path, label, content, times):
    path = tmp_path / "ev.txt"
    path.write_bytes(content)
    assert read_event_times(path).tolist() == times


def test_decreasing_time_names_its_line(tmp_path):
    path = tmp_path / "ev.txt"
    path.write_bytes(b"0\n\n1\n\n0.5\n")
    with pytest.raises(ResultFileError) as error:
        read_event_times(path)
    assert str(error.value) == ("%s, line 5: event times must not decrease: event 2 is 1, "
                                "event 3 is 0.5" % path)


# (description, time, text of the time, axis label suffix)
TIME_AXES = [
    ({"origin": "2021-01-01T00:00:00Z", "unit": "days"}, 182.5, "2021-07-02 12:00 UTC",
     " (days)"),
    ({"origin": "2016-01-01T11:25:04.5Z", "unit": "days"}, 1.0, "2016-01-02 11:25 UTC",
     " (days)"),
    ({"origin": "2021-01-01T00:00:00Z", "unit": "hours"}, 25.5, "2021-01-02 01:30 UTC",
     " (hours)"),
    ({"origin": "1952-01-01T00:00:00Z", "unit": "seconds"}, -60.0, "1951-12-31 23:59 UTC",
     " (seconds)"),
    # No origin (decimal years), an origin that is no UTC time, an unknown
    # unit: no calendar, and no unit where it is unknown.
    ({"unit": "years"}, 1851.5, "1851.5", " (years)"),
    ({"origin": "some day", "unit": "days"}, 3.0, "3", " (days)"),
    ({"origin": "2021-01-01T00:00:00Z", "unit": "fortnights"}, 3.0, "3", ""),
    (None, 3.0, "3", ""),
]


@pytest.mark.parametrize("description,time,text,suffix", TIME_AXES)
def test_time_axis_of_a_description(description, time, text, suffix):
    axis = time_axis(description)
    assert (axis.date_text(time), axis.suffix()) == (text, suffix)


@pytest.mark.parametrize("name,content,message", [
    ("ev.json", "{\n  \"unit\": days\n}\n", "ev.json, line 2: is not JSON (Expecting value)"),
    ("ev.json", "[1, 2]\n", "ev.json: must hold a JSON object, not a list"),
    ("ev.json", "\"days\"\n", "ev.json: must hold a JSON object, not a string"),
    ("ev.json", '{"unit": ["days"]}', 'ev.json: "unit" must be a string, not ["days"]'),
    ("ev.json", '{"origin": 5}', 'ev.json: "origin" must be a string, not 5'),
    ("ev.json", '{"columns": ["time", 3]}', 'ev.json: "columns" must be a list of names'),
    ("ev.json", '{"unit": NaN}', "ev.json: is not JSON (NaN is not a JSON number)"),
    ("ev.json", "[" * 100000, "ev.json: is nested too deeply"),
    ("ev.json", b'{"unit": "\xff"}', "ev.json: is not UTF-8 text (byte 11)"),
    ("ev.txt.json", "{\"unit\": \"days\"", "ev.txt.json, line 1: is not JSON"),
])
def test_malformed_description_is_reported(tmp_path, name, content, message):
    (tmp_path / name).write_bytes(content if isinstance(content, bytes) else content.encode())
    with pytest.raises(ResultFileError) as error:
        read_description(str(tmp_path / "ev.txt"))
    assert str(error.value).startswith(str(tmp_path / message))


def test_a_null_unit_is_no_unit(tmp_path):
    (tmp_path / "ev.json").write_text('{"unit": null, "origin": null, "events": 3}')
    assert read_description(str(tmp_path / "ev.txt")) == {"events": 3}


# The survey's reading: (label, file content, times read or the error after
# the path).
SURVEY_FILES = [
    ("comments, a byte-order mark, extra columns, separators",
     b"\xef\xbb\xbf# head\n\n  # note\n1.5 x\n2.5,3\n+3.5;4\n4.5\tq\r\n.5e1\n",
     [1.5, 2.5, 3.5, 4.5, 5]),
    ("Unix seconds keep their digits", b"1609459200.123456\n1609459262.5\n",
     [1609459200.123456, 1609459262.5]),
    ("1e-400 underflows", b"0.5\n1e-400\n",
     ", line 2: not a time: '1e-400' is beyond the range of doubles"),
    ("1e999 overflows", b"1e999\n",
     ", line 1: not a time: '1e999' is beyond the range of doubles"),
    ("a decimal comma", b"0,5\n", ", line 1: not a time: '0,5' has a decimal comma: write "
     "decimal points (periodscan-prepare --decimal-comma converts a CSV table with a header "
     "row)"),
    ("+- is no sign", b"1\n+-5\n", ", line 2: not a time: '+-5' is not a number"),
    ("a D exponent", b"1\n2D0\n", ", line 2: not a time: '2D0' is not a number"),
    ("nan", b"1\nNaN(x)\n", ", line 2: not a time: 'NaN(x)' is not finite"),
    ("a date", b"2021/01/01 00:00\n", ", line 1: not a time: '2021/01/01' is not a number"),
    ("times that fall", b"1\n0.5\n",
     ", line 2: event times must not decrease: event 1 is 1.0, event 2 is 0.5"),
]


@pytest.mark.parametrize("label,content,expected", SURVEY_FILES,
                         ids=[c[0] for c in SURVEY_FILES])
def test_event_file_read_as_the_survey_reads_it(tmp_path, label, content, expected):
    path = tmp_path / "ev.txt"
    path.write_bytes(content)
    if isinstance(expected, list):
        assert read_event_times(path, SURVEY).tolist() == expected
        return
    with pytest.raises(EventFileError) as error:
        read_event_times(path, SURVEY)
    assert str(error.value) == str(path) + expected


def test_sorting_keeps_the_lines_of_the_times(tmp_path):
    (tmp_path / "ev.txt").write_text("3\n# x\n1\n2\n")
    events = read_events(tmp_path / "ev.txt", SURVEY, sort=True)
    assert (events.times.tolist(), events.lines, events.skipped, events.reordered) == (
        [1, 2, 3], [3, 4, 1], 1, True)


@settings(max_examples=200, deadline=None, database=None)
@given(st.lists(st.floats(allow_nan=False, allow_infinity=False), min_size=2)
       .filter(lambda v: max(v) > min(v)),
       st.sampled_from(["", " 7 x", ",2", ";q", "\t#"]))
def test_the_survey_reads_back_any_doubles(tmp_path_factory, values, tail):
    values = sorted(values)
    path = tmp_path_factory.mktemp("s") / "ev.txt"
    path.write_text("# written with repr\n" + "".join("%r%s\n" % (v, tail) for v in values))
    assert read_event_times(path, SURVEY).tolist() == values


# What the survey makes of the start of a line: the time, or None for a
# decimal comma.
COMMA_LINES = [("0,2106 2,5", None), ("0,5", None), ("12,5", None), ("0,5,3,1", None),
               ("-3,25;x", None), ("12,5.3", 12), ("1609459200,3.1", 1609459200),
               ("7,5E2", 7), ("1e5,2", 1e5), ("1.5,2.5", 1.5), ("12,", 12), ("12,x", 12)]


def test_a_decimal_comma_unless_a_real_number_follows():
    read = [survey_line(text) for text, _ in COMMA_LINES]
    assert [None if isinstance(r, LineFault) and "decimal comma" in r.reason else r
            for r in read] == [time for _, time in COMMA_LINES]


FLOAT32_MAX = float(np.finfo(np.float32).max)


def _halfway_above(single):
    """The double halfway between a 4-byte real and the next one up."""
    with np.errstate(over="ignore"):
        return (single + float(np.nextafter(np.float32(single), np.float32(math.inf)))) / 2


@settings(max_examples=300, deadline=None, database=None)
@given(st.one_of(st.floats(-FLOAT32_MAX, FLOAT32_MAX),
                 st.floats(width=32, allow_nan=False, allow_infinity=False)
                 .map(_halfway_above).filter(lambda v: abs(v) <= FLOAT32_MAX)))
@example(16777217.0)
def test_the_interactive_program_rounds_like_numpy_float32(value):
    # Written exactly, so that the decimal and the double round alike (ties
    # to even).
    assert interactive_number(format(Decimal(value), "f")) == float(np.float32(value))


JUNK_LINES = [b"1", b"2.5", b"# c", b"", b"3*", b"1e-400", b"inf", b"\xef\xbb\xbf4", b"1,5",
              b"+-1", b"\r"]


@settings(max_examples=300, deadline=None, database=None)
@given(st.lists(st.one_of(st.binary(max_size=30), st.sampled_from(JUNK_LINES)), max_size=8),
       st.sampled_from([INTERACTIVE, SURVEY]), st.booleans())
def test_any_bytes_give_times_or_an_event_file_error(tmp_path_factory, lines, dialect, sort):
    path = tmp_path_factory.mktemp("j") / "ev.txt"
    path.write_bytes(b"\n".join(lines))
    try:
        times = read_events(path, dialect, sort).times
    except EventFileError as e:
        assert str(e).startswith(str(path))
    else:
        assert len(times) >= 2 and np.all(np.diff(times) >= 0) and np.all(np.isfinite(times))
