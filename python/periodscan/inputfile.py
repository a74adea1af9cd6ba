"""Reading a named input file whole, safely: only a regular file is opened
(a folder, device, FIFO or socket is refused: /dev/zero would never end, a
FIFO nobody writes to would wait for ever), and only up to a size limit.
Every reader of result tables, event files and descriptions comes here, and
their errors (ResultFileError) name the file and the line."""

import os
import stat

# The largest table or event file read (as the survey reads them), and the
# largest description (EVENTS.json), as the survey's JSON reader takes it.
TABLE_LIMIT = 1 << 30
DESCRIPTION_LIMIT = 1 << 20


class InputFileError(Exception):
    """A file that cannot be read; the message names it."""


def size_text(limit):
    for unit, shift in (("GiB", 30), ("MiB", 20), ("KiB", 10)):
        if limit >= 1 << shift and limit % (1 << shift) == 0:
            return "%d %s" % (limit >> shift, unit)
    return "%d bytes" % limit


def kind_of(mode):
    """What a file that is not a regular file is, for a message."""
    for test, name in ((stat.S_ISDIR, "a folder"), (stat.S_ISCHR, "a character device"),
                       (stat.S_ISBLK, "a block device"), (stat.S_ISFIFO, "a FIFO"),
                       (stat.S_ISSOCK, "a socket")):
        if test(mode):
            return name
    return "not a plain file"


def _refuse_kind(path, mode):
    if not stat.S_ISREG(mode):
        raise InputFileError("%s: not a regular file (%s)" % (path, kind_of(mode)))


def read_input_bytes(path, limit, what="a file"):
    """The bytes of the regular file at `path`; InputFileError naming it when
    it is missing, not a regular file (looked at before it is opened, since
    opening a device or FIFO can block or have effects, and again once open,
    as it may have been replaced in between), larger than `limit` bytes
    (`what` names the kind of file in that message), or cannot be read."""
    path = os.fspath(path)
    try:
        _refuse_kind(path, os.stat(path).st_mode)
        fd = os.open(path, os.O_RDONLY | os.O_NOCTTY | os.O_NONBLOCK | os.O_CLOEXEC)
    except FileNotFoundError:
        raise InputFileError("%s: not found" % path) from None
    except OSError as e:
        raise InputFileError("%s: cannot be read (%s)" % (path, e.strerror or e)) from None
    too_large = InputFileError("%s: larger than %s, the most %s may hold"
                               % (path, size_text(limit), what))
    with os.fdopen(fd, "rb") as f:
        info = os.fstat(f.fileno())
        _refuse_kind(path, info.st_mode)
        if info.st_size > limit:
            raise too_large
        try:
            # One byte more than the limit tells a file that grew.
            data = f.read(limit + 1)
        except OSError as e:
            raise InputFileError("%s: cannot be read (%s)" % (path, e.strerror or e)) from None
    if len(data) > limit:
        raise too_large
    return data


class ResultFileError(Exception):
    """A result file or the event file that is missing, malformed or does not
    belong with the others. The message names the file and, where there is
    one, the line."""


def file_error(path, message, line=None):
    where = path if line is None else "%s, line %d" % (path, line)
    return ResultFileError("%s: %s" % (where, message))


def read_lines(path, encoding="ascii", what="a result file"):
    """The lines of a text file without their line ends (CR LF or LF). The
    result files are plain ASCII; anything else is not one of them. Only a
    regular file of at most TABLE_LIMIT bytes is read (read_input_bytes)."""
    try:
        data = read_input_bytes(path, TABLE_LIMIT, what)
    except InputFileError as e:
        raise ResultFileError(str(e)) from None
    try:
        text = data.decode(encoding)
    except UnicodeDecodeError as e:
        raise file_error(path, "is not a text file of periodscan (byte %d is not ASCII)"
                         % (e.start + 1)) from None
    lines = text.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    return [line[:-1] if line.endswith("\r") else line for line in lines]
