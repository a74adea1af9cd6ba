"""The built periodscan program for the end-to-end tests, named by the
environment variable PERIODSCAN."""

import os

import pytest


@pytest.fixture(scope="session")
def program():
    path = os.environ.get("PERIODSCAN")
    if not path:
        pytest.skip("PERIODSCAN is not set: it names the built periodscan program, which these "
                    "tests run (CTest sets it; by hand: PERIODSCAN=build/periodscan "
                    "/usr/bin/python3 -m pytest tests/e2e)")
    if not os.access(path, os.X_OK):
        pytest.fail("PERIODSCAN=%s is not an executable program" % path)
    return os.path.abspath(path)
