"""Faults end to end: the end of standard input where the other tests do not
reach it, a console that cannot be written, result files that cannot be
created or written, event files that are devices, unreadable, too large for
memory or changed between the counting and the reading pass, and an
interrupted moving-window scan. Each case checks the console output, the
report and exit status, and every file left in the folder."""

import contextlib
import fcntl
import os
import resource
import shutil
import signal
import subprocess
import tempfile
import threading
import time

import pytest

from e2e import (END_OF_INPUT, FILE_PROMPT, LENGTH, MARKS, NO_FILE, NUMBER, PERIODS, PREAMBLE,
                 REGIME, SHIFT, TOO_LONG, Result, check, count_line, fatal, files_in, labels,
                 records)

GRD = "ZUM_out.grd"
NORMALIZED = "ZUM_out_Normalized.grd"
COUNTS = "NumbOfEvents_in_Windows.dat"
SPECTRUM = "ZUM_out.dat"
TOO_SMALL = " Moving time window shift is too small !"
STOP_A = [" Wrong structure of the input file !",
          " The sequence of time moments must be with non-decreasing values.",
          " Press <Enter> to terminate..."]

EVENTS = {"ev.txt": b"0\n1\n2\n8\n9\n10\n"}
OPENED = [FILE_PROMPT, count_line(6)]
TO_REGIME = OPENED + [PERIODS, NUMBER] + REGIME
REGIME0 = "\nev.txt\n1 100\n5\n0\n"
WINDOW = "\nev.txt\n1 100\n2\n1\n"
TO_WINDOW = TO_REGIME + [LENGTH]


@pytest.fixture(scope="module")
def sanitized(program):
    """True for a sanitizer build, which reserves terabytes of address space
    for its shadow memory and so cannot run under an address-space limit."""
    with open(program, "rb") as f:
        return b"__asan_init" in f.read()


def session(program, stdin, files, setup=None, teardown=None, preexec=None,
            stdout=subprocess.PIPE):
    """Runs the program in a fresh folder holding `files`, like e2e.run, with
    hooks: `setup(folder)` before the run, `teardown(folder)` after it (before
    the files are collected), `preexec` in the child before the program
    starts, and another standard output."""
    with tempfile.TemporaryDirectory(prefix="periodscan-e2e-") as folder:
        for name, content in files.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(content)
        if setup:
            setup(folder)
        try:
            proc = subprocess.run([program], input=stdin.encode("latin-1"), stdout=stdout,
                                  stderr=subprocess.PIPE, cwd=folder, preexec_fn=preexec,
                                  timeout=120)
        finally:
            if teardown:
                teardown(folder)
        return Result(proc.stdout or b"", proc.stderr, proc.returncode, files_in(folder))


# --- The end of standard input at the prompts that the dialogue and event-file
# tests do not reach: the error stop A, and every question asked again after
# a rejected answer. (label, standard input, records shown after the preamble)
ENDS = [
    ("at the pause of error stop A", "\nev.txt\n",
     [FILE_PROMPT, count_line(2)] + STOP_A),
    ("after a rejected period range", "\nev.txt\n0 10\n", TO_REGIME[:3] + [PERIODS]),
    ("after a rejected number of periods", "\nev.txt\n1 100\n1\n",
     OPENED + [PERIODS, NUMBER, NUMBER]),
    ("after a rejected regime", "\nev.txt\n1 100\n5\n2\n", TO_REGIME + REGIME),
    ("after a window that is too long", WINDOW + "11\n", TO_WINDOW + [TOO_LONG, LENGTH]),
    ("after a shift longer than the window", WINDOW + "3\n5\n",
     TO_WINDOW + [SHIFT, " Moving time window shift should be 0 < Tshift <=        3.000000",
                  SHIFT]),
    ("after a shift that is too small", WINDOW + "3\n1e-9\n",
     TO_WINDOW + [SHIFT, TOO_SMALL, SHIFT]),
    ("at the shift asked again for an unreadable time-mark shift", WINDOW + "3\n1.5\nword\n",
     TO_WINDOW + [SHIFT, MARKS, SHIFT]),
    ("after a last answer without a line end", "\nev.txt\n1 100", OPENED + [PERIODS, NUMBER]),
]


@pytest.mark.parametrize("label,stdin,shown", ENDS, ids=labels(ENDS))
def test_end_of_input(program, label, stdin, shown):
    files = {"ev.txt": b"5\n3\n"} if "stop A" in label else EVENTS
    result = session(program, stdin, files)
    check(result, PREAMBLE + shown, stderr=END_OF_INPUT, status=2, files=files)


# Standard input that cannot be read at all ends the run like its end does.
UNREADABLE_INPUT = [
    ("closed", lambda: os.close(0)),
    ("a folder", lambda: os.dup2(os.open("/", os.O_RDONLY), 0)),
]


@pytest.mark.parametrize("label,preexec", UNREADABLE_INPUT, ids=labels(UNREADABLE_INPUT))
def test_standard_input_cannot_be_read(program, label, preexec):
    result = session(program, REGIME0, EVENTS, preexec=preexec)
    check(result, PREAMBLE, stderr=END_OF_INPUT, status=2, files=EVENTS)


# --- A console that cannot be written: the report names it, and no result
# file is made.
@contextlib.contextmanager
def full_device():
    with open("/dev/full", "wb") as full:
        yield {"stdout": full}


@contextlib.contextmanager
def closed_output():
    yield {"preexec": lambda: os.close(1)}


@contextlib.contextmanager
def pipe_without_reader():
    """A pipe whose reader has gone (as after "| head"): the same report, not
    a silent end by the broken-pipe signal."""
    reader, writer = os.pipe()
    os.close(reader)
    try:
        yield {"stdout": writer}
    finally:
        os.close(writer)


UNWRITABLE_OUTPUT = [
    ("on a full device", full_device),
    ("closed", closed_output),
    ("a pipe without a reader", pipe_without_reader),
]


@pytest.mark.parametrize("label,output", UNWRITABLE_OUTPUT, ids=labels(UNWRITABLE_OUTPUT))
def test_standard_output_cannot_be_written(program, label, output):
    with output() as hooks:
        result = session(program, REGIME0, EVENTS, **hooks)
    check(result, b"", stderr=fatal("failure during a write", "console output",
                                    "standard output"), status=2, files=EVENTS)


# --- Result files that cannot be created or written. The run ends with the
# report naming the file and exit status 2, never with the success of a
# regime; files closed before it are complete: the same bytes as in a run
# without the fault.
ASKED0 = PREAMBLE + TO_REGIME
ONE_EVENTS = {"ev.txt": b"0\n0.5\n1\n3\n5\n5.5\n6\n"}
ONE_ANSWERS = "\nev.txt\n0.5 20\n3\n1\n2\n1\n-1.5\n"


def normal_run(program, answers, files):
    result = session(program, answers, files)
    assert result.status == 0, "the run without the fault failed: %r" % result.stderr
    return result


@pytest.fixture(scope="module")
def one_window_run(program):
    """The moving-window run of ONE_EVENTS without a fault."""
    return normal_run(program, ONE_ANSWERS, ONE_EVENTS)


@pytest.fixture(scope="module")
def spectrum(program):
    """The spectrum file of REGIME0 without a fault."""
    data = normal_run(program, REGIME0, EVENTS).files[SPECTRUM]
    assert len(data) == 5 * 47
    return data


def read_only_folder():
    """Hooks that make the folder read-only for the program. Root writes
    regardless of permission bits, so for root the folder is made immutable
    (where the file system supports it); otherwise the test is skipped."""
    if os.geteuid() != 0:
        return (lambda d: os.chmod(d, 0o555)), (lambda d: os.chmod(d, 0o755))
    if shutil.which("chattr") is None:
        pytest.skip("running as root, and chattr is not installed")
    with tempfile.TemporaryDirectory(prefix="periodscan-e2e-") as probe:
        tried = subprocess.run(["chattr", "+i", probe], capture_output=True)
        subprocess.run(["chattr", "-i", probe], capture_output=True)
    if tried.returncode != 0:
        pytest.skip("running as root, and this file system refuses chattr +i: %s" %
                    tried.stderr.decode().strip())
    return ((lambda d: subprocess.run(["chattr", "+i", d], check=True)),
            (lambda d: subprocess.run(["chattr", "-i", d], check=True)))


def link_to_missing_folder(name):
    return lambda d: os.symlink(os.path.join("missing", name), os.path.join(d, name))


OLD_GRID = {GRD: b"an earlier grid, longer than the new one\r\n" * 200}
# (label, standard input, files given, how the folder is made, what it writes
# on the console (None: as the run without the fault), fatal error kind, file
# named, result files complete before it)
UNWRITABLE_RESULTS = [
    ("spectrum file in a read-only folder", REGIME0, EVENTS, "read-only", ASKED0,
     "open failure", SPECTRUM, ()),
    ("count file in a read-only folder, earlier grid rewritten", ONE_ANSWERS,
     dict(ONE_EVENTS, **OLD_GRID), "read-only", None, "open failure", COUNTS, (GRD,)),
    ("spectrum file linked into a missing folder", REGIME0, EVENTS,
     link_to_missing_folder(SPECTRUM), ASKED0, "open failure", SPECTRUM, ()),
    ("count file linked into a missing folder", ONE_ANSWERS, ONE_EVENTS,
     link_to_missing_folder(COUNTS), None, "open failure", COUNTS, (GRD,)),
    ("normalised grid linked into a missing folder", ONE_ANSWERS, ONE_EVENTS,
     link_to_missing_folder(NORMALIZED), None, "open failure", NORMALIZED, (GRD, COUNTS)),
]


@pytest.mark.parametrize("label,stdin,files,make,console,kind,name,closed", UNWRITABLE_RESULTS,
                         ids=labels(UNWRITABLE_RESULTS))
def test_result_file_cannot_be_written(program, one_window_run, label, stdin, files, make,
                                       console, kind, name, closed):
    setup, teardown = read_only_folder() if make == "read-only" else (make, None)
    result = session(program, stdin, files, setup=setup, teardown=teardown)
    events = ONE_EVENTS if stdin == ONE_ANSWERS else EVENTS
    check(result, one_window_run.stdout if console is None else console,
          stderr=fatal(kind, "file", name), status=2,
          files=dict(events, **{n: one_window_run.files[n] for n in closed}))


def file_size_limit(size):
    """The child may write files of at most `size` bytes; a write beyond fails
    (the signal that would end the process instead is ignored)."""
    def limit():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (size, size))
    return limit


def test_spectrum_file_meets_a_file_size_limit(program, spectrum):
    """Two records of 47 bytes fit under the limit; the third is cut at byte 100."""
    result = session(program, REGIME0, EVENTS, preexec=file_size_limit(100))
    check(result, ASKED0 + ["  ", "+         4", "+         3"],
          stderr=fatal("failure during a write", "file", SPECTRUM), status=2,
          files=dict(EVENTS, **{SPECTRUM: spectrum[:100]}))


# --- Event files that are not regular files are refused like missing ones,
# and nothing is read from them.
GOOD = {"ev.txt": b"0\n1\n2\n"}


def test_pipe_with_a_waiting_writer_is_refused(program, tmp_path):
    """Opening a pipe for reading would release a writer waiting for a
    reader; the program must not even open it."""
    (tmp_path / "ev.txt").write_bytes(GOOD["ev.txt"])
    fifo = tmp_path / "afifo"
    os.mkfifo(fifo)
    writer = threading.Thread(target=lambda: os.close(os.open(fifo, os.O_WRONLY)), daemon=True)
    writer.start()
    time.sleep(0.1)
    proc = subprocess.run([program], input=b"\nafifo\nev.txt\n1 100\n5\n0\n", cwd=tmp_path,
                          capture_output=True, timeout=120)
    writer.join(0.5)
    released = not writer.is_alive()
    if not released:
        os.close(os.open(fifo, os.O_RDONLY | os.O_NONBLOCK))  # lets the writer go
        writer.join(5)
    result = Result(proc.stdout, proc.stderr, proc.returncode, files_in(tmp_path))
    check(result, PREAMBLE + [FILE_PROMPT, NO_FILE, FILE_PROMPT, count_line(3), PERIODS,
                              NUMBER] + REGIME + ["  "], prefix=True)
    assert not released, "the waiting writer of the pipe was released"


def test_character_devices_are_refused(program):
    """Refused, and the answers that follow are still read in order (nothing
    was taken from standard input). /dev/zero would never end and /dev/null
    would pass for an empty sample."""
    devices = ["/dev/stdin", "/dev/full", "/dev/zero", "/dev/null"]
    result = session(program, "\n" + "".join(d + "\n" for d in devices) +
                     "ev.txt\n1 100\n5\n0\n", GOOD)
    check(result, PREAMBLE + [FILE_PROMPT, NO_FILE] * len(devices) +
          [FILE_PROMPT, count_line(3), PERIODS, NUMBER] + REGIME + ["  "], prefix=True)


def test_a_read_that_fails_ends_the_run(program):
    """A regular file whose reading fails (the kernel refuses to read the
    process's own memory at address 0) must not pass for a short or empty
    sample."""
    result = session(program, "\n/proc/self/mem\n\n", {})
    check(result, PREAMBLE + [FILE_PROMPT],
          stderr=fatal("failure during a read", "file", "/proc/self/mem"), status=2, files={})


# --- Storage that cannot be had while the event file is read: the report,
# exit status 2 and no crash. The address space is limited to 32 MB.
def address_space(limit):
    return lambda: resource.setrlimit(resource.RLIMIT_AS, (limit, limit))


LIMIT = 32 << 20
BIG = [
    # 8.4 million times need 33.6 MB of storage after the counting pass.
    ("more times than memory holds", b"0\n" * 8400000, [FILE_PROMPT, count_line(8400000)],
     fatal("storage exhausted", "file", "big.txt")),
    # One line must be held whole; this one is longer than the limit.
    ("a line longer than memory holds", b"1\n2 " + b"x" * (40 << 20) + b"\n", [FILE_PROMPT],
     fatal("storage exhausted", "memory", "none")),
]


@pytest.mark.parametrize("label,content,shown,report", BIG, ids=labels(BIG))
def test_event_file_larger_than_memory(program, sanitized, label, content, shown, report):
    if sanitized:
        pytest.skip("a sanitizer build cannot run under an address-space limit")
    result = session(program, "\nbig.txt\n1 100\n5\n0\n", {"big.txt": content},
                     preexec=address_space(LIMIT))
    result.files = {name: len(data) for name, data in result.files.items()}
    check(result, PREAMBLE + shown, stderr=report, status=2, files={"big.txt": len(content)})


# A run that needs little memory ends normally under a tight limit, with the
# same bytes as without it: the phase caches keep what memory they can get,
# and the work goes on with the threads the system gives (at 10 MB none, at
# 20 MB one, at 48 MB both, with smaller caches).
SMALL = {"ev.txt": b"".join(b"%.4f\n" % (i * 0.073) for i in range(5000))}
SMALL_ANSWERS = {0: "\nev.txt\n0.5 100\n6\n0\n", 1: "\nev.txt\n0.5 100\n6\n1\n100\n30\n0\n"}


@pytest.fixture(scope="module")
def unlimited(program):
    """The runs of SMALL without a limit, by regime."""
    return {regime: normal_run(program, answers, SMALL)
            for regime, answers in SMALL_ANSWERS.items()}


@pytest.mark.parametrize("megabytes", [10, 20, 48])
@pytest.mark.parametrize("regime", [0, 1])
def test_run_under_an_address_space_limit(program, sanitized, unlimited, regime, megabytes):
    if sanitized:
        pytest.skip("a sanitizer build cannot run under an address-space limit")
    result = session(program, SMALL_ANSWERS[regime], SMALL,
                     preexec=address_space(megabytes << 20))
    check(result, unlimited[regime].stdout, stderr=b"", status=0,
          files=unlimited[regime].files)


# --- An event file that changes between the counting and the reading pass.
# Standard output is a pipe of one page, filled by the test so that the count
# line, written between the two passes, cannot go in: the program waits in
# that write while the file is changed, and reads the changed file when the
# test empties the pipe.
F_SETPIPE_SZ, F_GETPIPE_SZ = 1031, 1032
COUNTED = b"0\n1\n2\n3\n4\n"


def waiting_in_write(pid):
    """True when the process waits in a write to its standard output."""
    try:
        with open("/proc/%d/syscall" % pid) as f:
            return f.read().startswith("1 0x1 ")
    except OSError:
        with open("/proc/%d/wchan" % pid) as f:
            return "pipe_write" in f.read()


def read_until(fd, text, seen=b""):
    """Reads from `fd` until `text` has been seen, or to the end."""
    while text not in seen:
        chunk = os.read(fd, 65536)
        if not chunk:
            break
        seen += chunk
    return seen


def change_between_passes(program, folder, changed):
    path = os.path.join(folder, "ev.txt")
    with open(path, "wb") as f:
        f.write(COUNTED)
    out, into = os.pipe()
    fcntl.fcntl(into, F_SETPIPE_SZ, 4096)
    proc = subprocess.Popen([program], stdin=subprocess.PIPE, stdout=into,
                            stderr=subprocess.PIPE, cwd=folder)
    try:
        proc.stdin.write(b"\n")
        proc.stdin.flush()
        shown = read_until(out, records([FILE_PROMPT]))
        # All but 20 bytes of the pipe are taken; the count line needs 38.
        filler = b"f" * (fcntl.fcntl(into, F_GETPIPE_SZ) - 20)
        os.write(into, filler)
        os.close(into)
        proc.stdin.write(b"ev.txt\n")
        proc.stdin.flush()
        deadline = time.time() + 30
        while not waiting_in_write(proc.pid):
            if time.time() > deadline or proc.poll() is not None:
                raise RuntimeError("the program did not wait in the count line")
            time.sleep(0.01)
        with open(path, "wb") as f:
            f.write(changed)
        rest = read_until(out, b"\x00never")
        assert rest.startswith(filler)
        proc.stdin.close()
        stderr = proc.stderr.read()
        proc.wait(60)
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
        os.close(out)
    return Result(shown + rest[len(filler):], stderr, proc.returncode, files_in(folder))


CHANGED = [
    ("cut short", b"0\n1\n", "end of input during a read"),
    ("emptied", b"", "end of input during a read"),
    ("a word in place of a time", b"0\n1\nxx\n3\n4\n", "a value of a wrong form"),
    ("a line that starts with a comma", b"0\n1\n,2\n3\n4\n", "a value of a wrong form"),
    ("a time beyond the 4-byte range", b"0\n1\n1e39\n3\n4\n", "a value out of range"),
]


@pytest.mark.parametrize("label,changed,kind", CHANGED, ids=labels(CHANGED))
def test_event_file_changed_between_the_passes(program, tmp_path, label, changed, kind):
    try:
        result = change_between_passes(program, tmp_path, changed)
    except (RuntimeError, OSError) as problem:
        pytest.skip(str(problem))
    check(result, PREAMBLE + [FILE_PROMPT, count_line(5)], stderr=fatal(kind, "file", "ev.txt"),
          status=2, files={"ev.txt": changed})


def test_interrupt_during_the_scan(program, tmp_path):
    """The scan keeps every result in memory, so the run leaves no result file
    of its own and earlier result files stay as they were."""
    times = b"".join(b"%.3f\n" % (i * 0.331) for i in range(3000))
    earlier = {SPECTRUM: b"earlier spectrum\r\n", GRD: b"earlier grid\r\n",
               COUNTS: b"earlier counts\r\n", NORMALIZED: b"earlier normalised grid\r\n"}
    for name, content in dict(earlier, **{"ev.txt": times}).items():
        (tmp_path / name).write_bytes(content)
    # 500 periods in 11 windows of about 1400 events: minutes of work. The
    # interrupt must end the program even where the test itself was started
    # with interrupts ignored.
    proc = subprocess.Popen([program], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, cwd=tmp_path,
                            preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
    try:
        proc.stdin.write(b"\nev.txt\n1 100\n500\n1\n480\n50\n0\n")
        proc.stdin.close()
        shown = read_until(proc.stdout.fileno(), b"\r\n+")  # the first progress record
        proc.send_signal(signal.SIGINT)
        shown += proc.stdout.read()
        stderr = proc.stderr.read()
        proc.wait(60)
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
    result = Result(shown, stderr, proc.returncode, files_in(tmp_path))
    questions = PREAMBLE + [FILE_PROMPT, count_line(3000), PERIODS, NUMBER] + REGIME + [
        LENGTH, SHIFT, MARKS, "  "]
    check(result, records(questions), stderr=b"", status=-signal.SIGINT,
          files=dict(earlier, **{"ev.txt": times}), prefix=True)
    after = result.stdout.split(b"\r\n")[len(questions):]
    assert all(line.startswith(b"+") for line in after if line), \
        "only progress records after the questions"
