"""`cmake --install` into a temporary prefix: /usr/bin/python3 imports the
installed package with only the prefix's site directory added (as the
interpreter adds its own, .pth files honoured), no PYTHONPATH; the installed
launchers still run. PERIODSCAN_BUILD names the build tree (CTest sets it)."""

import os
import shutil
import subprocess
import sys
import sysconfig
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "cmake"))
from python_site_dir import site_dir  # noqa: E402

PYTHON = "/usr/bin/python3"


def install(tmp_path, prefix, destdir=None):
    build = os.environ.get("PERIODSCAN_BUILD")
    if not build:
        pytest.skip("PERIODSCAN_BUILD is not set: it names the build tree to install")
    env = dict(os.environ)
    env.pop("DESTDIR", None)
    if destdir:
        env["DESTDIR"] = str(destdir)
    subprocess.run(["cmake", "--install", build, "--prefix", str(prefix)], env=env,
                   check=True, capture_output=True)


def import_from(prefix):
    """Where /usr/bin/python3 imports periodscan from, the prefix's usual
    site directory added the way site adds its own."""
    site_packages = sysconfig.get_path("purelib", "posix_prefix",
                                       vars={"base": str(prefix), "platbase": str(prefix)})
    env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    code = ("import site, sys; site.addsitedir(sys.argv[1]); import periodscan, "
            "periodscan.periodogram; print(periodscan.__file__)")
    done = subprocess.run([PYTHON, "-s", "-c", code, site_packages], env=env, cwd=prefix,
                          capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    return Path(done.stdout.strip()).resolve()


# (how it is installed, where the tree ends up relative to the prefix named)
LAYOUTS = [
    ("prefix", "plain install into the prefix"),
    ("staged", "DESTDIR staging, then the tree moved to its prefix"),
    ("moved", "installed, then the whole prefix moved elsewhere"),
]


@pytest.mark.parametrize("how,_", LAYOUTS)
def test_installed_package_imports_without_pythonpath(tmp_path, how, _):
    prefix = tmp_path / "prefix"
    if how == "staged":
        install(tmp_path, prefix, destdir=tmp_path / "stage")
        shutil.move(str(tmp_path / "stage" / str(prefix).lstrip("/")), str(prefix))
    elif how == "moved":
        install(tmp_path, tmp_path / "first")
        shutil.move(str(tmp_path / "first"), str(prefix))
    else:
        install(tmp_path, prefix)
    home = prefix.resolve() / "lib" / "periodscan" / "python"
    assert import_from(prefix) == home / "periodscan" / "__init__.py"
    for launcher in ("periodscan-plot", "periodscan-prepare", "periodscan-map"):
        done = subprocess.run([str(prefix / "bin" / launcher), "--help"],
                              capture_output=True, text=True)
        assert done.returncode == 0 and "usage" in done.stdout, done.stderr


def test_site_dir_is_the_prefixs_own_searched_one():
    # Under /usr lies /usr/local/lib/... too, which the interpreter also
    # searches: the prefix's own directory is the one meant.
    import site
    cases = [(sys.base_prefix, site.getsitepackages())]
    if site.ENABLE_USER_SITE:
        cases.append((site.getuserbase(), [site.getusersitepackages()]))
    for prefix, searched in cases:
        relative, found = site_dir(prefix)
        full = os.path.realpath(os.path.join(prefix, relative))
        assert found and full in [os.path.realpath(d) for d in searched], (prefix, relative)
        assert relative.split(os.sep)[0] == "lib", (prefix, relative)


def test_a_prefix_above_the_user_base_keeps_off_its_site():
    # --prefix ~ holds ~/.local: its .pth must not replace the one a ~/.local
    # install wrote there.
    import site
    if not site.ENABLE_USER_SITE:
        pytest.skip("no user site")
    parent = os.path.dirname(site.getuserbase())
    relative, _ = site_dir(parent)
    assert relative.split(os.sep)[0] in ("lib", "lib64"), relative
