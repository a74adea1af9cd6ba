"""Warnings attached to the peaks of a spectrum.

Three things make a peak's numbers mean less than they seem to:

  edge       the peak sits on the first or last frequency of the grid, so the
             maximum may lie outside the scanned band and its height, period
             and amplitude are only bounds;
  side lobe  the spectrum rises higher within SIDE_LOBE_CYCLES / L of it: a
             finite record of span L turns one periodic component into a main
             peak with side lobes, the first about 1.43 / L away for a
             sinusoidal rate (1.6 / L for the daily cycle of quarry blasting
             over 2021, whose rate is far from sinusoidal), so the weaker peak is
             most likely not a period of its own;
  A = 1      the amplitude is at its bound: the rate falls to zero once a
             cycle, the periodic law does not describe the shape of the cycle,
             and the likelihood intervals of A and the phase are not regular.

Each function works on the spectrum's arrays (any order of frequencies) and
the indices of its reported peaks.
"""

from dataclasses import dataclass

import numpy as np

SIDE_LOBE_CYCLES = 2.0
# An amplitude this close to 1 counts as on the bound: fits stop short of
# it by their tolerance.
AMPLITUDE_BOUND = 1 - 1e-3


@dataclass
class PeakFlags:
    edge: bool = False
    side_lobe_of: int | None = None     # index of the higher point nearby
    amplitude_at_bound: bool = False

    def labels(self, period=None):
        """Short words for a summary table; `period` (the period array)
        names the stronger peak of a side lobe."""
        out = []
        if self.edge:
            out.append("edge of grid")
        if self.side_lobe_of is not None:
            if period is not None:
                out.append("side lobe of T = %.6g" % period[self.side_lobe_of])
            else:
                out.append("side lobe")
        if self.amplitude_at_bound:
            out.append("A = 1")
        return out


def at_edge(frequency, index):
    """The index is the lowest or highest frequency of the grid."""
    f = np.asarray(frequency, dtype=float)
    return bool(f[index] <= f.min() or f[index] >= f.max())


def stronger_nearby(frequency, delta_log_lik, index, span, cycles=SIDE_LOBE_CYCLES):
    """The index of the highest point within cycles / span of the peak when
    it is higher than the peak, else None."""
    f = np.asarray(frequency, dtype=float)
    z = np.asarray(delta_log_lik, dtype=float)
    # The tolerance keeps a grid point at exactly cycles / L inside.
    reach = cycles / span * (1 + 1e-9)
    near = np.nonzero((np.abs(f - f[index]) <= reach) & np.isfinite(z))[0]
    best = near[np.argmax(z[near])]
    return int(best) if z[best] > z[index] else None


def peak_flags(frequency, delta_log_lik, amplitude, peaks, span):
    """The flags of every peak index in `peaks`, in the same order."""
    a = np.asarray(amplitude, dtype=float)
    return [PeakFlags(at_edge(frequency, i),
                      stronger_nearby(frequency, delta_log_lik, i, span),
                      bool(a[i] >= AMPLITUDE_BOUND))
            for i in peaks]
