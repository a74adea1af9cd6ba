"""Declustering by the space-time windows of Gardner and Knopoff.

Gardner, J. K. and Knopoff, L. (1974), "Is the sequence of earthquakes in
Southern California, with aftershocks removed, Poissonian?", Bulletin of the
Seismological Society of America 64(5), 1363-1367. The windows are the fits
to their table given by van Stiphout, Zhuang and Marsan (2012), "Seismicity
declustering", Community Online Resource for Statistical Seismicity
Analysis, doi:10.5078/corssa-52382934:

    distance  d(M) = 10^(0.1238 M + 0.983) km
    time      t(M) = 10^(0.032 M + 2.7389) days   for M >= 6.5,
                     10^(0.5409 M - 0.547) days    below,

so an M 3 event holds 22.6 km and 11.9 days, an M 5 event 40 km and 143 days.

The main-shock procedure: events are taken from the largest magnitude down
(the earlier first among equal magnitudes); one that is not yet in a cluster
opens a cluster, and every event not yet in a cluster that lies within d(M)
of its epicentre and at most t(M) after it, or FORESHOCK_FRACTION t(M) before
it, joins that cluster. The main shock of every cluster, alone ones included,
is the background catalogue. Depth is not used.

A window also reaches events that a larger main shock took first; such
clusters are `linked`. Moving clusters as wholes (surrogates.py) is safest
with the linked groups, since a sequence split between two main shocks
would otherwise be torn apart.
"""

from dataclasses import dataclass

import numpy as np

FORESHOCK_FRACTION = 1.0
EARTH_RADIUS_KM = 6371.0


def window_km(m):
    return 10.0 ** (0.1238 * np.asarray(m, dtype=float) + 0.983)


def window_days(m):
    m = np.asarray(m, dtype=float)
    return np.where(m >= 6.5, 10.0 ** (0.032 * m + 2.7389), 10.0 ** (0.5409 * m - 0.547))


def epicentral_km(lat0, lon0, lat, lon):
    """Great-circle distance on a sphere (haversine)."""
    p0, p = np.radians(lat0), np.radians(lat)
    h = (np.sin(0.5 * (p - p0)) ** 2
         + np.cos(p0) * np.cos(p) * np.sin(0.5 * np.radians(np.asarray(lon) - lon0)) ** 2)
    return 2 * EARTH_RADIUS_KM * np.arcsin(np.sqrt(np.minimum(h, 1.0)))


@dataclass
class Declustering:
    main_shock: np.ndarray   # for every event, the index of its cluster's main shock
    background: np.ndarray   # True for the main shocks (alone ones included)
    linked: np.ndarray       # for every event, the smallest main-shock index of its group

    @property
    def clusters(self):
        return len(np.unique(self.main_shock))


def gardner_knopoff(days, magnitude, latitude, longitude,
                    foreshock_fraction=FORESHOCK_FRACTION):
    """Clusters of a catalogue with times in days (any order)."""
    t = np.asarray(days, dtype=float)
    m = np.asarray(magnitude, dtype=float)
    lat = np.asarray(latitude, dtype=float)
    lon = np.asarray(longitude, dtype=float)
    by_time = np.argsort(t, kind="stable")
    ts = t[by_time]
    main = np.full(len(t), -1, dtype=np.int64)
    # Union-find over main shocks: a window that reaches events already
    # taken by a larger main shock links the two clusters.
    parent = np.arange(len(t))

    def root(k):
        while parent[k] != k:
            parent[k] = parent[parent[k]]
            k = parent[k]
        return k

    for i in np.lexsort((t, -m)):
        if main[i] >= 0:
            continue
        main[i] = i
        span = float(window_days(m[i]))
        lo = np.searchsorted(ts, t[i] - foreshock_fraction * span, side="left")
        hi = np.searchsorted(ts, t[i] + span, side="right")
        cand = by_time[lo:hi]
        cand = cand[epicentral_km(lat[i], lon[i], lat[cand], lon[cand]) <= window_km(m[i])]
        for other in np.unique(main[cand[main[cand] >= 0]]):
            a, b = root(i), root(other)
            parent[max(a, b)] = min(a, b)
        main[cand[main[cand] < 0]] = i
    linked = np.array([root(k) for k in main])
    return Declustering(main, main == np.arange(len(t)), linked)
