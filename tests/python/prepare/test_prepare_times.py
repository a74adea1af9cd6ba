"""Exact times: ISO 8601 text, calendar days, fixed-point text, the choice of
decimals, and the nearest 4-byte real of a decimal."""

from fractions import Fraction

import pytest

from periodscan.eventfile import float32_spacing as spacing
from periodscan.eventfile import nearest_float32
from periodscan.prepare.timeaxis import (UNIT_SECONDS, TimeError, choose_decimals,
                                         civil_from_days, days_from_civil, format_fixed,
                                         format_iso, parse_iso, parse_length)

ISO_CASES = [
    # text, the same time in UTC, step in seconds
    ("2021-01-01T00:54:22.44Z", "2021-01-01T00:54:22.44Z", Fraction(1, 100)),
    ("2016-01-01 11:25:04.500000+00:00", "2016-01-01T11:25:04.5Z", Fraction(1, 10)),
    ("2021/01/01 00:54:22", "2021-01-01T00:54:22Z", Fraction(1)),
    ("2021-03-01", "2021-03-01T00:00:00Z", Fraction(86400)),
    ("2021-03-01T12:30", "2021-03-01T12:30:00Z", Fraction(60)),
    ("2021-01-01T02:00:00+05:30", "2020-12-31T20:30:00Z", Fraction(1)),
    ("2021-01-01T02:00:00-0800", "2021-01-01T10:00:00Z", Fraction(1)),
    ("2016-12-31T23:59:60Z", "2017-01-01T00:00:00Z", Fraction(1)),
    ("2002-10-04T19:05:49.9400", "2002-10-04T19:05:49.94Z", Fraction(1, 100)),
    ("2000-02-29T00:00:00,5Z", "2000-02-29T00:00:00.5Z", Fraction(1, 10)),
    ("1582-10-04T00:00:00Z", "1582-10-04T00:00:00Z", Fraction(1)),
    ("1969-12-31T23:59:59.9999999996Z", "1970-01-01T00:00:00Z", Fraction(1, 10 ** 10)),
    ("1969-12-31T23:59:59.999999999Z", "1969-12-31T23:59:59.999999999Z", Fraction(1, 10 ** 9)),
]


@pytest.mark.parametrize("text, utc, step", ISO_CASES)
def test_iso_times_are_read_exactly(text, utc, step):
    seconds, got_step = parse_iso(text)
    assert (format_iso(seconds), got_step) == (utc, step)


@pytest.mark.parametrize("text", ["2021-02-29", "2021-13-01", "2021-01-01T24:00:00",
                                  "2021-01-01T00:60:00", "2021-01-01T00:00:61",
                                  "2021-01-01T00:00:00+24:00", "2021-01-01x", "0,0377",
                                  "2021-01/01"])
def test_impossible_times_are_refused(text):
    with pytest.raises(TimeError):
        parse_iso(text)


def test_calendar_days_round_trip_across_centuries_and_before_year_zero():
    assert days_from_civil(1970, 1, 1) == 0
    assert days_from_civil(2021, 1, 1) == 18628
    assert days_from_civil(1900, 3, 1) - days_from_civil(1900, 2, 28) == 1
    assert days_from_civil(2000, 3, 1) - days_from_civil(2000, 2, 28) == 2
    for day in range(-800000, 800000, 997):
        assert days_from_civil(*civil_from_days(day)) == day


@pytest.mark.parametrize("value, decimals, text", [
    (Fraction(1, 8), 2, "0.13"),              # halfway: away from zero
    (Fraction(-1, 8), 2, "-0.13"),
    (Fraction(-1, 1000), 2, "0.00"),          # no sign on a zero
    (Fraction(326244, 8640000), 10, "0.0377597222"),
    (Fraction(185120260095824780, 10 ** 14), 13, "1851.2026009582478"),
    (Fraction(7, 2), 0, "4"),
])
def test_fixed_point_text_is_exactly_rounded(value, decimals, text):
    assert format_fixed(value, decimals) == text


DAY = UNIT_SECONDS["days"]


@pytest.mark.parametrize("values, step, decimals", [
    # 0.01 s in days: a thousandth of the step is 1.2e-10 d
    ([Fraction(326244, 8640000)], Fraction(1, 100) / DAY, 10),
    ([Fraction(1, 86400)], Fraction(1) / DAY, 8),          # whole seconds in days
    ([Fraction(326244, 100)], Fraction(1, 100), 2),        # 0.01 s in seconds: exact
    ([Fraction(3)], Fraction(1), 1),                       # never a whole number
    ([Fraction(18512026009582478, 10 ** 13)], Fraction(1, 10 ** 13), 13),  # exact decimals
])
def test_decimals_keep_the_source_precision(values, step, decimals):
    assert choose_decimals(values, step) == decimals


@pytest.mark.parametrize("text, seconds", [("2d", 172800), ("12 h", 43200), ("30min", 1800),
                                           ("1.5", 129600), ("0.5yr", 15778800)])
def test_lengths_of_time(text, seconds):
    assert parse_length(text, "days") == seconds


@pytest.mark.parametrize("text", ["-1d", "2 weeks", "d"])
def test_bad_lengths_of_time(text):
    with pytest.raises(TimeError):
        parse_length(text, "days")


@pytest.mark.parametrize("text, single", [
    ("0.1", 0.100000001490116119384765625),
    ("16777217", 16777216.0),                  # halfway and a double: ties to even
    ("16777217.000000001", 16777218.0),        # same double, above halfway
    ("16777218.999999999", 16777218.0),        # same double as 16777219, below halfway
    ("-16777219", -16777220.0),
    ("2459215.53775972", 2459215.5),           # Julian Day: 0.25 d steps
    ("3.4028235e38", 3.4028234663852886e38),
    ("3.40282357e38", None),                   # beyond halfway to 2^128
    ("1e-46", 0.0),
])
def test_nearest_4_byte_real(text, single):
    assert nearest_float32(text) == single


def test_spacing_of_4_byte_reals():
    assert [spacing(v) for v in (364.9, 512.0, 44547.7, 2459215.5)] == [
        2.0 ** -15, 2.0 ** -14, 2.0 ** -8, 0.25]
