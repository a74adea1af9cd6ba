"""Runs the built program in fresh temporary folders with a scripted standard
input, and compares what it writes byte for byte.

A test builds a table of sessions, runs each with `run` and hands the result
to `check`, which fails with every difference it finds.
"""

import os
import subprocess
import tempfile

# The records that every run writes before it asks for the event file: help
# text, blank line, banner, separator, pause prompt.
PREAMBLE = [
    " This is the program for estimating the next Point Process (PP) intensity law:",
    " Lambda(t)=Mju*(1+A*cos(Omega*t+Fi)), |A| < 1.",
    ' Input file: the sequence of time moments ("long column" of numbers).',
    " Two regimes are available:",
    " (0) estimate over whole sample available (static estimate);",
    " (1) estimate in a moving time window of the given length with a give shift.",
    ' For the (0)-regime output file (name "ZUM_out.dat") is the sequence',
    " of the records: { T, DeltaLogLik, A }, where:",
    " T - the values of the periods within given range [Tmin,Tmax] with uniform",
    " step in decimal values of the period.",
    " DeltaLogLik(T) - increments of Log-Likelihood function;",
    " A(T) - correspondent values of amplitude, |A| < 1.",
    ' For the (1)-regime ouput file (name "ZUM_out.grd") is a GRD-file for further',
    " using in Surfer for plotting 2D and 3D diagrams of DeltaLogLik evolution.",
    " Time marks in grd-file correspond to right-hand end of moving time window.",
    " Diagrams are plotted in dependence on decimal logarithm of the period T.",
    " Reference: D.R. Cox and P.A.W. Lewis, The Statistical Analysis of Series",
    "         of Events. Methuen, London, 1966 (periodic intensity of a process).",
    "  ",
    " === periodscan: maximum-likelihood search for a periodic intensity ===",
    " =========== fitted over a log-spaced grid of trial periods ===========",
    " --------------------------------------------------------",
    " Press <Enter> to continue...",
]

FILE_PROMPT = " Input filename= ?"
NO_FILE = " No such file within current directory !"
PERIODS = " What are the values of minimum and maximum periods (Tmin, Tmax) = ?"
NUMBER = " What is the number of period values = ?"
REGIME = [
    " What will be the regime of program using:",
    " if estimate for the whole sample      - give 0",
    " if estimate in the moving time window - give 1",
]
LENGTH = " What is the length of time window = ?"
TOO_LONG = " Moving time window is too long !"
SHIFT = " What is the shift of moving time window = ?"
MARKS = " What is the shift of time marks on time-frequency diagram = ?"


def count_line(n):
    """The record that reports how many times the event file holds."""
    return " Number of time moments=%12d" % n


def fatal(kind, channel="console input", file="standard input"):
    return "periodscan: fatal error: %s (channel: %s, file: %s)\n" % (kind, channel, file)


END_OF_INPUT = fatal("end of input during a read")


def records(lines):
    """Plain-mode console or file text: every record ends in CR LF."""
    return b"".join(line.encode("latin-1") + b"\r\n" for line in lines)


class Result:
    def __init__(self, stdout, stderr, status, files):
        self.stdout = stdout
        self.stderr = stderr
        self.status = status
        self.files = files  # name -> bytes, every regular file left in the folder


def run(program, stdin, files=None, setup=None, timeout=120):
    """Runs `program` in a new temporary folder holding `files` (name ->
    bytes); `setup(folder)` may prepare more. Returns a Result."""
    with tempfile.TemporaryDirectory(prefix="periodscan-e2e-") as folder:
        for name, content in (files or {}).items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(content)
        if setup:
            setup(folder)
        if isinstance(stdin, str):
            stdin = stdin.encode("latin-1")
        proc = subprocess.run([os.path.abspath(program)], input=stdin, cwd=folder,
                              capture_output=True, timeout=timeout)
        return Result(proc.stdout, proc.stderr, proc.returncode, files_in(folder))


def files_in(folder):
    """The regular files of `folder` (links not followed), name to bytes."""
    left = {}
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        if os.path.isfile(path) and not os.path.islink(path):
            with open(path, "rb") as f:
                left[name] = f.read()
    return left


def first_difference(a, b):
    n = min(len(a), len(b))
    for i in range(n):
        if a[i] != b[i]:
            return i
    return n


def check(result, stdout=None, stderr=b"", status=0, files=None, prefix=False):
    """Compares a Result and fails with every difference found. `stdout` is a
    list of records or bytes (with `prefix`, only the start of the output is
    compared: what the regime writes after the dialogue is checked
    elsewhere); `files` maps every file that must be in the folder afterwards
    to its bytes (None: not checked)."""
    __tracebackhide__ = True  # pytest shows the failing test line, not this body
    problems = []
    if isinstance(stdout, list):
        stdout = records(stdout)
    if isinstance(stderr, str):
        stderr = stderr.encode()
    got = result.stdout[:len(stdout)] if prefix and stdout is not None else result.stdout
    if stdout is not None and got != stdout:
        at = first_difference(result.stdout, stdout)
        problems.append("stdout differs at byte %d:\n   got: %r\n  want: %r" %
                        (at, result.stdout[max(0, at - 60):at + 60],
                         stdout[max(0, at - 60):at + 60]))
    if stderr is not None and result.stderr != stderr:
        problems.append("stderr: got %r, want %r" % (result.stderr, stderr))
    if result.status != status:
        problems.append("exit status: got %d, want %d" % (result.status, status))
    if files is not None:
        if sorted(result.files) != sorted(files):
            problems.append("files left: got %s, want %s" %
                            (sorted(result.files), sorted(files)))
        for fname, content in files.items():
            got = result.files.get(fname)
            if got is not None and got != content:
                at = first_difference(got, content)
                problems.append("%s differs at byte %d:\n   got: %r\n  want: %r" %
                                (fname, at, got[max(0, at - 60):at + 60],
                                 content[max(0, at - 60):at + 60]))
    assert not problems, "\n".join(problems)


def labels(table):
    """Test ids for a parametrized table whose rows begin with their label
    (a row may be a pytest.param)."""
    return [row.values[0] if hasattr(row, "values") else row[0] for row in table]


def engine_built(python_home):
    """Whether the package folder `python_home` holds the compiled engine
    (the sanitizer build leaves it out)."""
    import glob
    return bool(python_home) and bool(
        glob.glob(os.path.join(python_home, "periodscan", "_engine*.so")))
