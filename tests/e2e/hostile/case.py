"""One hostile-input case: the files a folder starts with, the command run
there, and what must come of it.

`command[0]` names the program: "survey", "prepare", "plot" (the built
commands, from the environment variables PERIODSCAN_SURVEY,
PERIODSCAN_PREPARE and PERIODSCAN_PLOT) or "python" (/usr/bin/python3 -c
CODE with the package of PERIODSCAN_PYTHONPATH on its path). The rest of
`command` are its arguments.

Every case must end with `status`, print a line matching `message` (a
regular expression, searched in standard error, or in standard output and
standard error when `anywhere` is set), never a Python traceback, leave no
temporary file ("*.tmp-*") behind (besides those the case starts with),
leave the files of `kept` byte for byte as they were, and not create the
files of `absent`.
"""

from dataclasses import dataclass, field


@dataclass
class Case:
    name: str
    command: list
    status: int
    message: str = ""
    files: dict = field(default_factory=dict)  # name -> str or bytes, written first
    stdin: bytes = b""
    kept: tuple = ()
    absent: tuple = ()
    anywhere: bool = False
    timeout: float = 60.0
    # Run on the sanitizer build as well (C++ programs only).
    sanitizer: bool = True
    # A shell line run in the folder before the command (for links, FIFOs,
    # folders in the way, limits that need the shell).
    prepare: str = ""
    # Resource limits for the run: {"RLIMIT_FSIZE": bytes, ...}.
    limits: dict = field(default_factory=dict)
    # Environment variables a "python" case needs (the case is skipped
    # without them); the PERIODSCAN_* program paths are made absolute.
    needs: tuple = ()
