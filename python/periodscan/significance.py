"""Significance of a DeltaLogLik peak under a Poisson process.

At one fixed period 2*DeltaLogLik is asymptotically chi-square with 2
degrees of freedom, so P(DeltaLogLik > z) = exp(-z): the levels p = 0.05,
0.01, 0.001 sit at z = ln 20, ln 100, ln 1000. Scanning many periods raises
the chance that some period passes a level by luck; Baluev's bound gives the
false-alarm probability of the largest peak over the scanned band. Both
assume independent events: aftershock clusters make ordinary catalogues
exceed them at nearly every period.
"""

import math

import numpy as np

# Single-period significance levels drawn and printed, and the false-alarm
# probabilities drawn for the scan over all periods.
SINGLE_PERIOD_P = (0.05, 0.01, 0.001)
SCAN_FAP = (0.05, 0.01)


def single_period_p(z):
    """P(DeltaLogLik > z) at one fixed period: exp(-z), 1 for z <= 0.

    Reference: Wilks, Ann. Math. Statist. 9, 60 (1938): twice the log
    likelihood ratio of the two parameters A and Fi is chi-square with 2
    degrees of freedom."""
    z = np.asarray(z, dtype=float)
    return np.where(z > 0, np.exp(-np.maximum(z, 0)), 1.0)


def single_period_level(p):
    """The DeltaLogLik that a single period exceeds with probability p: ln(1/p)."""
    return -math.log(p)


def baluev_w(fmin, fmax, variance):
    """W = (fmax - fmin) * sqrt(4 pi Var(t)), the effective number of
    independent frequencies in the band [fmin, fmax], up to the factor
    sqrt(z); Var(t) is the variance of the event times.

    Reference: Baluev, MNRAS 385, 1279 (2008)."""
    return (fmax - fmin) * math.sqrt(4 * math.pi * variance)


def baluev_fap(z, w):
    """FAP(z) = 1 - (1 - exp(-z)) * exp(-W exp(-z) sqrt(z)); 1 for z <= 0.
    Evaluated as -expm1(log1p(-exp(-z)) - tau), which keeps its digits when
    the FAP is far below the rounding of 1 (at z = 500 it is near 1e-220).

    Reference: Baluev, MNRAS 385, 1279 (2008)."""
    z = np.asarray(z, dtype=float)
    zp = np.where(z > 0, z, 1.0)
    e = np.exp(-zp)
    # exp(-z) is 0 for an infinite z, whose sqrt would make 0*inf a nan.
    tau = w * e * np.sqrt(np.where(e > 0, zp, 0.0))
    fap = -np.expm1(np.log1p(-e) - tau)
    return np.where(z > 0, fap, 1.0)


def baluev_level(alpha, w):
    """The z at which FAP(z) = alpha. FAP falls with z beyond z = 1/2, and
    FAP(z) >= exp(-z), so the root lies above ln(1/alpha); found by bisection."""
    lo = max(single_period_level(alpha), 0.5)
    hi = lo + 1.0
    while baluev_fap(hi, w) > alpha:
        hi = lo + 2 * (hi - lo)
    for _ in range(200):
        mid = 0.5 * (lo + hi)
        if baluev_fap(mid, w) > alpha:
            lo = mid
        else:
            hi = mid
    return 0.5 * (lo + hi)
