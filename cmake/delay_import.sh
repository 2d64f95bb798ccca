#!/bin/sh
# delay_import.sh <nm> <dlltool> <import library> <DLL name> <output library>
#
# Makes a delay-load import library from the toolchain's ordinary import library of a
# system DLL: every function the ordinary library names is named again, but a program
# linked against the new library loads the DLL on the first call of one of them instead of
# at process start. On 32-bit x86 the functions are __stdcall, named "_Name@N" in the
# program and "Name" in the DLL; dlltool's --kill-at makes that translation.
set -eu
nm=$1 dlltool=$2 import_lib=$3 dll=$4 output=$5
def="$output.def"
case $("$nm" "$import_lib" | grep -m1 ' I __imp_') in
  *' I __imp__'*@*) prefix='__imp__' kill_at=--kill-at ;;
  *) prefix='__imp_' kill_at= ;;
esac
{
  echo "LIBRARY $dll"
  echo "EXPORTS"
  "$nm" "$import_lib" | awk -v p="$prefix" '$2 == "I" && index($3, p) == 1 { print substr($3, length(p) + 1) }' | sort -u
} > "$def"
# An import library without a single function would link silently and then fail at run time.
[ "$(wc -l < "$def")" -gt 2 ] || { echo "no functions found in $import_lib" >&2; exit 1; }
"$dlltool" $kill_at --input-def "$def" --dllname "$dll" --output-delaylib "$output"
