#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the demo need. Safe to run again:
# it only calls apt-get when something is missing, and only registers the i386 emulation
# entry when it is not there yet.
set -euo pipefail

packages=(
  cmake ninja-build make g++ clang libclang-rt-14-dev googletest libgtest-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine64 wine32:i386 qemu-user
  python3 python3-pytest python3-pytest-xdist
  xvfb xdotool imagemagick xauth
  libtomlplusplus-dev openjdk-17-jdk-headless curl
  osslsigncode python3-pefile openssl
)

need_i386=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need_i386=1
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

# Packages that could not be installed are listed here, one a line, so that the test stage
# that needs one can name it instead of failing obscurely. The file is rewritten every run.
state_dir=${BUILD_DIR:-build}
mkdir -p "$state_dir"
unavailable="$state_dir/unavailable-packages"
: > "$unavailable"

# A mirror in the middle of a sync serves an index whose size does not match its Release
# file; apt-get update then exits non-zero although every other index is fine. Try a few
# times with a pause, then go on with what was fetched.
update_indexes() {
  local attempt
  for attempt in 1 2 3; do
    if apt-get update -qq; then return 0; fi
    echo "note: package index update failed (attempt $attempt of 3)" >&2
    [ "$attempt" = 3 ] || sleep 10
  done
  echo "note: going on with the indexes that could be fetched" >&2
}

if [ "${#missing[@]}" -gt 0 ] || [ "$need_i386" = 1 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  update_indexes
  if ! apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; then
    # One package that cannot be installed (a lagging architecture's libraries, say) must not
    # keep the rest from being installed: retry them one by one.
    for p in "${missing[@]}"; do
      [ "$p" = wine32:i386 ] && continue
      apt-get install -y -qq --no-install-recommends "$p" >/dev/null 2>&1 ||
        { echo "$p" >> "$unavailable"; echo "WARNING: could not install $p" >&2; }
    done
    # The 32-bit Wine last: when only the i386 index lags, its libraries can still be matched.
    if printf '%s\n' "${missing[@]}" | grep -qx 'wine32:i386'; then
      apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null 2>&1 ||
        bash "$(dirname "$0")/install-wine32-fallback.sh" ||
        { echo wine32:i386 >> "$unavailable"; echo "WARNING: could not install wine32:i386" >&2; }
    fi
  fi
fi

# The 32-bit Wine loader is an i386 Linux binary, which this kernel only runs through qemu.
# The entry is registered disabled; the 32-bit smoke stage enables it only while it runs, so
# that 64-bit prefixes are not set up under emulation.
if [ -d /proc/sys/fs/binfmt_misc ] && [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
  [ -e /proc/sys/fs/binfmt_misc/register ] || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null || true
  if [ -e /proc/sys/fs/binfmt_misc/register ]; then
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' \
      > /proc/sys/fs/binfmt_misc/register || true
    [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && echo 0 > /proc/sys/fs/binfmt_misc/qemu-i386 || true
  fi
fi
# An entry left enabled by an interrupted 32-bit run is switched off again.
if [ -w /proc/sys/fs/binfmt_misc/qemu-i386 ]; then echo 0 > /proc/sys/fs/binfmt_misc/qemu-i386 || true; fi
if [ -s "$unavailable" ]; then
  echo "dependencies ready, except: $(tr '\n' ' ' < "$unavailable")(the stages that need them will fail)"
else
  echo "dependencies ready"
fi
