"""Opening a catalogue source, telling its format, and reading it with the
reader of that format.

A source is read once, as a stream: a regular file, a FIFO, or "-" for
standard input. Its SHA-256 and size are taken from the bytes as they pass.
Folders and devices are refused (/dev/zero would never end), and so is a
FIFO that nothing is written to for PIPE_WAIT seconds. A source that
starts with the gzip signature is decompressed as it is read, whatever its
name, to at most MAX_DECOMPRESSED bytes, and to at most MAX_RATIO times the
compressed bytes read once beyond RATIO_FLOOR (text catalogues compress
tenfold or so; far more is a bomb). These bounds are checked by
decompressing the source once before its rows are read, so a bomb costs
little time and memory; a compressed pipe is copied to a temporary file for
that. In the formats read line by line (all
but QuakeML, which may be one line) a line may be at most MAX_LINE bytes."""

import gzip
import hashlib
import io
import os
import select
import stat
import sys
import tempfile
import zlib
from dataclasses import dataclass, field

from . import csvformat, fdsntext, quakeml, scedc
from .records import SourceError

GZIP_MAGIC = b"\x1f\x8b"
SAMPLE_BYTES = 1 << 16
CHUNK = 1 << 16

MAX_DECOMPRESSED = 1 << 30
MAX_RATIO = 200
RATIO_FLOOR = 1 << 20
MAX_LINE = 1 << 20
PIPE_WAIT = 10          # seconds a FIFO may stay without a writer
STANDARD_INPUT = "-"

FORMATS = ("comcat", "fdsn-text", "quakeml", "scedc", "csv")
FORMAT_NAMES = {"comcat": "ComCat CSV", "fdsn-text": "FDSN text", "quakeml": "QuakeML",
                "scedc": "SCEDC listing", "csv": "CSV"}


@dataclass
class SourceFile:
    """A source as given: its path ("-" for standard input), size and SHA-256
    (of its bytes, compressed or not) and the format it was read as."""
    path: str
    size: int = 0
    sha256: str = ""
    compressed: bool = False
    format: str = ""
    items: list = field(default_factory=list)   # Events and Problems, in file order


class _Hashing(io.RawIOBase):
    """The bytes of the source as they are read, counted and hashed."""

    def __init__(self, inner):
        self.inner = inner
        self.digest = hashlib.sha256()
        self.size = 0

    def readable(self):
        return True

    def readinto(self, buffer):
        read = getattr(self.inner, "read1", self.inner.read)
        data = read(min(len(buffer), CHUNK))
        self.digest.update(data)
        self.size += len(data)
        buffer[:len(data)] = data
        return len(data)

    def drain(self):
        while self.readinto(bytearray(CHUNK)):
            pass


class _Prefixed(io.RawIOBase):
    """`head` (bytes already read for a look at the start), then the rest of
    `inner`."""

    def __init__(self, head, inner):
        self.head = head
        self.inner = inner

    def readable(self):
        return True

    def readinto(self, buffer):
        if self.head:
            count = min(len(buffer), len(self.head))
            buffer[:count] = self.head[:count]
            self.head = self.head[count:]
            return count
        data = self.inner.read(len(buffer))
        buffer[:len(data)] = data
        return len(data)


class _Bounded(io.RawIOBase):
    """Decompressed bytes, refused beyond the size and ratio bounds (once more:
    a file may have grown since it was measured)."""

    def __init__(self, inner, compressed, name):
        self.inner = inner
        self.compressed = compressed     # the _Hashing stream below the decompressor
        self.name = name
        self.size = 0

    def readable(self):
        return True

    def readinto(self, buffer):
        data = self.inner.read(len(buffer))
        self.size += len(data)
        _check_inflation(self.size, self.compressed.size, self.name)
        buffer[:len(data)] = data
        return len(data)


class _LineGuard(io.RawIOBase):
    """Refuses a line longer than MAX_LINE bytes, naming it by its number.
    Reads of at most CHUNK (< MAX_LINE) bytes: a line too long runs on from
    an earlier read."""

    def __init__(self, inner, name):
        self.inner = inner
        self.name = name
        self.line = 1           # the number of the line being read
        self.run = 0            # its bytes so far

    def readable(self):
        return True

    def readinto(self, buffer):
        data = self.inner.read(min(len(buffer), CHUNK))
        ends = [i for i in (data.find(b"\n"), data.find(b"\r")) if i >= 0]
        if self.run + (min(ends) if ends else len(data)) > MAX_LINE:
            raise SourceError("%s:%d: a line longer than %d MiB; periodscan-prepare reads "
                              "lines of at most that length" % (self.name, self.line,
                                                                MAX_LINE >> 20))
        last = max(data.rfind(b"\n"), data.rfind(b"\r"))
        self.run = self.run + len(data) if last < 0 else len(data) - last - 1
        self.line += data.count(b"\n")
        buffer[:len(data)] = data
        return len(data)


def open_source(path, what="a catalogue"):
    """The byte stream of the source ("-": standard input) and whether the
    caller closes it; SourceError for a folder (not `what`), a device, a
    file that cannot be opened, or a FIFO that nothing is written to for
    PIPE_WAIT seconds."""
    if path == STANDARD_INPUT:
        if sys.stdin is None:
            raise SourceError("standard input is closed")
        return sys.stdin.buffer, False
    try:
        _check_kind(path, os.stat(path).st_mode, what)
        # Without O_NONBLOCK, opening a FIFO waits for a writer, for ever.
        fd = os.open(path, os.O_RDONLY | os.O_NONBLOCK | os.O_CLOEXEC | os.O_NOCTTY)
    except OSError as error:
        raise SourceError("%s: cannot read: %s" % (path, error.strerror or error)) from None
    try:
        mode = os.fstat(fd).st_mode       # it may have been replaced in between
        _check_kind(path, mode, what)
        if stat.S_ISFIFO(mode):
            # Until a writer has come, a read would end at once, as if the
            # pipe were empty: wait for its first bytes, or for it to close.
            waiting = select.poll()
            waiting.register(fd, select.POLLIN)
            if not waiting.poll(PIPE_WAIT * 1000):
                raise SourceError("%s: a pipe that nothing was written to for %d s (no "
                                  "writer?)" % (path, PIPE_WAIT))
        os.set_blocking(fd, True)
        return open(fd, "rb", buffering=0), True
    except OSError as error:
        os.close(fd)
        raise SourceError("%s: cannot read: %s" % (path, error.strerror or error)) from None
    except SourceError:
        os.close(fd)
        raise


def _check_kind(path, mode, what):
    if stat.S_ISDIR(mode):
        raise SourceError("%s: is a folder, not %s" % (path, what))
    if not (stat.S_ISREG(mode) or stat.S_ISFIFO(mode)):
        raise SourceError("%s: not a regular file (a device or socket is not read)" % path)


def _read_up_to(stream, count):
    parts, got = [], 0
    while got < count:
        data = stream.read(count - got)
        if not data:
            break
        parts.append(data)
        got += len(data)
    return b"".join(parts)


def load(path, options, forced_format=None):
    """Reads the source at `path` ("-": standard input) once into a
    SourceFile with its items; SourceError when it cannot be read or its
    format cannot be told."""
    raw, owned = open_source(path)
    try:
        return read_stream(raw, path, options, forced_format)
    finally:
        if owned:
            raw.close()


def read_stream(raw, path, options, forced_format=None):
    """The SourceFile read from the binary stream `raw` of the source at
    `path`."""
    name = "standard input" if path == STANDARD_INPUT else path
    source = SourceFile(path)
    hashing = _Hashing(raw)
    try:
        head = _read_up_to(hashing, len(GZIP_MAGIC))
        source.compressed = head == GZIP_MAGIC
        content = _Prefixed(head, hashing)
        if source.compressed:
            content = _Bounded(gzip.GzipFile(fileobj=_measured(raw, content, name), mode="rb"),
                               hashing, name)
        sample = _read_up_to(content, SAMPLE_BYTES)
        content = _Prefixed(sample, content)
        source.format = _format(sample, name, options, forced_format)
        source.items = list(_parse(source.format, content, options, name))
        if not source.compressed:
            hashing.drain()
    except (OSError, EOFError, zlib.error) as error:
        raise SourceError("%s: cannot read: %s" % (name, getattr(error, "strerror", None)
                                                   or error)) from None
    except UnicodeError as error:
        raise SourceError("%s: cannot read: %s" % (name, error)) from None
    source.size = hashing.size
    source.sha256 = hashing.digest.hexdigest()
    return source


def _measured(raw, compressed, name):
    """The compressed bytes of `raw` once they are known to stay within the
    bounds: `compressed` (the whole source, read through its hash) is
    decompressed once without keeping what comes out, so that a bomb is
    refused within a second or so rather than after its rows are read. The
    bytes are then read again: from `raw` rewound when it is a file, or from
    a temporary copy of a pipe."""
    start = raw.tell() - len(GZIP_MAGIC) if raw.seekable() else None
    spool = None if start is not None else tempfile.TemporaryFile()
    try:
        inflater = zlib.decompressobj(31)     # gzip members
        fed = size = 0
        pending = b""
        while True:
            if not pending:
                pending = compressed.read(CHUNK)
                if not pending:
                    break
                fed += len(pending)
                if spool is not None:
                    spool.write(pending)
            if inflater.eof:
                pending = pending.lstrip(b"\0")   # zeros may pad the file after a member
                if not pending:
                    continue
                inflater = zlib.decompressobj(31)
            size += len(inflater.decompress(pending, CHUNK))
            pending = inflater.unused_data if inflater.eof else inflater.unconsumed_tail
            _check_inflation(size, fed - len(pending), name)
        if spool is None:
            raw.seek(start)
            return raw
        spool.seek(0)
        return spool
    except BaseException:
        if spool is not None:
            spool.close()
        raise


def _check_inflation(size, compressed, name):
    """SourceError when `compressed` bytes decompressed to `size` bytes are
    beyond the bounds."""
    if size > MAX_DECOMPRESSED:
        raise SourceError("%s: decompresses to more than %d MiB; periodscan-prepare reads "
                          "at most that much of one compressed source"
                          % (name, MAX_DECOMPRESSED >> 20))
    if size > RATIO_FLOOR and size > MAX_RATIO * compressed:
        raise SourceError("%s: decompresses to more than %d times its size, which no "
                          "catalogue does (a gzip bomb?)" % (name, MAX_RATIO))


def detect(sample):
    """The format of the source by its first 64 KiB (decompressed)."""
    text = sample.decode("utf-8-sig", errors="replace")
    lines = text.splitlines()[:-1] if len(sample) == SAMPLE_BYTES else text.splitlines()
    if quakeml.looks_like(text):
        return "quakeml"
    if fdsntext.looks_like(lines):
        return "fdsn-text"
    if scedc.looks_like(lines):
        return "scedc"
    if csvformat.looks_like_comcat(lines):
        return "comcat"
    return None


def _format(sample, name, options, forced_format):
    fmt = forced_format or detect(sample)
    if fmt in (None, "comcat") and options.time_column:
        fmt = "csv"       # the time column the user names, not ComCat's own
    if fmt is None:
        raise SourceError(
            "%s: cannot tell the format: not QuakeML, FDSN text, an SCEDC listing or a ComCat "
            "CSV; for another CSV file name its time column with --time-column, or give "
            "--format" % name)
    if fmt == "csv" and not options.time_column:
        raise SourceError("%s: --format csv needs --time-column" % name)
    return fmt


def _text(content, name, newline=None):
    binary = io.BufferedReader(_LineGuard(content, name), CHUNK)
    return io.TextIOWrapper(binary, encoding="utf-8-sig", errors="replace", newline=newline)


def _parse(fmt, content, options, name):
    if fmt == "quakeml":
        return quakeml.read(io.BufferedReader(content, CHUNK), options, name)
    if fmt == "fdsn-text":
        return fdsntext.read(_text(content, name), options, name)
    if fmt == "scedc":
        return scedc.read(_text(content, name), options)
    if fmt == "comcat":
        return csvformat.read_comcat(_text(content, name, newline=""), options, name)
    return csvformat.read(_text(content, name, newline=""), options, name)


def label(source):
    """The source as messages name it."""
    return "standard input" if source.path == STANDARD_INPUT else source.path


def display_name(source):
    return "standard input" if source.path == STANDARD_INPUT else os.path.basename(source.path)
