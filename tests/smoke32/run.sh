#!/usr/bin/env bash
# Smoke stage of the 32-bit launcher under the 32-bit Wine loader. That loader runs only
# through qemu's i386 emulation here, about a minute per process, so this stage runs a few
# chosen checks in one prefix; everything else is covered under wine64.
#
# The emulation entry is enabled for the duration of this script only, so 64-bit prefixes
# created meanwhile by other stages are not set up under emulation.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build}
dist=${DIST_DIR:-$root/dist}
work="$build/smoke32"
prefix="$build/wineprefix-smoke32"
entry=/proc/sys/fs/binfmt_misc/qemu-i386
passed=0
failed=0

check() {  # check <description> <command...>
  local what=$1; shift
  if "$@"; then echo "ok: $what"; passed=$((passed + 1)); else echo "FAILED: $what"; failed=$((failed + 1)); fi
}

# Export table and PE headers, from the file alone.
objdump_checks() {
  local exe="$dist/launcher32.exe"
  # (grep reads to the end: with pipefail an early exit would fail objdump's write)
  i686-w64-mingw32-objdump -f "$exe" | grep 'file format pei-i386' >/dev/null &&
  i686-w64-mingw32-objdump -p "$exe" | grep 'Subsystem.*00000003' >/dev/null &&
  i686-w64-mingw32-objdump -h "$exe" | grep '\.rsrc' >/dev/null &&
  strings "$exe" | grep 'requestedExecutionLevel level="asInvoker" uiAccess="false"' >/dev/null &&
  strings "$exe" | grep 'Microsoft.Windows.Common-Controls' >/dev/null
}
check "launcher32.exe is a 32-bit console PE with resources" objdump_checks

if [ ! -x /usr/lib/wine/wine ]; then
  echo "FAILED: the 32-bit Wine loader /usr/lib/wine/wine (package wine32:i386) is missing; scripts/install-deps.sh"
  echo "could not install it (see its warnings: a package mirror in the middle of a sync, say)"
  echo "$passed passed, $((failed + 1)) failed"
  exit 1
fi
if [ ! -e "$entry" ]; then
  echo "FAILED: the i386 emulation entry is not registered (run scripts/install-deps.sh as root)"
  echo "$passed passed, $((failed + 1)) failed"
  exit 1
fi
export WINEPREFIX="$prefix" WINEDEBUG=-all
unset DISPLAY
# The clean-up must not fail itself: a failing command in an EXIT trap under `set -e` would
# replace the stage's own exit status.
keepalive=
cleanup() {
  local rc=$?
  if [ -n "$keepalive" ]; then
    kill -0 "$keepalive" 2>/dev/null || echo "note: the keepalive sleeper had already ended"
    kill "$keepalive" 2>/dev/null || true
  fi
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
  echo 0 > "$entry" 2>/dev/null || true
  exit "$rc"
}
trap cleanup EXIT

# The 32-bit launcher runs in a 64-bit prefix, through the 32-bit Wine loader and the prefix's
# 32-bit system libraries, as a 32-bit program runs on 64-bit Windows. The prefix's own
# processes (wineboot, services.exe, explorer.exe ...) are then 64-bit and run natively: a
# 32-bit prefix, whose every system process is emulated, took 10 to 25 minutes to create
# here. The prefix is created with the emulation entry off, so wineboot does not start the
# emulated 32-bit half of its set-up, which the launcher does not need. Only a prefix whose
# creation completed is reused.
ready="$prefix/.complete"
echo 0 > "$entry"
if [ ! -f "$ready" ]; then
  rm -rf "$prefix"
  start=$SECONDS
  /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
  wineserver -w 2>/dev/null || true
  [ -f "$prefix/drive_c/windows/syswow64/kernel32.dll" ] ||
    { echo "FAILED: could not create the Wine prefix for the 32-bit launcher"; exit 1; }
  touch "$ready"
  echo "time: prefix creation: $((SECONDS - start)) s"
fi

rm -rf "$work" && mkdir -p "$work"

# A sleeper.exe keeps the prefix's session up for the whole stage, so it starts once. The
# session's system processes inherit the standard handles of the process that starts them:
# with the sleeper first they write nowhere. Each 32-bit process still costs a minute or two
# of emulation (about 100 s for /help here), so the stage runs few of them.
/usr/lib/wine/wine64 "$build/win64/sleeper.exe" </dev/null >/dev/null 2>&1 &
keepalive=$!
sleep 2
echo 1 > "$entry"

# elapsed <label> <start>: prints how long something took since `date +%s.%N` gave <start>.
elapsed() {
  awk -v a="$2" -v b="$(date +%s.%N)" -v l="$1" 'BEGIN { printf "time: %s: %.1f s\n", l, b - a }'
}

for smoke in "$root"/tests/smoke32/smoke_*.sh; do
  # shellcheck source=/dev/null
  source "$smoke"
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
