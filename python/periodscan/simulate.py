"""Simulated catalogues with and without clustering, for checking levels.

Every generator takes a numpy Generator (so a run is reproduced by its
seed) and returns a Catalogue sorted by time, in days from 0 to `span`, with
a magnitude (Gutenberg-Richter, b = 1 above MC, truncated at M_MAX), an
epicentre inside REGION and the true cluster of every event. Parents (or, for
the ETAS-like process, background events) can follow a periodic rate
mu (1 + A cos(2 pi t / period + phase)), by thinning, to measure power.

  poisson        independent events;
  neyman_scott   parents with a Poisson number of offspring, delayed by an
                 exponential time with mean `delay` days, within OFFSPRING_KM
                 of the parent;
  omori_clusters the same with delays from the Omori law (t + c)^-p, cut at
                 `max_delay` days;
  etas_like      a branching process: every event has a Poisson number of
                 offspring with mean K 10^(alpha (M - MC)), Omori-delayed and
                 scattered around it over its rupture length;
  swarms         parents with a Poisson number of offspring spread evenly
                 over `duration` days after them;
  rate_step      independent events whose rate is multiplied by `factor`
                 from a time drawn in the middle fifth of the record on (a
                 change of completeness);
  one_sequence   independent events and one Omori sequence, started at a
                 random time, that holds most of the events.
"""

from dataclasses import dataclass

import numpy as np

MC = 2.5
B_VALUE = 1.0
M_MAX = 6.0
REGION = ((33.0, 37.0), (-120.0, -115.0))    # latitude, longitude (degrees)
OFFSPRING_KM = 2.0
KM_PER_DEGREE = 111.195


@dataclass
class Modulation:
    amplitude: float = 0.0
    period: float = 100.0
    phase: float = 0.0

    def rate_factor(self, t):
        return 1.0 + self.amplitude * np.cos(2 * np.pi * t / self.period + self.phase)


@dataclass
class Catalogue:
    time: np.ndarray
    magnitude: np.ndarray
    latitude: np.ndarray
    longitude: np.ndarray
    cluster: np.ndarray      # 0, 1, ... : events of one cluster share it
    span: float


def magnitudes(rng, n):
    """Gutenberg-Richter with b = B_VALUE between MC and M_MAX."""
    beta = B_VALUE * np.log(10)
    u = rng.uniform(size=n)
    return MC - np.log1p(-u * -np.expm1(-beta * (M_MAX - MC))) / beta


def _parents(rng, span, rate, modulation):
    modulation = modulation or Modulation()
    n = rng.poisson(rate * span * (1 + abs(modulation.amplitude)))
    t = rng.uniform(0, span, n)
    keep = rng.uniform(0, 1 + abs(modulation.amplitude), n) < modulation.rate_factor(t)
    t = np.sort(t[keep])
    lat = rng.uniform(*REGION[0], len(t))
    lon = rng.uniform(*REGION[1], len(t))
    return t, lat, lon


def _around(rng, lat, lon, km):
    """Points scattered by a circular Gaussian of `km` around each centre."""
    dlat = rng.normal(size=len(lat)) * km / KM_PER_DEGREE
    dlon = rng.normal(size=len(lat)) * km / (KM_PER_DEGREE * np.cos(np.radians(lat)))
    return lat + dlat, lon + dlon


def _catalogue(span, t, lat, lon, cluster, m):
    inside = (t >= 0) & (t <= span)
    order = np.argsort(t[inside], kind="stable")
    pick = np.nonzero(inside)[0][order]
    # Number the clusters 0, 1, ... in the order of their first event.
    _, first = np.unique(cluster[pick], return_index=True)
    renumber = np.empty(len(first), dtype=np.int64)
    renumber[np.argsort(np.argsort(first))] = np.arange(len(first))
    _, inverse = np.unique(cluster[pick], return_inverse=True)
    return Catalogue(t[pick], m[pick], lat[pick], lon[pick], renumber[inverse], span)


def poisson(rng, span, rate, modulation=None):
    t, lat, lon = _parents(rng, span, rate, modulation)
    return _catalogue(span, t, lat, lon, np.arange(len(t)), magnitudes(rng, len(t)))


def _clustered(rng, span, parent_rate, mean_offspring, delays, modulation):
    t, lat, lon = _parents(rng, span, parent_rate, modulation)
    counts = rng.poisson(mean_offspring, len(t))
    owner = np.repeat(np.arange(len(t)), counts)
    ct = t[owner] + delays(len(owner))
    clat, clon = _around(rng, lat[owner], lon[owner], OFFSPRING_KM)
    all_t = np.concatenate([t, ct])
    cluster = np.concatenate([np.arange(len(t)), owner])
    return _catalogue(span, all_t, np.concatenate([lat, clat]), np.concatenate([lon, clon]),
                      cluster, magnitudes(rng, len(all_t)))


def neyman_scott(rng, span, parent_rate, mean_offspring, delay=0.5,
                 modulation=None):
    return _clustered(rng, span, parent_rate, mean_offspring,
                      lambda n: rng.exponential(delay, n), modulation)


def omori_delays(rng, n, c, p, max_delay):
    """Delays with density proportional to (t + c)^-p on [0, max_delay], p != 1."""
    lo, hi = c ** (1 - p), (max_delay + c) ** (1 - p)
    u = rng.uniform(size=n)
    return (lo + u * (hi - lo)) ** (1 / (1 - p)) - c


def omori_clusters(rng, span, parent_rate, mean_offspring, c=0.01, p=1.2, max_delay=5.0,
                   modulation=None):
    return _clustered(rng, span, parent_rate, mean_offspring,
                      lambda n: omori_delays(rng, n, c, p, max_delay), modulation)


def aftershock_zone_km(m):
    """Scatter of the offspring of an event of magnitude m: 1 km plus its
    rupture length, 10^(0.59 M - 2.44) km (Wells and Coppersmith, BSSA 84,
    974-1002, 1994, all slip types), 4.5 km at M 6."""
    return 1.0 + 10 ** (0.59 * np.asarray(m) - 2.44)


def productivity_mean(alpha):
    """E[10^(alpha (M - MC))] under the magnitude law of `magnitudes`."""
    beta = B_VALUE * np.log(10)
    a = alpha * np.log(10)
    r = M_MAX - MC
    return beta / (beta - a) * -np.expm1(-(beta - a) * r) / -np.expm1(-beta * r)


def etas_like(rng, span, background_rate, branching=0.6, alpha=0.8, c=0.01, p=1.2,
              max_delay=5.0, modulation=None):
    """`branching` is the mean number of direct offspring of an event."""
    k = branching / productivity_mean(alpha)
    t, lat, lon = _parents(rng, span, background_rate, modulation)
    m = magnitudes(rng, len(t))
    cluster = np.arange(len(t))
    parts = [(t, lat, lon, m, cluster)]
    gen_t, gen_lat, gen_lon, gen_m, gen_c = parts[0]
    while len(gen_t):
        counts = rng.poisson(k * 10 ** (alpha * (gen_m - MC)))
        owner = np.repeat(np.arange(len(gen_t)), counts)
        nt = gen_t[owner] + omori_delays(rng, len(owner), c, p, max_delay)
        keep = nt <= span
        owner, nt = owner[keep], nt[keep]
        km = aftershock_zone_km(gen_m[owner])
        nlat, nlon = _around(rng, gen_lat[owner], gen_lon[owner], 1.0)
        nlat = gen_lat[owner] + (nlat - gen_lat[owner]) * km
        nlon = gen_lon[owner] + (nlon - gen_lon[owner]) * km
        gen_t, gen_lat, gen_lon = nt, nlat, nlon
        gen_m, gen_c = magnitudes(rng, len(nt)), gen_c[owner]
        parts.append((gen_t, gen_lat, gen_lon, gen_m, gen_c))
    t, lat, lon, m, cluster = (np.concatenate(col) for col in zip(*parts))
    return _catalogue(span, t, lat, lon, cluster, m)


def swarms(rng, span, parent_rate, mean_offspring, duration, modulation=None):
    return _clustered(rng, span, parent_rate, mean_offspring,
                      lambda n: rng.uniform(0.0, duration, n), modulation)


def rate_step(rng, span, rate, factor=2.0, modulation=None):
    t, lat, lon = _parents(rng, span, rate * factor, modulation)
    start = rng.uniform(0.4, 0.6) * span
    keep = (t >= start) | (rng.uniform(size=len(t)) < 1 / factor)
    t, lat, lon = t[keep], lat[keep], lon[keep]
    return _catalogue(span, t, lat, lon, np.arange(len(t)), magnitudes(rng, len(t)))


def one_sequence(rng, span, rate, size, c=0.05, p=1.1, main_magnitude=M_MAX,
                 modulation=None):
    """`size` aftershocks, on average, of one main shock of `main_magnitude`
    at a uniform time, Omori-delayed up to the end of the record and spread
    over its rupture length."""
    t, lat, lon = _parents(rng, span, rate, modulation)
    m = magnitudes(rng, len(t))
    t0 = rng.uniform(0.0, span)
    lat0, lon0 = rng.uniform(*REGION[0]), rng.uniform(*REGION[1])
    n = rng.poisson(size)
    at = t0 + omori_delays(rng, n, c, p, span)
    alat, alon = _around(rng, np.full(n, lat0), np.full(n, lon0),
                         float(aftershock_zone_km(main_magnitude)))
    all_t = np.concatenate([t, [t0], at])
    cluster = np.concatenate([np.arange(len(t)), np.full(n + 1, len(t))])
    return _catalogue(span, all_t, np.concatenate([lat, [lat0], alat]),
                      np.concatenate([lon, [lon0], alon]), cluster,
                      np.concatenate([m, [main_magnitude], magnitudes(rng, n)]))
