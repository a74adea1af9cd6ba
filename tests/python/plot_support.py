"""Helpers shared by the periodscan-plot tests: running periodscan and the
command in temporary folders, and checking figure files."""

import os
import struct
import subprocess
import xml.etree.ElementTree as ET
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
EXAMPLES = REPO / "examples"
# CTest points at the launcher copied beside the program; by default the
# tests use the one in the source tree.
TOOL = Path(os.environ.get("PERIODSCAN_PLOT") or REPO / "tools" / "periodscan-plot")


def records(lines):
    """File content as periodscan writes it: every record ends in CR LF."""
    return "".join(line + "\r\n" for line in lines).encode("ascii")


def write_events(folder, times, name="ev.txt"):
    (Path(folder) / name).write_text("".join("%s\n" % t for t in times))
    return name


def run_periodscan(program, folder, answers):
    """Runs periodscan in folder with the answers on standard input; the
    first answer line is the one that the pause after the banner takes."""
    result = subprocess.run([program], input=answers.encode("ascii"), cwd=folder,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=120)
    assert result.returncode == 0, result.stderr.decode(errors="replace")
    return result


def run_tool(*args, cwd=None):
    """Runs periodscan-plot as a command (through its own #! line)."""
    return subprocess.run([str(TOOL), *map(str, args)], cwd=cwd, capture_output=True,
                          text=True, timeout=120)


def examples_beside(folder):
    """A scratch folder run/ beside a link examples/ to the repository's
    examples, the layout that the answer files expect."""
    folder = Path(folder)
    (folder / "examples").symlink_to(EXAMPLES, target_is_directory=True)
    (folder / "run").mkdir()
    return folder / "run"


def png_size(path):
    """Width and height of a PNG file, after checking its signature and that
    its first chunk is the header."""
    data = Path(path).read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "%s is not a PNG file" % path
    length, kind = struct.unpack(">I4s", data[8:16])
    assert kind == b"IHDR" and length == 13, "%s has no PNG header chunk" % path
    assert data[-8:-4] == b"IEND", "%s does not end with the PNG end chunk" % path
    return struct.unpack(">II", data[16:24])


def svg_root(path):
    root = ET.parse(path).getroot()
    assert root.tag == "{http://www.w3.org/2000/svg}svg", "%s is not an SVG file" % path
    return root


# Tables of periodscan-survey, laid out by hand: '#' lines, the header row,
# tab-separated rows; the spectrum in the order of its frequency grid.
SPECTRUM_TSV = """# periodscan-survey: spectrum
# grid: 3 frequencies from 0.5 in steps of 0.25
period\tfrequency\tdelta_log_lik\tamplitude\tphase\tpeak_time\trayleigh_z
2\t0.5\t1.5\t0.25\t1\t0.5\t2
1.3333333333333333\t0.75\t0.5\t0.125\t2\t0.25\t1
1\t1\t9.75\t1\t3\tnan\t12
"""
WINDOW_HEADER = ("window_start\twindow_end\tevents\tperiod\tfrequency\tdelta_log_lik\t"
                 "amplitude\tphase\tpeak_time\trayleigh_z")
WINDOWS_TSV = "\n".join([
    "# periodscan-survey: moving windows", WINDOW_HEADER,
    "0\t10\t5\t2\t0.5\t1.5\t0.25\t1\t0.5\t2",
    "0\t10\t5\t1\t1\t7\t0.5\t1\t0.5\t2",
    "5\t15\t1\t2\t0.5\tnan\tnan\tnan\tnan\tnan",
    "5\t15\t1\t1\t1\tnan\tnan\tnan\tnan\tnan", ""])


def keyed_table(times, periods=(2.0, 1.5, 1.0), windows=None, rows=None, **record):
    """A table of periodscan-survey with its keyed record, made from the event
    times `times`: a spectrum, or with `windows` ((start, end, events), ...)
    a table of moving windows. `record` overrides or, with None, removes
    entries; `rows` replaces the rows."""
    entries = {"format": 2, "table": "windows" if windows else "spectrum",
               "events": "ev.txt", "events_read": len(times), "lines_skipped": 0,
               "sorted": "no", "first_time": "%.17g" % min(times),
               "last_time": "%.17g" % max(times), "span": "%.17g" % (max(times) - min(times)),
               "exposure": "whole_span", "grid": "log_periods", "frequencies": len(periods)}
    if windows:
        entries["windows"] = len(windows)
    entries.update(record)
    fit = ["%r\t%r\t%r\t0.5\t1\t0.25\t2" % (p, 1 / p, 1.5 + k) for k, p in enumerate(periods)]
    if rows is None:
        rows = ["%r\t%r\t%d\t%s" % (w + (f,)) for w in windows for f in fit] if windows \
            else fit
    header = WINDOW_HEADER if windows else SPECTRUM_TSV.splitlines()[2]
    return "\n".join(["# periodscan-survey: %s" % ("moving windows" if windows else "spectrum")]
                     + ["# %s: %s" % kv for kv in entries.items() if kv[1] is not None]
                     + [header] + rows) + "\n"


def without_grid_warnings(stderr):
    """Standard error without the warnings that a grid is too coarse (the
    small test spectra are), so that what is left can be compared whole."""
    binary = isinstance(stderr, bytes)
    text = stderr.decode() if binary else stderr
    kept = "".join(line for line in text.splitlines(True)
                   if not (line.startswith("periodscan-plot: warning: ")
                           and "grid is too coarse to resolve a peak" in line))
    return kept.encode() if binary else kept
