"""Hostile inputs of the engine: scales it cannot represent, through the
command and through the Python module."""

CASES = []
