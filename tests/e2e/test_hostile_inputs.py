"""Every hostile-input case of the front ends other than the interactive
program, as one table: the lists of tests/e2e/hostile/."""

import glob
import os
import resource
import subprocess

import pytest

from hostile import engine, plot, prepare, survey

CASES = survey.CASES + engine.CASES + prepare.CASES + plot.CASES
PROGRAMS = {"survey": "PERIODSCAN_SURVEY", "prepare": "PERIODSCAN_PREPARE",
            "plot": "PERIODSCAN_PLOT"}
SANITIZED = "sanitize" in os.environ.get("PERIODSCAN_SURVEY", "")


def command_line(case):
    program, *arguments = case.command
    if program == "python":
        return ["/usr/bin/python3", "-c"] + arguments
    path = os.environ.get(PROGRAMS[program])
    if not path:
        pytest.skip("%s is not set" % PROGRAMS[program])
    return [os.path.abspath(path)] + arguments


def environment():
    env = dict(os.environ)
    home = os.environ.get("PERIODSCAN_PYTHONPATH")
    if home:
        env["PYTHONPATH"] = os.path.abspath(home)
    # The cases run in their own folders: a "python" case finds the programs
    # by these paths.
    for variable in PROGRAMS.values():
        if env.get(variable):
            env[variable] = os.path.abspath(env[variable])
    return env


def temporaries(folder):
    return set(glob.glob(str(folder / "**" / "*.tmp-*"), recursive=True))


def set_limits(limits):
    def apply():
        for name, value in limits.items():
            resource.setrlimit(getattr(resource, name), (value, value))
    return apply


@pytest.mark.parametrize("case", CASES, ids=[c.name for c in CASES])
def test_hostile_input(case, tmp_path):
    if SANITIZED and (not case.sanitizer or case.command[0] not in ("survey",)):
        pytest.skip("runs on the release build only")
    argv = command_line(case)
    for variable in case.needs:
        if not os.environ.get(variable):
            pytest.skip("%s is not set" % variable)
    for name, content in case.files.items():
        path = tmp_path / name
        path.parent.mkdir(parents=True, exist_ok=True)
        if isinstance(content, str):
            content = content.encode()
        path.write_bytes(content)
    if case.prepare:
        subprocess.run(case.prepare, shell=True, cwd=tmp_path, check=True)
    before = {name: (tmp_path / name).read_bytes() for name in case.kept}
    stale = temporaries(tmp_path)
    result = subprocess.run(argv, cwd=tmp_path, input=case.stdin, capture_output=True,
                            timeout=case.timeout, env=environment(),
                            preexec_fn=set_limits(case.limits) if case.limits else None)
    out = result.stdout.decode(errors="replace")
    err = result.stderr.decode(errors="replace")
    shown = "status %d\nstdout:\n%s\nstderr:\n%s" % (result.returncode, out[-3000:],
                                                     err[-3000:])
    assert result.returncode == case.status, shown
    assert "Traceback" not in out + err, shown
    if case.message:
        import re
        assert re.search(case.message, out + err if case.anywhere else err), shown
    left = sorted(temporaries(tmp_path) - stale)
    assert not left, "temporary files left: %s\n%s" % (left, shown)
    for name, content in before.items():
        assert (tmp_path / name).read_bytes() == content, "%s changed\n%s" % (name, shown)
    for name in case.absent:
        assert not (tmp_path / name).exists(), "%s was written\n%s" % (name, shown)
