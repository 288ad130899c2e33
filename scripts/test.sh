#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine and passes the test suite (sanitizer build).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset host
cmake --build --preset host -j"$(nproc)"
ctest --preset host -j"$(nproc)"
