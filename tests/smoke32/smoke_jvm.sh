# The 32-bit launcher finds, loads and runs a 32-bit runtime, and refuses a 64-bit jvm.dll.
# Sourced by run.sh (variables root, build, dist, work; function check; the 32-bit prefix exported).
#
# Two 32-bit processes (steps 2 and 3), each a minute or two under emulation, so each does as much as it can
# (jvm_fixture.py lays out everything beforehand and checks the results afterwards):
#   1. the 64-bit regedit imports one file: the Java vendor key, the version cache of both runtimes (so
#      no java.exe -version probe has to run), TEMP/TMP and PATH of the user's environment;
#   2. a logged /run-redirect of a launcher with one included file whose search sequence is
#      "Y": it extracts the file, finds the stand-in runtime through the registry, loads its
#      jvm.dll, creates the VM and calls main, which the stand-in records;
#   3. a logged /run of a launcher whose search sequence is "S" and whose only runtime, on
#      PATH, has a 64-bit jvm.dll: the load fails and message 1016 names the bitness, 32.
# Each process's time is printed as a "time: ..." line.
#
# SMOKE_WINE and SMOKE_BITS (64) let the same steps be tried quickly under wine64 in a 64-bit
# prefix while this file is being changed; run.sh sets neither.

jvm_wine=${SMOKE_WINE:-/usr/lib/wine/wine}
jvm_work="$work/jvm"
jvm_fixture() {  # jvm_fixture <subcommand> [argument]
  BUILD_DIR="$build" DIST_DIR="$dist" /usr/bin/python3 "$root/tests/smoke32/jvm_fixture.py" "$1" "$jvm_work" "${@:2}"
}
jvm_winpath() { printf 'Z:%s' "${1//\//\\}"; }

# jvm_launch <name> <app folder> <exe> <arguments...>: a logged run whose exit code and output
# are kept as <name>.rc, <name>.out and <name>.err in the work folder.
jvm_launch() {
  local name=$1 folder=$2 exe=$3 rc=0 start
  shift 3
  start=$(date +%s.%N)
  (cd "$folder" && env -u QUILLWORK_LOG -u RAVEL_JAVA_HOME -u QUILLWORK_JAVA_HOME RAVEL_LOG=yes \
     "$jvm_wine" "$exe" "$@" >"$jvm_work/$name.out" 2>"$jvm_work/$name.err") || rc=$?
  echo "$rc" > "$jvm_work/$name.rc"
  elapsed "$exe $* (exit code $rc)" "$start"
}

if jvm_fixture prepare; then
  jvm_start=$(date +%s.%N)
  /usr/lib/wine/wine64 regedit /S "$(jvm_winpath "$jvm_work/registry.reg")" >"$jvm_work/regedit.out" 2>&1 || true
  elapsed "64-bit regedit /S registry.reg" "$jvm_start"
  jvm_launch run "$jvm_work/run/app" SmokeRun.exe /run-redirect "two words"
  check "32-bit log: byte-order mark, CR LF, header, [s:ms] prefixes" jvm_fixture check-log 1
  check "32-bit run extracts its included file and removes it at its end" jvm_fixture check-extraction
  check "32-bit search finds the registry runtime from the version cache and loads its jvm.dll" \
    jvm_fixture check-search
  check "32-bit run creates the VM and calls main with the launcher's arguments" jvm_fixture check-launch
  jvm_launch refuse "$jvm_work/refuse/app" SmokeRefuse.exe /run
  check "32-bit log of the refused run is well-formed" jvm_fixture check-log 2
  check "32-bit launcher refuses a 64-bit jvm.dll with message 1016 naming 32" jvm_fixture check-refusal
else
  echo "FAILED: could not lay out the JVM smoke fixture"
  failed=$((failed + 1))
fi
