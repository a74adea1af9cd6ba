"""The surveys of a map's cells on a Dask cluster: one task per cell (the
survey over the band and the false-alarm probabilities of its highest
peak), then, with surrogates, one task per cell for the cluster shifts.
Results come back in cell order, so that the files written from them do
not depend on the number of workers or the order in which they finish.

Each task runs the engine on one thread: the embedded cluster already
gives every core a worker, and the numbers do not depend on it.
"""

import math
import time
from dataclasses import dataclass

import numpy as np

NAN = float("nan")


@dataclass(frozen=True)
class CellInput:
    """What a cell's tasks need: its events sorted by time (ties in file
    order), with magnitudes and locations for the cluster shifts."""
    index: int
    times: np.ndarray
    magnitudes: np.ndarray
    latitudes: np.ndarray
    longitudes: np.ndarray


@dataclass(frozen=True)
class CellResult:
    """The highest peak of a cell's survey (nan throughout where it could
    not be fitted, `note` saying why) and its false-alarm probabilities."""
    index: int
    events: int
    best_period: float = NAN
    delta_log_lik: float = NAN
    amplitude: float = NAN
    peak_time: float = NAN
    fap_baluev: float = NAN
    fap_clustered: float = NAN
    fap_surrogates: float = NAN
    note: str = ""

    @property
    def fap(self):
        """The false-alarm probability the map shows: the larger of the
        clustering-corrected one and the cluster shifts' where they ran;
        nan where neither applies."""
        values = [v for v in (self.fap_clustered, self.fap_surrogates) if math.isfinite(v)]
        return max(values) if values else NAN


def cell_input(index, members, times, magnitudes, latitudes, longitudes):
    order = members[np.argsort(times[members], kind="stable")]
    return CellInput(index, times[order], magnitudes[order], latitudes[order],
                     longitudes[order])


def survey_cell(cell, min_period, max_period, samples_per_peak):
    """A Dask task: the CellResult of `cell` (a CellInput) without its
    surrogates."""
    from .analysis import assess
    from .periodogram import survey
    count = len(cell.times)
    try:
        result = survey(cell.times, min_period, max_period, samples_per_peak, threads=1)
        if len(result) < 2:
            return CellResult(cell.index, count, note="the band holds %d trial period over "
                              "the cell's span of %.6g" % (len(result), result.span))
        if not np.any(np.isfinite(result.delta_log_lik)):
            return CellResult(cell.index, count, note="no finite DeltaLogLik")
        i = result.highest()
        z, f = float(result.delta_log_lik[i]), float(result.frequency[i])
        analysis = assess(result, cell.times, cluster_shifts=False)
        baluev = analysis.false_alarm_probability(z, f, method="baluev")
        clustered = analysis.false_alarm_probability(z, f, method="clustered")
    except (ValueError, np.linalg.LinAlgError) as e:
        return CellResult(cell.index, count, note=str(e).replace("\t", " ").replace("\n", " "))
    return CellResult(cell.index, count, float(result.period[i]), z,
                      float(result.amplitude[i]), float(result.peak_time[i]),
                      float(baluev), float(clustered))


def shift_cell(cell, unit, min_period, max_period, samples_per_peak, observed, count, seed):
    """A Dask task: the cluster-shift FAP of `observed`, the highest
    DeltaLogLik of `cell`, from at most `count` surrogate scans on the
    cell's own grid; nan where the events cannot be declustered."""
    from .catalogue import catalogue_from_arrays
    from .periodogram import survey
    from .surrogates import STOP_AFTER, cluster_shift_surrogates
    try:
        catalogue = catalogue_from_arrays(cell.times, cell.magnitudes, cell.latitudes,
                                          cell.longitudes, unit)
        grid = survey(cell.times, min_period, max_period, samples_per_peak, threads=1)
        shifts = cluster_shift_surrogates(catalogue.time, catalogue.clusters(), grid.frequency,
                                          observed, seed=seed, max_surrogates=count,
                                          stop_after=min(STOP_AFTER, count), threads=1)
    except (ValueError, np.linalg.LinAlgError):
        return NAN
    return float(shifts.fap)


def _gather(client, futures, progress):
    """The results of `futures` in their order, telling `progress` (done,
    total) as they finish."""
    from distributed import as_completed
    done = 0
    if progress is not None:
        progress(0, len(futures))
    for _ in as_completed(futures):
        done += 1
        if progress is not None:
            progress(done, len(futures))
    return client.gather(futures)


def surrogate_faps(client, cells, results, unit, band, count, seed, progress=None):
    """The cluster-shift FAPs of the cells' highest peaks (a list in cell
    order; nan where a cell was not fitted). One task per cell; this is the
    one place that draws surrogates for a map."""
    min_period, max_period, samples_per_peak = band
    futures, where = [], []
    for k, (cell, result) in enumerate(zip(cells, results)):
        if math.isfinite(result.delta_log_lik):
            futures.append(client.submit(shift_cell, cell, unit, min_period, max_period,
                                         samples_per_peak, result.delta_log_lik, count, seed,
                                         pure=False))
            where.append(k)
    faps = [NAN] * len(cells)
    for k, fap in zip(where, _gather(client, futures, progress)):
        faps[k] = fap
    return faps


def survey_cells(client, cells, band, unit=None, surrogates=0, seed=None, progress=None):
    """The CellResult of every CellInput of `cells`, in their order. `band`
    is (min_period, max_period, samples_per_peak); with `surrogates` > 0 the
    cluster shifts run too (they need the time `unit`)."""
    from dataclasses import replace
    min_period, max_period, samples_per_peak = band
    futures = [client.submit(survey_cell, cell, min_period, max_period, samples_per_peak,
                             pure=False) for cell in cells]
    results = _gather(client, futures, None if progress is None else progress("surveys"))
    if surrogates > 0:
        faps = surrogate_faps(client, cells, results, unit, band, surrogates, seed,
                              None if progress is None else progress("cluster shifts"))
        results = [replace(r, fap_surrogates=fap) for r, fap in zip(results, faps)]
    return results


class EtaProgress:
    """`progress` for survey_cells on a terminal: "LABEL: 12 of 40 cells,
    about 0:35 left", rewritten in place once the work has taken two seconds,
    cleared at the end; silent elsewhere."""

    SHOW_AFTER = 2.0

    def __init__(self, program, stream):
        self.program = program
        self.stream = stream
        try:
            self.enabled = stream.isatty()
        except (AttributeError, ValueError):
            self.enabled = False
        self.shown = False

    def __call__(self, label):
        start = time.monotonic()

        def tell(done, total):
            elapsed = time.monotonic() - start
            if not self.enabled or elapsed < self.SHOW_AFTER:
                return
            left = ""
            if 0 < done < total:
                seconds = round(elapsed * (total - done) / done)
                left = ", about %d:%02d left" % divmod(seconds, 60)
            self.stream.write("\r%s: %s: %d of %d cells%s\033[K"
                              % (self.program, label, done, total, left))
            self.stream.flush()
            self.shown = True
        return tell

    def clear(self):
        if self.shown:
            self.stream.write("\r\033[K")
            self.stream.flush()
            self.shown = False
