#!/usr/bin/env bash
# Runs every libFuzzer target for a bounded time (FUZZ_SECONDS each, default 60) under
# AddressSanitizer. The corpus is kept under the build directory between runs.
set -euo pipefail
build=${1:-build/native}
seconds=${FUZZ_SECONDS:-60}
status=0
for target in "$build"/*_fuzz; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus="$build/fuzz-corpus/$name"
  mkdir -p "$corpus"
  echo "fuzzing $name for ${seconds}s"
  if ! "$target" -max_total_time="$seconds" -max_len=4096 -rss_limit_mb=2048 -print_final_stats=0 \
       -artifact_prefix="$build/fuzz-" "$corpus" >"$build/$name.log" 2>&1; then
    echo "FAILED: $name (see $build/$name.log)"
    tail -n 30 "$build/$name.log"
    status=1
  else
    echo "passed: $name ($(grep -o 'Done [0-9]* runs' "$build/$name.log" | tail -1))"
  fi
done
exit $status
