"""The converged fit, the likelihood intervals at a peak and the upper limit on A:
the engine's against the numpy cross-check (numpy_reference), over
observation intervals, and their coverage on simulated catalogues."""

import importlib

import numpy as np
import pytest

import numpy_reference
from periodscan import likelihood, simulate, uncertainty

survey_module = importlib.import_module("periodscan.periodogram")
PERIOD = 50.0
needs_engine = pytest.mark.skipif(survey_module._engine is None,
                                  reason="periodscan._engine is not built or not first on the "
                                  "path (PERIODSCAN_PYTHONPATH=<build>/python)")


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


@needs_engine
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


@needs_engine
def test_kappa_widens_the_intervals_by_its_square_root():
    t = _periodic(1)
    f = _peak_frequency(t)
    plain = uncertainty.peak_uncertainty(t, f)
    wide = uncertainty.peak_uncertainty(t, f, kappa=4.0)
    for name in ("frequency", "amplitude", "phase"):
        a, b = getattr(plain, name), getattr(wide, name)
        assert (b.hi - b.lo) / (a.hi - a.lo) == pytest.approx(2.0, rel=0.12), name


@needs_engine
def test_upper_limit_on_amplitude_covers_the_truth_and_stops_at_one():
    above = 0
    for seed in range(20):
        t = _periodic(100 + seed, amplitude=0.15)
        limit = uncertainty.amplitude_upper_limit(t, [1 / PERIOD])
        above += limit.amplitude >= 0.15
    assert above >= 17      # one-sided 95 %: probability 0.984
    sparse = np.array([0.0, 0.3, 5.0, 9.0, 10.0])
    assert uncertainty.amplitude_upper_limit(sparse, [0.2]).amplitude == 1.0


def _relative(a, b):
    return abs(a - b) / max(abs(b), 1e-300)


@needs_engine
@pytest.mark.parametrize("seed, amplitude, kappa", [(2, 0.4, 1.0), (3, 0.25, 1.0), (4, 0.4, 2.5)])
def test_engine_agrees_with_numpy(seed, amplitude, kappa):
    t = _periodic(seed, amplitude)
    f = _peak_frequency(t)
    engine = uncertainty.peak_uncertainty(t, f, kappa=kappa)
    numpy = numpy_reference.peak_uncertainty(t, f, kappa=kappa)
    assert engine.delta_log_lik == pytest.approx(numpy.delta_log_lik, rel=1e-9)
    for name in ("period", "frequency", "amplitude", "peak_time"):
        a, b = getattr(engine, name), getattr(numpy, name)
        assert (a.lo_bounded, a.hi_bounded) == (b.lo_bounded, b.hi_bounded), name
        for end in ("estimate", "lo", "hi"):
            assert _relative(getattr(a, end), getattr(b, end)) < 1e-6, (name, end)
    # the phase is near 0 here: compared absolutely
    for end in ("estimate", "lo", "hi"):
        assert getattr(engine.phase, end) == pytest.approx(getattr(numpy.phase, end), abs=1e-6)
    f_band = 1 / PERIOD + np.arange(-15, 16, 3) / (t[-1] - t[0])
    limits = uncertainty.amplitude_upper_limit(t, f_band, kappa=kappa, every=True).limits
    reference = numpy_reference.amplitude_upper_limit(t, f_band, kappa=kappa).limits
    assert np.max(np.abs(limits - reference) / reference) < 1e-6
    # A table's frequencies come in falling order (periods rising).
    band = uncertainty.amplitude_upper_limit(t, f_band[::-1], kappa=kappa)
    assert band.amplitude == pytest.approx(np.max(limits), rel=1e-9)
    assert band.frequency == f_band[np.argmax(limits)]


@needs_engine
def test_intervals_over_observation_intervals():
    t = _periodic(5)
    f = _peak_frequency(t)
    # One interval from the first event to the last is the whole span.
    whole = uncertainty.peak_uncertainty(t, f)
    same = uncertainty.peak_uncertainty(t, f, intervals=[(t[0], t[-1])])
    assert same.amplitude.hi == pytest.approx(whole.amplitude.hi, rel=1e-12)
    # A quarter of the record unwatched: the profile over A and the phase at
    # fixed frequency is the converged fit over the intervals, which has
    # fallen by the drop at the ends of the frequency's interval.
    watched = [(t[0], 250.0), (500.0, t[-1])]
    kept = t[(t <= 250.0) | (t >= 500.0)]
    part = uncertainty.peak_uncertainty(kept, f, intervals=watched)
    ends = [part.frequency.estimate, part.frequency.lo, part.frequency.hi]
    fits = survey_module.fit_at(kept, ends, intervals=watched).delta_log_lik
    level = part.delta_log_lik - uncertainty.DROP_TWO_SIDED
    assert fits == pytest.approx([part.delta_log_lik, level, level], abs=1e-6)
    assert part.amplitude.hi - part.amplitude.lo > whole.amplitude.hi - whole.amplitude.lo
    limit = uncertainty.amplitude_upper_limit(kept, [f], intervals=watched)
    assert limit.amplitude > part.amplitude.estimate


@needs_engine
def test_fit_at_agrees_with_numpy_fit():
    t = _periodic(6)
    f = np.array([0.013, 1 / PERIOD, 0.031])
    engine = survey_module.fit_at(t, f)
    numpy = likelihood.fit(t, f)
    assert np.allclose(engine.delta_log_lik, numpy.delta_log_lik, rtol=1e-8)
    assert np.allclose(engine.amplitude, numpy.amplitude, rtol=1e-6)
    assert list(engine.frequency) == list(f)
