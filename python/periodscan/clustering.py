"""Is the catalogue clustered, and by how much: two checks from times alone.

The false-alarm levels of a scan assume a Poisson process. Aftershocks and
swarms break that assumption everywhere in the spectrum, not only at one
period: a cluster of S events adds about S - 1 to the Rayleigh power at every
frequency below one over its duration, so the whole spectrum rises and the
Poisson levels are passed without any cycle.

`clustering_check` compares the mean DeltaLogLik over the scan's independent
frequencies (spaced 1/L apart), away from the highest peak and from the
lines that stand out of the spectrum around them (the harmonics and
combination tones of strong cycles), with its distribution for Poisson
catalogues.
Under a Poisson process DeltaLogLik at one frequency is close to an
exponential variable of mean 1, so the mean over K independent frequencies
is close to Gamma(K, 1/K); the quantiles in POISSON_MEAN_QUANTILES were
measured by simulation (bench/clustering_reference.py) since the fit's bound
A <= 1 and small samples thicken the upper tail. Above the 99th percentile
the catalogue is called clustered: for a Poisson catalogue that happens in
at most 1 % of cases (less, since the frequencies near the highest peak,
the largest values, are left out of the mean but not of the reference).

`fano_kappa` measures how much clustering inflates DeltaLogLik: the Fano
factor (variance over mean) of the event counts in windows longer than the
clusters last. For a process of independent clusters of S events it tends to
E[S^2] / E[S], which is also the factor by which clusters inflate the Rayleigh
power at frequencies below one over the cluster duration; kappa, that limit
extrapolated from windows of Tmin / 8 and Tmin / 4 and at least 1, then
brings DeltaLogLik / kappa back to the Poisson levels. The windows must
also be short beside the shortest period scanned (at most Tmin / 4), or a
real cycle would inflate F and hide itself.
"""

import math
from dataclasses import dataclass

import numpy as np

from .wording import counted

# Poisson reference of the mean DeltaLogLik over K independent frequencies:
# K, median, 99th percentile. Simulated with bench/clustering_reference.py
# (seed 20261208): uniform event times, the K frequencies 3/L, 4/L, ...,
# (K + 2)/L, 4,000 catalogues for K <= 128, 4000 * 128 / K above. The median
# is that of catalogues of 1,000 events; the 99th percentile is the larger of
# those of 100 and of 1,000 events (small catalogues have the thicker tail:
# at K = 1024 it is 1.108 for 100 events, 1.071 for 1,000), so that the
# check errs towards calling fewer catalogues clustered. Gamma(K, 1/K) gives
# 4.60, 1.68, 1.22 and 1.07 at K = 1, 16, 128 and 1024.
POISSON_MEAN_QUANTILES = (
    (1, 0.718, 4.903),
    (2, 0.853, 3.566),
    (4, 0.903, 2.570),
    (8, 0.954, 2.039),
    (16, 0.979, 1.701),
    (32, 0.996, 1.511),
    (64, 0.993, 1.360),
    (128, 1.004, 1.281),
    (256, 1.000, 1.195),
    (512, 1.002, 1.161),
    (1024, 1.001, 1.108),
)

# The neighbourhood of the highest peak left out of the check, and the
# fewest independent frequencies that must remain.
PEAK_CYCLES = 2.0
MIN_FREQUENCIES = 3

# Windows of the Fano factor: at most this fraction of Tmin, and enough of
# them for the variance to mean something.
FANO_WINDOW_OF_TMIN = 0.25
FANO_MIN_WINDOWS = 10
# The variance is averaged over tilings started at these fractions of a window.
FANO_OFFSETS = (0.0, 0.25, 0.5, 0.75)
# Largest growth of the Fano factor from windows of Tmin/8 to Tmin/4 that
# counts as a plateau. Simulated catalogues (bench/validate_significance.py,
# Tmin/4 = 5 days) gave at most 1.09 for Poisson, 1.25 for clusters ending
# within 3 days (Neyman-Scott, Omori clusters, with or without a cycle of
# A = 0.5) and up to 1.5 for the ETAS-like process, whose chains of
# generations outlast a single delay; the SCSN earthquakes of 2021 give
# 1.72 at Tmin/4 = 0.2 days, where aftershock sequences last for days.
FANO_PLATEAU = 1.3

# A value above LINE_LEVEL times the robust level of its neighbourhood is a
# line (an exponential variable passes it with probability 1/1000); the
# check's neighbourhood is LINE_NEIGHBOURS independent frequencies each side.
LINE_LEVEL = math.log(1000.0)
LINE_NEIGHBOURS = 32
# The mean of S Exp(1) from its median.
MEDIAN_TO_MEAN = 1 / math.log(2.0)


@dataclass
class ClusteringCheck:
    mean: float            # mean DeltaLogLik over the independent frequencies
    frequencies: int       # K, how many there are
    median: float          # Poisson reference median of that mean
    level: float           # its 99th percentile
    clustered: bool | None     # None: too few frequencies away from the peak

    def sentence(self):
        if self.clustered is None:
            return ("the clustering check needs %d independent frequencies away from the "
                    "highest peak and its side lobes; the scan has %d: widen the band."
                    % (MIN_FREQUENCIES, self.frequencies))
        if self.clustered:
            return ("clustered: the mean DeltaLogLik over the %d independent frequencies is "
                    "%.3g, above the %.3g that 99 %% of Poisson catalogues stay below; the "
                    "Poisson false-alarm levels do not apply." % (self.frequencies, self.mean,
                                                                  self.level))
        return ("no sign of clustering: the mean DeltaLogLik over the %d independent "
                "frequencies is %.3g (Poisson median %.3g, 99 %% below %.3g)."
                % (self.frequencies, self.mean, self.median, self.level))


def independent_indices(frequency, span):
    """Indices of the grid points nearest to fmin, fmin + 1/L, fmin + 2/L ...
    up to fmax; a grid coarser than 1/L gives each point once."""
    f = np.asarray(frequency, dtype=float)
    order = np.argsort(f)
    fs = f[order]
    steps = math.floor((fs[-1] - fs[0]) * span + 1e-9)
    if steps > len(fs):
        # Far more steps of 1/L than grid points: a point is picked when a
        # step falls in the stretch nearer to it than to its neighbours.
        middles = (fs[1:] + fs[:-1]) / 2
        low = np.concatenate(([fs[0]], middles))
        high = np.concatenate((middles, [fs[-1]]))
        first = np.ceil((low - fs[0]) * span - 1e-9)
        last = np.minimum(np.floor((high - fs[0]) * span + 1e-9), steps)
        return np.unique(order[first <= last])
    targets = fs[0] + np.arange(steps + 1) / span
    pos = np.clip(np.searchsorted(fs, targets), 1, len(fs) - 1)
    nearer_left = targets - fs[pos - 1] <= fs[pos] - targets
    picked = np.where(nearer_left, pos - 1, pos)
    return np.unique(order[picked])


def poisson_reference(k):
    """(median, 99th percentile) of the mean DeltaLogLik over k independent
    frequencies of a Poisson catalogue. Between the tabulated k the
    deviations from 1, times sqrt(k), are interpolated in log k; beyond the
    table they are held at its last row, where the mean is nearly normal."""
    table = np.array(POISSON_MEAN_QUANTILES, dtype=float)
    ks = table[:, 0]
    x = math.log(min(max(k, ks[0]), ks[-1]))
    root = np.sqrt(ks)
    out = []
    for col in (1, 2):
        scaled = np.interp(x, np.log(ks), (table[:, col] - 1) * root)
        out.append(1 + scaled / math.sqrt(k))
    return tuple(out)


def peak_reach(peak):
    """Half-width, in cycles over the span, of the neighbourhood of a peak of
    height `peak` left out of the check: its main lobe and first side lobe
    (PEAK_CYCLES), and further out while its side lobes, which fall as
    peak / (pi k)^2 at k cycles, stay above 1."""
    return max(PEAK_CYCLES, math.sqrt(max(peak, 0.0)) / math.pi)


def line_mask(cycles, z, level):
    """True at the values `z` at independent frequencies (`cycles` over the
    span apart) that are lines, above LINE_LEVEL times `level` (one number,
    or one per value), or within the lobes of one: peak_reach of its height
    over the level there, at least 1 cycle."""
    cycles = np.asarray(cycles, dtype=float)
    z = np.asarray(z, dtype=float)
    level = np.broadcast_to(np.asarray(level, dtype=float), z.shape)
    out = np.zeros(len(z), dtype=bool)
    with np.errstate(invalid="ignore"):
        strong = np.nonzero((level > 0) & (z > LINE_LEVEL * level))[0]
    for i in strong:
        reach = max(1.0, math.sqrt(z[i] / level[i]) / math.pi)
        out |= np.abs(cycles - cycles[i]) <= reach + 1e-9
    return out


def robust_level(z):
    """The mean of S Exp(1) estimated from the median of `z`: lines, a few
    large values, barely move it."""
    z = np.asarray(z, dtype=float)
    z = z[np.isfinite(z)]
    return float(np.median(z)) * MEDIAN_TO_MEAN if len(z) else float("nan")


def running_level(z, half=LINE_NEIGHBOURS):
    """robust_level of every value's neighbourhood of `half` values each
    side (shorter at the ends)."""
    z = np.asarray(z, dtype=float)
    n = len(z)
    if n <= 2 * half + 1:
        return np.full(n, robust_level(z))
    windows = np.lib.stride_tricks.sliding_window_view(z, 2 * half + 1)
    middle = np.median(windows, axis=1) * MEDIAN_TO_MEAN
    return np.concatenate([np.full(half, middle[0]), middle, np.full(half, middle[-1])])


def clustering_check(frequency, delta_log_lik, span):
    """The clustering check of one spectrum over an observation span L.

    The independent frequencies near the highest point of the spectrum
    (within peak_reach of it) are left out: a periodic component, however
    strong, lifts only its own neighbourhood, while clustering lifts
    everything. For a Poisson catalogue this takes the largest values out
    of the mean, so the reference of the remaining K frequencies errs on
    the side of calling fewer catalogues clustered. With fewer than
    MIN_FREQUENCIES left the check is not made (`clustered` is None)."""
    f = np.asarray(frequency, dtype=float)
    z_all = np.asarray(delta_log_lik, dtype=float)
    finite = np.isfinite(z_all)
    pick = independent_indices(f, span)
    pick = pick[finite[pick]]
    if finite.any():
        top = int(np.argmax(np.where(finite, z_all, -np.inf)))
        reach = peak_reach(z_all[top]) / span * (1 + 1e-9)
        pick = pick[np.abs(f[pick] - f[top]) > reach]
    # Lines standing out of the spectrum around them (harmonics and
    # combination tones of a strong cycle) are no part of its level.
    pick = pick[np.argsort(f[pick], kind="stable")]
    lines = line_mask(f[pick] * span, z_all[pick], running_level(z_all[pick]))
    pick = pick[~lines]
    z = z_all[pick]
    k = len(z)
    mean = float(np.mean(z)) if k else float("nan")
    median, level = poisson_reference(max(k, 1))
    clustered = bool(mean > level) if k >= MIN_FREQUENCIES else None
    return ClusteringCheck(mean, k, median, level, clustered)


@dataclass
class Kappa:
    kappa: float | None    # None when no window fits
    fano: float | None
    window: float          # window length (time unit of the events)
    windows: int           # full windows in one tiling of the span
    growth: float | None   # F(Tmin/4) / F(Tmin/8)
    note: str

    def sentence(self):
        return self.note


def fano_factor(times, window, offsets=FANO_OFFSETS):
    """Variance over mean of the event counts in windows of the given length
    laid end to end from the first event, averaged over tilings started at
    `offsets` of a window (partial windows at the ends are left out).
    Returns (F, windows in the first tiling)."""
    t = np.asarray(times, dtype=float)
    t0, span = float(t[0]), float(t[-1] - t[0])
    ratios, first = [], 0
    for frac in offsets:
        start = t0 + frac * window
        n = int(math.floor((t0 + span - start) / window))
        if n < 2:
            continue
        edges = start + window * np.arange(n + 1)
        counts = np.diff(np.searchsorted(t, edges, side="left"))
        mean = counts.mean()
        if mean > 0:
            ratios.append(counts.var(ddof=1) / mean)
        if not first:
            first = n
    return (float(np.mean(ratios)) if ratios else float("nan")), first


def fano_kappa(times, min_period, cluster_duration=None):
    """kappa from the Fano factor of counts in windows of Tmin / 4.

    `cluster_duration`, when known (the time over which a cluster's events
    fall, in the unit of the times), must be shorter than the window. When
    it is not known the counts tell: the Fano factor grows with the window
    until the windows outlast the clusters, so a factor that still grows by
    more than FANO_PLATEAU from windows of Tmin / 8 to Tmin / 4 means that
    the clusters last longer. No window fits then, nor when the span holds
    fewer than FANO_MIN_WINDOWS windows: kappa is None.
    """
    t = np.asarray(times, dtype=float)
    window = FANO_WINDOW_OF_TMIN * min_period
    span = float(t[-1] - t[0])
    n = int(math.floor(span / window)) if window > 0 else 0
    if cluster_duration is not None and cluster_duration >= window:
        return Kappa(None, None, window, n, None,
                     "no window fits between the cluster duration %.4g and Tmin/4 = %.4g: "
                     "kappa is not defined (scan longer periods, or decluster)"
                     % (cluster_duration, window))
    if n < FANO_MIN_WINDOWS:
        return Kappa(None, None, window, n, None,
                     "the span %.4g holds %s of Tmin/4 = %.4g, fewer than %d: "
                     "kappa is not defined"
                     % (span, counted(n, "window"), window, FANO_MIN_WINDOWS))
    fano, n = fano_factor(t, window)
    half, _ = fano_factor(t, 0.5 * window)
    growth = fano / half if half > 0 else float("inf")
    # Without overdispersion kappa is 1 whatever the window.
    if cluster_duration is None and fano > 1 and growth > FANO_PLATEAU:
        return Kappa(None, fano, window, n, growth,
                     "no window fits: the Fano factor of counts still grows from windows of "
                     "Tmin/8 to Tmin/4 = %.4g (%.3g to %.3g), so clusters outlast them; kappa "
                     "is not defined (scan longer periods, or decluster)"
                     % (window, half, fano))
    # Clusters cut by a window boundary count as two smaller ones, so F(w)
    # falls short of its limit by about a constant over w; extrapolating
    # from w / 2 and w removes that term. Without it, DeltaLogLik / F(w)
    # passed the 5 % level in 9.6 % of simulated Neyman-Scott catalogues.
    kappa = max(1.0, 2 * fano - half)
    return Kappa(kappa, fano, window, n, growth,
                 "kappa = %.3g from the Fano factors %.3g and %.3g of counts in %d windows of "
                 "Tmin/4 = %.4g and in windows half as long (for reference: the verdict uses "
                 "the factor at each peak's own period)" % (kappa, fano, half, n, window))


# ---------------------------------------------------------------------------
# kappa at the scale of one frequency: the Fano factor of counts in windows
# of a quarter and an eighth of the period tested, about the fitted
# periodic rate and a local mean, so that neither the cycle itself nor a
# slow change of the rate inflates it.

# Windows of the peak's own Fano factor, as a fraction of its period.
PEAK_WINDOW_OF_PERIOD = 0.25
# The local mean of a window's count is taken over the windows within this
# many periods on either side (itself left out).
PEAK_MEAN_PERIODS = 2.0


# The ladder of windows goes down from T/4 by halves at most this many
# times while the Fano factor stays on its plateau: short windows are many,
# and their Fano factor is the more precise.
PEAK_HALVINGS = 3
# The F tail that pays for the noise of that kappa has K of a third of its
# windows: simulated Neyman-Scott catalogues gave Var(kappa)/kappa^2 near
# 3/windows at periods of 20 and 50 days over 1,000 days.
PEAK_WINDOWS_PER_K = 3.0


@dataclass
class PeakKappa:
    frequency: float
    kappa: float | None    # None: too few windows, or clusters outlast T/8
    fano: float | None     # F at the shortest window of the plateau
    half: float | None     # F at half that window
    window: float          # that window
    windows: int           # how many of them the span holds

    @property
    def clustered(self):
        """The Fano factor lies above what independent events reach in
        these windows (1 + 2.33 sqrt(2/windows), its 99th percentile)."""
        return (self.kappa is not None
                and self.fano > 1 + 2.33 * math.sqrt(2.0 / max(self.windows, 1)))

    @property
    def tail_frequencies(self):
        """The K of the F tail that pays for the noise of kappa."""
        return max(1.0, self.windows / PEAK_WINDOWS_PER_K)

    def sentence(self):
        if self.kappa is not None:
            return ("kappa = %.3g at T = %.6g from the Fano factors %.3g and %.3g of counts in "
                    "%d windows of %.4g and in windows half as long, about the fitted rate"
                    % (self.kappa, 1 / self.frequency, self.fano, self.half, self.windows,
                       self.window))
        if self.fano is None:
            return ("the span holds %s of T/4 = %.4g, fewer than %d"
                    % (counted(self.windows, "window"), self.window, FANO_MIN_WINDOWS))
        return ("the Fano factor still grows from windows of T/8 to T/4 = %.4g (%.3g to %.3g): "
                "clusters outlast them" % (self.window, self.half, self.fano))


def cycle_fano(times, frequency, amplitude, phase, window, reach, offsets=FANO_OFFSETS):
    """The Fano factor of the event counts in windows of `window`, each about
    its expected count under the rate Mju (1 + A cos(2 pi f (t - t1) + Fi))
    scaled to the mean of the windows within `reach` on either side (itself
    left out). For independent events sum (n - e)^2 over sum Var(n - e) is
    near 1; for clusters of S events near E[S^2]/E[S], as fano_factor's, but
    neither the cycle nor a slow change of the rate adds to it. Averaged
    over tilings started at `offsets` of a window; nan without two windows."""
    t = np.asarray(times, dtype=float)
    x = t - t[0]
    span = float(x[-1])
    omega = 2 * math.pi * frequency
    h = max(1, int(round(reach / window)))
    ratios = []
    for frac in offsets:
        start = frac * window
        n = int(math.floor((span - start) / window))
        if n < 2:
            continue
        edges = start + window * np.arange(n + 1)
        counts = np.diff(np.searchsorted(x, edges, side="left")).astype(float)
        rise = np.sin(omega * edges + phase)
        shape = window + amplitude * np.diff(rise) / omega
        i = np.arange(n)
        lo, hi = np.maximum(i - h, 0), np.minimum(i + h + 1, n)
        cn, cs = np.r_[0, np.cumsum(counts)], np.r_[0, np.cumsum(shape)]
        around_n = cn[hi] - cn[lo] - counts
        around_s = cs[hi] - cs[lo] - shape
        e = shape * around_n / around_s
        # The local mean is itself a count: Var(n - e) = kappa e (1 + s / sum s).
        variance = np.sum(e * (1 + shape / around_s))
        if variance > 0:
            ratios.append(float(np.sum((counts - e) ** 2) / variance))
    return float(np.mean(ratios)) if ratios else float("nan")


def peak_kappa(times, frequency, amplitude, phase):
    """The PeakKappa at `frequency`, where the fit gave `amplitude` and
    `phase` (at the first event): the Fano factors about the fitted rate in
    windows of T/4, T/8, ... as long as each stays within FANO_PLATEAU of
    the next shorter and of T/4's, down PEAK_HALVINGS times at most, and
    the Richardson step of fano_kappa from the shortest pair (the largest
    step of the plateau where those counts are overdispersed). Without a
    plateau from T/8 to T/4 kappa is None. It depends on the frequency and
    the events only, never on a band."""
    t = np.asarray(times, dtype=float)
    span = float(t[-1] - t[0])
    window = PEAK_WINDOW_OF_PERIOD / frequency
    n = int(math.floor(span / window)) if span > 0 else 0
    if n < FANO_MIN_WINDOWS:
        return PeakKappa(float(frequency), None, None, None, window, n)
    reach = PEAK_MEAN_PERIODS / frequency
    fanos = [cycle_fano(t, frequency, amplitude, phase, window, reach)]
    for k in range(1, PEAK_HALVINGS + 2):
        fanos.append(cycle_fano(t, frequency, amplitude, phase, window / 2 ** k, reach))
        f_long, f_short = fanos[-2], fanos[-1]
        if not np.isfinite(f_short):
            break
        plateau = f_long <= 1 or (f_short > 0 and f_long / f_short <= FANO_PLATEAU
                                  and fanos[0] / f_short <= FANO_PLATEAU)
        if not plateau:
            fanos.pop()
            break
    if not np.isfinite(fanos[0]) or len(fanos) < 2:
        return PeakKappa(float(frequency), None, fanos[0] if np.isfinite(fanos[0]) else None,
                         None, window, n)
    k = len(fanos) - 2
    fano, half = fanos[k], fanos[k + 1]
    w = window / 2 ** k
    n_w = int(math.floor(span / w))
    kappa = max(1.0, 2 * fano - half)
    # Where the counts are overdispersed, a factor that still creeps up from
    # the shortest windows to T/4 (clusters of every duration, as in global
    # catalogues) is taken at its largest step, not at the shortest pair:
    # the shortest windows see only the briefest clusters.
    if fano > 1 + 2.33 * math.sqrt(2.0 / max(n_w, 1)):
        kappa = max([kappa] + [2 * fanos[j] - fanos[j + 1] for j in range(k)])
    return PeakKappa(float(frequency), kappa, fano, half, w, n_w)
