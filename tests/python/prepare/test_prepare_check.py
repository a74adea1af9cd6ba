"""periodscan-prepare check: how the two programs read an event file, and the
traps. Each case is a file and the trap lines it must give, word for word."""

import json

import pytest

from periodscan.prepare.check import first_value

SCSN = ("2021/01/01 00:54:22.44 eq  l 0.65 l    33.635 -116.665  16.2 A 39508343   42  901\n"
        "2021/01/01 01:23:49.09 eq  l 1.77 l    34.039 -118.760  10.2 A 39508351   41 2408\n"
        "2021/01/02 01:35:18.40 eq  l 1.91 l    33.835 -117.847   5.4 A 39508367  120 2755\n")

CASES = [
    ("clean, CRLF, blank lines and extra columns",
     b"0.5 3.1 x\r\n\r\n  1.25\t2\r\n1.5,7\r\n", []),
    ("a listing without its header",
     SCSN.encode(),
     ["f.txt:1: trap: the survey stops here: '2021/01/01' is not a number",
      "f.txt:3: trap: the last time is not larger than the first once stored as 4-byte reals "
      "(2021 and 2021): the interactive program needs a duration",
      "f.txt:1: trap: 3 lines start with a date such as '2021/...': each is read as its first "
      "number, 2021"]),
    ("decimal commas",
     b"0,03775972\n0,05820706\n1,12\n",
     ["f.txt:1: trap: the survey stops here: '0,03775972' has a decimal comma: write decimal "
      "points (periodscan-prepare --decimal-comma converts a CSV table with a header row)",
      "f.txt:1: trap: 3 lines start with a whole number followed by a comma, as a decimal comma "
      "writes a time (0,...): each is read as the whole part only"]),
    ("a comma before a real number separates fields",
     b"10,2.5\n11,3.1e0\n12.5,4\n", []),
    ("whole days",
     b"1\n2\n5\n",
     ["f.txt:1: trap: all 3 times are whole numbers: a date read as its year or day? (write at "
      "least one decimal if whole times are meant)"]),
    ("one bad line in the middle",
     b"0.5\n1.5\nn/a\n2.5\n3.5\n",
     ["f.txt:3: trap: the interactive program's list ends at line 3: 'n' is not a number; "
      "2 later lines start with a number and are not read (the first is line 4); it reads 2 "
      "times",
      "f.txt:3: trap: the survey stops here: 'n/a' is not a number"]),
    ("a heading",
     b"# times in days\n0.5\n1.5\n",
     ["f.txt:1: trap: the interactive program's list ends at line 1: '#' is not a number; "
      "2 later lines start with a number and are not read (the first is line 2); it reads 0 "
      "times"]),
    ("a byte-order mark, which only the survey passes over",
     b"\xef\xbb\xbf0.5\n1.5\n",
     ["f.txt:1: trap: the interactive program's list ends at line 1: '\xef\xbb\xbf0.5' is not "
      "a number; 1 later line starts with a number and is not read (the first is line 2); it "
      "reads 0 times"]),
    ("not a finite time",
     b"0.5\n1.5\nNaN; x\n",
     ["f.txt:3: trap: the survey stops here: 'NaN' is not finite"]),
    ("a footer after the data is no trap",
     b"0.5\n1.5\n### end\n", []),
    ("newest first",
     b"3.5\n2.5\n1.5\n",
     ["f.txt:2: trap: the survey stops here: the time decreases",
      "f.txt:2: trap: the times decrease on every line: the file runs newest first "
      "(periodscan-prepare sorts it)"]),
    ("one time out of order",
     b"1.5\n2.5\n2.25\n3.5\n",
     ["f.txt:3: trap: the survey stops here: the time decreases",
      "f.txt:3: trap: 1 time is smaller than the one before it (line 3); both programs "
      "stop at the first"]),
    ("Julian Day numbers",
     b"2459215.53775972\n2459215.55820706\n2459215.56618519\n2459215.60417824\n",
     ["f.txt:4: trap: the last time is not larger than the first once stored as 4-byte reals "
      "(2459215.53775972 and 2459215.60417824): the interactive program needs a duration",
      "f.txt:1: trap: 4-byte storage rounds times to steps of up to 0.25 (near 2459215.53775972, "
      "line 1); 3 neighbouring pairs of different times become equal (the first at line 2); "
      "counted from 2459215 the step would be 5.96046e-08 and 0 pairs would become equal, "
      "where the median interval between events is 0.0204473: storage moves times by a "
      "noticeable share of their spacing"]),
    ("an empty repeat ends the list",
     b"0.5\n1.5\n3*\n", ["f.txt:3: trap: the survey stops here: '3*' is not a number"]),
    ("a time beyond the 4-byte range ends the list",
     b"0.5\n1.5\n1e39\n",
     ["f.txt:3: trap: the interactive program's list ends at line 3: '1e39' is beyond the range "
      "of 4-byte reals; it reads 2 times, the survey 3"]),
    ("a time the survey cannot hold",
     b"1e-400\n0.5\n1.5\n",
     ["f.txt:1: trap: the survey stops here: '1e-400' is beyond the range of doubles"]),
    ("nothing to read",
     b"\n  \n", ["f.txt: trap: fewer than two times: nothing to analyse"]),
]


@pytest.mark.parametrize("data, traps", [c[1:] for c in CASES], ids=[c[0] for c in CASES])
def test_traps(run, tmp_path, monkeypatch, data, traps):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "f.txt").write_bytes(data)
    status, out, err = run("check", "f.txt")
    found = [line for line in out.splitlines() if ": trap: " in line]
    assert found == traps
    assert status == (1 if traps else 0) and err == ""
    assert out.splitlines()[-1] == ("no trap found" if not traps else "%d trap%s found" % (
        len(traps), "s" * (len(traps) > 1)))


def test_where_the_interactive_list_ends_without_losing_data(run, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "f.txt").write_bytes(b"0.5\n1.5\n3*\n")
    _, out, _ = run("check", "f.txt")
    assert ("  the interactive program's list ends at line 3: '3*' gives no number; it reads 2 "
            "times, and no later line starts with a number") in out.splitlines()


@pytest.mark.parametrize("line, value, reason", [
    ("12.5 7 word", "12.5", None),
    ("  -3.25D+01,4", "-3.25D+01", None),
    ("2*5.5", "5.5", None),
    ("1.5/2", "1.5", None),
    (", 2.5", None, "it starts with a comma, which gives no number"),
    ("/", None, "it starts with \"/\", which ends the read"),
    ("0*5", None, "'0*5' is not a number"),
    ("4294967296*1", None, "the repeat count of '4294967296*1' is beyond 32 bits"),
    ("9" * 5000 + "*1", None, "the repeat count of '" + "9" * 40 + "...' is beyond 32 bits"),
    ("0002147483647*1.5", "1.5", None),
    ("inf", None, "'inf' is not a number"),
    ("1.5.2", None, "'1.5.2' is not a number"),
    ("\ufeff0.5", None, "'\\ufeff0.5' is not a number"),
    ("1e39", None, "'1e39' is beyond the range of 4-byte reals"),
    ("   \t", None, None),
])
def test_first_number_of_a_line(line, value, reason):
    fields, why = first_value(line)
    assert (fields[0] if fields else None, why) == (value, reason)


def test_calendar_dates_come_from_the_description(run, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "f.txt").write_text("0.5\n1.5\n11.5\n")
    (tmp_path / "f.json").write_text(json.dumps({"origin": "2021-01-01T00:00:00Z",
                                                 "unit": "days"}))
    _, out, _ = run("check", "f.txt")
    assert ("    10 days from line 2 to line 3 (1.5 to 11.5, 2021-01-02T12:00:00Z to "
            "2021-01-12T12:00:00Z)") in out.splitlines()


def test_check_of_a_missing_file(run, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    assert run("check", "none.txt") == (
        1, "", "periodscan-prepare: error: none.txt: cannot read: No such file or directory\n")
    assert run("check")[0] == 2
