"""Hostile inputs of periodscan-prepare (catalogues, check, intervals,
decluster)."""

import gzip

from .case import Case

HEADER = "time,latitude,longitude,depth,mag,magType,nst,gap,dmin,rms,net,id,updated,place,type\n"


def comcat(rows=200, broken=None):
    """A ComCat CSV of `rows` events a few hours apart; the place of row
    `broken` opens a quote that it does not close."""
    lines = [HEADER]
    for i in range(rows):
        hours = 5 * i
        place = '"Somewhere, CA,\nearthquake' if i == broken else '"Somewhere, CA",earthquake'
        lines.append("2021-%02d-%02dT%02d:00:00Z,34,-118,5,1.5,ml,,,,,ci,ci%d,x,%s\n"
                     % (1 + hours // 24 // 28, 1 + hours // 24 % 28, hours % 24, i, place))
    return "".join(lines)


CATALOGUE = comcat()
# Events 0, 1, 50, 100 and 101 days: the one at 50 lies between two gaps.
GAPPED = "time\n0\n1\n50\n100\n101\n"
LONG_LINE = "time\n1\n" + "2" * ((1 << 20) + 10) + "\n3\n"
# 5 MiB of line ends in 5 KiB.
BOMB = gzip.compress(HEADER.encode() + b"\n" * (5 << 20))
DEEP = ('<?xml version="1.0"?>\n<q:quakeml xmlns:q="http://quakeml.org/xmlns/quakeml/1.2" '
        'xmlns="http://quakeml.org/xmlns/bed/1.2">\n<eventParameters>\n<event>\n'
        + "<a>" * 200000 + "\n" + "</a>" * 200000 + "</event></eventParameters></q:quakeml>\n")
MANY_DIGITS = "1" * 5000
NUMBERS = ["prepare", "g.csv", "--time-column", "time", "--time-unit", "days", "-o", "g.txt"]
CALENDAR = ["prepare", "c.csv", "-o", "c.txt"]
DECIMAL_COMMAS = "time,mag\n0,5,3,1\n1,25,2,0\n2,75,1,5\n"

CASES = [
    Case("prepare: a CSV quote left open is a row that cannot be read",
         ["prepare", "q.csv", "-o", "q.txt"], 0,
         r"q\.csv:52: quotes do not pair \(a quote left open\?\): 'lines 52 to 54",
         files={"q.csv": comcat(broken=50)}),
    Case("prepare: --strict refuses a CSV quote left open",
         ["prepare", "q.csv", "-o", "q.txt", "--strict"], 1,
         r"--strict: 1 rows or remarks above; nothing written",
         files={"q.csv": comcat(broken=50)}, absent=("q.txt", "q.json")),
    Case("prepare: --gap leaves no event outside the intervals the survey reads",
         ["survey", "g.txt", "--intervals", "g.intervals", "--min-period", "1",
          "--max-period", "2"], 0, r"wrote g\.spectrum\.tsv", anywhere=True,
         files={"g.csv": GAPPED},
         prepare='"$PERIODSCAN_PREPARE" g.csv --time-column time --time-unit days --gap 2d '
         '-o g.txt | grep -q "1 event left out, alone between gaps longer than --gap"'),
    Case("prepare: a decimal comma in a comma-separated file is no cut time",
         NUMBERS[:1] + ["d.csv"] + NUMBERS[2:] + ["--strict"], 1,
         r"d\.csv:2: not the header's 2 fields \(decimal commas\?.*'0,5,3,1'",
         files={"d.csv": DECIMAL_COMMAS}, absent=("g.txt",)),
    Case("prepare: --decimal-comma where commas separate the fields",
         NUMBERS[:1] + ["d.csv"] + NUMBERS[2:] + ["--decimal-comma"], 1,
         r"d\.csv:1: --decimal-comma, but commas also separate the fields.*';' or tabs",
         files={"d.csv": DECIMAL_COMMAS}, absent=("g.txt",)),
    Case("prepare: a gzip bomb is refused", ["prepare", "b.csv.gz", "-o", "b.txt"], 1,
         r"b\.csv\.gz: decompresses to more than 200 times its size",
         files={"b.csv.gz": BOMB}, absent=("b.txt",)),
    Case("prepare: a line longer than 1 MiB", NUMBERS[:1] + ["l.csv"] + NUMBERS[2:], 1,
         r"l\.csv:3: a line longer than 1 MiB", files={"l.csv": LONG_LINE}),
    Case("prepare: /dev/zero is not read", ["prepare", "/dev/zero", "-o", "z.txt"], 1,
         r"/dev/zero: not a regular file", absent=("z.txt",), timeout=10),
    Case("prepare: a folder is not a catalogue", ["prepare", "d", "-o", "z.txt"], 1,
         r"d: is a folder", prepare="mkdir d"),
    Case("prepare: a FIFO is read once", ["prepare", "f", "-o", "f.txt"], 0,
         r"f\.txt: 200 events", files={"c.csv": CATALOGUE}, anywhere=True,
         prepare="mkfifo f; (cat c.csv > f &)", timeout=20),
    Case("prepare: a FIFO without a writer", ["prepare", "ff", "-o", "f.txt"], 1,
         r"ff: a pipe that nothing was written to for 10 s \(no writer\?\)", prepare="mkfifo ff",
         absent=("f.txt",), timeout=30),
    Case("check: a FIFO without a writer", ["prepare", "check", "ff"], 1,
         r"ff: a pipe that nothing was written to for 10 s \(no writer\?\)", prepare="mkfifo ff",
         timeout=30),
    Case("prepare: - is standard input", ["prepare", "-", "-o", "s.txt"], 0,
         r"standard input: ComCat CSV, 200 rows", stdin=CATALOGUE.encode(), anywhere=True,
         absent=("-",)),
    Case("prepare: standard input named twice", ["prepare", "-", "-", "-o", "s.txt"], 2,
         r"- \(standard input\) is named more than once"),
    Case("prepare: -o - writes to standard output", ["prepare", "c.csv", "-o", "-"], 0,
         r"standard output: 200 events", files={"c.csv": CATALOGUE},
         absent=("-", "-.json", "c.json")),
    Case("prepare: -o - with --gap needs --intervals",
         ["prepare", "c.csv", "-o", "-", "--gap", "2d"], 2,
         r"name the intervals file with --intervals", files={"c.csv": CATALOGUE},
         absent=("-", "-.intervals")),
    Case("prepare: decluster refuses -o -", ["prepare", "decluster", "e.txt", "-o", "-"], 2,
         r"its output must be a file name", absent=("-",)),
    Case("prepare: an output name of 250 characters",
         ["prepare", "c.csv", "-o", "e" * 246 + ".txt"], 0, r"e{246}\.txt: 200 events",
         files={"c.csv": CATALOGUE}, anywhere=True),
    Case("prepare: -o /dev/null is not replaced", ["prepare", "c.csv", "-o", "/dev/null"], 2,
         r"/dev/null is not a regular file", files={"c.csv": CATALOGUE}),
    Case("prepare: QuakeML nested 200000 deep", ["prepare", "deep.xml", "-o", "d.txt"], 1,
         r"deep\.xml:5: elements nested more than 100 deep", files={"deep.xml": DEEP},
         timeout=20),
    Case("prepare: the file size limit leaves the old file",
         ["prepare", "c.csv", "-o", "e.txt"], 1,
         r"cannot write e\.txt: the file size limit is reached.*nothing written",
         files={"c.csv": CATALOGUE, "e.txt": "old\n"}, kept=("e.txt",), absent=("e.json",),
         limits={"RLIMIT_FSIZE": 2000}),
    Case("prepare: --start of thousands of digits", NUMBERS + ["--start", MANY_DIGITS], 2,
         r"--start '1{40}\.\.\.': a number of more than 100 characters",
         files={"g.csv": GAPPED}),
    Case("prepare: --gap of thousands of digits", NUMBERS + ["--gap", MANY_DIGITS], 2,
         r"--gap '1{40}\.\.\.': a number of more than 100 characters",
         files={"g.csv": GAPPED}),
    Case("prepare: --origin 1e400", NUMBERS + ["--origin", "1e400"], 2,
         r"--origin '1e400': number out of range", files={"g.csv": GAPPED}),
    Case("prepare: --start nan", NUMBERS + ["--start", "nan"], 2,
         r"--start 'nan': not a number", files={"g.csv": GAPPED}),
    Case("prepare: --gap 1e-400", NUMBERS + ["--gap", "1e-400"], 2,
         r"--gap '1e-400': number finer than 1e-30", files={"g.csv": GAPPED}),
    Case("prepare: --origin in a huge year", CALENDAR + ["--origin", "99999999999-01-01"], 2,
         r"--origin '99999999999-01-01': year out of range", files={"c.csv": CATALOGUE}),
    Case("prepare: --start with thousands of decimals",
         CALENDAR + ["--start", "2021-01-01T00:00:00." + MANY_DIGITS], 2,
         r"more than 30 decimals of the second", files={"c.csv": CATALOGUE}),
]
CASES += [
    Case("prepare: check refuses /dev/zero", ["prepare", "check", "/dev/zero"], 1,
         r"/dev/zero: not a regular file", timeout=10),
    Case("prepare: check reads standard input", ["prepare", "check", "-"], 0,
         r"no trap found", stdin=b"0.5\n1.5\n2.5\n", anywhere=True),
]
