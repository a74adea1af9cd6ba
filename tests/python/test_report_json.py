"""periodscan-plot --json: a real run's report holds every key that
docs/report-json.md lists, of the type it gives, null only where it says;
--no-figures never loads matplotlib; numbers that are not finite are null."""

import json
import math
import re
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

import periodscan
from periodscan.jsonreport import plain
from plot_support import REPO, keyed_table, run_periodscan, without_grid_warnings, write_events

DOC = REPO / "docs" / "report-json.md"
TYPES = {"string": str, "number": (int, float), "integer": int, "boolean": bool,
         "object": dict, "array": list}
ROW = re.compile(r"^\| `([^`]+)` \| (\w+) \| .* \| ([^|]+) \|$")


def documented(text):
    """{key path: (type, may be null)} from the doc's table; a path part
    {a,b} stands for each of a and b."""
    keys = {}
    for line in text.splitlines():
        row = ROW.match(line)
        if not row:
            continue
        path, kind, null = row.groups()
        assert kind in TYPES, line
        paths = [path]
        while any("{" in p for p in paths):
            p = next(p for p in paths if "{" in p)
            head, rest = p.split("{", 1)
            options, tail = rest.split("}", 1)
            paths.remove(p)
            paths += [head + o + tail for o in options.split(",")]
        for p in paths:
            keys[p] = (kind, null.strip() != "never")
    return keys


def problems(value, keys, path=""):
    """What in the JSON `value` the documented `keys` do not allow."""
    out = []
    if isinstance(value, dict):
        children = {k for k in keys if k.rpartition(".")[0] == path and k != path}
        for name in children - {(path + "." if path else "") + k for k in value}:
            out.append("%s: missing" % name)
        for k, v in value.items():
            key = (path + "." if path else "") + k
            if key not in keys:
                out.append("%s: not documented" % key)
                continue
            kind, nullable = keys[key]
            if v is None:
                if not nullable:
                    out.append("%s: null" % key)
            elif not isinstance(v, TYPES[kind]) or (kind != "boolean" and isinstance(v, bool)):
                out.append("%s: %r is not %s" % (key, v, kind))
            else:
                out += problems(v, keys, key)
    elif isinstance(value, list):
        for item in value:
            out += problems(item, keys, path + "[]")
    return out


@pytest.mark.parametrize("document, expected", [
    ({"a": 1, "b": {"c": None}}, []),
    ({"a": True, "b": {"c": "x"}}, ["a: True is not integer"]),
    ({"a": None, "b": {}}, ["a: null", "b.c: missing"]),
    ({"a": 1, "b": {"c": "x", "d": 2}}, ["b.d: not documented"]),
])
def test_the_checker_refuses_what_the_doc_does_not_allow(document, expected):
    keys = documented("| `a` | integer | - | never |\n| `b` | object | - | never |\n"
                      "| `b.c` | string | - | no c |")
    assert problems(document, keys) == expected


@pytest.mark.parametrize("value, expected", [
    (np.float64("inf"), None), (-math.inf, None), (np.array(2.5), 2.5),
    ({"x": [np.nan, np.int64(3)]}, {"x": [None, 3]}),
])
def test_numbers_that_are_not_finite_become_null(value, expected):
    assert plain(value) == expected


def test_a_real_run_follows_the_doc(program, tmp_path):
    times = np.sort(np.random.default_rng(7).uniform(0, 100, 300))
    times = times + 0.3 * np.cos(2 * np.pi * times / 3)
    write_events(tmp_path, ["%.6f" % t for t in np.sort(times)])
    (tmp_path / "ev.json").write_text(json.dumps(
        {"origin": "2021-01-01T00:00:00Z", "unit": "days", "columns": ["time"]}))
    run_periodscan(program, tmp_path, "\nev.txt\n2 20\n30\n0\n")
    run_periodscan(program, tmp_path, "\nev.txt\n2 10\n5\n1\n20\n5\n0\n")
    read = [float(line) for line in (tmp_path / "ev.txt").read_text().split()]
    (tmp_path / "k.spectrum.tsv").write_text(keyed_table(read))
    code = ("import sys; from periodscan.plot_command import main; status = main(sys.argv[1:]); "
            "sys.exit(3 if 'matplotlib' in sys.modules else status)")
    result = subprocess.run(
        [sys.executable, "-c", code, str(tmp_path), "--events", str(tmp_path / "ev.txt"),
         "--no-figures", "--json", str(tmp_path / "r.json")], capture_output=True, text=True,
        timeout=300, env={"PYTHONPATH": str(Path(periodscan.__file__).parents[1])})
    assert (result.returncode, without_grid_warnings(result.stderr)) == (0, "")
    assert result.stdout.endswith("report: %s\n" % (tmp_path / "r.json"))
    assert "figures:" not in result.stdout
    assert not list(tmp_path.glob("*.png"))
    report = json.loads((tmp_path / "r.json").read_text())
    assert problems(report, documented(DOC.read_text())) == []
    assert report["schema"] == "periodscan-report/1"
    assert [s["source"] for s in report["spectra"]] == [
        str(tmp_path / "ZUM_out.dat"), str(tmp_path / "k.spectrum.tsv")]
    assert [m["window_length"] for m in report["maps"]] == [20]
    assert report["skipped"] == [{"what": "figures", "why": "--no-figures"}]
    # The summary's first peak is the report's.
    row = re.search(r"^  1 +(\S+) +(\S+)", result.stdout, re.M)
    peak = report["spectra"][0]["peaks"][0]
    assert ("%.6g" % peak["period"], "%.6g" % peak["delta_log_lik"]) == row.groups()
