#!/bin/sh
# check_image.sh <link map>
#
# Fails the build when the launcher's link pulled in one of the library pieces it is built to
# do without (see the compile options in windows.cmake): the C++ exception machinery and its
# name demangler, the thread library, the C library's formatted-output engine. Each is tens of
# kilobytes that every start maps, and each comes back silently through one innocent-looking
# call (std::to_wstring, snprintf, a library function that throws). The message names the
# launcher object whose reference brought it in, from the map's list of archive members.
set -eu
map=$1
unwanted='cp-demangle\.o|eh_personality\.o|eh_throw\.o|functexcept\.o|libwinpthread|mingw_pformat|mingw_v[a-z]*printf'
# In the map's list of archive members each entry starts at the beginning of a line with the
# member, followed (on the same line or an indented next one) by the file and the symbol that
# needed it.
found=$(awk '/^Archive member included/ { inside = 1; next }
             inside && /^[A-Z]/ { exit }
             inside && /^[^ \t]/ { if (entry != "") print entry; entry = $0; next }
             inside && NF { sub(/^[ \t]+/, " "); entry = entry $0 }
             END { if (entry != "") print entry }' "$map" | grep -E "^[^ ]*($unwanted)" || true)
if [ -n "$found" ]; then
    echo "launcher image: library code it is built without was linked in:" >&2
    printf '%s\n' "$found" | sed 's/^/  /' >&2
    echo "(std::to_wstring: use decimalText from core/text_helpers.h; printf-style calls: the" >&2
    echo " launcher's own text_format.h; a throwing library function: core/cxx_runtime_win.cpp)" >&2
    exit 1
fi
