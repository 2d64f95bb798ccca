#!/usr/bin/env bash
# Runs every test stage in order and prints one summary line at the end. Each stage runs
# even when an earlier one failed, so one run shows every failure.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
export BUILD_DIR=${BUILD_DIR:-$root/build}
export DIST_DIR=${DIST_DIR:-$root/dist}
. scripts/no-aslr.sh
passed=0
failed=0
failures=()

stage() {  # stage <name> <command...>
  local name=$1; shift
  echo "=== $name"
  local start=$SECONDS
  if "$@"; then
    passed=$((passed + 1))
    echo "=== $name passed ($((SECONDS - start))s)"
  else
    failed=$((failed + 1))
    failures+=("$name")
    echo "=== $name FAILED ($((SECONDS - start))s)"
  fi
}

stage "native unit tests" "$BUILD_DIR/native/unit_tests" --gtest_brief=1
stage "fuzzing" bash tests/fuzz/run.sh "$BUILD_DIR/native"
stage "java-side runtime and real JVM" bash tests/java/run.sh
stage "wine64 tests" bash tests/wine/run.sh
stage "32-bit smoke" no_aslr bash tests/smoke32/run.sh

[ "${#failures[@]}" -eq 0 ] || echo "failed stages: ${failures[*]}"
echo "stages: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
