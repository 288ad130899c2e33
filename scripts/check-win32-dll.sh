#!/usr/bin/env bash
# Builds QVLMRMON.DLL with the MinGW-w64 i686 cross-compiler and checks what a Windows 95
# user relies on: the two exports and their ordinals, the entry point, imports only from
# the allow-list, and the resources. Exits 77 (skipped) when the cross-compiler is missing.
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

rsrc=$(i686-w64-mingw32-objdump -s -j .rsrc "$dll" | awk '/^ [0-9a-f]+ /{printf "%s", substr($0, 48, 16)}')
for text in "QV TCP/IP LMR Port" "QV TCP/IP LMR Monitor" "2.037e"; do
  # resources are UTF-16: look for the text with a zero after every character
  pattern=$(sed 's/./&./g' <<<"$text")
  grep -qF -- "$pattern" <<<"$rsrc" || { echo "FAIL: resource text '$text' not found"; fail=1; }
done
[ $fail = 0 ] && echo "OK: $dll exports DllEntryPoint @1 and InitializeMonitorEx @2, imports only allowed functions"
exit $fail
