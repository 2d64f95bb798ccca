#!/usr/bin/env bash
# Builds the Java-side runtime into OUT_DIR: the classes compiled for Java 8, packed twice
# with a module descriptor (compiled for Java 9, ignored by Java 8) naming the module that
# the launcher's module mode adds:
#   ravel-runtime.jar  module com.ravel.runtime
#   qwkruntime.jar     module com.quillwork.runtime (shipped as .quillwork\qwkruntime.jar)
set -euo pipefail

out=${1:?usage: build.sh OUT_DIR}
here=$(cd "$(dirname "$0")" && pwd)
jdk=${RAVEL_JDK:-/usr/lib/jvm/java-17-openjdk-amd64}
javac=$jdk/bin/javac
jar=$jdk/bin/jar
[ -x "$javac" ] || javac=$(command -v javac)
[ -x "$jar" ] || jar=$(command -v jar)

mkdir -p "$out"
work=$(mktemp -d "$out/.java-build.XXXXXX")
trap 'rm -rf "$work"' EXIT

mapfile -t sources < <(find "$here/src" -name '*.java' | sort)
"$javac" --release 8 -Xlint:all -Werror -encoding UTF-8 -d "$work/classes" "${sources[@]}"

pack() {
    local module=$1 archive=$2
    "$javac" --release 9 -Xlint:all -Werror -encoding UTF-8 -d "$work/$module" \
        "$here/modules/$module/module-info.java" "${sources[@]}"
    rm -f "$work/$archive"
    "$jar" --create --file "$work/$archive" -C "$work/classes" . -C "$work/$module" module-info.class
    mv -f "$work/$archive" "$out/$archive"
}
pack com.ravel.runtime ravel-runtime.jar
pack com.quillwork.runtime qwkruntime.jar
