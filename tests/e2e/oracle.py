"""An independent, literal Python model of regime 0, used to derive the
expected spectrum files of the end-to-end tests.

Python's float is a C double and its math functions call the C library's, so
the model matches the program bit for bit as long as every 4-byte store is
rounded where the program stores it; `f32` does that rounding. The spelling
of the spectrum records is written anew here from its rules, with Python's
correctly rounded formatting.
"""

import math
import struct

TWO_PI = None  # set below, as a 4-byte real


def f32(x):
    """Rounds a double to the nearest 4-byte real (ties to even)."""
    try:
        return struct.unpack("<f", struct.pack("<f", x))[0]
    except OverflowError:
        return math.copysign(math.inf, x)


TWO_PI = f32(6.2831855)
GOLD_LEFT = f32(0.381966)
GOLD_RIGHT = f32(0.618034)
WIDTH_STOP = f32(1e-6)


def functi(A, Fi, Omega, t, t0):
    n = len(t)
    lobs = f32(t[-1] - t0)
    s = f32(math.sin(lobs * Omega + Fi))
    j = (s - math.sin(Fi)) * A / Omega + lobs
    nr = f32(n)
    r = ((nr / j) * lobs) / nr
    total = f32(nr * math.log(r))
    for ti in t:
        total = f32(total + math.log(1 + A * math.cos((ti - t0) * Omega + Fi)))
    return total


def golden(b0, score):
    """Maximises `score` over [0, b0]; returns (midpoint, score there)."""
    a, b = 0.0, b0
    left_due = right_due = True
    x1 = x2 = f1 = f2 = 0.0
    while True:
        w = f32(b - a)
        if left_due:
            x1 = f32(w * GOLD_LEFT + a)
            f1 = score(x1)
        if right_due:
            x2 = f32(w * GOLD_RIGHT + a)
            f2 = score(x2)
        if w < WIDTH_STOP:
            break
        if f1 > f2:
            b, x2, f2 = x2, x1, f1
            left_due, right_due = True, False
        else:
            a, x1, f1 = x1, x2, f2
            left_due, right_due = False, True
    m = f32((a + b) * 0.5)
    return m, score(m)


def find_afi(Omega, t, t0):
    def phase_search(A):
        return golden(TWO_PI, lambda fi: functi(A, fi, Omega, t, t0))[1]
    return golden(1.0, phase_search)  # (A, DeltaLogLik)


def static_grid(tmin, tmax, np_):
    lgmin = f32(math.log10(tmin))
    step = f32((math.log10(tmax) - lgmin) / float(np_ - 1))
    omegas = []
    for k in range(1, np_ + 1):
        x = float(k - 1) * step + lgmin
        omegas.append(f32(TWO_PI / math.pow(10.0, x)))
    return omegas


def general15(x):
    """A 4-byte real in the general spelling of width 15."""
    if x == 0:
        return "0.000000".rjust(15)
    sign = "-" if x < 0 else ""
    mantissa, exponent = ("%.5e" % abs(x)).split("e")
    rounded = float(mantissa + "e" + exponent)
    if 0.1 <= rounded < 1e6:
        before = 0 if rounded < 1 else int(exponent) + 1
        text = "%.*f" % (6 - before, abs(x))
        if before == 6:
            text += "."
        return (sign + text).rjust(11) + "    "
    digits = mantissa.replace(".", "")
    e = int(exponent) + 1
    return (sign + "0." + digits + "E" + ("+" if e >= 0 else "-") + "%02d" % abs(e)).rjust(15)


def integer10(n):
    return " " * 10 if n == 0 else ("%10d" % n)


def spectrum(t, tmin, tmax, np_):
    """The records of "ZUM_out.dat" for event times `t` (4-byte values)."""
    lines = []
    for omega in static_grid(tmin, tmax, np_):
        a, dll = find_afi(omega, t, t[0])
        lines.append(general15(f32(TWO_PI / omega)) + general15(dll) + general15(a))
    return lines
