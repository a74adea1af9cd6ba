"""periodscan-prepare end to end: the event file and its description, the
filters, joined sources, and runs that fail without leaving anything."""

import json
import os

import pytest

from prepare_support import DATA

SCEDC = DATA / "scedc_2021_excerpt.catalog"
COMCAT = DATA / "comcat_2021_excerpt.csv"


def lines(path):
    return path.read_text().splitlines()


def test_event_file_and_description(run, tmp_path):
    out = tmp_path / "events.txt"
    status, stdout, stderr = run(COMCAT, "-o", out)
    assert (status, stderr) == (0, "")
    # Sorted (ComCat lists newest first), times from the midnight before the
    # first event, exact to 0.01 s; the source's own text for the other columns.
    assert lines(out) == [
        "0.0377597222 0.65 33.635 -116.665 16.2",
        "0.0582070602 1.77 34.039 -118.76 10.2",
        "0.0661851852 1.91 33.835 -117.847 5.4",
        "3.8300062500 1.25 34.999 -118.185 -0.8",
    ]
    meta = json.loads((tmp_path / "events.json").read_text())
    assert {k: meta[k] for k in ("origin", "unit", "columns", "decimals", "events")} == {
        "origin": "2021-01-01T00:00:00Z", "unit": "days", "decimals": 10, "events": 4,
        "columns": ["time", "magnitude", "latitude", "longitude", "depth"]}
    source = meta["sources"][0]
    assert (source["name"], source["size"], source["format"], source["newest_first"]) == (
        "comcat_2021_excerpt.csv", os.path.getsize(COMCAT), "comcat", True)
    assert len(source["sha256"]) == 64
    assert meta["counts"] == {"rows_read": 4, "kept": 4, "dropped": {}}
    assert "newest first (sorted)" in stdout


@pytest.mark.parametrize("options, kept, dropped", [
    (["--types", "eq"], 3, {"event type not selected (--types)": 1}),
    (["--types", "EQ, qb"], 4, {}),
    (["--min-magnitude", "1.25"], 3, {"magnitude below --min-magnitude": 1}),
    (["--start", "2021-01-01T01:00", "--end", "2021-01-04T19:55:12.54Z"], 2,
     {"before --start": 1, "at or after --end": 1}),
    (["--region", "33.7", "35", "-119", "-117"], 3, {"outside --region": 1}),
    (["--region", "33", "36", "170", "-117.8"], 3, {"outside --region": 1}),   # antimeridian
    (["--region", "-90", "90", "-180", "180"], 4, {}),
    (["--max-depth", "5.4"], 2, {"deeper than --max-depth": 2}),
    (["--outage", "2021-01-01T01:00:00", "2021-01-02"], 2, {"inside an --outage": 2}),
])
def test_filters(run, tmp_path, options, kept, dropped):
    out = tmp_path / "e.txt"
    status, _, _ = run(SCEDC, "-o", out, "--origin", "2021-01-01", *options)
    assert status == 0
    meta = json.loads((tmp_path / "e.json").read_text())
    assert (meta["counts"]["kept"], meta["counts"]["dropped"]) == (kept, dropped)


def test_joined_sources_drop_the_records_they_share(run, tmp_path):
    body = lines(SCEDC)
    first, second = tmp_path / "a.catalog", tmp_path / "b.catalog"
    first.write_text("\n".join(body[10:13]) + "\n")          # three earthquakes
    second.write_text("\n".join(body[11:14]) + "\n")         # two of them, and a blast
    status, stdout, _ = run(first, second, "-o", tmp_path / "e.txt")
    assert status == 0
    assert len(lines(tmp_path / "e.txt")) == 4
    assert "2 duplicates of events of an earlier source left out (first: %s:1, the same as " \
        "%s:2)" % (second, first) in stdout
    meta = json.loads((tmp_path / "e.json").read_text())
    assert [s["dropped"] for s in meta["sources"]] == [
        {}, {"duplicate of an event in an earlier source": 2}]


def test_numbers_without_a_calendar_stay_on_their_axis(run, tmp_path):
    source = tmp_path / "coal.csv"
    source.write_text('"rownames","date"\n1,1851.2026009582478\n2,1875.930869267625\n'
                      '3,1875.930869267625\n')
    status, stdout, _ = run(source, "--time-column", "date", "--time-unit", "years",
                            "--unit", "years", "-o", tmp_path / "e.txt")
    assert status == 0
    assert lines(tmp_path / "e.txt") == ["1851.2026009582478", "1875.9308692676250",
                                         "1875.9308692676250"]
    assert "1 line repeats an earlier line's record and is kept (first: lines 3 and 4)" in stdout
    meta = json.loads((tmp_path / "e.json").read_text())
    assert ("origin" in meta, meta["source_time_unit"]) == (False, "years")


def test_unreadable_rows_are_shown_and_strict_refuses_them(run, tmp_path):
    source = tmp_path / "s.catalog"
    body = lines(SCEDC)
    body[11] = "2021/01/01 01:23:49.09 eq  l"
    source.write_text("\n".join(body) + "\n")
    status, _, stderr = run(source, "-o", tmp_path / "e.txt")
    assert status == 0
    assert stderr.splitlines() == [
        "periodscan-prepare: %s:12: too few fields: '2021/01/01 01:23:49.09 eq  l'" % source,
        "periodscan-prepare: %s: 1 row cannot be read (too few fields: 1)" % source]
    for name in ("e.txt", "e.json"):
        os.remove(tmp_path / name)
    status, _, stderr = run(source, "-o", tmp_path / "e.txt", "--strict")
    assert status == 1
    assert stderr.endswith("error: --strict: 1 rows or remarks above; nothing written\n")
    assert os.listdir(tmp_path) == ["s.catalog"]


@pytest.mark.parametrize("options, message", [
    (["--types", "xx"], "0 events kept of 4 read: an event file needs at least two events at "
     "different times; nothing written"),
    (["--types", "qb"], "1 event kept of 4 read: an event file needs at least two events at "
     "different times; nothing written"),
])
def test_too_few_events_write_nothing(run, tmp_path, options, message):
    (tmp_path / "e.txt").write_text("kept as it was\n")
    status, _, stderr = run(SCEDC, "-o", tmp_path / "e.txt", *options)
    assert (status, stderr) == (1, "periodscan-prepare: error: %s\n" % message)
    assert sorted(os.listdir(tmp_path)) == ["e.txt"]
    assert (tmp_path / "e.txt").read_text() == "kept as it was\n"


def test_a_file_that_cannot_be_written_leaves_nothing_behind(run, tmp_path):
    (tmp_path / "e.json").mkdir()          # the description cannot take this name
    status, _, stderr = run(SCEDC, "-o", tmp_path / "e.txt")
    assert status == 1 and "nothing written" in stderr
    assert sorted(os.listdir(tmp_path)) == ["e.json"]


@pytest.mark.parametrize("output, extra, message", [
    ("source.catalog", [], "e.catalog would overwrite the input"),
    ("e.json", [], "name the same file"),           # the description takes e.json too
    ("e.txt", ["--intervals", "{tmp}/e.json"], "name the same file"),
])
def test_outputs_that_would_destroy_an_input_or_each_other(run, tmp_path, output, extra,
                                                           message):
    source = tmp_path / "source.catalog"
    source.write_bytes(SCEDC.read_bytes())
    os.symlink(source, tmp_path / "e.catalog")
    target = tmp_path / ("e.catalog" if output == "source.catalog" else output)
    status, _, stderr = run(source, "-o", target, *(a.format(tmp=tmp_path) for a in extra))
    assert status == 2 and message in stderr and "nothing written" in stderr
    assert source.read_bytes() == SCEDC.read_bytes()
    assert sorted(os.listdir(tmp_path)) == ["e.catalog", "source.catalog"]


@pytest.mark.parametrize("argv, message", [
    ([SCEDC], "the following arguments are required: -o/--output"),
    ([SCEDC, "-o", "x.txt", "--start", "yesterday"], "--start 'yesterday': not a date and time; "
     "expected an ISO 8601 UTC time such as 2021-01-01, as the events are calendar times"),
    ([SCEDC, "-o", "x.txt", "--region", "40", "30", "0", "1"], "--region: the latitudes must "
     "satisfy -90 <= LATMIN <= LATMAX <= 90"),
    ([SCEDC, "-o", "x.txt", "--gap", "2w"], "--gap '2w': unknown unit 'w' (use s, min, h, d or "
     "yr)"),
    ([SCEDC, "-o", "x.txt", "--column", "mag=m"], "--column 'mag=m': expected FIELD=NAME with "
     "FIELD one of magnitude, latitude, longitude, depth, type, id"),
    ([SCEDC, "-o", "x.txt", "--format", "xml"], "argument --format: invalid choice: 'xml'"),
    ([SCEDC, "-o", "-", "--outage", "2021-01-02", "2021-01-03"], "-o - writes the event file "
     "to standard output: name the intervals file with --intervals"),
    ([SCEDC, "-o", "x.txt", "--description", "-"], "--description -: only the event file can "
     "go to standard output"),
    ([SCEDC, "-o", "x.txt", "--format", "comcat", "--decimal-comma"], "--decimal-comma with "
     "--format comcat: commas separate the fields"),
])
def test_wrong_command_lines(run, tmp_path, monkeypatch, argv, message):
    monkeypatch.chdir(tmp_path)
    status, stdout, stderr = run(*argv)
    assert status == 2 and stdout == ""
    assert stderr.startswith("usage: periodscan-prepare SOURCE... -o EVENTS.txt [options]")
    assert message in stderr
    assert os.listdir(tmp_path) == []


def test_a_source_of_unknown_format_is_named(run, tmp_path):
    source = tmp_path / "notes.csv"
    source.write_text("when,what\n2021-01-01,x\n")
    status, _, stderr = run(source, "-o", tmp_path / "e.txt")
    assert status == 1
    assert stderr == ("periodscan-prepare: error: %s: cannot tell the format: not QuakeML, FDSN "
                      "text, an SCEDC listing or a ComCat CSV; for another CSV file name its time "
                      "column with --time-column, or give --format\n" % source)


def test_the_event_file_to_standard_output(run, tmp_path):
    status, stdout, stderr = run(SCEDC, "-o", "-", "--description", tmp_path / "d.json",
                                 "--gap", "5d", "--intervals", tmp_path / "e.intervals")
    assert status == 0
    assert stdout.splitlines()[0] == "0.0377597222 0.65 33.635 -116.665 16.2"
    assert "standard output: 4 events" in stderr
    assert sorted(os.listdir(tmp_path)) == ["d.json", "e.intervals"]
    assert json.loads((tmp_path / "d.json").read_text())["events"] == 4
