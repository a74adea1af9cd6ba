"""The cells of periodscan-map (grid edges, polygons, cells left out) and its
table read back."""

import json
import math

import numpy as np
import pytest

from periodscan.mapfile import read_map_table, table_text
from periodscan.mapping import CellResult
from periodscan.regions import RegionsError, grid_cells, region_cells
from periodscan.results import ResultFileError


@pytest.mark.parametrize("lon, lat, size, corner, shape, cells", [
    # lower edges in, upper edges out, the last column and row closed
    ([0.0, 0.5, 1.0, 1.5, 2.0], [0.0] * 5, 0.5, (0.0, 0.0), (4, 1), [0, 1, 2, 3, 3]),
    ([0.25, 0.75], [0.0, 1.0], 0.5, (0.0, 0.0), (2, 2), [0, 3]),
    # the corner at a multiple of the size below the events
    ([-118.377, -117.2], [33.9, 34.6], 0.5, (-118.5, 33.5), (3, 3), [0, 8]),
    # all events in one place: one cell
    ([5.0, 5.0], [7.0, 7.0], 1.0, (5.0, 7.0), (1, 1), [0, 0]),
])
def test_grid_cells(lon, lat, size, corner, shape, cells):
    layout = grid_cells(lon, lat, size)
    assert (layout.lon0, layout.lat0) == corner
    assert (layout.columns, layout.rows) == shape
    found = [None] * len(lon)
    for cell in layout.cells:
        assert cell.lon_min <= cell.lon_max - size * 0.999
        for k in cell.members:
            assert found[k] is None, "event %d in two cells" % k
            found[k] = cell.index
            assert cell.lon_min <= lon[k] <= cell.lon_max
            assert cell.lat_min <= lat[k] <= cell.lat_max
    assert found == cells


def test_cells_with_too_few_events_are_left_out():
    lon = [0.1] * 5 + [1.1] * 2 + [2.1] * 3
    kept, left = grid_cells(lon, [0.0] * 10, 1.0).kept(3)
    assert [(c.index, c.events) for c in kept] == [(0, 5), (2, 3)]
    assert [(c.index, c.events) for c in left] == [(1, 2)]


SQUARE = [[0, 0], [4, 0], [4, 4], [0, 4], [0, 0]]
HOLE = [[1, 1], [1, 3], [3, 3], [3, 1], [1, 1]]


def feature(name, geometry):
    return {"type": "Feature", "properties": {"name": name}, "geometry": geometry}


def collection(*features):
    return json.dumps({"type": "FeatureCollection", "features": list(features)})


def test_regions_by_ray_casting(tmp_path):
    path = tmp_path / "r.json"
    path.write_text(collection(
        feature("ring", {"type": "Polygon", "coordinates": [SQUARE, HOLE]}),
        feature("two", {"type": "MultiPolygon", "coordinates": [
            [[[10, 0], [11, 0], [11, 1], [10, 0]]], [[[20, 0], [21, 0], [21, 1], [20, 0]]]]})))
    # in the ring, in its hole, outside, in each triangle, out of a triangle
    lon = [0.5, 2.0, 5.0, 10.9, 20.9, 10.1]
    lat = [3.5, 2.0, 2.0, 0.5, 0.5, 0.5]
    layout = region_cells(str(path), lon, lat)
    assert [(c.name, list(c.members)) for c in layout.cells] == [("ring", [0]), ("two", [3, 4])]
    assert (layout.cells[1].lon_min, layout.cells[1].lon_max) == (10, 21)


@pytest.mark.parametrize("text, message", [
    ("{", "line 1: is not JSON"),
    ('{"type": "Feature"}', "FeatureCollection"),
    (collection(), "holds no region"),
    (collection(feature("", {"type": "Polygon", "coordinates": [SQUARE]})), '"name"'),
    (collection(feature("a", {"type": "Polygon", "coordinates": [SQUARE]}),
                feature("a", {"type": "Polygon", "coordinates": [SQUARE]})), "given twice"),
    (collection(feature("a", {"type": "Point", "coordinates": [0, 0]})), "Polygon"),
    (collection(feature("a", {"type": "Polygon", "coordinates": [SQUARE[:3]]})),
     "at least four"),
    (collection(feature("a", {"type": "Polygon", "coordinates": [[[0, "x"]] * 4]})),
     "numbers"),
    (collection(feature("a", {"type": "Polygon", "coordinates": [[[0, 95]] * 4]})),
     "beyond"),
])
def test_bad_regions_are_refused_naming_the_file(tmp_path, text, message):
    path = tmp_path / "r.json"
    path.write_text(text)
    with pytest.raises(RegionsError, match=str(path)) as error:
        region_cells(str(path), [0.0], [0.0])
    assert message in str(error.value)


def test_table_reads_back_exactly_and_refuses_a_cut(tmp_path):
    layout = grid_cells([0.1, 1.7], [0.2, 0.3], 1.0)
    results = [CellResult(0, 1, 1 / 3, 12.5, 0.25, math.pi, 1e-300, 0.5),
               CellResult(1, 1, note="too few")]
    text = table_text([("events", "e\nv.txt"), ("cells", 2)], layout.cells, results)
    path = tmp_path / "m.cells.tsv"
    path.write_text(text)
    table = read_map_table(str(path))
    assert table.record["cells"] == "2" and table.names is None
    assert table.record["events"] == "e\\nv.txt"
    assert list(table.columns["cell"]) == [0, 1]
    assert table.columns["best_period"][0] == 1 / 3
    assert table.columns["peak_time"][0] == math.pi
    assert table.columns["fap_baluev"][0] == 1e-300
    assert table.columns["fap"][0] == 0.5
    assert np.isnan(table.columns["fap"][1]) and np.isnan(table.columns["fap_surrogates"][0])
    for cut, message in ((text.rsplit("\n", 2)[0] + "\n", "holds 1 cells; its record says 2"),
                         (text[:-4], "no line end")):
        path.write_text(cut)
        with pytest.raises(ResultFileError, match=message):
            read_map_table(str(path))
