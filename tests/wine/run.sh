#!/usr/bin/env bash
# The Wine tests of the real launcher under wine64, in the suite's own prefix.
set -euo pipefail
cd "$(dirname "$0")"
exec /usr/bin/python3 -m pytest -q -p no:cacheprovider "$@" .
