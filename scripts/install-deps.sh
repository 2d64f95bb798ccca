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
  libtomlplusplus-dev openjdk-17-jdk-headless
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

if [ "${#missing[@]}" -gt 0 ] || [ "$need_i386" = 1 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
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
echo "dependencies ready"
