"""Hostile inputs of periodscan-survey."""

from .case import Case

P = ["--min-period", "1", "--max-period", "2"]
EV = {"ev.txt": "0\n1\n5\n9\n"}
WINDOWS = ["ev.txt"] + P + ["--window", "5", "--step", "1", "--output", "x"]
# A job long enough to be signalled while it runs: five million frequencies.
BIG = {"big.txt": "".join("%d.%03d\n" % (7 * i, (i * 37) % 1000) for i in range(1500))}
BIG_RUN = "['big.txt', '--min-period', '0.01', '--max-period', '100', '--quiet']"
NEEDS = ("PERIODSCAN_SURVEY",)

# Runs the survey with standard output closed (PREPARE_OUT None) or on a
# full device, passing its standard error and status on.
OUTPUT = """import os, subprocess, sys
out = {out}
r = subprocess.run([os.environ['PERIODSCAN_SURVEY'], 'ev.txt', '--min-period', '1',
                    '--max-period', '2', '--quiet'], stdout=out,
                   preexec_fn=None if out else lambda: os.close(1))
sys.exit(r.returncode)
"""

# Signals the survey once its temporary file exists; exits 0 when the
# survey ended by that signal (the runner checks that no temporary file is
# left).
SIGNAL = """import glob, os, signal, subprocess, sys, time
p = subprocess.Popen([os.environ['PERIODSCAN_SURVEY']] + {run}, stdout=subprocess.PIPE)
start = time.time()
while not glob.glob('big.spectrum.tsv.tmp-*') and time.time() < start + 30:
    time.sleep(0.01)
p.send_signal(signal.{name})
p.communicate()
print('survey status', p.returncode)
sys.exit(0 if p.returncode == -signal.{name} else 1)
"""


# Runs the survey on `args` with standard input closed.
CLOSED_INPUT = """import os, subprocess, sys
r = subprocess.run([os.environ['PERIODSCAN_SURVEY'], '--min-period', '1', '--max-period', '2']
                   + {args}, preexec_fn=lambda: os.close(0))
sys.exit(r.returncode)
"""
# A stem of 237 characters: the table's name has 250, its temporary name
# would have 261 uncut.
LONG = "x" * 237


def signal_case(name):
    return Case("signal %s removes the temporary file" % name,
                ["python", SIGNAL.format(run=BIG_RUN, name=name)], 0, "survey status -",
                files=BIG, anywhere=True, needs=NEEDS, absent=("big.spectrum.tsv",))


CASES = [
    Case("no event file", ["survey", "--min-period", "1", "--max-period", "2"], 2,
         "no event file given"),
    Case("decimal comma in the events", ["survey", "dc.txt"] + P, 1,
         r'dc.txt:1: "0,2106" looks like a decimal comma .*write decimal points '
         r'\(periodscan-prepare --decimal-comma converts a CSV table with a header row\)',
         files={"dc.txt": "0,2106 2,5\n1,5 3\n"}, absent=("dc.spectrum.tsv",)),
    Case("a whole time, a comma and a real magnitude are two fields", ["survey", "ep.txt"] + P,
         0, "wrote ep.spectrum.tsv", anywhere=True,
         files={"ep.txt": "1609459200,3.1\n1609459201,2.5\n1609459209,4.0\n"}),
    Case("decimal comma in the intervals", ["survey", "ev.txt", "--intervals", "on.txt"] + P, 1,
         r'on.txt:2: "9,5" looks like a decimal comma',
         files=dict(EV, **{"on.txt": "0 5\n5 9,5\n"}),
         absent=("ev.spectrum.tsv",)),
    Case("a folder in the way of the grid keeps the earlier table", ["survey"] + WINDOWS, 1,
         "x.windows.grd: cannot rename .*Is a directory",
         files=dict(EV, **{"x.windows.tsv": "earlier table\n"}), prepare="mkdir x.windows.grd",
         kept=("x.windows.tsv",)),
    Case("a folder in the way of the table keeps the earlier grid", ["survey"] + WINDOWS, 1,
         "x.windows.tsv: cannot rename .*Is a directory",
         files=dict(EV, **{"x.windows.grd": "earlier grid\n"}), prepare="mkdir x.windows.tsv",
         kept=("x.windows.grd",)),
    Case("standard output closed", ["python", OUTPUT.format(out="None")], 1,
         "standard output did not take the closing line .*the results are written: "
         "ev.spectrum.tsv", files=EV, needs=NEEDS),
    Case("standard output full", ["python", OUTPUT.format(out="open('/dev/full', 'w')")], 1,
         "No space left on device.*the results are written: ev.spectrum.tsv", files=EV,
         needs=NEEDS),
    Case("a device as the event file", ["survey", "/dev/zero", "--output", "z"] + P, 1,
         "/dev/zero: not a regular file", absent=("z.spectrum.tsv",)),
    Case("no line end on standard input", ["survey", "-", "--output", "z"] + P, 1,
         "standard input:1: a line longer than 1048576 bytes", stdin=b"\0" * (3 << 20),
         absent=("z.spectrum.tsv",)),
    Case("a FIFO without a writer", ["survey", "ff"] + P, 1,
         "ff: a pipe that nothing was written to for 10 s", prepare="mkfifo ff", timeout=40,
         absent=("ff.spectrum.tsv",)),
    Case("events from standard input", ["survey", "-", "--output", "s"] + P, 0,
         "wrote s.spectrum.tsv", stdin=b"0\n1\n5\n9\n", anywhere=True),
    Case("events and intervals both from standard input",
         ["survey", "-", "--intervals", "-", "--output", "s"] + P, 2,
         "cannot both come from standard input"),
    Case("windows times frequencies beyond the rows",
         ["survey", "ev.txt"] + P + ["--window", "10", "--step", "1e-5"], 1,
         r"more than 100000000 rows \(26 frequencies x 4000001 windows\)",
         files={"ev.txt": "0\n50\n"}, absent=("ev.windows.tsv", "ev.windows.grd")),
    Case("a period count that is no whole number",
         ["survey", "ev.txt"] + P + ["--periods", "2e8"], 2,
         "--periods needs a whole number", files=EV),
    Case("a log-period grid beyond the rows", ["survey", "ev.txt"] + P + ["--periods",
                                                                          "200000000"], 1,
         r"more than 100000000 rows \(200000000 frequencies\): lower --periods", files=EV),
    Case("log periods times windows beyond the rows",
         ["survey", "ev.txt"] + P + ["--periods", "20000", "--window", "5", "--step", "1e-4"],
         1, r"\(20000 frequencies x 40001 windows\): lower --periods, or raise --step", files=EV),
    Case("too many threads", ["survey", "ev.txt"] + P + ["--threads", "5000"], 2,
         "--threads needs a whole number from 0 \\(every core\\) to 1024", files=EV),
    Case("file size limit removes the temporary file",
         ["survey", "big.txt", "--min-period", "1", "--max-period", "100", "--quiet"], -25,
         files=BIG, limits={"RLIMIT_FSIZE": 20000}, absent=("big.spectrum.tsv",)),
    Case("--output - is no prefix", ["survey", "ev.txt", "--output", "-"] + P, 2,
         "--output needs the start of a file name.*not '-'", files=EV,
         absent=("-.spectrum.tsv",)),
    Case("--output ./ is no prefix", ["survey", "ev.txt", "--output", "./"] + P, 2,
         "--output needs the start of a file name.*not './'", files=EV,
         absent=(".spectrum.tsv",)),
    Case("a long event file name", ["survey", LONG + ".txt", "--quiet"] + P, 0,
         "wrote x+.spectrum.tsv", anywhere=True, files={LONG + ".txt": EV["ev.txt"]}),
    Case("a grid of one frequency", ["survey", "ev.txt", "--min-period", "0.9", "--max-period",
                                     "1.1", "--samples-per-peak", "1e-300", "--output", "cl"],
         1, "the grid holds one frequency.*raise --samples-per-peak, or widen the band",
         files=EV, absent=("cl.spectrum.tsv",)),
    Case("a span beyond a double", ["survey", "of.txt"] + P, 1,
         r"of.txt: the span of the events, from -1e\+308 to 1e\+308, overflows a double",
         files={"of.txt": "-1e308\n1e308\n"}, absent=("of.spectrum.tsv",)),
    Case("events from a closed standard input",
         ["python", CLOSED_INPUT.format(args="['-', '--output', 's']")], 1,
         r"the events come from standard input \('-'\), and standard input is closed",
         needs=NEEDS, absent=("s.spectrum.tsv",)),
    signal_case("SIGUSR1"),
    signal_case("SIGQUIT"),
    signal_case("SIGPIPE"),
    Case("a stale temporary file does not block the run", ["survey", "ev.txt"] + P, 0,
         "wrote ev.spectrum.tsv", anywhere=True,
         files=dict(EV, **{"ev.spectrum.tsv.tmp-AAAAAA": "stale\n"}),
         kept=("ev.spectrum.tsv.tmp-AAAAAA",)),
    # The table is renamed into place: over a FIFO or a device the rename
    # would replace the node itself.
    Case("-o a named pipe", ["survey", "ev.txt", "-o", "p"] + P, 1,
         "p: is not a regular file .*choose another -o", files=EV, prepare="mkfifo p",
         timeout=20),
    Case("--output onto a named pipe", ["survey", "ev.txt", "--output", "q"] + P, 1,
         "q.spectrum.tsv: is not a regular file .*choose another --output", files=EV,
         prepare="mkfifo q.spectrum.tsv", timeout=20),
]
