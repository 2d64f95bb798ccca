#!/usr/bin/env bash
# The Wine tests of the real launcher under wine64, in the suite's own prefix.
set -euo pipefail
cd "$(dirname "$0")"
# The i386 emulation entry must be off while 64-bit prefixes are created, or Wine sets up
# their 32-bit half under emulation, which takes ten times as long. Only the 32-bit smoke
# stage switches it on, for its own duration.
entry=/proc/sys/fs/binfmt_misc/qemu-i386
if [ -w "$entry" ]; then echo 0 > "$entry" || true; fi
# Two workers, each with its own Wine prefix, when pytest-xdist is there. Whole files go to
# one worker, so a module-wide display or server setting is not disturbed by another file.
workers=()
/usr/bin/python3 -c 'import xdist' 2>/dev/null && workers=(-n "${WINE_TEST_WORKERS:-2}" --dist loadfile)
. ../../scripts/no-aslr.sh
no_aslr /usr/bin/python3 -m pytest -q -p no:cacheprovider "${workers[@]}" "$@" .
