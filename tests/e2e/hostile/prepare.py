"""Hostile inputs of periodscan-prepare (catalogues, check, intervals,
decluster)."""

CASES = []
