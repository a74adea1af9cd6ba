"""Catalogue preparation: event files for periodscan from earthquake
catalogues (QuakeML, FDSN text, ComCat CSV, SCEDC listings, other CSV), the
description written beside them, observed intervals, and checks of event
files against the traps of reading them.

The command is periodscan-prepare; its entry point is command.main.
"""
