#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for SECONDS (60 by default), starting from the
# seed corpora in fuzz/corpus/. Findings are written to build/fuzz/findings/.
# usage: fuzz/run.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=${*:-reg_import_fuzz port_settings_fuzz name_rules_fuzz store_reads_fuzz setup_dialog_fuzz sibling_import_fuzz}
scripts/setup.sh clang libclang-rt-14-dev >/dev/null
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)" >/dev/null
mkdir -p build/fuzz/findings
status=0
for target in $targets; do
  corpus=build/fuzz/corpus-${target%_fuzz}
  mkdir -p "fuzz/corpus/${target%_fuzz}"
  mkdir -p "$corpus"
  echo "== $target for $seconds s"
  # the dialog targets run threads per input; their leaks are the test suite's to find
  leaks=1; case $target in setup_dialog_fuzz|sibling_import_fuzz) leaks=0;; esac
  if ! build/fuzz/$target "$corpus" "fuzz/corpus/${target%_fuzz}" -max_total_time="$seconds" -detect_leaks=$leaks \
       -artifact_prefix=build/fuzz/findings/$target- -print_final_stats=1 >build/fuzz/$target.log 2>&1; then
    status=1; echo "FINDING: see build/fuzz/$target.log"; tail -30 build/fuzz/$target.log
  fi
  grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' build/fuzz/$target.log || true
done
exit $status
