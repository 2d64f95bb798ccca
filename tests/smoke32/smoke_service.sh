# The 32-bit launcher as a service under the 32-bit Wine's Service Control Manager: install,
# start (the service starts its child, whose application waits for the shutdown line),
# status, stop (the child receives the line and ends, the service reports stopped) and
# uninstall. Sourced by run.sh after smoke_jvm.sh, whose fixture laid out the service's
# launcher and bundled runtime and imported the version cache entry of its java.exe.
#
# The cycle needs seven 32-bit processes (five commands, the service and its child), at a
# minute or two each under emulation here, so it runs only when SMOKE32_SERVICE=yes.

service_exe="$jvm_work/service/SmokeService.exe"
service_step() {  # service_step <command word>: keeps the output as <word>.rc/.out/.err
  local word=$1 rc=0 start
  start=$(date +%s.%N)
  (cd "$jvm_work/service" && "$jvm_wine" SmokeService.exe "/$word" \
     >"$jvm_work/$word.out" 2>"$jvm_work/$word.err") || rc=$?
  echo "$rc" > "$jvm_work/$word.rc"
  elapsed "SmokeService.exe /$word (exit code $rc)" "$start"
}

if [ "${SMOKE32_SERVICE:-}" = yes ] && [ -f "$service_exe" ]; then
  # A service left behind by an interrupted earlier stage in this prefix goes first.
  if grep -q 'Services\\\\RavelSmoke\]' "$WINEPREFIX/system.reg" 2>/dev/null; then
    service_step uninstall
  fi
  service_step install
  service_step start
  waited=0
  until jvm_fixture main-called || [ "$waited" -ge 180 ]; do sleep 3; waited=$((waited + 3)); done
  echo "time: the service's application entered main $waited s after /start returned"
  service_step status
  service_step stop
  service_step uninstall
  check "32-bit service: install, start, status, stop through the shutdown line, uninstall" \
    jvm_fixture check-service
fi
