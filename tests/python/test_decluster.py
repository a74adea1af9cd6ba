"""Gardner-Knopoff declustering on a hand-made catalogue, and its command."""

import json
import os

import numpy as np
import pytest

from periodscan import decluster, declustering

# time (days), magnitude, latitude, longitude; the comment says what the
# windows of the main shocks (M 5: 143 days, 40 km; M 4.1: 47 days, 31 km;
# M 4: 41 days, 30 km; M 3: 11.9 days, 22.6 km) make of each event.
EVENTS = [
    (8.0, 2.8, 35.00, -117.00),     # 0 foreshock of 1, two days before it
    (10.0, 5.0, 35.00, -117.00),    # 1 main shock
    (11.0, 3.0, 35.05, -117.00),    # 2 aftershock of 1, 5.6 km away
    (12.0, 3.2, 35.90, -117.00),    # 3 alone: 100 km from 1
    (40.0, 3.5, 35.10, -117.05),    # 4 aftershock of 1, 30 days and 12 km
    (200.0, 3.0, 35.00, -117.00),   # 5 alone for 1 (190 days): a main shock
    (205.0, 2.6, 35.01, -117.00),   # 6 aftershock of 5
    (300.0, 4.0, 34.00, -119.00),   # 7 foreshock of the larger 8, a day before
    (301.0, 4.1, 34.02, -119.00),   # 8 main shock
    (155.0, 4.0, 35.20, -117.00),   # 9 two days past the window of 1: a main shock
    (130.0, 2.7, 35.20, -117.00),   # 10 aftershock of 1, also in the window of 9
]


@pytest.mark.parametrize("foreshock_fraction, main_shock, linked", [
    (1.0, [1, 1, 1, 3, 1, 5, 5, 8, 8, 9, 1], [1, 1, 1, 3, 1, 5, 5, 8, 8, 1, 1]),
    # foreshocks stand alone, linked to their main shocks by their own
    # windows; 9 no longer reaches back to 10
    (0.0, [0, 1, 1, 3, 1, 5, 5, 7, 8, 9, 1], [0, 0, 0, 3, 0, 5, 5, 7, 7, 9, 0]),
])
def test_gardner_knopoff_clusters(foreshock_fraction, main_shock, linked):
    t, m, lat, lon = (np.array(c) for c in zip(*EVENTS))
    r = declustering.gardner_knopoff(t, m, lat, lon, foreshock_fraction)
    assert list(r.main_shock) == main_shock
    assert list(r.linked) == linked
    assert list(np.nonzero(r.background)[0]) == sorted(set(main_shock))
    # The order of the input does not matter.
    order = np.arange(len(t))[::-1]
    r2 = declustering.gardner_knopoff(t[order], m[order], lat[order], lon[order],
                                      foreshock_fraction)
    assert list(order[r2.main_shock]) == list(np.array(main_shock)[order])


HEADER = "# time magnitude latitude longitude depth"


def _write_catalogue(folder, unit="hours", with_description=True, lines=None):
    events = folder / "events.txt"
    if lines is None:
        lines = [HEADER] + ["%.4f %.1f %.2f %.2f 7.5" % (24 * t, m, la, lo)
                            for t, m, la, lo in EVENTS]
    events.write_text("\n".join(lines) + "\n")
    if with_description:
        (folder / "events.json").write_text(json.dumps(
            {"unit": unit, "origin": "2021-01-01T00:00:00Z",
             "columns": ["time", "magnitude", "latitude", "longitude", "depth"]}))
    return events


def test_command_writes_background_clusters_and_description(tmp_path, capsys):
    events = _write_catalogue(tmp_path)
    out = tmp_path / "background.txt"
    assert decluster.decluster_main([str(events), "-o", str(out)]) == 0
    lines = events.read_text().splitlines()
    assert out.read_text().splitlines() == [lines[0]] + [lines[i + 1] for i in (1, 3, 5, 8, 9)]
    rows = [r for r in (tmp_path / "background.clusters").read_text().splitlines()
            if not r.startswith("#")]
    assert rows == ["2 3 0 3", "3 3 1 3", "4 3 0 3", "5 5 1 5", "6 3 0 3", "7 7 1 7", "8 7 0 7",
                    "9 10 0 10", "10 10 1 10", "11 11 1 3", "12 3 0 3"]
    description = json.loads((tmp_path / "background.json").read_text())
    assert description["unit"] == "hours"
    assert description["declustering"]["background"] == 5
    assert "5 background events of 11" in capsys.readouterr().out


@pytest.mark.parametrize("change, message", [
    (lambda lines: lines[:3] + ["300.0 3.0 35.0"] + lines[4:],
     "events.txt, line 4: no longitude (column 4)"),
    (lambda lines: lines[:2] + ["240.0 M3 35.0 -117.0 7.5"] + lines[3:],
     "events.txt, line 3: the magnitude is not a number: 'M3'"),
])
def test_command_refuses_bad_lines_and_writes_nothing(tmp_path, capsys, change, message):
    lines = [HEADER] + ["%.1f %.1f %.2f %.2f 7.5" % e for e in EVENTS]
    events = _write_catalogue(tmp_path, lines=change(lines))
    before = sorted(os.listdir(tmp_path))
    assert decluster.decluster_main([str(events), "-o", str(tmp_path / "bg.txt")]) == 1
    assert message in capsys.readouterr().err
    assert sorted(os.listdir(tmp_path)) == before


def test_command_needs_the_time_unit(tmp_path, capsys):
    events = _write_catalogue(tmp_path, with_description=False)
    assert decluster.decluster_main([str(events), "-o", str(tmp_path / "bg.txt")]) == 1
    assert "the time unit is not known" in capsys.readouterr().err
    assert decluster.decluster_main([str(events), "-o", str(tmp_path / "bg.txt"),
                                     "--unit", "hours"]) == 0


@pytest.mark.parametrize("output, message", [
    ("{events}", "would overwrite the input"),
    ("{description}", "would overwrite the input"),  # the background's events file
    ("bg.clusters.txt", None),                         # distinct names: fine
    ("bg.json", "name the same file"),                 # events and description collide
])
def test_command_will_not_replace_its_input_or_its_own_outputs(tmp_path, capsys, output,
                                                               message):
    events = _write_catalogue(tmp_path)
    description = decluster.description_path(str(events))
    texts = {p: open(p).read() for p in (str(events), description)}
    target = output.format(events=events, description=description)
    target = target if os.path.isabs(target) else str(tmp_path / target)
    if message is None:
        assert decluster.decluster_main([str(events), "-o", target]) == 0
        return
    with pytest.raises(SystemExit) as stop:      # a wrong command line
        decluster.decluster_main([str(events), "-o", target])
    assert stop.value.code == 2 and message in capsys.readouterr().err
    assert {p: open(p).read() for p in texts} == texts
    assert len(os.listdir(tmp_path)) == len(texts)


def test_bad_command_line_exits_2(tmp_path):
    with pytest.raises(SystemExit) as e:
        decluster.decluster_main([str(tmp_path / "events.txt")])
    assert e.value.code == 2
