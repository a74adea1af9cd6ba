"""The spectrum figure kept legible: dense spectra keep their peaks, peak
labels never collide, tidal marks, rate maxima as clock times, the per-event
map's contour in its own units."""

import numpy as np
import pytest

pytest.importorskip("matplotlib")

from periodscan import figures  # noqa: E402
from periodscan.assessment import assess_spectrum  # noqa: E402
from periodscan.eventfile import TimeAxis, parse_origin  # noqa: E402
from periodscan.report import MapLevel, largest_peaks  # noqa: E402
from periodscan.results import Spectrum  # noqa: E402


def spectrum_with_peaks(count, lo, hi, peaks, seed=1):
    """A noisy spectrum of `count` periods (log-spaced from lo to hi) that
    swings between 0 and 8 from one period to the next, with narrow peaks
    (period, height) three periods wide."""
    t = np.geomspace(lo, hi, count)
    rng = np.random.default_rng(seed)
    z = rng.uniform(0, 8, count)
    for period, height in peaks:
        i = int(np.argmin(abs(t - period)))
        for j, value in ((i - 1, height - 3), (i, height), (i + 1, height - 3)):
            if 0 <= j < count:
                z[j] = value
    return Spectrum(t, z, np.sqrt(z) / 30)


def drawn_boxes(fig, texts):
    """The boxes of the texts themselves (an annotation's own box takes in
    its leader line)."""
    from matplotlib.text import Annotation, Text
    renderer = fig.canvas.get_renderer()
    boxes = []
    for text in texts:
        if isinstance(text, Annotation):
            text.update_positions(renderer)
        boxes.append(Text.get_window_extent(text, renderer))
    return boxes


def peak_labels(fig):
    return [text for text in fig.axes[0].texts if text.get_text()[:1].isdigit()]


def test_dense_spectrum_draws_each_of_its_highest_peaks():
    """300,000 periods, ten peaks one period wide at most: each column of a
    peak is drawn up to the peak's height in the curve's colour."""
    heights = np.linspace(18, 30, 10)
    peaks = list(zip(np.geomspace(0.5, 25, 10), heights))
    spectrum = spectrum_with_peaks(300_000, 0.4, 30, peaks)
    fig = figures.spectrum_figure(spectrum)
    fig.canvas.draw()
    image = np.asarray(fig.canvas.buffer_rgba())[:, :, :3].astype(int)
    top = fig.axes[0]
    for i in largest_peaks(spectrum, 10):
        x, y = top.transData.transform((spectrum.period[i], spectrum.delta_loglik[i]))
        row, column = image.shape[0] - int(round(y)), int(round(x))
        patch = image[row - 2:row + 3, column - 2:column + 3]
        # The line's blue (C0, faded where it is antialiased), not the band's.
        red, blue = patch[:, :, 0], patch[:, :, 2]
        assert ((red < 170) & (blue - red > 60)).any(), \
            "peak at T = %g not drawn" % spectrum.period[i]
    assert sorted(int(t.get_text()) for t in peak_labels(fig)) == list(range(1, 11))


@pytest.mark.parametrize("count, lo, hi, peaks", [
    # Ten peaks in one knot near the long end, as in a clustered catalogue.
    (9000, 0.2, 10, [(p, 150 + 5 * k) for k, p in enumerate(np.geomspace(5.5, 6.5, 10))]),
    # The highest at the very end of the grid (flagged "edge"), two pairs
    # closer than a label's width.
    (2000, 0.4, 30, [(29.99, 30), (1.0, 25), (1.01, 24), (3.0, 22), (3.02, 21.5),
                     (0.41, 20), (10, 19), (15, 18), (20, 17), (0.6, 16)]),
])
def test_peak_labels_stand_apart_above_the_curve(count, lo, hi, peaks):
    spectrum = spectrum_with_peaks(count, lo, hi, peaks)
    indices = largest_peaks(spectrum, 5)
    fig = figures.spectrum_figure(spectrum, assessment=assess_spectrum(spectrum, indices))
    fig.canvas.draw()
    top = fig.axes[0]
    labels = peak_labels(fig)
    assert len(labels) == 10
    boxes = drawn_boxes(fig, labels)
    frame = top.get_window_extent()
    for k, (label, box) in enumerate(zip(labels, boxes)):
        assert frame.x0 <= box.x0 and box.x1 <= frame.x1 and box.y1 <= frame.y1, \
            "label %r outside the axes" % label.get_text()
        # Above the curve's top at its peak.
        assert box.y0 > top.transData.transform(label.xy)[1]
        for other, box2 in zip(labels[k + 1:], boxes[k + 1:]):
            assert not box.overlaps(box2), (label.get_text(), other.get_text())
    levels = [t for t in top.texts if t not in labels]
    level_boxes = drawn_boxes(fig, levels)
    assert not any(a.overlaps(b) for k, a in enumerate(level_boxes)
                   for b in level_boxes[k + 1:])
    if peaks[0][0] == 29.99:
        assert "1 (edge)" in [t.get_text() for t in labels]


MARKS_IN_A_DAY_TO_TEN = {"S2", "M2", "N2", "K1", "day", "O1", "week"}


@pytest.mark.parametrize("unit, lo, hi, marks, expected", [
    ("days", 0.2, 10, True, MARKS_IN_A_DAY_TO_TEN),
    ("days", 0.2, 10, False, set()),
    (None, 0.2, 10, True, set()),
    ("hours", 11, 30, True, {"S2", "M2", "N2", "K1", "day", "O1"}),
    ("years", 0.1, 2, True, {"Ssa", "Sa"}),
])
def test_tidal_and_calendar_periods_marked(unit, lo, hi, marks, expected):
    spectrum = spectrum_with_peaks(500, lo, hi, [])
    fig = figures.spectrum_figure(spectrum, axis=TimeAxis(unit), period_marks=marks)
    names = {name for name, _ in figures.PERIOD_MARKS}
    texts = [t for ax in fig.axes for t in ax.texts if t.get_text() in names]
    assert {t.get_text() for t in texts} == expected
    boxes = drawn_boxes(fig, texts)
    assert not any(a.overlaps(b) for k, a in enumerate(boxes) for b in boxes[k + 1:])


CALENDAR = TimeAxis("days", parse_origin("2021-01-01T00:00:00Z"))


@pytest.mark.parametrize("period, t_max, axis, expected", [
    (1.00002, 182.75, CALENDAR, "at 18:00 UTC every day"),
    (0.49, 182.25, CALENDAR, "at 06:00 and 18:00 UTC every day"),
    (7.0, 3.5, CALENDAR, "on Mon 12:00 UTC every week"),
    (365.25, 181.0, CALENDAR, "on 01 Jul every year"),
    (1.2, 10.5, CALENDAR, "at 2021-01-11 12:00 UTC + k T"),
    (1.0, 0.8408, TimeAxis("days"), "at t = 0.8408 d + k T"),
    (1.0, 0.8408, TimeAxis(), "at t = 0.8408 + k T"),
])
def test_rate_maximum_in_clock_time(period, t_max, axis, expected):
    text = figures._rate_maximum_text(2, period, t_max, axis)
    assert text.split("\n") == [
        "peak 2 (T = %.6g%s): rate maximum" % (period, " d" if axis.unit else ""), expected]


@pytest.mark.parametrize("counts, expected", [
    ([1, 113, 168], "1 % false alarm (Poisson): 0.127 to 0.188 per event\n"
                    "(DeltaLogLik 21.3 / events in the window)"),
    ([50, 50], "1 % false alarm (Poisson): 0.426 per event\n"
               "(DeltaLogLik 21.3 / events in the window)"),
])
def test_per_event_map_contour_in_its_own_units(counts, expected):
    level = MapLevel(21.3, "1 % false alarm (Poisson): 21.3")
    assert figures._per_event_label(level, np.array(counts)) == expected
