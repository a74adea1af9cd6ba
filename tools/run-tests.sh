#!/bin/sh
# Builds periodscan and runs every test, then says in its last line how many
# passed and failed: "N passed, N failed".
#
#   1. the formatting check (clang-format-14 over every C++ file) and the
#      Python style check (flake8 over python/, tests/ and bench/, with the
#      settings of setup.cfg);
#   2. the release build in build/ (the folder the README's first command
#      builds; warnings are errors): the unit, differential and fuzz-replay
#      tests with CTest, then the end-to-end, Python and install tests with
#      pytest;
#   3. the same on a build with AddressSanitizer and UndefinedBehaviorSanitizer
#      in build-sanitize/ (fewer differential cases; the Python package tests
#      do not run the sanitized engine);
#   4. the fuzz targets in build-fuzz/: the seed corpus and FUZZ_SECONDS of
#      fuzzing each.
# Each stage's heading gives the seconds since the start.
# Installs the Debian packages that are missing first. Exits non-zero when
# anything failed.
#
#   tools/run-tests.sh [FUZZ_SECONDS]    default 10
set -u
cd "$(dirname "$0")/.."
root=$(pwd)
fuzz_seconds=${1:-10}
start=$(date +%s)
passed=0
failed=0
skipped=0

tools/install-deps.sh --test || { echo "0 passed, 1 failed"; exit 1; }

# count PASSED FAILED [SKIPPED]
count() {
  passed=$((passed + $1))
  failed=$((failed + $2))
  skipped=$((skipped + ${3:-0}))
}

# ctest_suite BUILD_DIR [CTEST OPTIONS]: runs CTest (not the pytest entries,
# which pytest_suite runs directly) and counts its tests.
ctest_suite() {
  dir=$1
  shift
  ctest --test-dir "$dir" --output-on-failure -j2 -E '\.pytest$' "$@" >"$dir/ctest.log" 2>&1
  cat "$dir/ctest.log"
  summary=$(sed -n 's/.*tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\).*/\1 \2/p' \
            "$dir/ctest.log")
  if [ -z "$summary" ]; then
    count 0 1
  else
    set -- $summary
    count $(($2 - $1)) "$1"
  fi
}

# pytest_suite LOG [PYTEST ARGUMENTS]: runs pytest and counts its tests.
pytest_suite() {
  log=$1
  shift
  /usr/bin/python3 -m pytest -q -p no:cacheprovider "$@" >"$log" 2>&1
  status=$?
  tail -n 40 "$log"
  last=$(grep -E '[0-9]+ (passed|failed|error|skipped)' "$log" | tail -n 1)
  n() { echo "$last" | grep -Eo "[0-9]+ $1" | grep -Eo '[0-9]+' || echo 0; }
  p=$(n passed); f=$(n failed); e=$(n error); s=$(n skipped)
  f=$((f + e))
  # A run that failed without counting a failure (a collection error) fails once.
  [ "$status" -ne 0 ] && [ "$f" -eq 0 ] && f=1
  count "$p" "$f" "$s"
}

stage() { echo "== $1 ($(($(date +%s) - start)) s)"; }

# build BUILD_DIR [CMAKE OPTIONS]: configures and builds; a failure counts once.
build() {
  dir=$1
  shift
  if cmake -S . -B "$dir" -DBUILD_TESTING=ON "$@" >/dev/null && cmake --build "$dir" -j2; then
    return 0
  fi
  echo "build in $dir failed" >&2
  count 0 1
  return 1
}

# pytest's environment: the programs of a build, and its copy of the package.
use_build() {
  export PERIODSCAN="$root/$1/periodscan"
  export PERIODSCAN_SURVEY="$root/$1/periodscan-survey"
  export PERIODSCAN_PLOT="$root/$1/periodscan-plot"
  export PERIODSCAN_PREPARE="$root/$1/periodscan-prepare"
  export PERIODSCAN_LITERAL="$root/$1/tests/literal_periodscan"
  export PERIODSCAN_PYTHONPATH="$root/$1/python"
  export PERIODSCAN_BUILD="$root/$1"
}

stage "formatting"
if clang-format-14 --dry-run -Werror $(git ls-files '*.cpp' '*.h'); then
  count 1 0
else
  count 0 1
fi

stage "python style"
if ! command -v flake8 >/dev/null 2>&1; then
  echo "flake8 is not installed: the Python style check cannot run (Debian package flake8;" \
       "tools/install-deps.sh --test installs it)" >&2
  count 0 1
elif flake8 $(git ls-files 'python/*.py' 'tests/*.py' 'bench/*.py'); then
  count 1 0
else
  count 0 1
fi

stage "release build"
if build build -DCMAKE_BUILD_TYPE=Release; then
  ctest_suite build
  use_build build
  pytest_suite build/pytest.log tests/e2e tests/python tests/install
fi

stage "sanitizer build"
# -O1 with line tables: the sanitizers' reports keep their file and line, and
# the build takes half as long as with full optimisation and debug data.
if build build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1" \
         -DPERIODSCAN_SANITIZE=ON \
         -DPERIODSCAN_BENCH=OFF -DPERIODSCAN_PYTHON_MODULE=OFF -DPERIODSCAN_DIFFERENTIAL_CASES=40; then
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  ctest_suite build-sanitize
  use_build build-sanitize
  pytest_suite build-sanitize/pytest.log tests/e2e
  unset ASAN_OPTIONS UBSAN_OPTIONS
fi

stage "fuzzing"
if FUZZ_BUILD_DIR=build-fuzz fuzz/run.sh "$fuzz_seconds"; then
  count 1 0
else
  count 0 1
fi

stage "done"
if [ "$skipped" -gt 0 ]; then
  echo "$passed passed, $failed failed, $skipped skipped"
else
  echo "$passed passed, $failed failed"
fi
[ "$failed" -eq 0 ]
