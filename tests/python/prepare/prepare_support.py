"""Folders of the catalogue-preparation tests: their excerpts and the
examples of the repository."""

from pathlib import Path

REPOSITORY = Path(__file__).resolve().parents[3]
DATA = Path(__file__).resolve().parent / "data"
EXAMPLES = REPOSITORY / "examples"
