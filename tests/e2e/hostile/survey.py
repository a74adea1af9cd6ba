"""Hostile inputs of periodscan-survey."""

from .case import Case

CASES = [
    Case("no event file", ["survey", "--min-period", "1", "--max-period", "2"], 2,
         "no event file given"),
]
