#!/usr/bin/env bash
# The demo (see demo.py): packs demo/hello.toml onto the prebuilt 64-bit launcher and runs it
# under wine64, directly and as a service, then on the Linux JDK through the launcher's JNI code.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/no-aslr.sh"
no_aslr /usr/bin/python3 "$root/demo/demo.py" "$@"
