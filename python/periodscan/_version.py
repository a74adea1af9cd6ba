"""The release number. A build writes the number set in project() of
CMakeLists.txt into its own copy of this file; run from the source tree, the
package reads it from there, or says "unknown"."""

import os
import re


def _source_tree_version():
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, os.pardir,
                        "CMakeLists.txt")
    try:
        with open(path, encoding="utf-8") as f:
            found = re.search(r"project\(\s*periodscan\b[^)]*\bVERSION\s+([0-9][0-9.]*)", f.read())
    except (OSError, UnicodeDecodeError):
        return "unknown"
    return found.group(1) if found else "unknown"


VERSION = _source_tree_version()
