#!/usr/bin/env bash
# Runs every benchmark (bench/*_bench.py) in turn under wine64; each uses a Wine prefix of
# its own below the build directory (BUILD_DIR / DIST_DIR name the build, as for the tests).
# A benchmark prints figures and whether its goal was met; it exits non-zero only when what
# it measures did not work at all, and then this script reports it and exits non-zero too.
set -uo pipefail
cd "$(dirname "$0")"
. ../scripts/no-aslr.sh
failed=()
for bench in ./*_bench.py; do
    [ -e "$bench" ] || continue
    echo "== ${bench#./}"
    if ! no_aslr /usr/bin/python3 "$bench"; then
        failed+=("${bench#./}")
    fi
    echo
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "benchmarks that failed: ${failed[*]}" >&2
    exit 1
fi
