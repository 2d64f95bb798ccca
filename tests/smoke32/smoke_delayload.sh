# The 32-bit launcher reaches user32.dll through a delay-load library, whose thunks must
# translate the decorated __stdcall names ("_Name@N") to the DLL's plain export names. No
# smoke run of the launcher needs a window, so delaycheck.exe, linked against the same
# library, makes the calls instead. Sourced by run.sh. One 32-bit process.
delay_bits=${SMOKE_BITS:-32}
delay_wine=${SMOKE_WINE:-/usr/lib/wine/wine}
delay_check() {
  local out rc=0 start
  start=$(date +%s.%N)
  out=$(cd "$work" && "$delay_wine" "$build/win$delay_bits/delaycheck.exe" 2>/dev/null | tr -d '\r') || rc=$?
  elapsed "delaycheck.exe (exit code $rc)" "$start"
  printf '%s\n' "$out" | sed 's/^/  /'
  # Six checks, all passed.
  [ "$rc" -eq 0 ] && [ "$(printf '%s\n' "$out" | grep -c '^ok - ')" -eq 6 ]
}
check "32-bit delay-loaded user32 calls reach the real functions" delay_check
