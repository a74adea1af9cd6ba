"""Regime 0 end to end: the console countdown and "ZUM_out.dat" byte for byte,
a longer earlier spectrum file cut, and result files that cannot be written.

The expected spectra were derived with oracle.py, an independent literal
model; random catalogues are also checked against it directly."""

import os
import random

import pytest

import oracle
from e2e import (FILE_PROMPT, NUMBER, PERIODS, PREAMBLE, REGIME, check, count_line, fatal,
                 labels, records, run)

TIMES = "0.5 1.25 3.0 10.2 11.0 12.5 20.1 21.3 30.4 31.0 33.3 40.9".split()
EVENTS = {"ev.txt": "".join(x + "\n" for x in TIMES).encode()}
ASKED = PREAMBLE + [FILE_PROMPT, count_line(len(TIMES)), PERIODS, NUMBER] + REGIME


def countdown(np_):
    return ["  "] + ["+" + oracle.integer10(np_ - k) for k in range(1, np_ + 1)]


FIVE_PERIODS = [
    "    1.00000        3.20649        1.00000    ",
    "    3.16228       0.193392E-01   0.892889E-01",
    "    10.0000        6.89356        1.00000    ",
    "    31.6228       0.155775       0.232873    ",
    "    100.000       0.698620       0.660714    ",
]
TWO_PERIODS = [
    "   0.500000       0.739719       0.511823    ",
    "    2000.00       0.520289       0.994012    ",
]

SPECTRA = [
    ("five periods, 1 to 100", "1 100\n5\n0\n", 5, FIVE_PERIODS, None),
    ("two periods", "0.5 2000\n2\n0\n", 2, TWO_PERIODS, None),
    ("a longer earlier file is cut", "1 100\n5\n0\n", 5, FIVE_PERIODS,
     records(["old record %d" % i for i in range(50)])),
]


@pytest.mark.parametrize("label,answers,np_,spectrum,earlier", SPECTRA, ids=labels(SPECTRA))
def test_spectrum(program, label, answers, np_, spectrum, earlier):
    given = dict(EVENTS)
    if earlier is not None:
        given["ZUM_out.dat"] = earlier
    result = run(program, "\nev.txt\n" + answers, given)
    check(result, ASKED + countdown(np_), files=dict(EVENTS, **{"ZUM_out.dat": records(spectrum)}))


# Result files that cannot be created or written: the fatal error report names
# the file, the exit status is 2 and nothing claims success.
OPEN_FAILURE = fatal("open failure", "file", "ZUM_out.dat")
WRITE_FAILURE = fatal("failure during a write", "file", "ZUM_out.dat")
UNWRITABLE = [
    ("a directory of that name", lambda d: os.mkdir(os.path.join(d, "ZUM_out.dat")), ASKED,
     OPEN_FAILURE),
    ("a full disk", lambda d: os.symlink("/dev/full", os.path.join(d, "ZUM_out.dat")),
     ASKED + ["  "], WRITE_FAILURE),
    pytest.param("a read-only folder", lambda d: os.chmod(d, 0o555), ASKED, OPEN_FAILURE,
                 marks=pytest.mark.skipif(os.geteuid() == 0, reason="root writes everywhere")),
]


@pytest.mark.parametrize("label,setup,console,stderr", UNWRITABLE, ids=labels(UNWRITABLE))
def test_spectrum_file_cannot_be_written(program, label, setup, console, stderr):
    result = run(program, "\nev.txt\n1 100\n5\n0\n", EVENTS, setup=setup)
    check(result, console, stderr=stderr, status=2, files=EVENTS)


def random_catalogues(count=6, seed=20261207):
    """Random catalogues with their answers: duplicate times, gaps, periods
    from far below the mean gap to beyond the span. Returns (times, tmin,
    tmax, np_) per catalogue."""
    rng = random.Random(seed)
    cases = []
    for case in range(count):
        n = rng.randint(2, 40)
        # Held as 4-byte values from the start, so that the file spells them
        # exactly and no decimal-to-float rounding can differ between the two.
        times = sorted(oracle.f32(round(rng.uniform(0, 100), rng.choice([0, 2, 5])))
                       for _ in range(n))
        if times[-1] == times[0]:
            times[-1] = oracle.f32(times[-1] + 1)
        if case % 2:
            times[n // 2:n // 2] = [times[n // 2]] * 3  # repeated times
        tmin = oracle.f32(rng.choice([0.01, 0.5, 3.0]))
        tmax = oracle.f32(tmin * rng.choice([2.0, 50.0, 1e4]))
        np_ = rng.randint(2, 6)
        cases.append((times, tmin, tmax, np_))
    return cases


CATALOGUES = random_catalogues()


@pytest.mark.parametrize("times,tmin,tmax,np_", CATALOGUES,
                         ids=["catalogue %d" % i for i in range(len(CATALOGUES))])
def test_random_catalogue_against_the_literal_model(program, times, tmin, tmax, np_):
    text = "".join("%r\n" % x for x in times).encode()
    t = [oracle.f32(x) for x in times]
    answers = "\nev.txt\n%r %r\n%d\n0\n" % (tmin, tmax, np_)
    expected = records(oracle.spectrum(t, tmin, tmax, np_))
    result = run(program, answers, {"ev.txt": text})
    check(result, None, files={"ev.txt": text, "ZUM_out.dat": expected})
