#!/bin/sh
# Builds periodscan and runs every test: the unit, end-to-end, differential
# and plotting tests on the release build, the same suite again on a build
# with AddressSanitizer and UndefinedBehaviorSanitizer, then the fuzz targets
# (the seed corpus replayed, and a short fuzzing run of each target).
# Installs the Debian packages that are missing first. Any failure, and any
# sanitizer report, ends it with a non-zero status.
#
#   tools/run-tests.sh [FUZZ_SECONDS]    seconds of fuzzing per target, default 20
set -eu
cd "$(dirname "$0")/.."
fuzz_seconds=${1:-20}

tools/install-deps.sh

echo "== release build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DPERIODSCAN_WERROR=ON >/dev/null
cmake --build build -j2
ctest --test-dir build --output-on-failure -j2

echo "== sanitizer build"
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPERIODSCAN_WERROR=ON \
      -DPERIODSCAN_SANITIZE=ON -DPERIODSCAN_BENCH=OFF -DPERIODSCAN_DIFFERENTIAL_CASES=40 \
      >/dev/null
cmake --build build-sanitize -j2
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j2

echo "== fuzzing"
FUZZ_BUILD_DIR=build-fuzz fuzz/run.sh "$fuzz_seconds"
