"""The names of eventfile that the rest of the package has long imported
from here."""

from .eventfile import (DAYS_PER_UNIT, INTERACTIVE, SECONDS_PER_UNIT, SURVEY,  # noqa: F401
                        TIME_UNITS, EventFileError, TimeAxis, description_paths,
                        interactive_number as first_number, nearest_float32, parse_origin,
                        read_description, read_event_times, read_events, time_axis)
