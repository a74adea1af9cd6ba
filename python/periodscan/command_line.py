"""What every Python command of periodscan does around its `main`: an
interrupt (Ctrl-C) ends it quietly with status 130, a lack of memory with a
message and status 1, and a standard output that is closed, full or cannot
be written with one message line and status 1 (a reader that has gone, as
with "| head -1", ends it quietly with status 141). Never a traceback."""

import errno
import importlib
import os
import sys

from ._version import VERSION
from .prepare.writer import describe_write_error

INTERRUPTED_STATUS = 130
# The status of a program ended by the broken-pipe signal, as the shell
# reports it (128 + SIGPIPE).
CLOSED_PIPE_STATUS = 141


def add_version_option(parser, program):
    """--version on an argparse parser: prints "PROGRAM RELEASE" and exits 0."""
    parser.add_argument("--version", action="version", version="%s %s" % (program, VERSION),
                        help="print the program's name and release number and exit")


class StandardOutputError(OSError):
    """Standard output cannot be written (it is closed, the disk is full,
    ...); a reader that has gone raises BrokenPipeError instead."""


def output_problem(error):
    """Why standard output could not be written, in words."""
    if error.errno == errno.EBADF:
        return "it is closed"
    return describe_write_error(error)


class _ClosedOutput:
    """Standard output when the program was started without one (>&-)."""

    def write(self, text):
        raise OSError(errno.EBADF, os.strerror(errno.EBADF))

    def flush(self):
        pass        # nothing was taken, so nothing is lost

    def fileno(self):
        return 1


class _Output:
    """Standard output that raises StandardOutputError when it cannot be
    written, so that the failure is told from that of any other file."""

    def __init__(self, stream):
        self._stream = stream

    def _call(self, method, *args):
        try:
            return method(*args)
        except BrokenPipeError:
            raise
        except OSError as e:
            raise StandardOutputError(e.errno, e.strerror, "standard output") from None

    def write(self, text):
        return self._call(self._stream.write, text)

    def flush(self):
        return self._call(self._stream.flush)

    def __getattr__(self, name):
        return getattr(self._stream, name)


def _occupy(fd):
    """Opens /dev/null as the closed descriptor fd, so that no file the
    program opens takes its number and receives what is meant for it."""
    null = os.open(os.devnull, os.O_RDWR)
    if null != fd:
        os.dup2(null, fd)
        os.close(null)


def guard_standard_streams():
    """Standard output that reports its failures; closed standard
    descriptors are taken by /dev/null (what goes to a closed standard error
    is lost, as there is nowhere to say it)."""
    for fd in (0, 1, 2):
        try:
            os.fstat(fd)
        except OSError:
            _occupy(fd)
            if fd == 2:
                sys.stderr = open(os.devnull, "w")
            elif fd == 1:
                sys.stdout = _ClosedOutput()
    if not isinstance(sys.stdout, _Output):
        sys.stdout = _Output(sys.stdout)


def discard_output():
    """Sends whatever is still to be written to standard output to
    /dev/null, so that the flush at exit does not fail again."""
    null = os.open(os.devnull, os.O_WRONLY)
    os.dup2(null, 1)
    os.close(null)


def write_output(program, lines, written):
    """Prints `lines` to standard output after the files of the run were
    written; when standard output cannot take them, says so and that
    `written` (a phrase: "the figures are written") still holds. Returns
    whether the lines were written. A reader that has gone raises
    BrokenPipeError."""
    try:
        for line in lines:
            print(line)
        sys.stdout.flush()
    except StandardOutputError as e:
        discard_output()
        print("%s: error: cannot write to standard output (%s); %s"
              % (program, output_problem(e), written), file=sys.stderr)
        return False
    return True


def run_command(program, module, argv=None):
    """Runs `module`.main(argv) (imported here, so that a lack of memory while
    importing is reported too) and returns the exit status."""
    guard_standard_streams()
    stopped = ""
    try:
        command = importlib.import_module(module)
        # What is true of the files when the command is stopped short.
        stopped = getattr(command, "STOPPED_NOTE", "")
        status = command.main(argv)
        sys.stdout.flush()
        return status
    except KeyboardInterrupt as stop:
        discard_output()
        # SIGTERM during the work of a cluster comes as an interrupt too.
        return getattr(stop, "status", INTERRUPTED_STATUS)
    except MemoryError:
        discard_output()
        print("%s: error: not enough memory (give it more, or smaller files)%s"
              % (program, "; " + stopped if stopped else ""), file=sys.stderr)
        return 1
    except BrokenPipeError:
        discard_output()
        return CLOSED_PIPE_STATUS
    except StandardOutputError as e:
        discard_output()
        print("%s: error: cannot write to standard output: %s" % (program, output_problem(e)),
              file=sys.stderr)
        return 1
