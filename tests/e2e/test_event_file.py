"""The event-time file end to end: the file-name dialogue, what counts as an
event time, and the two error stops."""

import os

import pytest

from e2e import (END_OF_INPUT, FILE_PROMPT, NO_FILE, NUMBER, PERIODS, PREAMBLE, REGIME, check,
                 count_line, labels, run)

ACCEPTED = [PERIODS, NUMBER] + REGIME + ["  "]
DIALOGUE = "1 100\n5\n0\n"
STOP_A = [" Wrong structure of the input file !",
          " The sequence of time moments must be with non-decreasing values.",
          " Press <Enter> to terminate...", "Stop - Program terminated."]
STOP_B = [" Wrong structure of the input file !",
          " The process must have non-zero duration.",
          " Press <Enter> to terminate...", "Stop - Program terminated."]

# File contents -> number of times counted, and what follows the count line.
# Accepted samples go on to the questions; rejected ones take an error stop,
# which ends with exit status 1.
EVENT_FILES = [
    ("plain column", b"1\n2\n3\n", 3, ACCEPTED),
    ("further columns are ignored", b"12.5 7 word\n13,1\n14\t9\n", 3, ACCEPTED),
    ("blank lines give no event", b"\n1\n   \n\t\n2\n\n", 2, ACCEPTED),
    ("a word ends the list", b"1\n2\n3\n4\n5\n6\n7\n8\n9\n10\nabc\n11\n12\n", 10, ACCEPTED),
    ("a line starting with a comma ends the list", b"1\n2\n,3\n4\n", 2, ACCEPTED),
    ("a slash ends the list", b"1\n2\n/\n4\n", 2, ACCEPTED),
    ("a time beyond the 4-byte range ends the list", b"1\n2\n1e39\n4\n", 2, ACCEPTED),
    ("repetition counts one time per line", b"1\n3*2\n5\n", 3, ACCEPTED),
    ("CR LF line ends", b"1\r\n2\r\n3\r\n", 3, ACCEPTED),
    ("no final line end", b"1\n2\n3", 3, ACCEPTED),
    ("a carriage return ends the last line", b"1\r\n2\r\n3\r", 3, ACCEPTED),
    ("binary bytes end the list", b"1\n2\n\x01\xff\xfe\n4\n", 2, ACCEPTED),
    ("NUL bytes end the list", b"1\n2\n3\x004\n5\n", 2, ACCEPTED),
    ("NUL after the first item is ignored", b"1 \x00\x00\n2\n", 2, ACCEPTED),
    ("equal neighbours are allowed", b"1\n2\n2\n3\n", 4, ACCEPTED),
    ("D and Q exponents", b"1d0\n1.5Q1\n", 2, ACCEPTED),
    ("a line of megabytes after the time", b"1\n2 " + b"x" * (3 << 20) + b"\n3\n", 3, ACCEPTED),
    ("a number of megabytes ends the list", b"1\n2\n" + b"9" * (3 << 20) + b"\n3\n", 2,
     ACCEPTED),
    ("empty file", b"", 0, STOP_B),
    ("only blank lines", b"\n  \n\n", 0, STOP_B),
    ("a heading first", b"time\n1\n2\n", 0, STOP_B),
    ("a single event", b"5\n", 1, STOP_B),
    ("all times equal", b"5\n5\n5\n", 3, STOP_B),
    ("last before first", b"5\n6\n4\n", 3, STOP_A),
    ("decreasing pair", b"5\n3\n", 2, STOP_A),
    ("out of order and no duration gives A", b"5\n3\n5\n", 3, STOP_A),
    ("equal after 4-byte rounding gives B", b"16777216\n16777217\n", 2, STOP_B),
]


@pytest.mark.parametrize("label,content,n,after", EVENT_FILES, ids=labels(EVENT_FILES))
def test_event_file(program, label, content, n, after):
    stopped = after is not ACCEPTED
    result = run(program, "\nev.txt\n" + ("\n" if stopped else DIALOGUE), {"ev.txt": content})
    if stopped:
        check(result, PREAMBLE + [FILE_PROMPT, count_line(n)] + after, status=1,
              files={"ev.txt": content})
    else:
        # The regime's own output is tested with the regimes.
        check(result, PREAMBLE + [FILE_PROMPT, count_line(n)] + after, prefix=True)


# File names: retries, trimming, the 64-character cut.
GOOD = b"0\n1\n2\n"
LONG = "n" * 64


def make_folder(folder):
    os.mkdir(os.path.join(folder, "adir"))
    os.mkfifo(os.path.join(folder, "afifo"))
    os.symlink("loop", os.path.join(folder, "loop"))


def unreadable(folder):
    os.chmod(os.path.join(folder, "locked.txt"), 0)


# (label, answers after the pause line, files, setup, prompts refused)
FILE_NAMES = [
    ("missing, then present", "nothere.txt\nev.txt\n", {"ev.txt": GOOD}, make_folder, 1),
    ("blanks around the name", "   ev.txt   \n", {"ev.txt": GOOD}, make_folder, 0),
    ("blank inside the name", "my ev.txt\n", {"my ev.txt": GOOD}, make_folder, 0),
    ("empty name", "\n   \nev.txt\n", {"ev.txt": GOOD}, make_folder, 2),
    ("a tab is part of the name", "\tev.txt\nev.txt\n", {"ev.txt": GOOD}, make_folder, 1),
    ("a directory cannot be opened", "adir\nev.txt\n", {"ev.txt": GOOD}, make_folder, 1),
    ("a pipe cannot be opened", "afifo\nev.txt\n", {"ev.txt": GOOD}, make_folder, 1),
    ("a link to itself cannot be opened", "loop\nev.txt\n", {"ev.txt": GOOD}, make_folder, 1),
    ("a character device cannot be opened", "/dev/zero\n/dev/null\nev.txt\n",
     {"ev.txt": GOOD}, make_folder, 2),
    ("cut after 64 characters", LONG + "tail\n", {LONG: GOOD}, make_folder, 0),
    ("cut after 64 characters, blanks first", "  " + LONG + "\n" + LONG + "\n", {LONG: GOOD},
     make_folder, 1),
    pytest.param("unreadable file", "locked.txt\nev.txt\n", {"locked.txt": GOOD, "ev.txt": GOOD},
                 unreadable, 1,
                 marks=pytest.mark.skipif(os.geteuid() == 0, reason="root reads every file")),
]


@pytest.mark.parametrize("label,answers,files,setup,retries", FILE_NAMES,
                         ids=labels(FILE_NAMES))
def test_file_name(program, label, answers, files, setup, retries):
    result = run(program, "\n" + answers + DIALOGUE, files, setup=setup)
    check(result, PREAMBLE + [FILE_PROMPT, NO_FILE] * retries + [FILE_PROMPT, count_line(3)] +
          ACCEPTED, prefix=True)


# (label, standard input, files, records shown)
ENDS = [
    # The end of input while an error stop waits for its line.
    ("at the error stop", "\nev.txt\n", {"ev.txt": b"5\n"},
     [FILE_PROMPT, count_line(1)] + STOP_B[:3]),
    ("at the second file prompt", "\nnothere\n", {}, [FILE_PROMPT, NO_FILE, FILE_PROMPT]),
]


@pytest.mark.parametrize("label,stdin,files,shown", ENDS, ids=labels(ENDS))
def test_end_of_input(program, label, stdin, files, shown):
    result = run(program, stdin, files)
    check(result, PREAMBLE + shown, stderr=END_OF_INPUT, status=2, files=files)
