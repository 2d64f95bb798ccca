#!/usr/bin/env bash
# Runs every libFuzzer target under AddressSanitizer and UndefinedBehaviorSanitizer. The
# stage's time, FUZZ_SECONDS (default 120), is shared equally among the targets. Each target
# starts from its committed seeds (tests/fuzz/corpus/<target>, the inputs that once crashed
# among them) and from the working corpus kept under the build directory between runs, to
# which the inputs it finds are added.
set -euo pipefail
build=${1:-build/native}
total=${FUZZ_SECONDS:-120}
seeds_root="$(cd "$(dirname "$0")" && pwd)/corpus"
targets=()
for target in "$build"/*_fuzz; do
  [ -x "$target" ] && targets+=("$target")
done
if [ ${#targets[@]} -eq 0 ]; then
  echo "no fuzz targets in $build"
  exit 1
fi
seconds=$(( total / ${#targets[@]} ))
[ "$seconds" -ge 1 ] || seconds=1
status=0
for target in "${targets[@]}"; do
  name=$(basename "$target")
  corpus="$build/fuzz-corpus/$name"
  seeds="$seeds_root/$name"
  mkdir -p "$corpus"
  dirs=("$corpus")
  [ -d "$seeds" ] && dirs+=("$seeds")
  echo "fuzzing $name for ${seconds}s"
  if ! "$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 \
       -artifact_prefix="$build/fuzz-$name-" "${dirs[@]}" >"$build/$name.log" 2>&1; then
    echo "FAILED: $name (see $build/$name.log)"
    tail -n 30 "$build/$name.log"
    status=1
  else
    echo "passed: $name ($(grep -o 'Done [0-9]* runs' "$build/$name.log" | tail -1), $(grep -o 'cov: [0-9]*' "$build/$name.log" | tail -1))"
  fi
done
exit $status
