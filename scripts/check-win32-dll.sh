#!/usr/bin/env bash
# Builds QVLMRMON.DLL with the MinGW-w64 i686 cross-compiler and checks what a Windows 95
# user relies on: the two exports and their ordinals, the entry point, imports only from
# the allow-list, and the resources (compared with the host build's reading of the .rc,
# whose dump is the first argument). Exits 77 (skipped) when the cross-compiler is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v i686-w64-mingw32-g++ >/dev/null || ! command -v i686-w64-mingw32-objdump >/dev/null; then
  echo "SKIPPED: the MinGW-w64 i686 cross-compiler is not installed (scripts/setup.sh installs it)"
  exit 77
fi
cmake --preset win32 >/dev/null
build_log=$(cmake --build --preset win32 2>&1) || { echo "$build_log"; exit 1; }
if grep -qi 'warning' <<<"$build_log"; then echo "$build_log"; echo "FAIL: the win32 build has warnings"; exit 1; fi
dll=build/win32/QVLMRMON.DLL
dump=$(i686-w64-mingw32-objdump -p "$dll")
fail=0

exports=$(awk '/\[Ordinal\/Name Pointer\] Table/{on=1;next} on&&/^\s*$/{on=0} on{print $NF}' <<<"$dump" | tr '\n' ' ')
[ "$exports" = "DllEntryPoint InitializeMonitorEx " ] || { echo "FAIL: exports are '$exports'"; fail=1; }
grep -q 'Ordinal Base 1' <<<"$dump" || { echo "FAIL: ordinals do not start at 1"; fail=1; }
entry=$(awk '/AddressOfEntryPoint/{print $2}' <<<"$dump")
first=$(grep -oE '[0-9a-f]+ Export RVA' <<<"$dump" | head -1 | cut -d' ' -f1)
[ "$((16#$entry))" = "$((16#$first))" ] || { echo "FAIL: entry point $entry is not DllEntryPoint ($first)"; fail=1; }

imports=$(awk '/DLL Name:/{dll=$3} /vma:  Hint/{on=1;next} on&&NF==0{on=0} on&&NF>=3{print dll, $3}' <<<"$dump")
while read -r line; do
  [ -z "$line" ] && continue
  grep -qxF "$line" cmake/win32/allowed-imports.txt || { echo "FAIL: import not allowed: $line"; fail=1; }
done <<<"$imports"
echo "imports: $(wc -l <<<"$imports") functions from $(awk '{print $1}' <<<"$imports" | sort -u | tr '\n' ' ')"

# The dialogs and strings in the DLL, decompiled, must be what the host build read from the
# same .rc (its rcgen dump, given as the first argument).
expected=${1:-}
if [ -n "$expected" ]; then
  actual=$(i686-w64-mingw32-windres -i "$dll" -O rc | grep -E '^[0-9]+ DIALOGEX |^(STYLE|EXSTYLE|CAPTION|FONT) |^  CONTROL ' || true)
  actual+=$'\n'$(i686-w64-mingw32-windres -i "$dll" -O rc | grep -E '^  [0-9]+, "' || true)
  if diff <(cat "$expected") <(echo "$actual") >/tmp/qvlmr-rc-diff.$$; then
    echo "resources: $(grep -c DIALOGEX "$expected") dialog templates and $(grep -cE '^  [0-9]+, ' "$expected") strings as the host build reads them"
  else
    echo "FAIL: the DLL's resources differ from the .rc as the host build reads it:"; cat /tmp/qvlmr-rc-diff.$$; fail=1
  fi
  rm -f /tmp/qvlmr-rc-diff.$$
fi
version=$(i686-w64-mingw32-windres -i "$dll" -O rc | grep -c 'VALUE "ProductVersion", "2.037e' || true)
[ "$version" = 1 ] || { echo "FAIL: the version resource does not name 2.037e"; fail=1; }
[ $fail = 0 ] && echo "OK: $dll exports DllEntryPoint @1 and InitializeMonitorEx @2, imports only allowed functions"
exit $fail
