"""Hostile inputs of periodscan-plot: tables and event files that do not
belong together, damaged tables, odd descriptions; and of the readers that
periodscan-prepare check and decluster share with it."""

from .case import Case

TIMES = [0.5, 1.25, 3.0, 7.5, 9.0, 11.5, 14.0]
UNIX = [1609459200.123456, 1609459262.5, 1609460000.25, 1609461000.75, 1609463000.5]
WINDOW_HEADER = ("window_start\twindow_end\tevents\tperiod\tfrequency\tdelta_log_lik\t"
                 "amplitude\tphase\tpeak_time\trayleigh_z")
SPECTRUM_HEADER = "period\tfrequency\tdelta_log_lik\tamplitude\tphase\tpeak_time\trayleigh_z"


def table(times, periods=(2.0, 1.5, 1.0), windows=None, cut=0, value=None, **record):
    """A table of the survey with its keyed record (rows cut short by `cut`,
    the first delta_log_lik replaced by `value`)."""
    entries = {"format": 2, "table": "windows" if windows else "spectrum", "events": "ev.txt",
               "events_read": len(times), "lines_skipped": 0, "sorted": "no",
               "first_time": "%.17g" % min(times), "last_time": "%.17g" % max(times),
               "span": "%.17g" % (max(times) - min(times)), "exposure": "whole_span",
               "frequencies": len(periods)}
    if windows:
        entries["windows"] = len(windows)
    entries.update(record)
    fits = ["%r\t%r\t%s\t0.5\t1\t0.25\t2" % (p, 1 / p, 1.5 + k) for k, p in enumerate(periods)]
    if value is not None:
        fits[0] = fits[0].replace("\t1.5\t", "\t%s\t" % value)
    rows = ["%r\t%r\t%s\t%s" % (w + (f,)) for w in windows for f in fits] if windows else fits
    lines = (["# periodscan-survey: %s" % ("moving windows" if windows else "spectrum")]
             + ["# %s: %s" % kv for kv in entries.items()]
             + [WINDOW_HEADER if windows else SPECTRUM_HEADER] + rows)
    return "\n".join(lines[:len(lines) - cut]) + "\n"


def events(times, head=""):
    return head + "".join("%r\n" % t for t in times)


WINDOWS = [(0.5, 7.5, 4), (3.5, 10.5, 3)]
CATALOGUE = "1.5 3.1 34.0 -118.0 5\n2.5 2.0 34.1 -118.1 4\n40.5 3.5 36.0 -120.0 7\n"
# A moving-window run of the interactive program over TIMES: windows of 7
# from 0.5 and 3.5 hold 4 and 2 events.
WINDOW_RUN = {"ZUM_out.grd": "DSAA\n2 2\n7.5 10.5\n0 0.3\n1 4\n1 2\n3 4\n",
              "NumbOfEvents_in_Windows.dat": "%15s%10d\n%15s%10d\n" % ("7.5", 4, "10.5", 2)}
SIDECARS = [("a list", "[1, 2]", "must hold a JSON object, not a list"),
            ("a string", '"days"', "must hold a JSON object, not a string"),
            ("a unit that is a list", '{"unit": ["days"]}', '"unit" must be a string')]

CASES = [
    # Tables and the event file of their run, read as the survey read it.
    Case("plot: '#' comment lines in the survey's event file",
         ["plot", "a.spectrum.tsv", "--events", "ev.txt"], 0, "figures: a.spectrum.png",
         files={"a.spectrum.tsv": table(TIMES, lines_skipped=2),
                "ev.txt": events(TIMES, "# times in days\n#\n")}, anywhere=True),
    Case("plot: a table made with --sort",
         ["plot", "a.spectrum.tsv", "--events", "ev.txt"], 0, "figures: a.spectrum.png",
         files={"a.spectrum.tsv": table(TIMES, sorted="yes"),
                "ev.txt": events(TIMES[::-1])}, anywhere=True),
    Case("plot: Unix seconds are read as doubles, to the digit of the record",
         ["plot", "a.spectrum.tsv", "--events", "ev.txt"], 0, "figures: a.spectrum.png",
         files={"a.spectrum.tsv": table(UNIX, periods=(600.0, 300.0, 200.0)),
                "ev.txt": events(UNIX)}, anywhere=True),
    Case("plot: Unix seconds of another file, equal to 4-byte precision",
         ["plot", "a.spectrum.tsv", "--events", "ev.txt"], 1,
         r"a.spectrum.tsv: made from 5 events from 1609459200.123456 .*ev.txt holds 5 from "
         r"1609459200.125",
         files={"a.spectrum.tsv": table(UNIX, periods=(600.0, 300.0, 200.0)),
                "ev.txt": events([1609459200.125] + UNIX[1:])}),
    Case("plot: a window table and another event file",
         ["plot", "a.windows.tsv", "--events", "other.txt"], 1,
         r"a.windows.tsv: made from 7 events from 0.5 to 14, but other.txt holds 3",
         files={"a.windows.tsv": table(TIMES, windows=WINDOWS),
                "other.txt": events([0.25, 4.0, 8.0])}),
    Case("plot: a table cut short", ["plot", "a.spectrum.tsv"], 1,
         r"a.spectrum.tsv: holds 2 rows but its record gives 3 frequencies: cut short\?",
         files={"a.spectrum.tsv": table(TIMES, cut=1)}),
    Case("plot: a window table cut short", ["plot", "a.windows.tsv"], 1,
         r"a.windows.tsv: holds 5 rows but its record gives 3 frequencies x 2 windows",
         files={"a.windows.tsv": table(TIMES, windows=WINDOWS, cut=1)}),
    Case("plot: ZUM_out.dat and the events of another run", ["plot", ".", "--events", "ev.txt"],
         1, r"ZUM_out.dat: DeltaLogLik at T = \S+ is \S+, but the events of ev.txt give .* the "
         r"spectrum was not made from this event file",
         files={"ZUM_out.dat": "    1.00000        0.5       0.1\n    2.00000        50.0"
                               "       0.9\n    3.00000        0.4       0.1\n",
                "ev.txt": events(TIMES)}),
    Case("plot: a moving-window run and its own events", ["plot", ".", "--events", "ev.txt"],
         0, r"window length 7.5, found from the events",
         files=dict(WINDOW_RUN, **{"ev.txt": events(TIMES)}), anywhere=True),
    Case("plot: a moving-window run and the events of another run",
         ["plot", ".", "--events", "ev.txt"], 1,
         r"NumbOfEvents_in_Windows.dat: no window length gives these window counts from the "
         r"events of ev.txt: .*give the event file of the run",
         files=dict(WINDOW_RUN, **{"ev.txt": events([0.5, 1.0, 2.0, 3.0, 4.0, 14.0])}),
         absent=("time_frequency.png",)),
    Case("plot: a table not named as the survey names them", ["plot", "d/trunc.tsv"], 1,
         r"d/trunc.tsv: neither a folder of result files nor a table of periodscan-survey "
         r"\(tables are known by their first line, or by their names: NAME.spectrum.tsv or "
         r"NAME.windows.tsv\)",
         files={"d/trunc.tsv": table(TIMES).split("\n", 1)[1]}),
    Case("plot: a table with more rows than its record gives", ["plot", "a.spectrum.tsv"], 1,
         r"a.spectrum.tsv: holds 3 rows but its record gives 2 frequencies: the rows do not "
         r"match the record", files={"a.spectrum.tsv": table(TIMES, frequencies=2)}),
    Case("plot: an old table and another event file",
         ["plot", "a.spectrum.tsv", "--events", "ev.txt"], 1,
         r"a.spectrum.tsv: made from 7 events, but ev.txt holds 3 from 0.25 to 8; give",
         files={"a.spectrum.tsv": "# events_read: 7\n" + SPECTRUM_HEADER
                + table(TIMES).split(SPECTRUM_HEADER)[1],
                "ev.txt": events([0.25, 4.0, 8.0])}),
    # Nothing of matplotlib reaches the user (an empty standard error).
    Case("plot: a window table of one period", ["plot", "a.windows.tsv"], 0, r"\A\Z",
         files={"a.windows.tsv": table(TIMES, periods=(2.0,), windows=WINDOWS)}),
    Case("plot: a tab in the name of a table", ["plot", "a\tb.spectrum.tsv"], 0, r"\A\Z",
         files={"a\tb.spectrum.tsv": table(TIMES)}),
    # Values no table of the survey holds.
    Case("plot: a window that holds inf events", ["plot", "a.windows.tsv"], 1,
         r"a.windows.tsv, line \d+: events \(column 3\) must be a whole number of events, "
         r"found 'inf'", files={"a.windows.tsv": table(TIMES, windows=[(0.5, 7.5, "inf")])}),
    Case("plot: DeltaLogLik 1e400", ["plot", "a.spectrum.tsv"], 1,
         r"a.spectrum.tsv, line 14: delta_log_lik \(column 3\) must be .*a number from -1",
         files={"a.spectrum.tsv": table(TIMES, value="1e400")}),
    Case("plot: DeltaLogLik -1e300", ["plot", "a.spectrum.tsv"], 1,
         r"a.spectrum.tsv, line 14: delta_log_lik \(column 3\) must be .*a number from -1",
         files={"a.spectrum.tsv": table(TIMES, value="-1e300")}),
    Case("plot: DeltaLogLik 1e308", ["plot", "a.spectrum.tsv"], 1,
         r"a.spectrum.tsv, line 14: delta_log_lik \(column 3\) must be .*a number from -1",
         files={"a.spectrum.tsv": table(TIMES, value="1e308")}),
    # The number reading that check shares with the survey.
    Case("check: a first time of 1e-400, which the survey refuses",
         ["prepare", "check", "ev.txt"], 1,
         r"ev.txt:1: trap: the survey stops here: '1e-400' is beyond the range of doubles",
         files={"ev.txt": "1e-400\n0.5\n1.5\n"}, anywhere=True),
] + [
    Case("check: a description that is %s" % label, ["prepare", "check", "ev.txt"], 1,
         "ev.txt: trap: .*" + message.replace("[", r"\["),
         files={"ev.txt": "0.5\n1.5\n", "ev.json": content}, anywhere=True)
    for label, content, message in SIDECARS
] + [
    Case("plot: %s" % label, ["plot", name], 1, message, files={name: content})
    for label, name, content, message in [
        ("windows of length 0", "a.windows.tsv", table(TIMES, windows=WINDOWS, window_length=0),
         r"a.windows.tsv, line 14: window_length must be a positive number, found '0'"),
        ("windows of length -5", "a.windows.tsv",
         table(TIMES, windows=WINDOWS, window_length=-5), r"line 14: window_length must be a "
         r"positive number, found '-5'"),
        ("more windows not fitted than windows", "a.windows.tsv",
         table(TIMES, windows=WINDOWS, windows_not_fitted=20),
         r"a.windows.tsv, line 14: windows_not_fitted must be at most the 2 windows of the "
         r"record, found 20"),
        ("a spectrum with DeltaLogLik nan", "a.spectrum.tsv", table(TIMES, value="nan"),
         r"a.spectrum.tsv, line 14: delta_log_lik \(column 3\) must be a number from -1 to "
         r"2\^53 \(not nan"),
    ]
] + [
    Case("decluster: a description that is %s" % label,
         ["prepare", "decluster", "ev.txt", "-o", "bg.txt"], 1,
         "ev.json: " + message.replace("[", r"\["),
         files={"ev.txt": CATALOGUE, "ev.json": content}, absent=("bg.txt", "bg.json"))
    for label, content, message in SIDECARS
]


def redirected(program, arguments, output):
    """A "python" case's code: runs a program (by its PERIODSCAN_* variable)
    with standard output sent to /dev/full, or closed."""
    how = ("stdout=open('/dev/full', 'w')" if output == "full"
           else "preexec_fn=lambda: os.close(1)")
    return ["python", "import os, subprocess, sys; sys.exit(subprocess.run([os.environ[%r]] + "
            "%r, %s).returncode)" % (program, arguments, how)]


PLOT, PREPARE = "PERIODSCAN_PLOT", "PERIODSCAN_PREPARE"
PLOT_RUN = {"a.spectrum.tsv": table(TIMES), "ev.txt": events(TIMES)}
NOT_REGULAR = r"not a regular file \(a %s\)"

CASES += [
    # Inputs that never end or never come are refused before they are read.
    Case("plot: --events /dev/zero", ["plot", "a.spectrum.tsv", "--events", "/dev/zero"], 1,
         "/dev/zero: " + NOT_REGULAR % "character device", files=PLOT_RUN),
    Case("plot: a table that links to /dev/zero", ["plot", "z.spectrum.tsv"], 1,
         "z.spectrum.tsv: " + NOT_REGULAR % "character device",
         prepare="ln -s /dev/zero z.spectrum.tsv"),
    Case("plot: a ZUM_out.dat that links to /dev/zero", ["plot", "zd"], 1,
         "ZUM_out.dat: " + NOT_REGULAR % "character device",
         prepare="mkdir zd && ln -s /dev/zero zd/ZUM_out.dat"),
    Case("plot: --events a FIFO nobody writes to",
         ["plot", "a.spectrum.tsv", "--events", "fifo"], 1, "fifo: " + NOT_REGULAR % "FIFO",
         files={"a.spectrum.tsv": table(TIMES)}, prepare="mkfifo fifo", timeout=20),
    Case("check: --json /dev/zero", ["prepare", "check", "ev.txt", "--json", "/dev/zero"], 1,
         "/dev/zero: " + NOT_REGULAR % "character device", files={"ev.txt": "0.5\n1.5\n"}),
    Case("decluster: /dev/zero", ["prepare", "decluster", "/dev/zero", "-o", "b.txt", "--unit",
                                  "days"], 1, NOT_REGULAR % "character device", absent=("b.txt",)),
    Case("decluster: a FIFO nobody writes to",
         ["prepare", "decluster", "fifo", "-o", "b.txt", "--unit", "days"], 1,
         NOT_REGULAR % "FIFO", prepare="mkfifo fifo", timeout=20),
    Case("decluster: a description beyond 1 MiB", ["prepare", "decluster", "ev.txt", "-o",
                                                   "bg.txt"], 1,
         r"ev.json: larger than 1 MiB",
         files={"ev.txt": CATALOGUE, "ev.json": " " * (1 << 20) + "{}"}),
    # A figure never replaces an input of its run.
    Case("plot: --events named as the figure", ["plot", "a.spectrum.tsv", "--events",
                                                "a.spectrum.png"], 2,
         "a.spectrum.png is an input of this run", files=PLOT_RUN,
         prepare="cp ev.txt a.spectrum.png", kept=("a.spectrum.png",),
         absent=("a.spectrum.svg",)),
    Case("plot: a figure that is a hard link to the event file",
         ["plot", "a.spectrum.tsv", "--events", "ev.txt"], 2,
         r"a.spectrum.svg is an input of this run \(ev.txt\)", files=PLOT_RUN,
         prepare="ln ev.txt a.spectrum.svg", kept=("ev.txt",), absent=("a.spectrum.png",)),
    # Standard output closed or full: one message, status 1, files kept.
    Case("plot: standard output full", redirected(PLOT, ["a.spectrum.tsv"], "full"), 1,
         r"cannot write to standard output \(the disk is full\); the figures are written",
         files=PLOT_RUN, needs=(PLOT,)),
    Case("plot: standard output closed", redirected(PLOT, ["a.spectrum.tsv"], "closed"), 1,
         r"cannot write to standard output \(it is closed\); the figures are written",
         files=PLOT_RUN, needs=(PLOT,)),
    Case("prepare: standard output full", redirected(
        PREPARE, ["c.csv", "--time-column", "time", "-o", "p.txt"], "full"), 1,
         r"cannot write to standard output \(the disk is full\); p.txt, p.json written",
         files={"c.csv": "time\n2021-01-01T00:00:00Z\n2021-01-02T12:00:00Z\n"},
         needs=(PREPARE,)),
    Case("prepare: -o - with standard output closed", redirected(
        PREPARE, ["c.csv", "--time-column", "time", "-o", "-", "--description", "p.json"],
        "closed"), 1, r"cannot write the events to standard output \(it is closed\); nothing",
         files={"c.csv": "time\n2021-01-01T00:00:00Z\n2021-01-02T12:00:00Z\n"},
         absent=("p.json",), needs=(PREPARE,)),
    Case("check: standard output closed", redirected(PREPARE, ["check", "ev.txt"], "closed"),
         1, "cannot write to standard output: it is closed", files={"ev.txt": "0.5\n1.5\n"},
         needs=(PREPARE,)),
    Case("check: standard output full", redirected(PREPARE, ["check", "ev.txt"], "full"),
         1, "cannot write to standard output: the disk is full",
         files={"ev.txt": "0.5\n1.5\n"}, needs=(PREPARE,)),
    Case("decluster: standard output full", redirected(
        PREPARE, ["decluster", "ev.txt", "-o", "bg.txt", "--unit", "days"], "full"), 1,
         r"\(the disk is full\); bg.txt, bg.json, bg.clusters written",
         files={"ev.txt": CATALOGUE}, needs=(PREPARE,)),
    Case("plot: too little memory", ["plot", "a.spectrum.tsv"], 1,
         "periodscan-plot: error: not enough memory", files=PLOT_RUN,
         limits={"RLIMIT_AS": 200 << 20}),
    # The command line and the events of decluster.
    Case("decluster: latitude 95", ["prepare", "decluster", "ev.txt", "-o", "bg.txt", "--unit",
                                    "days"], 1, r"ev.txt, line 2: the latitude 95 is beyond",
         files={"ev.txt": CATALOGUE.replace("34.1", "95")}, absent=("bg.txt",)),
    Case("decluster: longitude -418", ["prepare", "decluster", "ev.txt", "-o", "bg.txt",
                                       "--unit", "days"], 1,
         r"ev.txt, line 3: the longitude -418 is beyond",
         files={"ev.txt": CATALOGUE.replace("-120.0", "-418")}),
    Case("decluster: a binary line", ["prepare", "decluster", "ev.txt", "-o", "bg.txt",
                                      "--unit", "days"], 1,
         r"ev.txt, line 2: is not UTF-8 text", files={"ev.txt": b"1.5 3 34 -118\n\xff\xfe\n"}),
    Case("decluster: --foreshock-fraction 1e400", ["prepare", "decluster", "ev.txt", "-o",
                                                   "bg.txt", "--unit", "days",
                                                   "--foreshock-fraction", "1e400"], 2,
         "--foreshock-fraction must be a finite number", files={"ev.txt": CATALOGUE}),
    Case("decluster: -o the input", ["prepare", "decluster", "ev.txt", "-o", "ev.txt",
                                     "--unit", "days"], 2, "would overwrite the input ev.txt",
         files={"ev.txt": CATALOGUE}, kept=("ev.txt",)),
    Case("decluster: standard input", ["prepare", "decluster", "-", "-o", "bg.txt", "--unit",
                                       "days"], 2, "standard input is not read by decluster",
         stdin=CATALOGUE.encode()),
    # --json and --no-figures: a report that cannot be written, or would
    # replace an input, is refused before anything is drawn.
    Case("plot: --json into a missing folder", ["plot", "a.spectrum.tsv", "--json",
                                                "no/r.json"], 2,
         "--json no/r.json: no folder no to write it in", files=PLOT_RUN,
         absent=("a.spectrum.png",)),
    Case("plot: --json names a folder", ["plot", "a.spectrum.tsv", "--json", "d"], 2,
         "--json d: is a folder", files=PLOT_RUN, prepare="mkdir d", absent=("a.spectrum.png",)),
    Case("plot: --json -", ["plot", "a.spectrum.tsv", "--no-figures", "--json", "-"], 2,
         "--json -: standard output carries the summary", files=PLOT_RUN),
    Case("plot: --json the event file", ["plot", "a.spectrum.tsv", "--events", "ev.txt",
                                         "--no-figures", "--json", "ev.txt"], 2,
         "ev.txt is an input of this run; the report would replace it", files=PLOT_RUN,
         kept=("ev.txt",)),
    Case("plot: --json the table", ["plot", "a.spectrum.tsv", "--json", "a.spectrum.tsv"], 2,
         "a.spectrum.tsv is an input of this run; the report would replace it",
         files=PLOT_RUN, kept=("a.spectrum.tsv",), absent=("a.spectrum.png",)),
    Case("plot: --json a figure", ["plot", "a.spectrum.tsv", "--json", "a.spectrum.svg"], 2,
         "--json a.spectrum.svg: a figure is written there", files=PLOT_RUN,
         absent=("a.spectrum.png",)),
    Case("plot: --json beyond the file size limit", ["plot", "a.spectrum.tsv", "--no-figures",
                                                     "--json", "r.json"], 1,
         r"r.json: cannot be written \(the file size limit is reached", kept=("r.json",),
         files=dict(PLOT_RUN, **{"r.json": "old\n"}), limits={"RLIMIT_FSIZE": 1000}),
]

# A table fitted over observation intervals, and its intervals file.
OVER_INTERVALS = {"a.spectrum.tsv": table(TIMES, exposure="intervals", intervals_file="on.txt",
                                          intervals=1, exposure_total=15),
                  "ev.txt": events(TIMES), "on.txt": "0 15\n"}
CASES += [
    # The report is renamed into place: over a FIFO or a device it would
    # replace the node itself.
    Case("plot: --json a named pipe", ["plot", "a.spectrum.tsv", "--no-figures", "--json",
                                       "p"], 2, "--json p: is not a regular file",
         files=PLOT_RUN, prepare="mkfifo p", timeout=20),
    Case("plot: --json the intervals file", ["plot", "a.spectrum.tsv", "--events", "ev.txt",
                                             "--no-figures", "--json", "on.txt"], 2,
         "on.txt is an input of this run; the report would replace it",
         files=OVER_INTERVALS, kept=("on.txt",)),
    Case("plot: intervals file edited after the survey",
         ["plot", "a.spectrum.tsv", "--events", "ev.txt", "--no-figures"], 0,
         r"on.txt is not the intervals file the table was fitted over \(they cover 16",
         files=dict(OVER_INTERVALS, **{"on.txt": "0 16\n"}), anywhere=True),
    Case("plot: --out-dir a loop of links", ["plot", "a.spectrum.tsv", "--out-dir", "loop"], 2,
         "--out-dir loop: is not a folder", files=PLOT_RUN, prepare="ln -s loop loop"),
    Case("plot: a record of one event", ["plot", "a.spectrum.tsv", "--no-figures"], 1,
         "events_read must be at least 2 .a survey needs two times., found 1",
         files={"a.spectrum.tsv": table(TIMES, events_read=1)}),
    Case("plot: a record with a negative span", ["plot", "a.spectrum.tsv", "--no-figures"], 1,
         "span must be a positive number, found '-13.5'",
         files={"a.spectrum.tsv": table(TIMES, span=-13.5)}),
    Case("plot: a table cut inside its last row", ["plot", "a.spectrum.tsv", "--no-figures"],
         1, r"a.spectrum.tsv: its last row has no line end: cut short\?",
         files={"a.spectrum.tsv": table(TIMES)[:-1]}),
    # periodscan-survey -o FILE names its tables as the user likes.
    Case("plot: a table written by -o under its own name", ["plot", "d/daily.tsv"], 0,
         "figures: daily.png", files={"d/daily.tsv": table(TIMES)}, anywhere=True,
         absent=("d/daily.spectrum.png",)),
]

CASES += [
    Case("plot: --checkpoint where the report goes",
         ["plot", "a.spectrum.tsv", "--events", "ev.txt", "--no-figures", "--surrogates", "5",
          "--checkpoint", "r.json", "--json", "r.json"], 2,
         "--checkpoint r.json: the report is written there", files=PLOT_RUN,
         absent=("r.json",)),
]
