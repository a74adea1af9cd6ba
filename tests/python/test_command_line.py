"""The shell around the Python commands: what ends them early."""

import importlib
import re
import sys
import types
from pathlib import Path

import pytest

from periodscan import command_line, wording


@pytest.mark.parametrize("raised, status, message", [
    (KeyboardInterrupt, 130, ""),
    (MemoryError, 1, "prog: error: not enough memory (give it more, or smaller files); "
                     "nothing written\n"),
    (BrokenPipeError, 141, ""),
])
def test_a_command_stopped_short_ends_without_a_traceback(monkeypatch, capfd, raised, status,
                                                          message):
    def main(argv):
        raise raised
    module = types.SimpleNamespace(main=main, STOPPED_NOTE="nothing written")
    monkeypatch.setitem(sys.modules, "stopped_command", module)
    monkeypatch.setattr(sys, "stdout", sys.stdout)
    monkeypatch.setattr(command_line, "discard_output", lambda: None)
    assert command_line.run_command("prog", "stopped_command") == status
    assert capfd.readouterr().err == message


def release_number():
    text = (Path(__file__).resolve().parents[2] / "CMakeLists.txt").read_text()
    return re.search(r"project\(periodscan VERSION (\S+)", text).group(1)


@pytest.mark.parametrize("module, argv, program", [
    ("periodscan.plot_command", ["--version"], "periodscan-plot"),
    ("periodscan.map_command", ["--version"], "periodscan-map"),
    ("periodscan.prepare.command", ["--version"], "periodscan-prepare"),
    ("periodscan.prepare.command", ["check", "--version"], "periodscan-prepare"),
    ("periodscan.prepare.command", ["decluster", "ev.txt", "--version"], "periodscan-prepare"),
])
def test_version_is_the_release_set_in_cmake(capsys, module, argv, program):
    try:
        status = importlib.import_module(module).main(argv)
    except SystemExit as stop:
        status = stop.code
    out, err = capsys.readouterr()
    assert (status, out, err) == (0, "%s %s\n" % (program, release_number()), "")


@pytest.mark.parametrize("count, noun, plural, text", [
    (0, "row", None, "0 rows"),
    (1, "row", None, "1 row"),
    (2, "interval", None, "2 intervals"),
    (1, "duplicate", None, "1 duplicate"),
    (3, "analysis", "analyses", "3 analyses"),
])
def test_counts_in_messages_agree_with_their_noun(count, noun, plural, text):
    assert wording.counted(count, noun, plural) == text
