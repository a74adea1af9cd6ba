"""The files of periodscan-map: the table PREFIX.cells.tsv, its reader, and
the grids PREFIX.delta_log_lik.asc, PREFIX.amplitude.asc and PREFIX.fap.asc.

The table starts with '#' record lines `# key: value` (read by key, unknown
keys ignored), then a header line and one tab-separated row per surveyed
cell, in cell order:

    cell lon_min lon_max lat_min lat_max events best_period delta_log_lik
    amplitude peak_time fap_baluev fap_clustered fap_surrogates fap [name]

Numbers are written with 17 significant digits, so that they read back
exactly; nan where a value is not known (fap_surrogates without
--surrogates, every result of a cell that could not be fitted). `fap` is
the one the map shows (the larger of fap_clustered and fap_surrogates
that are known). `name` is there for regions only.

The grids are ESRI ASCII grids (GDAL's "AAIGrid"): a header of ncols,
nrows, xllcorner, yllcorner (the south-west corner, degrees of longitude
and latitude), cellsize and NODATA_value (-9999: cells left out, or not
fitted), then the rows from north to south. GDAL reads their values as
32-bit floats unless told otherwise (the configuration option
AAIGRID_DATATYPE=Float64); the table holds them exactly.
"""

import math
from dataclasses import dataclass

import numpy as np

from .inputfile import TABLE_LIMIT, InputFileError, file_error, read_input_bytes
from .results import ResultFileError

TITLE = "# periodscan-map: cells"
FORMAT = "1"
COLUMNS = ("cell", "lon_min", "lon_max", "lat_min", "lat_max", "events", "best_period",
           "delta_log_lik", "amplitude", "peak_time", "fap_baluev", "fap_clustered",
           "fap_surrogates", "fap")
GRIDS = ("delta_log_lik", "amplitude", "fap")
NODATA = -9999


def number_text(value):
    value = float(value)
    return "%.17g" % value if math.isfinite(value) else "nan"


def table_text(record, cells, results, names=False):
    """The text of PREFIX.cells.tsv: `record` [(key, value)] after the
    title, then a row for each Cell of `cells` with its CellResult."""
    lines = [TITLE, "# format: " + FORMAT, "# table: cells"]
    # A value is one line: the line ends of a file name are shown escaped.
    lines += ["# %s: %s" % (key, str(value).replace("\r", "\\r").replace("\n", "\\n"))
              for key, value in record]
    lines.append("\t".join(COLUMNS + (("name",) if names else ())))
    for cell, result in zip(cells, results):
        fields = [str(cell.index)]
        fields += [number_text(v) for v in (cell.lon_min, cell.lon_max, cell.lat_min,
                                            cell.lat_max)]
        fields.append(str(result.events))
        fields += [number_text(getattr(result, name)) for name in COLUMNS[6:]]
        if names:
            fields.append(cell.name)
        lines.append("\t".join(fields))
    return "\n".join(lines) + "\n"


def grid_text(layout, cells, values):
    """An ESRI ASCII grid of the layout with `values` (one per cell of
    `cells`, by index) and NODATA elsewhere."""
    z = np.full(layout.columns * layout.rows, np.nan)
    for cell, value in zip(cells, values):
        z[cell.index] = value
    z = z.reshape(layout.rows, layout.columns)[::-1]
    lines = ["ncols %d" % layout.columns, "nrows %d" % layout.rows,
             "xllcorner %s" % number_text(layout.lon0), "yllcorner %s" % number_text(layout.lat0),
             "cellsize %s" % number_text(layout.cell_size), "NODATA_value %d" % NODATA]
    for row in z:
        lines.append(" ".join(number_text(v) if math.isfinite(v) else str(NODATA) for v in row))
    return "\n".join(lines) + "\n"


@dataclass
class MapTable:
    """A table PREFIX.cells.tsv read back: its record (key -> text), the
    columns of COLUMNS as arrays (cell and events whole numbers), and the
    region names (None for a grid)."""
    path: str
    record: dict
    columns: dict
    names: list = None

    def __len__(self):
        return len(self.columns["cell"])


def read_map_table(path):
    """The MapTable of the file at `path`; ResultFileError naming the file
    (and line) where it is not such a table, or is cut short."""
    try:
        data = read_input_bytes(path, TABLE_LIMIT, "a table of periodscan-map")
        text = data.decode("utf-8")
    except InputFileError as e:
        raise ResultFileError(str(e)) from None
    except UnicodeDecodeError as e:
        raise file_error(path, "is not UTF-8 text (byte %d)" % (e.start + 1)) from None
    if text and not text.endswith("\n"):
        # The last row may have been cut inside a number, which then reads
        # as another number.
        raise file_error(path, "the last line has no line end: the table is cut short")
    lines = [line[:-1] if line.endswith("\r") else line for line in text.split("\n")[:-1]]
    if not lines or lines[0].strip() != TITLE:
        raise file_error(path, 'is not a table of periodscan-map: the first line must be "%s"'
                         % TITLE, 1)
    record, number = {}, 1
    while number < len(lines) and lines[number].startswith("#"):
        key, colon, value = lines[number][1:].partition(":")
        if colon and key.strip():
            record.setdefault(key.strip(), value.strip())
        number += 1
    if number == len(lines):
        raise file_error(path, "ends before its header line")
    header = lines[number].split("\t")
    if tuple(header[:len(COLUMNS)]) != COLUMNS or header[len(COLUMNS):] not in ([], ["name"]):
        raise file_error(path, "the header must name the columns %s" % " ".join(COLUMNS),
                         number + 1)
    names = [] if len(header) > len(COLUMNS) else None
    rows = []
    for line_number, line in enumerate(lines[number + 1:], start=number + 2):
        fields = line.split("\t")
        if len(fields) != len(header):
            raise file_error(path, "holds %d fields, the header %d"
                             % (len(fields), len(header)), line_number)
        try:
            rows.append([int(fields[0])] + [float(f) for f in fields[1:5]] + [int(fields[5])]
                        + [float(f) for f in fields[6:len(COLUMNS)]])
        except ValueError:
            raise file_error(path, "a field is not a number", line_number) from None
        if names is not None:
            names.append(fields[-1])
    expected = record.get("cells")
    if expected is not None and expected != str(len(rows)):
        raise file_error(path, "holds %d cells; its record says %s: the table is cut short or "
                         "was edited" % (len(rows), expected))
    columns = {name: np.array([row[k] for row in rows],
                              dtype=int if name in ("cell", "events") else float)
               for k, name in enumerate(COLUMNS)}
    return MapTable(path, record, columns, names)
