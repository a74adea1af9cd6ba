"""The answer files of examples/: each one must run periodscan to the end from
a folder beside examples/, in seconds, and be described in examples/README.md.
(Two of them are run for real by test_command.py.)"""

import math

import numpy as np
import pytest

from periodscan.eventfile import read_event_times
from plot_support import EXAMPLES

ANSWERS = sorted(EXAMPLES.glob("*.answers"))
CATALOGUES = sorted(EXAMPLES.glob("*.txt"))

# Evaluations of a cosine and a logarithm per trial period and event.
EVALUATIONS_PER_PERIOD = 1152
# About five seconds on a slow machine.
MOST_EVALUATIONS = 2.5e8


def numbers(line, count):
    """The first count numbers of an answer line; the rest is a note."""
    return [float(v) for v in line.split()[:count]]


def window_event_counts(t, length, shift):
    """Events in every window, both ends inclusive, as the moving window runs."""
    t = t.astype(np.float32).astype(float)
    duration = float(np.float32(t[-1] - t[0]))
    windows = int((duration - length) / shift + 1)
    starts = t[0] + shift * np.arange(windows)
    return [int(np.sum((t >= s) & (t <= s + length))) for s in starts]


def test_every_catalogue_has_an_answer_file():
    used = {path.read_text().split("\n")[1].strip() for path in ANSWERS}
    assert {"../examples/" + c.name for c in CATALOGUES} <= used


@pytest.mark.parametrize("path", ANSWERS, ids=[p.name for p in ANSWERS])
def test_answer_file_runs_quickly(path):
    lines = path.read_text().split("\n")
    name = lines[1].strip()
    assert len(lines[1]) <= 64, "periodscan takes 64 characters of the file name"
    assert name.startswith("../examples/"), "the name must resolve from a folder beside examples/"
    events = read_event_times(EXAMPLES / name[len("../examples/"):])
    tmin, tmax = numbers(lines[2], 2)
    periods = int(lines[3].split()[0])
    regime = int(lines[4].split()[0])
    assert 0 < tmin < tmax and periods >= 2 and regime in (0, 1)
    if regime == 0:
        passes = len(events)
    else:
        length, shift = numbers(lines[5], 1) + numbers(lines[6], 1)
        numbers(lines[7], 1)  # the time-mark shift: any number
        assert 0 < shift <= length <= events[-1] - events[0]
        passes = sum(n for n in window_event_counts(events, length, shift) if n >= 2)
    evaluations = EVALUATIONS_PER_PERIOD * periods * passes
    assert evaluations <= MOST_EVALUATIONS, "%.3g evaluations: too slow" % evaluations
    assert math.isfinite(evaluations)


def test_readme_describes_every_answer_file():
    readme = (EXAMPLES / "README.md").read_text()
    missing = [p.name for p in ANSWERS if "`%s`" % p.name not in readme]
    assert not missing
