"""The shell around the Python commands: what ends them early."""

import sys
import types

import pytest

from periodscan import command_line


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
