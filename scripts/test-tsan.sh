#!/usr/bin/env bash
# The threaded tests (stress, setup dialog, sibling import) under ThreadSanitizer.
# QVLMR_STRESS_JOBS sets the stress test's jobs per port (4 here unless given).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset host-tsan
cmake --build --preset host-tsan -j"$(nproc)"
QVLMR_STRESS_JOBS=${QVLMR_STRESS_JOBS:-4} ctest --preset host-tsan
