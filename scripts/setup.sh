#!/usr/bin/env bash
# Installs what the host build and its tests need on Debian 12 (run as root, or with sudo).
set -euo pipefail
packages=(build-essential cmake pkg-config libsqlite3-dev libgtest-dev googletest iproute2
          g++-mingw-w64-i686 binutils-mingw-w64-i686 "$@")
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
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
