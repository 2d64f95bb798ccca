# The packed 32-bit launcher answers /help with its usage line. Sourced by run.sh.
printf 'setting 101 = Smoke\nsetting 107 = 0\n' > "$work/entry.desc"
"$dist/packer" "$dist/launcher32.exe" "$work/entry.desc" "$work/smoke.exe"
help_output() {
  local out
  out=$(cd "$work" && /usr/lib/wine/wine smoke.exe /help 2>/dev/null | tr -d '\r')
  local expected="Usage: smoke.exe /install | /uninstall | /stop | /start | /status | /run | /run-redirect"
  [ "$out" = "$expected" ] || { printf 'got: %q\n' "$out"; return 1; }
}
check "32-bit /help prints the usage line" help_output
