"""The event-time file read as periodscan reads it: which line gives which
time, where the list ends, and the rounding to 4-byte reals."""

import pytest

from periodscan.events import read_description, read_event_times, time_axis
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
    ("ev.json", "[1, 2]\n", "ev.json: must hold a JSON object"),
    ("ev.txt.json", "{\"unit\": \"days\"", "ev.txt.json, line 1: is not JSON"),
])
def test_malformed_description_is_reported(tmp_path, name, content, message):
    (tmp_path / name).write_text(content)
    with pytest.raises(ResultFileError) as error:
        read_description(str(tmp_path / "ev.txt"))
    assert str(error.value).startswith(str(tmp_path / message))
