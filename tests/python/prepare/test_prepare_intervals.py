"""Observed intervals: the span minus named outages and detected gaps."""

import random
from fractions import Fraction

import pytest

from periodscan.prepare.intervals import (IntervalsError, LeftOut, detect_gaps, observed,
                                          parse_file)


@pytest.mark.parametrize("left_out, expected", [
    ([], [(0, 100)]),
    ([(10, 20)], [(0, 10), (20, 100)]),
    ([(30, 40), (10, 20)], [(0, 10), (20, 30), (40, 100)]),        # any order
    ([(10, 30), (20, 40)], [(0, 10), (40, 100)]),                  # overlapping
    ([(-5, 10), (90, 120)], [(10, 90)]),                           # beyond the span
    ([(0, 100)], []),
    ([(10, 20), (12, 15)], [(0, 10), (20, 100)]),                  # one inside another
])
def test_span_minus_left_out(left_out, expected):
    assert observed(0, 100, [LeftOut(a, b, "x") for a, b in left_out]) == expected


def test_gaps_longer_than_the_length_only():
    gaps = detect_gaps([0, 1, 3, 3.5, 10, 12], 2)
    assert [(g.start, g.end) for g in gaps] == [(3.5, 10)]


def simulated_catalogue(rate_per_day, days, outage):
    """Poisson event times in days with no event during the outage."""
    generator = random.Random(20211)
    times, t = [], 0.0
    while True:
        t += generator.expovariate(rate_per_day)
        if t >= days:
            return times
        if not outage[0] <= t < outage[1]:
            times.append(round(t * 86400))     # whole seconds


def test_an_outage_is_found_between_the_events_around_it(run, tmp_path):
    seconds = simulated_catalogue(50, 100, (40, 45.5))
    source = tmp_path / "sim.csv"
    source.write_text("time\n" + "".join("%d\n" % s for s in seconds))
    status, out, _ = run(source, "--time-column", "time", "--time-unit", "seconds",
                         "--gap", "12h", "-o", tmp_path / "sim.txt")
    assert status == 0
    before = max(s for s in seconds if s < 40 * 86400)
    after = min(s for s in seconds if s > 45.5 * 86400)

    def spell(s):
        return "%.8f" % (s / 86400)       # whole seconds in days: 8 decimals

    text = (tmp_path / "sim.intervals").read_text().splitlines()
    assert text == [
        "# observed intervals of sim.txt: start and end, days from 0 on the source's axis",
        "# span %s %s (first and last event)" % (spell(seconds[0]), spell(seconds[-1])),
        "# left out (detected gap): %s %s" % (spell(before), spell(after)),
        "%s %s" % (spell(seconds[0]), spell(before)),
        "%s %s" % (spell(after), spell(seconds[-1])),
    ]
    assert "gaps longer than 12h left out of the intervals" in out
    assert parse_file("\n".join(text)) == [
        (float(spell(seconds[0])), float(spell(before))),
        (float(spell(after)), float(spell(seconds[-1])))]


def test_named_outage_and_span_of_the_selection(run, tmp_path):
    source = tmp_path / "e.csv"
    source.write_text("time\n" + "".join("2021-01-%02dT12:00:00Z\n" % d for d in range(2, 30)))
    status, out, _ = run(source, "--time-column", "time", "--start", "2021-01-01",
                         "--end", "2021-02-01", "--outage", "2021-01-10", "2021-01-15",
                         "-o", tmp_path / "e.txt")
    assert status == 0
    assert "left out: inside an --outage 5" in out
    assert (tmp_path / "e.intervals").read_text().splitlines() == [
        "# observed intervals of e.txt: start and end, days since 2021-01-01T00:00:00Z",
        "# span 0.0 31.0",
        "# left out (named outage): 9.0 14.0 (2021-01-10T00:00:00Z to 2021-01-15T00:00:00Z)",
        "0.0 9.0",
        "14.0 31.0",
    ]


@pytest.mark.parametrize("text, message", [
    ("1 2\n2 x\n", "i:2: expected a start and an end, found '2 x'"),
    ("# c\n3 2\n", "i:2: the end must be after the start"),
    ("1 3\n2 4\n", "i:2: intervals must be in order and not overlap"),
    ("1 2 3\n", "i:1: expected a start and an end, found '1 2 3'"),
])
def test_intervals_files_that_cannot_be_read(text, message):
    with pytest.raises(IntervalsError) as error:
        parse_file(text, "i")
    assert str(error.value) == message


def test_left_out_is_exact():
    third = Fraction(1, 3)
    assert observed(0, 1, [LeftOut(third, 2 * third, "x")]) == [(0, third), (2 * third, 1)]


@pytest.mark.parametrize("days, kept, intervals", [
    ([0, 1, 50, 100, 101], [0, 1, 100, 101], [(0, 1), (100, 101)]),   # alone between gaps
    ([0, 10, 11, 12], [10, 11, 12], [(10, 12)]),                       # first, then a gap
    ([0, 1, 2, 10], [0, 1, 2], [(0, 2)]),                              # a gap, then the last
    ([0, 10, 20], None, "0 events lie in an observed interval"),
])
def test_events_alone_between_gaps_are_left_out(run, tmp_path, days, kept, intervals):
    source = tmp_path / "g.csv"
    source.write_text("time\n" + "".join("%d\n" % d for d in days))
    status, out, err = run(source, "--time-column", "time", "--time-unit", "days",
                           "--gap", "5", "-o", tmp_path / "g.txt")
    if kept is None:
        assert status == 1 and intervals in err
        return
    assert status == 0
    assert [float(t) for t in (tmp_path / "g.txt").read_text().split()] == kept
    assert parse_file((tmp_path / "g.intervals").read_text()) == intervals
    left = len(days) - len(kept)
    assert "%d %s left out, alone between gaps longer than --gap" % (
        left, "event" if left == 1 else "events") in out
