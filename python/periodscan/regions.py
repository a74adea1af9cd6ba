"""The cells of a map: a regular grid of DEG-degree cells over the events,
or regions read from a file of polygons.

Grid cells. The grid starts at the multiples of DEG at or below the
smallest longitude and latitude of the events and has as many columns and
rows as it takes to reach the largest (at least one each). Cell
`row * columns + column` has the edges lon_min = lon0 + column*DEG,
lon_max = lon0 + (column + 1)*DEG (lat likewise, row 0 in the south); an
event belongs to the cell whose edges hold it, lower edges included, upper
edges excluded but for the last column and row, whose upper edges are
included too, so that every event is in exactly one cell. Longitudes are
taken as the event file gives them: a catalogue across the 180th meridian
needs longitudes from 0 to 360.

Regions. A GeoJSON FeatureCollection (RFC 7946) whose features are Polygon
or MultiPolygon geometries, each with a "name" property (text without tabs
or line ends, unique):

    {"type": "FeatureCollection", "features": [
      {"type": "Feature", "properties": {"name": "Salton Trough"},
       "geometry": {"type": "Polygon",
                    "coordinates": [[[-116.2, 33.6], [-115.2, 33.6],
                                     [-115.2, 32.6], [-116.2, 32.6],
                                     [-116.2, 33.6]]]}}]}

Positions are [longitude, latitude] in degrees. An event is in a region when
a ray from it crosses the region's rings (outer rings and holes alike) an
odd number of times; a point exactly on an edge may fall either way. Regions
may overlap, and an event then counts in each. Cell i is the i-th feature;
its edges are the bounding box of its polygons.

Cells with fewer than the wanted number of events are left out (counted).
"""

import json
import math
from dataclasses import dataclass, field

import numpy as np

from .inputfile import InputFileError, read_input_bytes
from .results import ResultFileError

# The largest file of regions read (bytes).
REGIONS_LIMIT = 64 << 20
# The most cells a grid may have (columns times rows).
MAX_GRID_CELLS = 1 << 20


class RegionsError(ResultFileError):
    """A file of regions that cannot be read, naming it."""


@dataclass
class Cell:
    """One cell of the map: its index, name (regions only; "" for grid
    cells), edges in degrees, the indices of its events in the event file's
    order, and its rings ([longitudes, latitudes] arrays; none for grid
    cells)."""
    index: int
    name: str
    lon_min: float
    lon_max: float
    lat_min: float
    lat_max: float
    members: np.ndarray
    rings: list = field(default_factory=list)

    @property
    def events(self):
        return len(self.members)


@dataclass
class Layout:
    """The cells of a map. For a grid: the south-west corner (lon0, lat0),
    the cell size and the columns and rows; for regions, `regions` names the
    file and the grid fields are None."""
    cells: list
    cell_size: float = None
    lon0: float = None
    lat0: float = None
    columns: int = None
    rows: int = None
    regions: str = None

    def kept(self, min_events):
        """The cells with at least `min_events` events, and those left out
        (with fewer, but at least one)."""
        kept = [c for c in self.cells if c.events >= min_events]
        left = [c for c in self.cells if 0 < c.events < min_events]
        return kept, left


def _bins(values, start, size, count):
    """The bin of each value among the edges start + k*size (k = 0..count):
    lower edge included, upper excluded, the last bin closed."""
    edges = start + size * np.arange(count + 1)
    index = np.searchsorted(edges, values, side="right") - 1
    return np.minimum(index, count - 1), edges


def _extent(values, size):
    """(first edge, count) of the bins of `size` that cover `values`."""
    lo, hi = float(np.min(values)), float(np.max(values))
    start = math.floor(lo / size) * size
    count = max(1, math.ceil((hi - start) / size))
    # The rounding of start + count*size must not leave the largest out.
    while start + size * count < hi:
        count += 1
    return start, count


def grid_cells(longitudes, latitudes, size):
    """The Layout of a grid of `size`-degree cells over the events (see the
    module's description); every cell is listed, empty or not."""
    lon = np.asarray(longitudes, dtype=float)
    lat = np.asarray(latitudes, dtype=float)
    if not (math.isfinite(size) and size > 0):
        raise ValueError("the cell size must be a positive number of degrees")
    if len(lon) == 0:
        raise ValueError("there are no events to map")
    lon0, nx = _extent(lon, size)
    lat0, ny = _extent(lat, size)
    if nx * ny > MAX_GRID_CELLS:
        raise ValueError("cells of %g degrees make a grid of %d by %d cells over the events, "
                         "more than %d" % (size, nx, ny, MAX_GRID_CELLS))
    col, lon_edges = _bins(lon, lon0, size, nx)
    row, lat_edges = _bins(lat, lat0, size, ny)
    flat = row * nx + col
    order = np.argsort(flat, kind="stable")
    bounds = np.searchsorted(flat[order], np.arange(nx * ny + 1))
    cells = []
    for index in range(nx * ny):
        r, c = divmod(index, nx)
        members = np.sort(order[bounds[index]:bounds[index + 1]])
        cells.append(Cell(index, "", float(lon_edges[c]), float(lon_edges[c + 1]),
                          float(lat_edges[r]), float(lat_edges[r + 1]), members))
    return Layout(cells, float(size), float(lon0), float(lat0), nx, ny)


def inside(lon, lat, rings):
    """True for the points (arrays) inside the rings by the even-odd rule
    (ray casting towards growing longitude)."""
    odd = np.zeros(len(lon), dtype=bool)
    for x, y in rings:
        x1, y1 = x, y
        x2, y2 = np.roll(x, -1), np.roll(y, -1)
        for ax, ay, bx, by in zip(x1, y1, x2, y2):
            if ay == by:
                continue
            crosses = (ay > lat) != (by > lat)
            at = ax + (lat - ay) * (bx - ax) / (by - ay)
            odd ^= crosses & (lon < at)
    return odd


def _ring(path, where, ring):
    if not isinstance(ring, list) or len(ring) < 4:
        raise RegionsError("%s: %s: a ring must be a list of at least four positions"
                           % (path, where))
    points = []
    for position in ring:
        if (not isinstance(position, list) or len(position) < 2
                or not all(isinstance(v, (int, float)) and not isinstance(v, bool)
                           and math.isfinite(v) for v in position[:2])):
            raise RegionsError("%s: %s: a position must be [longitude, latitude] numbers, "
                               "not %s" % (path, where, json.dumps(position)[:60]))
        points.append(position[:2])
    a = np.array(points, dtype=float)
    if not np.all(np.abs(a[:, 1]) <= 90) or not np.all(np.abs(a[:, 0]) <= 360):
        raise RegionsError("%s: %s: a position lies beyond +-360 degrees of longitude or "
                           "+-90 of latitude" % (path, where))
    return a[:, 0], a[:, 1]


def _rings(path, where, geometry):
    if not isinstance(geometry, dict) or geometry.get("type") not in ("Polygon",
                                                                      "MultiPolygon"):
        raise RegionsError("%s: %s: the geometry must be a Polygon or a MultiPolygon"
                           % (path, where))
    polygons = geometry.get("coordinates")
    if geometry["type"] == "Polygon":
        polygons = [polygons]
    if not isinstance(polygons, list) or not polygons or not all(
            isinstance(p, list) and p for p in polygons):
        raise RegionsError("%s: %s: the geometry has no coordinates" % (path, where))
    return [_ring(path, where, ring) for polygon in polygons for ring in polygon]


def read_regions(path):
    """[(name, rings)] of a GeoJSON file of regions (see the module's
    description); RegionsError naming the file otherwise."""
    try:
        text = read_input_bytes(path, REGIONS_LIMIT, "a file of regions").decode("utf-8-sig")
        data = json.loads(text)
    except InputFileError as e:
        raise RegionsError(str(e)) from None
    except UnicodeDecodeError:
        raise RegionsError("%s: is not UTF-8 text" % path) from None
    except json.JSONDecodeError as e:
        raise RegionsError("%s, line %d: is not JSON (%s)" % (path, e.lineno, e.msg)) from None
    except (RecursionError, ValueError) as e:
        raise RegionsError("%s: is not JSON (%s)" % (path, e)) from None
    if not isinstance(data, dict) or data.get("type") != "FeatureCollection" \
            or not isinstance(data.get("features"), list):
        raise RegionsError('%s: must hold a GeoJSON object of "type": "FeatureCollection" '
                           'with a list of "features"' % path)
    if not data["features"]:
        raise RegionsError("%s: holds no region" % path)
    regions, names = [], set()
    for number, feature in enumerate(data["features"], start=1):
        where = "feature %d" % number
        properties = feature.get("properties") if isinstance(feature, dict) else None
        name = properties.get("name") if isinstance(properties, dict) else None
        if not isinstance(name, str) or not name.strip() or any(c in name for c in "\t\r\n"):
            raise RegionsError('%s: %s: needs a "name" property: text without tabs or line '
                               'ends' % (path, where))
        if name in names:
            raise RegionsError("%s: %s: the name %r is given twice" % (path, where, name))
        names.add(name)
        regions.append((name, _rings(path, "%s (%s)" % (where, name), feature.get("geometry"))))
    return regions


def region_cells(path, longitudes, latitudes):
    """The Layout of the regions of the file at `path` over the events."""
    lon = np.asarray(longitudes, dtype=float)
    lat = np.asarray(latitudes, dtype=float)
    cells = []
    for index, (name, rings) in enumerate(read_regions(path)):
        xs = np.concatenate([x for x, _ in rings])
        ys = np.concatenate([y for _, y in rings])
        members = np.flatnonzero(inside(lon, lat, rings))
        cells.append(Cell(index, name, float(xs.min()), float(xs.max()), float(ys.min()),
                          float(ys.max()), members, rings))
    return Layout(cells, regions=path)
