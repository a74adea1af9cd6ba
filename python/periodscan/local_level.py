"""The clustering correction at the frequency tested: the local level of
the spectrum.

Clusters raise DeltaLogLik by a factor that depends on the frequency: a
cluster lasting D adds to every frequency below about 1/D, a change of the
rate over the record (completeness, a trend) adds at the lowest ones, and
the Fano factor of counts keeps growing with the window where clusters of
all durations mix. One factor for the whole band, measured at its low end,
makes the verdict on a peak depend on the band scanned.

Here the factor at a frequency f is the mean DeltaLogLik over K independent
frequencies f + j/L (L the span of the events) nearest to f, as a red-noise
periodogram is normalised by its local mean (Israel and Stella, ApJ 468,
369, 1996; Vaughan, A&A 431, 391, 2005). The neighbourhood depends on f, L
and the events only, never on the band of the table, so narrowing a band
around a peak leaves its kappa alone and only lowers Baluev's W. Left out
of the neighbourhood:

  - f's own main lobe and side lobes (clustering.peak_reach of its height
    over the local level);
  - frequencies below LOWEST_CYCLES / L, where a trend of the rate lifts
    DeltaLogLik whether the events cluster or not;
  - lines: values above LINE_LEVEL times the neighbourhood's robust level
    (its median over ln 2), with their lobes. A line at f1 with harmonics
    and combination tones m f1 + n f2 (a daily cycle modulated weekly) is
    no part of the level around them.

With DeltaLogLik ~ S(f) Exp(1) at one frequency and the mean of K
independent neighbours ~ S(f) Gamma(K, 1/K), the ratio x = DeltaLogLik /
kappa has the single-frequency tail (1 + x/K)^-K (an F distribution with 2
and 2K degrees of freedom), which replaces exp(-z) in Baluev's bound: a
small K is paid for by a higher level, not ignored. Clustered events have a
thicker tail than that; the bound is taken with K * TAIL_SHARE.
"""

import importlib
import math
from dataclasses import dataclass

import numpy as np

from .clustering import line_mask, peak_reach, poisson_reference, robust_level
from .significance import baluev_fap

# K, the independent frequencies averaged, and the fewest with which the
# level is still given.
LOCAL_FREQUENCIES = 32
MIN_LOCAL_FREQUENCIES = 8
# Candidates are taken up to this many times K cycles on either side, so
# that left-out lines can be made up for further out.
REACH_FACTOR = 1.5
LOWEST_CYCLES = 3
# The tail is that of half as many neighbours as are averaged. Clusters of
# several events make DeltaLogLik / S(f) thicker-tailed than exponential:
# with the tail of all 32, simulated Neyman-Scott catalogues of 6 events per
# cluster passed the 5 % level in 7.5 % of cases; with 16, in 2.5 %
# (bench/validate_significance.py).
TAIL_SHARE = 0.5


@dataclass
class LocalLevel:
    frequency: float
    kappa: float | None          # None: too few neighbours
    frequencies: int             # K, the neighbours averaged
    lines: int                   # neighbours left out as lines or their lobes

    def sentence(self):
        if self.kappa is None:
            return ("fewer than %d independent frequencies around f = %.6g"
                    % (MIN_LOCAL_FREQUENCIES, self.frequency))
        return ("kappa(f) = %.3g, the mean DeltaLogLik over %d independent frequencies "
                "around f = %.6g%s" % (self.kappa, self.frequencies, self.frequency,
                                       " (%d left out as lines)" % self.lines
                                       if self.lines else ""))


def candidate_offsets(frequency, span, own_reach, k=LOCAL_FREQUENCIES):
    """Offsets j (in cycles over the span) of the neighbours f + j/L, nearest
    first, outside f's own lobes and above LOWEST_CYCLES / L."""
    cycles = frequency * span
    far = int(math.ceil(REACH_FACTOR * k + own_reach))
    j = np.arange(-far, far + 1)
    j = j[(np.abs(j) > own_reach) & (cycles + j >= LOWEST_CYCLES)]
    # Near zero frequency the neighbourhood is lopsided: it reaches as far
    # above f as it needs to.
    if len(j) < REACH_FACTOR * k:
        extra = np.arange(far + 1, far + 1 + int(REACH_FACTOR * k))
        j = np.concatenate([j, extra])
    return j[np.argsort(np.abs(j) + 0.25 * (j < 0), kind="stable")]


def local_level(frequency, height, span, fit, k=LOCAL_FREQUENCIES):
    """The LocalLevel at `frequency`, whose DeltaLogLik is `height`; `fit`
    maps an array of frequencies to their DeltaLogLik for the events."""
    own = peak_reach(max(height, 0.0))
    j = candidate_offsets(frequency, span, own, k)
    f = frequency + j / span
    z = np.asarray(fit(f), dtype=float)
    finite = np.isfinite(z)
    j, z = j[finite], z[finite]
    # What counts as a line is judged against the median of the K nearest,
    # which a few lines among them barely move.
    level = robust_level(z[:k])
    lines = line_mask(j, z, level)
    kept = np.nonzero(~lines)[0][:k]
    nearest = np.abs(j[kept]).max() if len(kept) else 0
    left_out = int(np.sum(lines & (np.abs(j) <= nearest)))
    if len(kept) < MIN_LOCAL_FREQUENCIES:
        return LocalLevel(float(frequency), None, len(kept), left_out)
    return LocalLevel(float(frequency), float(np.mean(z[kept])), len(kept), left_out)


def local_tail(x, k):
    """P(DeltaLogLik / kappa > x) at one frequency: (1 + x/K)^-K."""
    x = np.asarray(x, dtype=float)
    return np.where(x > 0, np.exp(-k * np.log1p(np.maximum(x, 0) / k)), 1.0)


def level_clustered(level):
    """True when kappa(f) lies above the 99th percentile of the mean
    DeltaLogLik over K independent frequencies of a Poisson catalogue."""
    return level.kappa > poisson_reference(level.frequencies)[1]


def level_fap(z, level, w):
    """The FAP over a band of Baluev's W of DeltaLogLik z at the frequency
    of the LocalLevel `level` (defined). Where kappa(f) shows clustering
    there, z / kappa(f) against the tail of TAIL_SHARE * K neighbours;
    elsewhere the Poisson FAP of z / max(1, kappa(f)), which keeps the power
    of the Poisson levels on catalogues without clusters and still follows
    a spectrum raised at the frequency tested (a change of the rate)."""
    if level_clustered(level):
        return float(local_fap(z / level.kappa, TAIL_SHARE * level.frequencies, w))
    return float(baluev_fap(z / max(1.0, level.kappa), w))


def local_fap(x, k, w):
    """Baluev's bound for the ratio x = DeltaLogLik / kappa with kappa from K
    neighbours: FAP = 1 - (1 - q) exp(-W q sqrt(x)), q = (1 + x/K)^-K."""
    x = np.asarray(x, dtype=float)
    xp = np.where(x > 0, x, 1.0)
    q = local_tail(xp, k)
    fap = -np.expm1(np.log1p(-q) - w * q * np.sqrt(xp))
    return np.where(x > 0, fap, 1.0)


def events_fit(times, threads=0, intervals=None):
    """The `fit` of local_level for sorted event times: the engine's scan of
    the neighbourhood, one sample per 1/L (its grid is then f + j/L), over
    the observation intervals when given, when the compiled engine is
    there; else the package's likelihood (None with intervals, which it
    cannot integrate over)."""
    t = np.asarray(times, dtype=float)
    survey_module = importlib.import_module(".periodogram", __package__)
    if survey_module._engine is None:
        if intervals is not None:
            return None
        from . import likelihood
        return lambda f: likelihood.fit(t, f).delta_log_lik
    span = float(t[-1] - t[0])

    def fit(frequency):
        f = np.asarray(frequency, dtype=float)
        r = survey_module.survey(t, 1 / f.max(), 1 / f.min(), samples_per_peak=1,
                                 intervals=intervals, threads=threads)
        k = np.rint((f - r.frequency[0]) * span).astype(np.int64)
        inside = (k >= 0) & (k < len(r.frequency))
        out = np.full(len(f), np.nan)
        out[inside] = r.delta_log_lik[k[inside]]
        return out
    return fit
