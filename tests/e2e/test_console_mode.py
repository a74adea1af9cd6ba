"""Console mode under a pseudo-terminal: records end in a carriage return only,
the line feed owed by the last record is sent before the next ordinary record
and before every read, and the stop line shows in full."""

import os
import pty
import select
import time
import tty

from e2e import FILE_PROMPT, PREAMBLE, REGIME, count_line


class Terminal:
    """The program with a pseudo-terminal as its standard input and output, in
    raw mode so that the bytes it writes arrive unchanged."""

    def __init__(self, program, folder):
        pid, fd = pty.fork()
        if pid == 0:
            try:
                os.chdir(folder)
                tty.setraw(0)
                os.execv(program, [program])
            finally:
                os._exit(127)
        self.pid, self.fd, self.seen = pid, fd, b""

    def read_until(self, tail, timeout=20.0):
        """Reads until the output ends with `tail` and nothing more comes."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            ready, _, _ = select.select([self.fd], [], [], 0.2)
            if ready:
                try:
                    chunk = os.read(self.fd, 65536)
                except OSError:
                    break
                if not chunk:
                    break
                self.seen += chunk
            elif self.seen.endswith(tail):
                return True
        return self.seen.endswith(tail)

    def type(self, text):
        os.write(self.fd, text.encode())

    def finish(self):
        self.read_until(b"\x00never", timeout=5.0)
        _, status = os.waitpid(self.pid, 0)
        os.close(self.fd)
        return os.waitstatus_to_exitcode(status)


def shown(records):
    """What blank-control records look like on the terminal: the control
    character dropped, each line ended by CR, the LF sent before the next."""
    return b"\n".join(r[1:].encode() + b"\r" for r in records)


def test_error_stop_in_console_mode(program, tmp_path):
    (tmp_path / "one.txt").write_text("5\n")
    term = Terminal(program, tmp_path)
    # Waiting at the pause: the prompt's line feed has been sent before the read.
    assert term.read_until(b"continue...\r\n")
    assert term.seen == shown(PREAMBLE) + b"\n", "preamble shown, LF owed sent before the pause"
    term.type("\n")
    term.read_until(b"= ?\r\n")
    term.type("one.txt\n")
    term.read_until(b"terminate...\r\n")
    term.type("\n")
    status = term.finish()
    want = (shown(PREAMBLE) + b"\n" + shown([FILE_PROMPT]) + b"\n" +
            shown([count_line(1), " Wrong structure of the input file !",
                   " The process must have non-zero duration.",
                   " Press <Enter> to terminate..."]) + b"\n" +
            b"Stop - Program terminated.\r\n")
    assert (term.seen, status) == (want, 1)


def test_regime0_countdown_on_one_line(program, tmp_path):
    """The countdown overwrites the empty-looking line " " in place, and the
    line feed it owes is sent when the run ends."""
    (tmp_path / "ev.txt").write_text("0\n1\n2.5\n")
    term = Terminal(program, tmp_path)
    for answer in ["", "ev.txt", "1 10", "3"]:
        term.read_until(b"?\r\n" if answer else b"continue...\r\n")
        term.type(answer + "\n")
    term.read_until(b"give 1\r\n")
    term.type("0\n")
    status = term.finish()
    tail = (shown(REGIME) + b"\n" +
            b" \r" + b"         2\r" + b"         1\r" + b"          \r" + b"\n")
    assert (term.seen[-len(tail):], status) == (tail, 0)
