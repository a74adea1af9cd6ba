"""Writing files all or nothing: each is written in full under a temporary
name in its own folder (NAME.tmp-XXXXXXXX, NAME cut short if that name
would be too long for the folder), and only when every one is
complete are they renamed to their names. A failed run leaves neither a
half-written file nor a stray temporary one: the temporary files are removed
when the writing raises, and also when a terminating signal arrives while
they exist (SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, ...); the process
then ends by that signal's own default action. Signals the process ignores
(Python ignores SIGPIPE and SIGXFSZ, so that a closed pipe or the file size
limit show as the write errors EPIPE and EFBIG) stay ignored.

staged_files() is the general form, for writers that take a file name
(matplotlib's savefig); write_together() writes texts with it."""

import contextlib
import errno
import os
import signal
import stat
import tempfile
import threading

# Signals whose default action ends the process and that a handler can
# catch. Faults (SIGSEGV, SIGBUS, SIGFPE, SIGILL) are left out: a Python
# handler cannot run before the faulting instruction repeats.
TERMINATING = tuple(getattr(signal, name) for name in (
    "SIGHUP", "SIGINT", "SIGQUIT", "SIGTERM", "SIGUSR1", "SIGUSR2", "SIGALRM", "SIGVTALRM",
    "SIGPROF", "SIGXCPU", "SIGXFSZ", "SIGPIPE", "SIGIO", "SIGPWR", "SIGSTKFLT", "SIGSYS",
    "SIGTRAP", "SIGABRT") if hasattr(signal, name)) + tuple(
    range(signal.SIGRTMIN, signal.SIGRTMAX + 1) if hasattr(signal, "SIGRTMIN") else ())

# Temporary files that exist now, and the handlers replaced while they do.
_staged = []
_replaced = {}
_depth = 0


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
    file, one names an input (which would be destroyed, or overwritten by
    another output, with the run still reporting success), or one names
    something that is neither a regular file nor a folder (a device, a FIFO:
    renaming over /dev/null would replace the device; a folder in the way
    fails when the files are written). None when they are all distinct.
    Links count: "a.txt" and "./b/../a.txt" clash. "-" (standard input) is
    no file among the inputs."""
    inputs = [path for path in inputs if path != "-"]
    for i, path in enumerate(outputs):
        try:
            mode = os.stat(path).st_mode
        except OSError:
            mode = None
        if mode is not None and not (stat.S_ISREG(mode) or stat.S_ISDIR(mode)):
            return "%s is not a regular file" % path
        for other in outputs[:i]:
            if _same(path, other):
                return "%s and %s name the same file" % (other, path)
        for source in inputs:
            if _same(path, source):
                return "%s would overwrite the input %s" % (path, source)
    return None


def _remove_staged():
    for temporary in list(_staged):
        try:
            os.unlink(temporary)
        except OSError:
            pass
    _staged.clear()


def _on_signal(number, _frame):
    _remove_staged()
    signal.signal(number, signal.SIG_DFL)
    signal.pthread_sigmask(signal.SIG_UNBLOCK, [number])
    os.kill(os.getpid(), number)


def _install():
    global _depth
    _depth += 1
    if _depth > 1 or threading.current_thread() is not threading.main_thread():
        return
    for number in TERMINATING:
        try:
            previous = signal.getsignal(number)
            if previous is signal.SIG_IGN or previous is None:
                continue
            signal.signal(number, _on_signal)
        except (OSError, ValueError):
            continue
        _replaced[number] = previous


def _uninstall():
    global _depth
    _depth -= 1
    if _depth > 0:
        return
    for number, previous in _replaced.items():
        signal.signal(number, previous)
    _replaced.clear()


@contextlib.contextmanager
def _signals_held():
    """Holds the terminating signals back while a temporary file is created
    and recorded, or while the files are renamed: a signal then arrives
    before or after, never between."""
    held = [n for n in TERMINATING if n in _replaced]
    if held:
        signal.pthread_sigmask(signal.SIG_BLOCK, held)
    try:
        yield
    finally:
        if held:
            signal.pthread_sigmask(signal.SIG_UNBLOCK, held)


STAGING = ".tmp-"
RANDOM_LETTERS = 8      # what tempfile.mkstemp adds to the prefix


def _staging_prefix(name, folder):
    """NAME.tmp- for the temporary file of NAME in `folder`, with NAME cut
    short when the whole would pass the longest name the folder takes: a
    name that is legal stays writable."""
    try:
        longest = os.pathconf(folder, "PC_NAME_MAX")
    except (OSError, ValueError):
        longest = 255
    room = longest - len(STAGING) - RANDOM_LETTERS
    while len(os.fsencode(name)) > room:
        name = name[:-1]
    return name + STAGING


@contextlib.contextmanager
def staged_files(paths):
    """Stages files for `paths`: yields their temporary names (empty files in
    the same folders, with the mode a plain create would give). When the
    block ends normally, every temporary file is flushed to the disk and
    renamed to its path; when it raises, or a terminating signal arrives,
    they are all removed and no path is touched.

        with staged_files(["a.png", "a.svg"]) as (png, svg):
            figure.savefig(png); figure.savefig(svg)
    """
    temporaries = []
    _install()
    try:
        mask = _umask()
        for path in paths:
            folder = os.path.dirname(os.path.abspath(path))
            with _signals_held():
                try:
                    handle, temporary = tempfile.mkstemp(
                        prefix=_staging_prefix(os.path.basename(path), folder), dir=folder)
                except OSError as error:
                    error.filename = path
                    raise
                temporaries.append(temporary)
                _staged.append(temporary)
            os.close(handle)
            os.chmod(temporary, 0o666 & ~mask)
        yield list(temporaries)
        for temporary in temporaries:
            _flush_to_disk(temporary)
        # A folder in the way is the one failure a rename can meet here (the
        # temporary file is in the same folder); look before renaming any.
        for path in paths:
            if os.path.isdir(path):
                raise IsADirectoryError(errno.EISDIR, "Is a directory", path)
        with _signals_held():
            for temporary, path in zip(temporaries, paths):
                os.replace(temporary, path)
                _staged.remove(temporary)
    finally:
        for temporary in temporaries:
            if temporary in _staged:
                try:
                    os.unlink(temporary)
                except OSError:
                    pass
                _staged.remove(temporary)
        _uninstall()


def _flush_to_disk(path):
    handle = os.open(path, os.O_RDONLY)
    try:
        os.fsync(handle)
    finally:
        os.close(handle)


def write_together(files, before_commit=None):
    """Writes [(path, text)], text as UTF-8 with "\\n" line ends, all or
    nothing (see staged_files); `before_commit`, when given, is called once
    they are all staged, and what it raises stops the writing too. Raises
    OSError naming the file when one cannot be written (a full disk:
    ENOSPC; the file size limit: EFBIG)."""
    with staged_files([path for path, _ in files]) as temporaries:
        for temporary, (path, text) in zip(temporaries, files):
            try:
                with open(temporary, "w", encoding="utf-8", newline="\n") as stream:
                    stream.write(text)
            except OSError as error:
                error.filename = path
                raise
        if before_commit is not None:
            before_commit()


def describe_write_error(error):
    """Why a file could not be written, in words for the user."""
    if error.errno == errno.ENOSPC:
        return "the disk is full"
    if error.errno == errno.EFBIG:
        return "the file size limit is reached (ulimit -f)"
    if error.errno == errno.EDQUOT:
        return "the disk quota is used up"
    return error.strerror or str(error)


def _umask():
    mask = os.umask(0)
    os.umask(mask)
    return mask
