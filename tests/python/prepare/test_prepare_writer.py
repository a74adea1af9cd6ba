"""The all-or-nothing writer: a terminating signal while files are staged
removes them and ends the process by that signal; signals the process
ignores stay ignored; a write that fails leaves the old file."""

import os
import signal
import subprocess
import sys

import pytest

from conftest import PACKAGE_HOME

STAGE_AND_SIGNAL = """
import os, signal, sys
from periodscan.prepare.writer import staged_files
number = int(sys.argv[1])
with staged_files(["a.txt", "b.txt"]) as temporaries:
    for temporary in temporaries:
        with open(temporary, "w") as stream:
            stream.write("x" * 100000)
    os.kill(os.getpid(), number)
    # Reached only when the signal is ignored.
print("survived")
"""


@pytest.mark.parametrize("name, ends", [
    ("SIGTERM", True), ("SIGINT", True), ("SIGQUIT", True), ("SIGUSR1", True),
    ("SIGHUP", True), ("SIGALRM", True),
    ("SIGPIPE", False), ("SIGXFSZ", False),     # ignored by Python: writes fail instead
])
def test_a_signal_while_staging_leaves_no_file(tmp_path, name, ends):
    number = getattr(signal, name)
    result = subprocess.run([sys.executable, "-c", STAGE_AND_SIGNAL, str(number)],
                            cwd=tmp_path, capture_output=True, text=True,
                            env=dict(os.environ, PYTHONPATH=PACKAGE_HOME))
    if ends:
        assert (result.returncode, result.stdout) == (-number, ""), result.stderr
        assert os.listdir(tmp_path) == []
    else:
        assert (result.returncode, result.stdout) == (0, "survived\n"), result.stderr
        assert sorted(os.listdir(tmp_path)) == ["a.txt", "b.txt"]


def test_handlers_are_put_back_after_staging(tmp_path):
    from periodscan.prepare.writer import staged_files, write_together
    before = signal.getsignal(signal.SIGTERM)
    with pytest.raises(RuntimeError):
        with staged_files([str(tmp_path / "a.txt")]):
            assert signal.getsignal(signal.SIGTERM) is not before
            raise RuntimeError("stop")
    assert signal.getsignal(signal.SIGTERM) is before
    assert os.listdir(tmp_path) == []
    write_together([(str(tmp_path / "a.txt"), "1\n")])
    assert signal.getsignal(signal.SIGTERM) is before
    assert os.listdir(tmp_path) == ["a.txt"]


@pytest.mark.parametrize("name", ["e" * 251 + ".txt", "é" * 125 + "e.txt"])
def test_the_longest_legal_names_can_be_staged(tmp_path, name):
    from periodscan.prepare.writer import staged_files
    assert len(os.fsencode(name)) == os.pathconf(tmp_path, "PC_NAME_MAX")
    with staged_files([str(tmp_path / name)]) as (temporary,):
        assert os.path.basename(temporary)[:-8].endswith(".tmp-")
        with open(temporary, "w") as stream:
            stream.write("1\n")
    assert os.listdir(tmp_path) == [name]
