"""The events with what declustering needs: time, magnitude, latitude and
longitude, in time order.

The cluster-shift test and the declustered background of the assessment
both decluster the events (Gardner-Knopoff windows); a Catalogue holds them
once for both, whether read from an event file of periodscan-prepare
(`catalogue_from_file`) or given as arrays (`catalogue_from_arrays`).
"""

import numpy as np

from .eventfile import DAYS_PER_UNIT

# The note of an event file whose time unit is not known: the windows of
# the declustering are in days.
UNKNOWN_UNIT = "the time unit of the event file is not known"

# Coordinates beyond these (degrees) are not places on the Earth.
LATITUDE_LIMIT = 90.0
LONGITUDE_LIMIT = 360.0


class Catalogue:
    """Events sorted by time (ties keep their order), each with its
    magnitude, latitude and longitude (degrees); `days_per_unit` converts the
    times to days. The Gardner-Knopoff declustering is worked out on the
    first call of `declustering` and kept."""

    def __init__(self, time, magnitude, latitude, longitude, days_per_unit):
        self.time = time
        self.magnitude = magnitude
        self.latitude = latitude
        self.longitude = longitude
        self.days_per_unit = days_per_unit
        self._declustering = None

    def __len__(self):
        return len(self.time)

    def declustering(self):
        """The declustering.gardner_knopoff result of the events."""
        if self._declustering is None:
            from .declustering import gardner_knopoff
            self._declustering = gardner_knopoff(self.time * self.days_per_unit, self.magnitude,
                                                 self.latitude, self.longitude)
        return self._declustering

    def clusters(self):
        """A cluster label per event: the linked groups where the
        declustering gives them, else the main shocks."""
        result = self.declustering()
        return np.asarray(getattr(result, "linked", result.main_shock))

    def background_times(self):
        """The times of the main shocks, in time order."""
        return self.time[self.declustering().background]


def _sorted(time, magnitude, latitude, longitude, days_per_unit):
    order = np.argsort(time, kind="stable")
    return Catalogue(time[order], magnitude[order], latitude[order], longitude[order],
                     days_per_unit)


def catalogue_from_file(events_path, description):
    """(Catalogue, "") of an event file of periodscan-prepare described by
    `description` (its EVENTS.json: the columns and the unit), read once;
    (None, why) where the events cannot be declustered."""
    from .decluster import EventFileError, read_events
    description = description or {}
    unit = description.get("unit")
    if unit not in DAYS_PER_UNIT:
        return None, UNKNOWN_UNIT
    try:
        table = read_events(events_path, list(description["columns"]))
    except EventFileError as e:
        return None, "the event file cannot be declustered (%s)" % e
    v = table.values
    return _sorted(v["time"], v["magnitude"], v["latitude"], v["longitude"],
                   DAYS_PER_UNIT[unit]), ""


def _column(values, name, count=None):
    """`values` as a finite float64 vector; ValueError naming the argument."""
    array = np.asarray(values)
    if array.dtype.kind not in "iuf":
        raise ValueError("%s must be real numbers, not %s" % (
            name, "true/false values" if array.dtype.kind == "b" else array.dtype))
    array = array.astype(np.float64)
    if array.ndim != 1:
        raise ValueError("%s must be a sequence of numbers, one per event" % name)
    if count is not None and len(array) != count:
        raise ValueError("%s has %d values for %d event times" % (name, len(array), count))
    bad = np.nonzero(~np.isfinite(array))[0]
    if len(bad):
        raise ValueError("%s[%d] is %r, not a finite number" % (name, bad[0], array[bad[0]]))
    return array


def _within(array, name, limit):
    beyond = np.nonzero(np.abs(array) > limit)[0]
    if len(beyond):
        raise ValueError("%s[%d] = %r is beyond +-%g degrees"
                         % (name, beyond[0], array[beyond[0]], limit))


def catalogue_from_arrays(times, magnitudes, latitudes, longitudes, unit="days"):
    """A Catalogue of events given as arrays of equal length (sorted
    together by time); `unit` is the unit of the times, one of
    eventfile.DAYS_PER_UNIT. ValueError naming the argument for lengths that
    differ, values that are not finite numbers, latitudes beyond +-90 and
    longitudes beyond +-360 degrees, fewer than two events or an unknown
    unit."""
    if unit not in DAYS_PER_UNIT:
        raise ValueError("unit must be one of %s, not %r" % (", ".join(DAYS_PER_UNIT), unit))
    time = _column(times, "times")
    if len(time) < 2:
        raise ValueError("times must hold at least two events")
    magnitude = _column(magnitudes, "magnitudes", len(time))
    latitude = _column(latitudes, "latitudes", len(time))
    longitude = _column(longitudes, "longitudes", len(time))
    _within(latitude, "latitudes", LATITUDE_LIMIT)
    _within(longitude, "longitudes", LONGITUDE_LIMIT)
    return _sorted(time, magnitude, latitude, longitude, DAYS_PER_UNIT[unit])
