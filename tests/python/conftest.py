"""Puts the periodscan package on the import path: the folder named by the
environment variable PERIODSCAN_PYTHONPATH (a build or install tree), else the
source tree's python/. Also the fixture for the built periodscan program,
named by the environment variable PERIODSCAN."""

import os
import sys
from pathlib import Path

import pytest

PACKAGE_HOME = os.environ.get("PERIODSCAN_PYTHONPATH") or str(
    Path(__file__).resolve().parents[2] / "python")
if PACKAGE_HOME not in sys.path:
    sys.path.insert(0, PACKAGE_HOME)


@pytest.fixture(scope="session")
def program():
    path = os.environ.get("PERIODSCAN")
    if not path:
        pytest.skip("PERIODSCAN is not set: it names the built periodscan program, which these "
                    "tests run (CTest sets it; by hand: PERIODSCAN=build/periodscan "
                    "/usr/bin/python3 -m pytest tests/python)")
    if not os.access(path, os.X_OK):
        pytest.fail("PERIODSCAN=%s is not an executable program" % path)
    return path
