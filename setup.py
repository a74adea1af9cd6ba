"""The Python package from python/periodscan with its engine module
periodscan._engine, which this project's CMake builds (the `_engine` target)
and build_ext copies into place; the entries periodscan-plot and
periodscan-prepare as scripts."""

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, find_packages, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent


def project_version():
    """The release number of project() in CMakeLists.txt, its one home."""
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    return re.search(r"project\(\s*periodscan\b[^)]*\bVERSION\s+([0-9][0-9.]*)", text).group(1)


class CMakeBuild(build_ext):
    """Builds each extension as the CMake target named after its last part."""

    def build_extension(self, ext):
        build = Path(self.build_temp).resolve() / "cmake"
        target = ext.name.rpartition(".")[2]
        configure = ["cmake", "-S", str(ROOT), "-B", str(build),
                     "-DCMAKE_BUILD_TYPE=Release", "-DBUILD_TESTING=OFF",
                     "-DPERIODSCAN_BENCH=OFF", "-DPython_EXECUTABLE=" + sys.executable]
        jobs = self.parallel or os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or os.cpu_count()
        subprocess.run(configure, check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", target,
                        "--parallel", str(jobs or 1)], check=True)
        built = build / "python" / Path(self.get_ext_filename(ext.name))
        if not built.is_file():
            sys.exit("error: CMake built no %s (is pybind11-dev installed?)" % built)
        destination = Path(self.get_ext_fullpath(ext.name))
        destination.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, destination)
        # The number CMake wrote, in place of the source tree's reader.
        shutil.copyfile(build / "python" / "periodscan" / "_version.py",
                        destination.parent / "_version.py")


setup(
    version=project_version(),
    package_dir={"": "python"},
    packages=find_packages("python"),
    ext_modules=[Extension("periodscan._engine", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    scripts=["tools/periodscan-plot", "tools/periodscan-prepare", "tools/periodscan-map"],
    # Apart from the CMake folder build/ of the README.
    options={"build": {"build_base": "build-setuptools"}},
    zip_safe=False,
)
