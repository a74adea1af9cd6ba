"""False-alarm probability of the largest peak from shifted clusters.

Clusters (aftershock sequences, swarms) make the Poisson levels of a scan
far too low. Where the clusters are known, from declustering on magnitudes
and locations, a reference that keeps them intact is built by moving every
cluster as a whole to a random place in the record: each cluster gets its own
shift u, uniform over [0, L), and its events go to t_1 + ((t - t_1 + u) mod L).
The shifted catalogue has the same clusters and the same cluster sizes but no
common timing between clusters, which is what a periodic rate would give.
The scan's largest DeltaLogLik on such surrogates is the null distribution
of the observed one.

Surrogates are drawn one by one and the drawing stops once `stop_after` of
them reach the observed maximum (Besag and Clifford, Biometrika 78, 301-304,
1991): then p = stop_after / drawn. Otherwise all `max_surrogates` are
drawn and p = (reached + 1) / (max_surrogates + 1). Either way p is a valid
p-value; the sequential rule only saves work where p is large.

The surrogate scans run in the compiled engine (periodscan._engine) on the
table's own grid and over its observation intervals: there the shift is in
watched time (each event's position is mapped to the watched time before it,
shifted circularly, and mapped back), so no event lands in a gap of the
record. The shifts come from a fixed generator (std::mt19937_64) seeded with
`seed`: the same seed gives the same surrogates on any machine and for any
thread count.
"""

from dataclasses import dataclass

import numpy as np

from .periodogram import _real, _real_array, _whole, engine

MAX_SURROGATES = 99
STOP_AFTER = 10
SEED = 20261208


@dataclass
class SurrogateFap:
    fap: float
    observed: float        # the largest DeltaLogLik of the catalogue
    drawn: int             # surrogate scans made
    reached: int           # of which reached the observed value
    clusters: int

    def label(self):
        return "cluster shifts (%d clusters, %d surrogate scans)" % (self.clusters, self.drawn)


def cluster_shift_surrogates(times, clusters, frequencies, observed, intervals=None, seed=SEED,
                             max_surrogates=MAX_SURROGATES, stop_after=STOP_AFTER, threads=0,
                             progress=None):
    """The empirical false-alarm probability of `observed`, the largest
    DeltaLogLik of a scan of the sorted `times` at `frequencies` (the table's
    own; a uniform grid takes the survey's fast route), from surrogates whose
    clusters (`clusters`: a whole-number label per event) are shifted as
    wholes. `intervals`: the (start, end) pairs the events were watched
    over, None for the whole span. `progress`, when given, is called now and
    then with (surrogates done, max_surrogates)."""
    seed = _whole(seed, "seed")
    if not 0 <= seed < 1 << 64:
        raise ValueError("seed must be 0 or more, below 2**64")
    labels = np.asarray(clusters)
    if intervals is not None:
        intervals = _real_array(intervals, "intervals")
        if intervals.ndim == 1 and intervals.size == 2:
            intervals = intervals.reshape(1, 2)
    scans = engine().shift_scans(
        _real_array(times, "times"), labels,
        np.atleast_1d(_real_array(frequencies, "frequencies")),
        _real(observed, "observed"), intervals, seed,
        _whole(max_surrogates, "max_surrogates"), _whole(stop_after, "stop_after"),
        _whole(threads, "threads"), progress)
    drawn, reached = int(scans["drawn"]), int(scans["reached"])
    fap = reached / drawn if reached >= stop_after else (reached + 1) / (max_surrogates + 1)
    return SurrogateFap(fap, float(observed), drawn, reached, len(np.unique(labels)))
