#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for SECONDS (60 by default), starting from the
# seed corpora in fuzz/corpus/. Findings are written to build/fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
scripts/setup.sh clang libclang-rt-14-dev >/dev/null
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)" >/dev/null
mkdir -p build/fuzz/findings
status=0
for target in reg_import_fuzz port_settings_fuzz; do
  corpus=build/fuzz/corpus-${target%_fuzz}
  mkdir -p "$corpus"
  echo "== $target for $seconds s"
  if ! build/fuzz/$target "$corpus" "fuzz/corpus/${target%_fuzz}" -max_total_time="$seconds" \
       -artifact_prefix=build/fuzz/findings/$target- -print_final_stats=1 >build/fuzz/$target.log 2>&1; then
    status=1; echo "FINDING: see build/fuzz/$target.log"; tail -30 build/fuzz/$target.log
  fi
  grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' build/fuzz/$target.log || true
done
exit $status
