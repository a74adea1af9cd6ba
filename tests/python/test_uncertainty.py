"""The converged fit, the likelihood intervals at a peak and the upper limit on A."""

import numpy as np
import pytest

from periodscan import likelihood, simulate, uncertainty

PERIOD = 50.0


def _grid_maximum(times, f):
    a = np.linspace(0, 1, 101)[:, None]
    phase = np.linspace(-np.pi, np.pi, 361)[None, :]
    return likelihood.delta_log_lik(times, np.full((101, 361), f), a + 0 * phase,
                                    phase + 0 * a).max()


@pytest.mark.parametrize("keep, amplitude", [
    (lambda u, x: u < 1 + 0.3 * np.cos(2 * np.pi * x), None),     # inside: A near 0.3
    (lambda u, x: np.cos(2 * np.pi * x) > 0.7, 1.0),                # only near the crest
])
def test_fit_reaches_the_maximum_over_a_fine_grid(keep, amplitude):
    rng = np.random.default_rng(5)
    x = np.sort(rng.uniform(0, 50, 1000))
    t = x[keep(rng.uniform(0, 1.3, len(x)), x)]
    fit = likelihood.fit(t, [1.0])
    brute = _grid_maximum(t, 1.0)
    assert brute - 1e-9 <= fit.delta_log_lik[0] <= brute + 0.05
    if amplitude is not None:
        assert fit.amplitude[0] == amplitude
    assert likelihood.delta_log_lik(t, 1.0, fit.amplitude[0], fit.phase[0]) \
        == pytest.approx(fit.delta_log_lik[0])


def _periodic(seed, amplitude=0.4):
    rng = np.random.default_rng(seed)
    return simulate.poisson(rng, 1000.0, 0.6, simulate.Modulation(amplitude, PERIOD, 0.0)).time


def _peak_frequency(t):
    span = t[-1] - t[0]
    f = 1 / PERIOD + np.arange(-10, 11) / (5 * span)
    return f[np.argmax(likelihood.fit(t, f).delta_log_lik)]


def test_intervals_of_simulated_peaks_cover_the_truth():
    covered = {"period": 0, "amplitude": 0, "peak_time": 0}
    runs = 20
    for seed in range(runs):
        t = _periodic(seed)
        u = uncertainty.peak_uncertainty(t, _peak_frequency(t))
        covered["period"] += u.period.lo <= PERIOD <= u.period.hi
        covered["amplitude"] += u.amplitude.lo <= 0.4 <= u.amplitude.hi
        # The rate peaks at multiples of the period.
        k = np.ceil(u.peak_time.lo / PERIOD)
        covered["peak_time"] += k * PERIOD <= u.peak_time.hi
        assert u.period.lo < u.period.estimate < u.period.hi
    # 95 % intervals: 16 or more of 20 happen with probability 0.997.
    assert min(covered.values()) >= 16, covered


def test_kappa_widens_the_intervals_by_its_square_root():
    t = _periodic(1)
    f = _peak_frequency(t)
    plain = uncertainty.peak_uncertainty(t, f)
    wide = uncertainty.peak_uncertainty(t, f, kappa=4.0)
    for name in ("frequency", "amplitude", "phase"):
        a, b = getattr(plain, name), getattr(wide, name)
        assert (b.hi - b.lo) / (a.hi - a.lo) == pytest.approx(2.0, rel=0.12), name


def test_upper_limit_on_amplitude_covers_the_truth_and_stops_at_one():
    above = 0
    for seed in range(20):
        t = _periodic(100 + seed, amplitude=0.15)
        limit = uncertainty.amplitude_upper_limit(t, [1 / PERIOD])
        above += limit.amplitude >= 0.15
    assert above >= 17      # one-sided 95 %: probability 0.984
    sparse = np.array([0.0, 0.3, 5.0, 9.0, 10.0])
    assert uncertainty.amplitude_upper_limit(sparse, [0.2]).amplitude == 1.0
