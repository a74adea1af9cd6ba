"""Prints where the interpreter running this finds packages installed under a
prefix: the site directory relative to the prefix, then "found" when the
interpreter searches it by itself or "not-searched" when it does not (then the
directory is the usual lib/pythonX.Y/site-packages of that prefix).

    python3 python_site_dir.py PREFIX
"""

import os
import site
import sys
import sysconfig


def site_dir(prefix):
    prefix = os.path.realpath(prefix)
    searched = list(site.getsitepackages())
    if site.ENABLE_USER_SITE:
        searched.append(site.getusersitepackages())
    under = []
    for directory in searched:
        real = os.path.realpath(directory)
        if os.path.commonpath([real, prefix]) == prefix and real != prefix:
            relative = os.path.relpath(real, prefix)
            # Only the prefix's own lib folders: a prefix that holds the
            # user's ~/.local must not write into that install's site.
            if relative.split(os.sep)[0] in ("lib", "lib64"):
                under.append(relative)
    if under:
        # /usr holds /usr/local/lib/... too: the shortest is the prefix's own.
        return min(under, key=lambda d: len(d.split(os.sep))), True
    purelib = sysconfig.get_path("purelib", "posix_prefix",
                                 vars={"base": prefix, "platbase": prefix})
    return os.path.relpath(purelib, prefix), False


if __name__ == "__main__":
    if len(sys.argv) != 2:
        print("usage: python_site_dir.py PREFIX", file=sys.stderr)
        sys.exit(2)
    directory, found = site_dir(sys.argv[1])
    print(directory)
    print("found" if found else "not-searched")
