"""The numpy cross-check of the engine's assessment numerics: likelihood
intervals at a peak, the upper limit on A, and cluster-shift surrogates,
over the whole span of the events only (no observation intervals).

Definitions as in periodscan.uncertainty; here the profiles are maximised by
Newton's method with finite differences in the coordinates (cycles over the
span u = f L, s with A = sin^2 s, the phase), in which A stays within
[0, 1], and the ends of an interval are found by stepping out from the peak
and bisecting.
"""

from dataclasses import dataclass

import numpy as np

from periodscan import likelihood
from periodscan.uncertainty import Interval, PeakUncertainty

DROP_TWO_SIDED = 1.9207294103470833     # chi2_1 quantile 0.95, halved
DROP_ONE_SIDED = 1.3527717294280424     # chi2_1 quantile 0.90, halved

FD_STEP = 1e-4
NEWTON_STEPS = 40
LINE_SEARCH_HALVINGS = 30
TOLERANCE = 1e-10
BISECTIONS = 30
# How far an interval end is looked for: the period within MAX_CYCLES / L
# of the peak in frequency (beyond, the next side lobe), the time of the
# maximum within half a period.
MAX_CYCLES = 1.5


# Coordinates: q = (u, s, phase at the middle); u = f L, A = sin^2 s.


def _to_model(q, span):
    u, s, mid = q[..., 0], q[..., 1], q[..., 2]
    return u / span, np.sin(s) ** 2, mid - np.pi * u


class _Profile:
    """DeltaLogLik with one quantity held fixed, as a function of the other
    two coordinates."""

    def __init__(self, times, kind, value):
        self.times = np.asarray(times, dtype=float)
        self.span = float(self.times[-1] - self.times[0])
        self.kind, self.value = kind, value

    def coordinates(self, inner):
        v = np.full(inner.shape[:-1], self.value)
        a, b = inner[..., 0], inner[..., 1]
        if self.kind == "frequency":          # inner: s, phase
            return np.stack([v * self.span, a, b], axis=-1)
        if self.kind == "amplitude":          # inner: u, phase
            return np.stack([a, np.arcsin(np.sqrt(v)), b], axis=-1)
        if self.kind == "phase":              # inner: u, s
            return np.stack([a, b, v], axis=-1)
        # time of the maximum, relative to the middle: inner u, s
        return np.stack([a, b, -2 * np.pi * a / self.span * v], axis=-1)

    def __call__(self, inner):
        f, amp, fi = _to_model(self.coordinates(inner), self.span)
        return likelihood.delta_log_lik(self.times, f, amp, fi)


def _derivatives(fun, x):
    """Gradient and Hessian of fun at x by central differences; fun takes
    a stack of points, so all of them are evaluated in one call."""
    d = len(x)
    e = np.eye(d) * FD_STEP
    points = [x]
    for i in range(d):
        points += [x + e[i], x - e[i]]
    pairs = [(i, j) for i in range(d) for j in range(i)]
    for i, j in pairs:
        points += [x + e[i] + e[j], x + e[i] - e[j], x - e[i] + e[j], x - e[i] - e[j]]
    v = fun(np.array(points))
    up, down = v[1:2 * d + 1:2], v[2:2 * d + 1:2]
    g = (up - down) / (2 * FD_STEP)
    h = np.diag((up - 2 * v[0] + down) / FD_STEP ** 2)
    for k, (i, j) in enumerate(pairs):
        pp, pm, mp, mm = v[2 * d + 1 + 4 * k: 2 * d + 5 + 4 * k]
        h[i, j] = h[j, i] = (pp - pm - mp + mm) / (4 * FD_STEP ** 2)
    return g, h


def _maximise(fun, x0, steps=NEWTON_STEPS):
    """Newton's method with central differences and a halving line search."""
    x = np.array(x0, dtype=float)
    value = float(fun(x[None, :])[0])
    for _ in range(steps):
        g, h = _derivatives(fun, x)
        if np.all(np.linalg.eigvalsh(h) < 0):
            step = -np.linalg.solve(h, g)
        else:
            step = g / max(np.abs(np.diag(h)).max(), 1.0)
        length, moved = 1.0, False
        for _ in range(LINE_SEARCH_HALVINGS):
            trial = x + length * step
            tv = float(fun(trial[None, :])[0])
            if np.isfinite(tv) and tv >= value:
                moved = tv - value > TOLERANCE
                x, value = trial, tv
                break
            length *= 0.5
        if not moved:
            break
    return x, value


def _refine(times, frequency):
    """The maximum of DeltaLogLik near a grid frequency, in the coordinates q."""
    t = np.asarray(times, dtype=float)
    span = float(t[-1] - t[0])
    start = likelihood.fit(t, [frequency])
    u = frequency * span
    s = np.arcsin(np.sqrt(min(1.0, start.amplitude[0])))
    mid = start.phase[0] + np.pi * u

    def fun(q):
        f, a, fi = _to_model(q, span)
        return likelihood.delta_log_lik(t, f, a, fi)

    q, value = _maximise(fun, [u, s, mid])
    return q, value, span


def _inner_start(kind, q):
    return {"frequency": q[[1, 2]], "amplitude": q[[0, 2]],
            "phase": q[[0, 1]], "time": q[[0, 1]]}[kind]


def _end(times, kind, estimate, q, target, direction, limit):
    """The end of the interval on one side: the value at which the profile
    falls to `target`, looked for from the estimate out to `limit`.
    Returns (end, bounded); an end not found is the limit, unbounded."""
    reach = abs(limit - estimate)
    if reach == 0:
        return limit, False
    inside, inner = estimate, _inner_start(kind, q)
    gap = 0.02 * reach
    while True:
        value = estimate + direction * min(gap, reach)
        x, z = _maximise(_Profile(times, kind, value), inner)
        if z < target:
            outside = value
            break
        if gap >= reach:
            return limit, False
        inside, inner = value, x
        gap *= 2
    for _ in range(BISECTIONS):
        mid = 0.5 * (inside + outside)
        x, z = _maximise(_Profile(times, kind, mid), inner)
        if z < target:
            outside = mid
        else:
            inside, inner = mid, x
    return 0.5 * (inside + outside), True


def peak_uncertainty(times, frequency, kappa=1.0, drop=DROP_TWO_SIDED):
    """Intervals at the peak nearest `frequency` (a grid frequency of the scan)."""
    t = np.asarray(times, dtype=float)
    q, best, span = _refine(t, frequency)
    target = best - drop * kappa
    u, s, mid = q
    f_hat = u / span
    a_hat = float(np.sin(s) ** 2)
    mid = float(np.angle(np.exp(1j * mid)))
    q = np.array([u, s, mid])
    omega = 2 * np.pi * f_hat

    df = MAX_CYCLES / span
    f_lo, lo_ok = _end(t, "frequency", f_hat, q, target, -1, max(f_hat - df, 0.5 * f_hat))
    f_hi, hi_ok = _end(t, "frequency", f_hat, q, target, +1, f_hat + df)
    freq = Interval(f_hat, f_lo, f_hi, lo_ok, hi_ok)
    period = Interval(1 / f_hat, 1 / f_hi, 1 / f_lo, hi_ok, lo_ok)

    a_lo, alo_ok = _end(t, "amplitude", a_hat, q, target, -1, 0.0)
    a_hi, ahi_ok = _end(t, "amplitude", a_hat, q, target, +1, 1.0)
    amp = Interval(a_hat, a_lo, a_hi, alo_ok or a_lo == 0.0, ahi_ok or a_hi == 1.0)

    p_lo, plo_ok = _end(t, "phase", mid, q, target, -1, mid - np.pi)
    p_hi, phi_ok = _end(t, "phase", mid, q, target, +1, mid + np.pi)
    phase = Interval(mid, p_lo, p_hi, plo_ok, phi_ok)

    tau = -mid / omega
    half = 0.5 / f_hat
    q_time = q.copy()
    t_lo, tlo_ok = _end(t, "time", tau, q_time, target, -1, tau - half)
    t_hi, thi_ok = _end(t, "time", tau, q_time, target, +1, tau + half)
    centre = float(t[0]) + 0.5 * span
    peak_time = Interval(centre + tau, centre + t_lo, centre + t_hi, tlo_ok, thi_ok)
    return PeakUncertainty(best, period, freq, amp, phase, peak_time, kappa)


# ---------------------------------------------------------------------------
# Upper limit on A


@dataclass
class UpperLimit:
    amplitude: float          # the largest limit over the band
    frequency: float          # where it is reached
    limits: np.ndarray        # the limit at every frequency given
    kappa: float


def _phase_profile(x, span, omega, amplitude, phase, steps=6):
    """max over the phase of DeltaLogLik at fixed frequencies and A, by
    Newton steps on the phase from `phase` (arrays over frequencies)."""
    n = len(x)
    wl = omega * span
    for _ in range(steps):
        theta = np.outer(omega, x) + phase[:, None]
        c, s = np.cos(theta), np.sin(theta)
        den = 1 + amplitude[:, None] * c
        d1 = (-amplitude[:, None] * s / den).sum(1)
        d2 = (-(amplitude[:, None] * c + amplitude[:, None] ** 2) / den ** 2).sum(1)
        j = (np.sin(wl + phase) - np.sin(phase)) / wl
        jp = (np.cos(wl + phase) - np.cos(phase)) / wl
        g = 1 + amplitude * j
        d1 -= n * amplitude * jp / g
        d2 -= n * (amplitude * -j / g - (amplitude * jp / g) ** 2)
        step = np.where(d2 < 0, -d1 / np.where(d2 < 0, d2, -1.0), 0.1 * np.sign(d1))
        phase = phase + np.clip(step, -0.5, 0.5)
    return likelihood.delta_log_lik(x, omega / (2 * np.pi), amplitude, phase), phase


def amplitude_upper_limit(times, frequencies, kappa=1.0, drop=DROP_ONE_SIDED):
    """The 95 % upper limit on A at every frequency and its largest value.
    The cost grows as events x frequencies: pass the scan's independent
    frequencies (clustering.independent_indices) rather than a dense grid."""
    t = np.asarray(times, dtype=float)
    x = t - t[0]
    span = float(x[-1])
    f = np.atleast_1d(np.asarray(frequencies, dtype=float))
    limits = np.empty_like(f)
    step = max(1, likelihood.CHUNK_ELEMENTS // max(len(x), 1))
    for lo in range(0, len(f), step):
        sl = slice(lo, lo + step)
        best = likelihood.fit(t, f[sl])
        omega = 2 * np.pi * f[sl]
        target = best.delta_log_lik - drop * kappa
        inside = best.amplitude.copy()
        outside = np.ones_like(inside)
        phase = best.phase.copy()
        at_one, _ = _phase_profile(x, span, omega, outside.copy(), phase.copy())
        reaches = at_one >= target          # the limit is the bound itself
        for _ in range(BISECTIONS):
            mid = 0.5 * (inside + outside)
            z, ph = _phase_profile(x, span, omega, mid, phase.copy())
            above = z >= target
            inside = np.where(above, mid, inside)
            outside = np.where(above, outside, mid)
            phase = np.where(above, ph, phase)
        limits[sl] = np.where(reaches, 1.0, 0.5 * (inside + outside))
    k = int(np.argmax(limits))
    return UpperLimit(float(limits[k]), float(f[k]), limits, kappa)


# ---------------------------------------------------------------------------
# Cluster shifts


def shift_clusters(times, clusters, rng):
    """One surrogate: every cluster moved by its own uniform circular shift
    over the span of the catalogue; sorted."""
    t = np.asarray(times, dtype=float)
    t0, span = float(t[0]), float(t[-1] - t[0])
    ids, inverse = np.unique(np.asarray(clusters), return_inverse=True)
    shift = rng.uniform(0.0, span, len(ids))
    return np.sort(t0 + np.mod(t - t0 + shift[inverse], span))


def cluster_shift_fap(times, clusters, scan, rng, observed=None, max_surrogates=99,
                      stop_after=10):
    """(fap, drawn, reached) of the scan's largest DeltaLogLik by the
    sequential rule; `scan` maps sorted times to that largest value."""
    if observed is None:
        observed = float(scan(np.asarray(times, dtype=float)))
    reached = 0
    for drawn in range(1, max_surrogates + 1):
        if scan(shift_clusters(times, clusters, rng)) >= observed:
            reached += 1
            if reached == stop_after:
                return reached / drawn, drawn, reached
    return (reached + 1) / (max_surrogates + 1), max_surrogates, reached
