"""Puts the periodscan package on the import path (PERIODSCAN_PYTHONPATH, else
the source tree's python/) and gives the tests the command to run."""

import os
import sys
from pathlib import Path

import pytest

PACKAGE_HOME = os.environ.get("PERIODSCAN_PYTHONPATH") or str(
    Path(__file__).resolve().parents[3] / "python")
if PACKAGE_HOME not in sys.path:
    sys.path.insert(0, PACKAGE_HOME)


@pytest.fixture
def run(capsys):
    """Runs periodscan-prepare with the given arguments; returns (exit status,
    standard output, standard error)."""
    from periodscan.prepare.command import main

    def run_command(*argv):
        status = main([str(a) for a in argv])
        captured = capsys.readouterr()
        return status, captured.out, captured.err
    return run_command
