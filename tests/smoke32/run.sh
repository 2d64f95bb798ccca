#!/usr/bin/env bash
# Smoke stage of the 32-bit launcher under the 32-bit Wine. The 32-bit Wine loader runs only
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
prefix="$build/wineprefix32"
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

if [ ! -e "$entry" ]; then
  echo "FAILED: the i386 emulation entry is not registered (run scripts/install-deps.sh as root)"
  echo "$passed passed, $((failed + 1)) failed"
  exit 1
fi
echo 1 > "$entry"
trap 'WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true; echo 0 > "$entry"' EXIT

export WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG=-all
unset DISPLAY
# A prefix whose creation was interrupted has a system.reg but not the rest, and Wine would
# redo its setup at every start; only a prefix marked complete is reused.
ready="$prefix/.complete"
if [ ! -f "$ready" ]; then
  echo "creating the 32-bit Wine prefix (a few minutes under emulation)"
  rm -rf "$prefix"
  start=$SECONDS
  # wineboot returns once the prefix is usable; the rest of its set-up (registering the
  # system's libraries) goes on in the background while the checks run, since waiting for
  # it under emulation takes over twenty minutes. Mono and Gecko are not wanted.
  WINEDLLOVERRIDES="mscoree=;mshtml=" /usr/lib/wine/wine wineboot -i >/dev/null 2>&1 || true
  [ -f "$prefix/drive_c/windows/system32/kernel32.dll" ] ||
    { echo "FAILED: could not create the 32-bit prefix"; exit 1; }
  touch "$ready"
  echo "time: prefix creation: $((SECONDS - start)) s"
fi

rm -rf "$work" && mkdir -p "$work"

# Most of a 32-bit process's minute is the start of the prefix's session (wineboot --init,
# services.exe, plugplay.exe, winedevice.exe, explorer.exe, all emulated), which Wine repeats
# whenever a process starts after the last one of the prefix has ended. A sleeper.exe runs in
# the background for the whole stage, so the session starts once and the launcher processes
# take seconds each after the first. The session's system processes inherit the standard
# handles of the process that starts them: with the sleeper first they write nowhere.
session_start=$(date +%s.%N)
/usr/lib/wine/wine "$build/win32/sleeper.exe" </dev/null >/dev/null 2>&1 &
keepalive=$!
trap 'kill "$keepalive" 2>/dev/null; WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true; echo 0 > "$entry"' EXIT

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
