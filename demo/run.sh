#!/usr/bin/env bash
# Packs the demo launcher from the prebuilt 64-bit launcher and runs it under wine64.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dist=${DIST_DIR:-$root/dist}
work=${BUILD_DIR:-$root/build}/demo
mkdir -p "$work"
export WINEPREFIX=${WINEPREFIX:-${BUILD_DIR:-$root/build}/wineprefix-demo} WINEDEBUG=-all
unset DISPLAY

"$dist/packer" "$dist/launcher64.exe" "$root/demo/demo.desc" "$work/demo.exe"
echo "packed $work/demo.exe from $dist/launcher64.exe and demo/demo.desc"
echo "\$ demo.exe /help"
(cd "$work" && /usr/lib/wine/wine64 demo.exe /help 2>/dev/null | tr -d '\r')
