"""Every shipped event file is re-created from its raw source by the command
that examples/DATA.md gives for it: the same number of events, the same
times to the precision the shipped file prints, the same magnitudes."""

import shlex
from decimal import Decimal

import pytest

from prepare_support import EXAMPLES


def data_md_commands():
    """{event file name: argument list} from the sh block of DATA.md."""
    text = (EXAMPLES / "DATA.md").read_text()
    commands = {}
    for line in text.splitlines():
        if line.startswith("periodscan-prepare "):
            argv = shlex.split(line)[1:]
            output = argv[argv.index("-o") + 1]
            assert output not in commands, "two commands write %s" % output
            commands[output] = argv
    return commands


COMMANDS = data_md_commands()
SHIPPED = sorted(p.name for p in EXAMPLES.glob("*.txt"))


def test_every_shipped_event_file_has_its_command():
    assert sorted(COMMANDS) == SHIPPED


def decimals(text):
    return len(text.split(".")[1]) if "." in text else 0


@pytest.mark.parametrize("name", SHIPPED)
def test_recreated_from_raw(run, tmp_path, monkeypatch, name):
    argv = [a.replace("../examples/", str(EXAMPLES) + "/") for a in COMMANDS[name]]
    monkeypatch.chdir(tmp_path)
    status, _, err = run(*argv)
    assert (status, err) == (0, "")
    shipped = [line.split() for line in (EXAMPLES / name).read_text().splitlines()]
    made = [line.split() for line in (tmp_path / name).read_text().splitlines()]
    assert len(made) == len(shipped)
    for ours, theirs in zip(made, shipped):
        # Both are exactly rounded from the same exact time: they differ by at
        # most half a unit in the last place of each.
        tolerance = (Decimal(5).scaleb(-decimals(theirs[0]) - 1)
                     + Decimal(5).scaleb(-decimals(ours[0]) - 1))
        assert abs(Decimal(ours[0]) - Decimal(theirs[0])) <= tolerance, (ours, theirs)
        assert ours[1:len(theirs)] == theirs[1:]
