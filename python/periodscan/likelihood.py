"""The likelihood of the periodic rate law for one catalogue, in numpy.

The law is Lambda(t) = Mju (1 + A cos(Omega x + Fi)) with x = t - t_1 over
[0, L], L = t_N - t_1, Omega = 2 pi f, 0 <= A <= 1. With Mju at its best
value N / (L + A J) the gain over a constant rate is

    DeltaLogLik(f, A, Fi) = sum ln(1 + A cos(Omega x_i + Fi)) - N ln(1 + A J / L),
    J = integral over [0, L] of cos(Omega x + Fi) dx.

`fit` maximises it over A and Fi at given frequencies, the converged fit of
the survey engine, for the few frequencies the uncertainty and upper-limit
calculations need (and for scans in tests and validation runs where the
engine is not built). It works with the rate written as a linear form,

    r(x) = m0 + m1 cos(Omega x) + m2 sin(Omega x)   (in units of N / L),
    DeltaLogLik = sum ln r_i - N (m0 + m1 C / L + m2 S / L) + N,

which is concave in (m0, m1, m2), so Newton's method with a backtracking
step converges from the constant rate. A = hypot(m1, m2) / m0 and
Fi = atan2(-m2, m1). Where that optimum has A > 1 the rate would be negative
somewhere; the fit is then redone on the bound A = 1 over Fi alone.
"""

from dataclasses import dataclass

import numpy as np

# Events x frequencies held at once (five arrays of them).
CHUNK_ELEMENTS = 1 << 19

NEWTON_STEPS = 60
LINE_SEARCH_HALVINGS = 40
# Newton decrement (half the squared step in the metric of the Hessian)
# below which a fit counts as converged; DeltaLogLik is then off by about it.
CONVERGED = 1e-11

# Phases tried on the bound A = 1 before the golden-section refinement.
BOUND_PHASES = 256
GOLDEN_STEPS = 60
# A fit this close to A = 1 is compared with the fit on the bound.
NEAR_BOUND = 1 - 1e-3


@dataclass
class Fit:
    frequency: np.ndarray
    delta_log_lik: np.ndarray
    amplitude: np.ndarray
    phase: np.ndarray       # Fi in (-pi, pi], at x = 0, the first event


def origin_and_span(times):
    t = np.asarray(times, dtype=float)
    return float(t[0]), float(t[-1] - t[0])


def _integrals(omega, span):
    """C = int_0^L cos(Omega x) dx and S = int_0^L sin(Omega x) dx over L."""
    wl = omega * span
    return np.sin(wl) / wl, 2.0 * np.sin(0.5 * wl) ** 2 / wl


def delta_log_lik(times, frequency, amplitude, phase):
    """DeltaLogLik at (f, A, Fi); the three broadcast against each other
    (the events run along a new last axis)."""
    t0, span = origin_and_span(times)
    x = np.asarray(times, dtype=float) - t0
    omega = 2 * np.pi * np.asarray(frequency, dtype=float)
    a = np.asarray(amplitude, dtype=float)
    fi = np.asarray(phase, dtype=float)
    theta = omega[..., None] * x + fi[..., None]
    with np.errstate(divide="ignore", invalid="ignore"):
        total = np.log(1 + a[..., None] * np.cos(theta)).sum(axis=-1)
    wl = omega * span
    j_over_l = (np.sin(wl + fi) - np.sin(fi)) / wl
    return total - len(x) * np.log1p(a * j_over_l)


def fit(times, frequencies):
    """The best A and Fi and their DeltaLogLik at every frequency (> 0)."""
    t0, span = origin_and_span(times)
    x = np.asarray(times, dtype=float) - t0
    f = np.atleast_1d(np.asarray(frequencies, dtype=float))
    out = Fit(f.copy(), np.empty_like(f), np.empty_like(f), np.empty_like(f))
    step = max(1, CHUNK_ELEMENTS // max(len(x), 1))
    for lo in range(0, len(f), step):
        sl = slice(lo, lo + step)
        z, a, fi = _fit_chunk(x, span, f[sl])
        out.delta_log_lik[sl], out.amplitude[sl], out.phase[sl] = z, a, fi
    return out


def _fit_chunk(x, span, f):
    n = len(x)
    k = len(f)
    omega = 2 * np.pi * f
    wx = np.outer(omega, x)
    # basis[:, :3] = 1, cos, sin of Omega x give the rate; with cos and sin of
    # 2 Omega x they also give the products in the Hessian
    # (cos^2 = (1 + cos 2w) / 2, sin^2 = (1 - cos 2w) / 2, cos sin = sin 2w / 2).
    basis = np.empty((k, 5, n))
    basis[:, 0] = 1.0
    c, s = basis[:, 1], basis[:, 2]
    np.cos(wx, out=c)
    np.sin(wx, out=s)
    np.subtract(c * c, s * s, out=basis[:, 3])
    np.multiply(2 * c, s, out=basis[:, 4])
    del wx
    linear = basis[:, :3]
    cbar, sbar = _integrals(omega, span)
    v = np.stack([np.ones_like(cbar), cbar, sbar], axis=1)     # (K, 3)
    m = np.zeros((k, 3))
    m[:, 0] = 1.0

    r = _rates(m, linear)
    value = _objective(m, r, v, n)
    for _ in range(NEWTON_STEPS):
        inv = 1.0 / r
        grad = np.matmul(linear, inv[:, :, None])[:, :, 0] - n * v
        one, c1, s1, c2, s2 = np.matmul(basis, (inv * inv)[:, :, None])[:, :, 0].T
        cc, ss, cs = 0.5 * (one + c2), 0.5 * (one - c2), 0.5 * s2
        info = np.stack([np.stack([one, c1, s1], 1), np.stack([c1, cc, cs], 1),
                         np.stack([s1, cs, ss], 1)], 1)
        delta = np.linalg.solve(info, grad[..., None])[..., 0]
        decrement = 0.5 * (grad * delta).sum(1)
        pending = decrement >= CONVERGED
        if not pending.any():
            break
        # The longest step that keeps every event's rate positive.
        dr = _rates(delta, linear)
        with np.errstate(divide="ignore", invalid="ignore"):
            limit = np.where(dr < 0, -r / dr, np.inf).min(axis=1)
        length = np.minimum(1.0, 0.95 * np.minimum(limit, _cone_limit(m, delta)))
        moved = False
        for _ in range(LINE_SEARCH_HALVINGS):
            p = np.nonzero(pending)[0]
            if not len(p):
                break
            trial = m[p] + length[p, None] * delta[p]
            rt = _rates(trial, linear if len(p) == k else linear[p])
            vt = _objective(trial, rt, v[p], n)
            inside = np.hypot(trial[:, 1], trial[:, 2]) <= trial[:, 0]
            better = inside & (vt >= value[p])
            good = p[better]
            m[good], r[good], value[good] = trial[better], rt[better], vt[better]
            moved = moved or bool(better.any())
            pending[good] = False
            length[p[~better]] *= 0.5
        if not moved:
            break       # no ascent left in rounding: converged
    amplitude = np.hypot(m[:, 1], m[:, 2]) / m[:, 0]
    phase = np.arctan2(-m[:, 2], m[:, 1])
    # Steps stop short of the cone, so an optimum on the bound is only
    # approached; there the fit on the bound itself is exact.
    for i in np.nonzero(amplitude > NEAR_BOUND)[0]:
        z, fi = _fit_on_bound(x, span, omega[i], phase[i])
        if z >= value[i]:
            value[i], amplitude[i], phase[i] = z, 1.0, fi
    return value, amplitude, phase


def _rates(m, linear):
    return np.matmul(m[:, None, :], linear)[:, 0, :]


def _objective(m, r, v, n):
    """DeltaLogLik of rates r at the events; -inf where one is not positive."""
    with np.errstate(divide="ignore", invalid="ignore"):
        total = np.log(r).sum(axis=1)
    total[np.isnan(total)] = -np.inf
    return total - n * (m * v).sum(axis=1) + n


def _cone_limit(m, d):
    """The smallest t > 0 at which m + t d reaches the cone A = 1, that is
    hypot(m1, m2) = m0, or inf; m lies inside the cone."""
    a = d[:, 1] ** 2 + d[:, 2] ** 2 - d[:, 0] ** 2
    b = 2 * (m[:, 1] * d[:, 1] + m[:, 2] * d[:, 2] - m[:, 0] * d[:, 0])
    c = m[:, 1] ** 2 + m[:, 2] ** 2 - m[:, 0] ** 2
    disc = b * b - 4 * a * c
    root = np.sqrt(np.maximum(disc, 0))
    with np.errstate(divide="ignore", invalid="ignore"):
        linear = np.where(b > 0, -c / b, np.inf)
        t1 = (-b - root) / (2 * a)
        t2 = (-b + root) / (2 * a)
    t1 = np.where(t1 > 0, t1, np.inf)
    t2 = np.where(t2 > 0, t2, np.inf)
    quadratic = np.where(disc >= 0, np.minimum(t1, t2), np.inf)
    return np.where(a == 0, linear, quadratic)


def _bound_value(x, span, omega, phases):
    theta = np.add.outer(phases, omega * x)
    with np.errstate(divide="ignore", invalid="ignore"):
        total = np.log(1 + np.cos(theta)).sum(axis=1)
    wl = omega * span
    return total - len(x) * np.log1p((np.sin(wl + phases) - np.sin(phases)) / wl)


def _fit_on_bound(x, span, omega, start):
    """The best Fi with A = 1: the problem is concave in (m0, m1, m2) on the
    cone A <= 1, so its optimum on the bound is unique; a grid of phases
    finds its neighbourhood and golden sections refine it."""
    phases = start + np.linspace(-np.pi, np.pi, BOUND_PHASES, endpoint=False)
    values = _bound_value(x, span, omega, phases)
    best = int(np.argmax(values))
    h = 2 * np.pi / BOUND_PHASES
    lo, hi = phases[best] - h, phases[best] + h
    g = (np.sqrt(5) - 1) / 2
    a, b = hi - g * (hi - lo), lo + g * (hi - lo)
    fa, fb = _bound_value(x, span, omega, np.array([a, b]))
    for _ in range(GOLDEN_STEPS):
        if fa >= fb:
            hi, b, fb = b, a, fa
            a = hi - g * (hi - lo)
            fa = _bound_value(x, span, omega, np.array([a]))[0]
        else:
            lo, a, fa = a, b, fb
            b = lo + g * (hi - lo)
            fb = _bound_value(x, span, omega, np.array([b]))[0]
    phase = 0.5 * (lo + hi)
    value = _bound_value(x, span, omega, np.array([phase]))[0]
    return value, float(np.angle(np.exp(1j * phase)))
