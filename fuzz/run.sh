#!/bin/sh
# Builds the fuzz targets and fuzzes each in turn for a while, starting from
# the seed corpus (any seed that fails ends the run at once).
#
#   fuzz/run.sh [SECONDS]        SECONDS per target, default 20; 0 replays only
#
# With clang++-14 (and its libFuzzer runtime, Debian package
# libclang-rt-14-dev) the targets are libFuzzer programs with the address and
# undefined-behaviour sanitizers; without it they are built with the default
# compiler and the sanitizers, and only the corpus is replayed.
#
# Environment: FUZZ_BUILD_DIR (default build-fuzz in the source tree),
# CXX_FOR_FUZZ (default clang++-14). Inputs that the fuzzer finds go to
# $FUZZ_BUILD_DIR/corpus/<target>; a crash leaves its input in
# $FUZZ_BUILD_DIR/artifacts/ and makes the script fail.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
cxx=${CXX_FOR_FUZZ:-clang++-14}
targets="free_reader file_name dialogue survey_events survey_intervals json_object"

if command -v "$cxx" >/dev/null 2>&1 &&
   [ -f "$("$cxx" -print-file-name=libclang_rt.fuzzer-x86_64.a)" ]; then
  libfuzzer=yes
  cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DPERIODSCAN_FUZZ=ON -DPERIODSCAN_BENCH=OFF -DBUILD_TESTING=OFF >/dev/null
else
  libfuzzer=no
  echo "fuzz: $cxx with libFuzzer not found; building the replay programs only"
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPERIODSCAN_SANITIZE=ON \
        -DPERIODSCAN_BENCH=OFF -DBUILD_TESTING=OFF >/dev/null
fi

set --
for t in $targets; do set -- "$@" --target "fuzz_$t"; done
if ! cmake --build "$build" -j2 "$@"; then
  echo "fuzz: build failed" >&2
  exit 1
fi

# Sanitizer reports end the run with a failure; the fuzz harnesses check
# their own expectations with abort().
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:abort_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-}:print_stacktrace=1:halt_on_error=1"

# Fuzzing starts by running the seed corpus, so it is replayed on its own
# only when there is no fuzzing.
if [ "$libfuzzer" = no ] || [ "$seconds" -eq 0 ]; then
  for t in $targets; do
    echo "fuzz: replaying the corpus of $t"
    "$build/fuzz/fuzz_$t" -runs=0 "$root/fuzz/corpus/$t"
  done
  exit 0
fi

for t in $targets; do
  corpus="$build/corpus/$t"
  mkdir -p "$corpus" "$build/artifacts"
  dict=""
  [ -f "$root/fuzz/$t.dict" ] && dict="-dict=$root/fuzz/$t.dict"
  echo "fuzz: $t for $seconds s"
  # New inputs go to the first folder only; the seeds stay as they are.
  # shellcheck disable=SC2086
  "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$build/artifacts/$t-" $dict \
      "$corpus" "$root/fuzz/corpus/$t" 2>"$build/fuzz-$t.log" || {
    tail -n 60 "$build/fuzz-$t.log" >&2
    echo "fuzz: $t failed; the input is in $build/artifacts/" >&2
    exit 1
  }
  grep -E '^(Done|stat::number_of_executed_units)' "$build/fuzz-$t.log" || true
done
