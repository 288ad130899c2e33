#!/usr/bin/env bash
# Installs what the host build and its tests need on Debian 12 (run as root, or with sudo).
set -euo pipefail
packages=(build-essential cmake pkg-config libsqlite3-dev nettle-dev libgtest-dev libgmock-dev googletest iproute2
          g++-mingw-w64-i686 binutils-mingw-w64-i686 mtools genisoimage unzip "$@")
sudo=""
if [ "$(id -u)" != 0 ]; then
  if command -v sudo >/dev/null; then sudo="sudo"; else
    missing=$(dpkg-query -W -f='${Package} ${Status}\n' "${packages[@]}" 2>/dev/null | grep -vc 'install ok installed' || true)
    if [ "$missing" = 0 ]; then exit 0; fi
    echo "setup: not root and no sudo; install as root: apt-get install ${packages[*]}" >&2
    exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
installed=$(dpkg-query -W -f='${Package} ${Status}\n' "${packages[@]}" 2>/dev/null | grep -c 'install ok installed' || true)
if [ "$installed" = "${#packages[@]}" ]; then exit 0; fi  # all there already
# an index of another architecture may be mid-sync on the mirror: not a reason to stop
$sudo apt-get update -qq || echo "setup: some package indexes could not be fetched; going on" >&2
$sudo apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
