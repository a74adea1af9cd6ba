"""Opening a catalogue file, telling its format, and reading it with the
reader of that format. A file that starts with the gzip signature is
decompressed as it is read, whatever its name."""

import gzip
import hashlib
import io
import os
import zlib
from dataclasses import dataclass, field

from . import csvformat, fdsntext, quakeml, scedc
from .records import SourceError

GZIP_MAGIC = b"\x1f\x8b"
SAMPLE_BYTES = 1 << 16

FORMATS = ("comcat", "fdsn-text", "quakeml", "scedc", "csv")
FORMAT_NAMES = {"comcat": "ComCat CSV", "fdsn-text": "FDSN text", "quakeml": "QuakeML",
                "scedc": "SCEDC listing", "csv": "CSV"}


@dataclass
class SourceFile:
    """A source as given: its path, size and SHA-256 (of the bytes of the
    file, compressed or not) and the format it was read as."""
    path: str
    size: int
    sha256: str
    compressed: bool
    format: str = ""
    items: list = field(default_factory=list)   # Events and Problems, in file order


def describe(path):
    """Size, SHA-256 and compression of the file; SourceError when it cannot
    be read."""
    digest = hashlib.sha256()
    size = 0
    try:
        with open(path, "rb") as stream:
            head = stream.read(2)
            digest.update(head)
            size += len(head)
            for block in iter(lambda: stream.read(1 << 20), b""):
                digest.update(block)
                size += len(block)
    except OSError as error:
        raise SourceError("%s: cannot read: %s" % (path, error.strerror or error)) from None
    return SourceFile(path, size, digest.hexdigest(), head == GZIP_MAGIC)


def _open_binary(source):
    stream = open(source.path, "rb")
    return gzip.GzipFile(fileobj=stream, mode="rb") if source.compressed else stream


def _text(binary, newline=None):
    return io.TextIOWrapper(binary, encoding="utf-8-sig", errors="replace", newline=newline)


def detect(source):
    """The format of the source by its first 64 KiB."""
    try:
        with _open_binary(source) as binary:
            sample = binary.read(SAMPLE_BYTES)
    except (OSError, EOFError, zlib.error) as error:
        raise SourceError("%s: cannot read: %s" % (source.path, error)) from None
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


def read(source, options, forced_format=None):
    """Reads the whole source into source.items; SourceError when it cannot
    be read or its format cannot be told."""
    name = source.path
    fmt = forced_format or detect(source)
    if fmt in (None, "comcat") and options.time_column:
        fmt = "csv"       # the time column the user names, not ComCat's own
    if fmt is None:
        raise SourceError(
            "%s: cannot tell the format: not QuakeML, FDSN text, an SCEDC listing or a ComCat "
            "CSV; for another CSV file name its time column with --time-column, or give "
            "--format" % name)
    if fmt == "csv" and not options.time_column:
        raise SourceError("%s: --format csv needs --time-column" % name)
    source.format = fmt
    try:
        with _open_binary(source) as binary:
            if fmt == "quakeml":
                items = quakeml.read(binary, options, name)
            elif fmt == "fdsn-text":
                items = fdsntext.read(_text(binary), options, name)
            elif fmt == "scedc":
                items = scedc.read(_text(binary), options)
            elif fmt == "comcat":
                items = csvformat.read_comcat(_text(binary, newline=""), options, name)
            else:
                items = csvformat.read(_text(binary, newline=""), options, name)
            source.items = list(items)
    except (OSError, EOFError, zlib.error) as error:
        raise SourceError("%s: cannot read: %s" % (name, error)) from None
    return source


def display_name(source):
    return os.path.basename(source.path)
