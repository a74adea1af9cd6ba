"""Progress of a long computation on standard error, when that is a terminal:
one line rewritten in place, shown only once the work has taken a couple of
seconds, and cleared at the end. Nothing is written when standard error is
not a terminal (a log file, a pipe)."""

import sys
import time

SHOW_AFTER = 2.0      # seconds before the line appears


class TerminalProgress:
    """A progress callable for the engine: call it with (done, total); use
    it as a context manager so that its line is cleared at the end."""

    def __init__(self, label, stream=None):
        self.label = label
        self.stream = sys.stderr if stream is None else stream
        self.start = time.monotonic()
        self.shown = False
        try:
            self.enabled = self.stream.isatty()
        except (AttributeError, ValueError):
            self.enabled = False

    def __call__(self, done, total):
        if not self.enabled or time.monotonic() - self.start < SHOW_AFTER:
            return
        self.stream.write("\r%s: %d of %d\033[K" % (self.label, done, total))
        self.stream.flush()
        self.shown = True

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        if self.shown:
            self.stream.write("\r\033[K")
            self.stream.flush()
        return False
