"""Counts in messages: "1 row", "2 rows"."""


def counted(count, noun, plural=None):
    """The count and its noun, singular for exactly one: counted(1, "row") is
    "1 row", counted(0, "row") "0 rows"; plural for nouns not made with -s."""
    return "%d %s" % (count, noun if count == 1 else plural or noun + "s")


def agreeing(count, singular, plural):
    """The verb for a count: agreeing(1, "is", "are") is "is"."""
    return singular if count == 1 else plural
