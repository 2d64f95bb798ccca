#!/usr/bin/env bash
# Installs wine32:i386 when apt's own resolution fails because the i386 package index lags the
# amd64 one (a mirror in the middle of a sync: the i386 security index does not download, so
# the 32-bit twins of libraries the machine already has at a security version are unknown).
# A library that exists for both architectures must be installed at the same version for
# both, so for every such library wine32 needs, this picks the version both can have:
#   - the amd64 version installed, when the i386 index has it;
#   - else that exact version fetched from the archive's pool (security, then main), where the
#     package still is although the lagging index does not list it;
#   - else the i386 candidate, with the amd64 package moved to that same version.
# Exits non-zero when no consistent set exists; the caller then reports wine32 as missing.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
mirror=${DEBIAN_MIRROR:-http://deb.debian.org}
work=${1:-/var/cache/ravel-wine32}
mkdir -p "$work"
cd "$work"

has_version() {  # has_version <package:arch> <version>: whether an index lists that version
  apt-cache madison "$1" 2>/dev/null | awk -F'|' '{gsub(/ /, "", $2); print $2}' | grep -qxF "$2"
}

fetch_from_pool() {  # fetch_from_pool <package> <version> <source>: prints the file, or nothing
  local package=$1 version=${2#*:} source=$3 prefix
  case $source in lib*) prefix=${source:0:4} ;; *) prefix=${source:0:1} ;; esac
  local file="${package}_${version}_i386.deb"
  [ -s "$file" ] && { echo "$work/$file"; return; }
  for base in "$mirror/debian-security/pool/updates/main" "$mirror/debian/pool/main"; do
    if curl -fsS -o "$file.part" "$base/$prefix/$source/$file" 2>/dev/null; then
      mv "$file.part" "$file"
      echo "$work/$file"
      return
    fi
  done
  rm -f "$file.part"
}

requests=()
while read -r wanted; do
  package=${wanted%:i386}
  installed=$(dpkg-query -W -f='${Version}' "$package:amd64" 2>/dev/null || true)
  [ -n "$installed" ] || continue
  [ "$(dpkg-query -W -f='${Multi-Arch}' "$package:amd64")" = same ] || continue
  if has_version "$package:i386" "$installed"; then
    requests+=("$package:i386=$installed")
    continue
  fi
  source=$(dpkg-query -W -f='${source:Package}' "$package:amd64")
  file=$(fetch_from_pool "$package" "$installed" "$source")
  if [ -n "$file" ]; then
    requests+=("$file")
    continue
  fi
  candidate=$(apt-cache policy "$package:i386" | awk '/Candidate:/ { print $2 }')
  if [ -n "$candidate" ] && [ "$candidate" != "(none)" ] && has_version "$package:amd64" "$candidate"; then
    requests+=("$package:amd64=$candidate" "$package:i386=$candidate")
  else
    echo "wine32 fallback: no version of $package exists for both architectures" >&2
    exit 1
  fi
done < <(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
           --no-replaces --no-enhances wine32:i386 2>/dev/null | grep -E '^[a-z0-9]' | grep ':i386$' | sort -u)

echo "wine32 fallback: installing wine32:i386 with ${#requests[@]} libraries at matching versions"
apt-get install -y -qq --no-install-recommends "${requests[@]}" wine32:i386 >/dev/null
