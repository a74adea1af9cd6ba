"""Hostile inputs of periodscan-plot: tables and event files that do not
belong together, damaged tables, odd descriptions."""

CASES = []
