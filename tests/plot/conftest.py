"""Fixtures for the periodscan-plot tests: the tool loaded as a module, and the
built periodscan program, named by the environment variable PERIODSCAN."""

import os

import pytest

import plot_support


@pytest.fixture(scope="session")
def plot():
    return plot_support.load_tool()


@pytest.fixture(scope="session")
def program():
    path = os.environ.get("PERIODSCAN")
    if not path:
        pytest.skip("PERIODSCAN is not set: it names the built periodscan program, which these "
                    "tests run (CTest sets it; by hand: PERIODSCAN=build/periodscan "
                    "/usr/bin/python3 -m pytest tests/plot)")
    if not os.access(path, os.X_OK):
        pytest.fail("PERIODSCAN=%s is not an executable program" % path)
    return path
