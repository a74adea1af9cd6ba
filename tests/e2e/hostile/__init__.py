"""Hostile-input cases for periodscan-survey, periodscan-prepare,
periodscan-plot and the engine's Python module, one list per front end;
tests/e2e/test_hostile_inputs.py runs them all as one table."""
