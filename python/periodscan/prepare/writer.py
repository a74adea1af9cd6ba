"""Writing the event file and the files beside it all or nothing: each is
written in full under a temporary name in its own folder, and only when
every one is complete are they renamed to their names. A failed run leaves
neither a half-written file nor a stray temporary one."""

import os
import tempfile


def sidecar(events_path, suffix):
    """The name beside the event file with its extension replaced:
    sidecar("a/b.txt", ".json") == "a/b.json", sidecar("b", ".json") == "b.json"."""
    root, extension = os.path.splitext(events_path)
    return (root if extension else events_path) + suffix


def _same(a, b):
    if os.path.realpath(a) == os.path.realpath(b):
        return True
    try:
        return os.path.samefile(a, b)
    except OSError:  # one of them does not exist yet
        return False


def clashing_outputs(outputs, inputs):
    """Why the files about to be written cannot be: two of them name the same
    file, or one names an input (which would be destroyed, or overwritten by
    another output, with the run still reporting success). None when they
    are all distinct. Links count: "a.txt" and "./b/../a.txt" clash."""
    for i, path in enumerate(outputs):
        for other in outputs[:i]:
            if _same(path, other):
                return "%s and %s name the same file" % (other, path)
        for source in inputs:
            if _same(path, source):
                return "%s would overwrite the input %s" % (path, source)
    return None


def write_together(files):
    """Writes [(path, text)], text as ASCII-safe UTF-8 with "\\n" line ends.
    Raises OSError (after removing its temporary files) when one cannot be
    written."""
    written = []
    try:
        for path, text in files:
            folder = os.path.dirname(os.path.abspath(path))
            handle, temporary = tempfile.mkstemp(prefix="." + os.path.basename(path) + ".",
                                                 suffix=".tmp", dir=folder)
            written.append((temporary, path))
            with os.fdopen(handle, "w", encoding="utf-8", newline="\n") as stream:
                stream.write(text)
            os.chmod(temporary, 0o666 & ~_umask())
        # A folder in the way is the one failure a rename can meet here (the
        # temporary file is in the same folder); look before renaming any.
        for _, path in written:
            if os.path.isdir(path):
                raise IsADirectoryError(21, "Is a directory", path)
        for temporary, path in written:
            os.replace(temporary, path)
    except BaseException:
        for temporary, _ in written:
            try:
                os.unlink(temporary)
            except FileNotFoundError:
                pass
        raise


def _umask():
    mask = os.umask(0)
    os.umask(mask)
    return mask
