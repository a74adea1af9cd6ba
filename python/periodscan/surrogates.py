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

Events outside the scan's observation intervals are not handled: a shifted
cluster may land in a gap of the record.
"""

from dataclasses import dataclass

import numpy as np

MAX_SURROGATES = 99
STOP_AFTER = 10


@dataclass
class SurrogateFap:
    fap: float
    observed: float        # the largest DeltaLogLik of the catalogue
    drawn: int             # surrogate scans made
    reached: int           # of which reached the observed value
    clusters: int

    def label(self):
        return "cluster shifts (%d clusters, %d surrogate scans)" % (self.clusters, self.drawn)


def shift_clusters(times, clusters, rng):
    """One surrogate: every cluster moved by its own uniform circular shift
    over the span of the catalogue; sorted."""
    t = np.asarray(times, dtype=float)
    t0, span = float(t[0]), float(t[-1] - t[0])
    ids, inverse = np.unique(np.asarray(clusters), return_inverse=True)
    shift = rng.uniform(0.0, span, len(ids))
    return np.sort(t0 + np.mod(t - t0 + shift[inverse], span))


def cluster_shift_fap(times, clusters, scan, rng, observed=None,
                      max_surrogates=MAX_SURROGATES, stop_after=STOP_AFTER):
    """The empirical false-alarm probability of the scan's largest
    DeltaLogLik. `scan` maps sorted times to that largest value; `clusters`
    holds a cluster label for every event (one label per event for
    independent events)."""
    if observed is None:
        observed = float(scan(np.asarray(times, dtype=float)))
    count = len(np.unique(np.asarray(clusters)))
    reached = 0
    for drawn in range(1, max_surrogates + 1):
        if scan(shift_clusters(times, clusters, rng)) >= observed:
            reached += 1
            if reached == stop_after:
                return SurrogateFap(reached / drawn, observed, drawn, reached, count)
    return SurrogateFap((reached + 1) / (max_surrogates + 1), observed, max_surrogates,
                        reached, count)
