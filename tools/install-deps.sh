#!/bin/sh
# Installs the Debian packages that building and testing periodscan need,
# only those that are missing. Runs apt-get as root, or through sudo.
set -e
packages="cmake make g++ pkg-config libfftw3-dev libgtest-dev libbenchmark-dev python3 python3-numpy python3-matplotlib python3-pytest gdal-bin clang-14 libclang-rt-14-dev"
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
