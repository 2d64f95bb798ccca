#!/usr/bin/env bash
# Builds what the Java-side checks need (the runtime jars and the native host of the
# launcher's JNI code, in the native build directory) and runs them: the runtime under the
# `java` command and the launcher's JNI sequence on the real JVM.
#   BUILD_DIR   build directory (default: build), as for the Makefile
# Extra arguments go to pytest.
set -euo pipefail

repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$repo/build}
native=$build/native

if [ ! -f "$native/build.ninja" ]; then
    cmake -S "$repo" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
fi
ninja -C "$native" runtime_jars real_jvm_host

cd "$repo/tests/java"
BUILD_DIR=$build RUNTIME_JAR_DIR=$native/java REAL_JVM_HOST=$native/real_jvm_host \
    /usr/bin/python3 -m pytest -q -p no:cacheprovider "$@"
