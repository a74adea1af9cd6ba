"""4-byte storage of times: the nearest 4-byte real of a decimal text, and
the spacing of 4-byte reals, which bounds how far storage moves a time.

Python's float() rounds a decimal text correctly to the nearest double;
rounding that double again to a 4-byte real gives the nearest 4-byte real
except when the double lies exactly halfway between two of them, where the
first rounding may have crossed the halfway point. Only then is the exact
decimal consulted. Example: 16777217 is halfway between the 4-byte reals
16777216 and 16777218 and is a double, so "16777217" rounds to even,
16777216, while "16777217.000000001" (the same double) rounds up."""

import math
import struct
from decimal import Decimal

FLOAT32_MAX = struct.unpack("<f", b"\xff\xff\x7f\x7f")[0]
MANTISSA_BITS = 24


def _to_float32(x):
    return struct.unpack("<f", struct.pack("<f", x))[0]


def _next_up(value):
    """The next 4-byte real above a finite non-negative 4-byte real."""
    bits = struct.unpack("<I", struct.pack("<f", value))[0]
    return struct.unpack("<f", struct.pack("<I", bits + 1))[0]


def nearest_float32(text):
    """The 4-byte real nearest to the decimal text (ties to even), as a
    Python float; None when it lies beyond the 4-byte range."""
    double = float(text)
    magnitude = abs(double)
    if magnitude > FLOAT32_MAX:
        # Halfway between the largest 4-byte real and 2^128 rounds to
        # infinity only from above it.
        halfway = FLOAT32_MAX + 2.0 ** 103
        if magnitude > halfway or (magnitude == halfway and
                                   abs(Decimal(text)) >= Decimal(halfway)):
            return None
        return math.copysign(FLOAT32_MAX, double)
    single = _to_float32(magnitude)
    below = single if single <= magnitude else _previous(single)
    above = _next_up(below) if below != magnitude else below
    if below != above and magnitude - below == above - magnitude:
        exact = abs(Decimal(text))
        if exact > Decimal(magnitude):
            single = above
        elif exact < Decimal(magnitude):
            single = below
    return math.copysign(single, double)


def _previous(value):
    bits = struct.unpack("<I", struct.pack("<f", value))[0]
    return struct.unpack("<f", struct.pack("<I", bits - 1))[0]


def spacing(value):
    """The distance between the 4-byte reals around |value|, the step to
    which storage quantises times of that size: spacing(364.9) == 2**-15,
    spacing(2459215.5) == 0.25."""
    magnitude = abs(value)
    if magnitude < 2.0 ** -126:
        return 2.0 ** -149
    _, exponent = math.frexp(magnitude)
    return 2.0 ** (exponent - MANTISSA_BITS)
