#!/bin/sh
# Installs the Debian packages that periodscan needs, only those missing.
# Runs apt-get as root, or through sudo.
#
#   tools/install-deps.sh          what building and running need
#   tools/install-deps.sh --test   and what the tests, benchmarks and fuzzing need
set -e
packages="cmake make g++ pkg-config libfftw3-dev pybind11-dev python3-dev python3
          python3-numpy python3-matplotlib python3-distributed"
if [ "${1:-}" = --test ]; then
  packages="$packages libgtest-dev libbenchmark-dev python3-pytest gdal-bin clang-14
            libclang-rt-14-dev clang-format-14 python3-hypothesis flake8 python3-gdal
            python3-astropy"
fi
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
    missing="$missing $p"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" -ne 0 ]; then sudo=sudo; else sudo=; fi
echo "Installing:$missing"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q $missing
