#!/usr/bin/env bash
# Builds QVLMRMON.DLL with the MinGW-w64 i686 cross-compiler and checks what a Windows 95
# user relies on: the two exports and their ordinals, the entry point, imports of the DLL and
# of QVSETUP.EXE only from their allow-lists of Windows 95 exports, and the resources (compared with the host build's reading of the .rc,
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

# Imports: each image may import only what its list names, every one a Windows 95 export.
imports_of() {  # image: "DLL function" a line
  i686-w64-mingw32-objdump -p "$1" | awk '/DLL Name:/{dll=$3} /vma:  Hint/{on=1;next} on&&NF==0{on=0} on&&NF>=3{print dll, $3}'
}
imports_outside() {  # image list: each import the list does not name
  local line
  while read -r line; do
    [ -z "$line" ] && continue
    grep -qxF "$line" "$2" || echo "$line"
  done <<<"$(imports_of "$1")"
}
# The rule is seen to work first: a program that calls GetDiskFreeSpaceExA, which came with
# Windows 95 OSR2, must be caught against the setup program's list.
probe_dir=$(mktemp -d)
printf '#include <windows.h>\nint WINAPI WinMain(HINSTANCE a, HINSTANCE b, LPSTR c, int d) {\n  ULARGE_INTEGER f;\n  return GetDiskFreeSpaceExA("C:\\\\", &f, 0, 0);\n}\n' >"$probe_dir/later.c"
i686-w64-mingw32-gcc -O2 -mwindows "$probe_dir/later.c" -o "$probe_dir/later.exe"
grep -qxF "KERNEL32.dll GetDiskFreeSpaceExA" <<<"$(imports_outside "$probe_dir/later.exe" cmake/win32/setup-allowed-imports.txt)" ||
  { echo "FAIL: the import check does not catch a call that Windows 95 lacks"; fail=1; }
rm -rf "$probe_dir"
for pair in "$dll cmake/win32/allowed-imports.txt" "build/win32/QVSETUP.EXE cmake/win32/setup-allowed-imports.txt"; do
  read -r image list <<<"$pair"
  outside=$(imports_outside "$image" "$list")
  [ -z "$outside" ] || { echo "FAIL: $image imports what $list does not allow:"; echo "$outside"; fail=1; }
  imports=$(imports_of "$image")
  echo "imports of $image: $(wc -l <<<"$imports") functions from $(awk '{print $1}' <<<"$imports" | sort -u | tr '\n' ' ')"
done

# The dialogs and strings the DLL carries (the host build links the same windres output).
rc=$(i686-w64-mingw32-windres -i "$dll" -O rc)
dialogs=$(grep -cE '^[0-9]+ DIALOGEX ' <<<"$rc" || true); strings=$(grep -cE '^  [0-9]+, "' <<<"$rc" || true)
[ "$dialogs" = 3 ] && [ "$strings" = 7 ] || { echo "FAIL: the DLL carries $dialogs dialog templates and $strings strings, not 3 and 7"; fail=1; }
echo "resources: $dialogs dialog templates and $strings strings"
expected=$(sed -n 's/^#define QVLMR_VERSION_TEXT "\(.*\)"$/\1/p' src/ui/version.h)
for image in "$dll" build/win32/QVSETUP.EXE; do
  version=$(i686-w64-mingw32-windres -i "$image" -O rc | grep -c "VALUE \"ProductVersion\", \"$expected" || true)
  [ -n "$expected" ] && [ "$version" = 1 ] || { echo "FAIL: $image's version resource does not name ${expected:-the version of src/ui/version.h}"; fail=1; }
done

# Stack frames: Windows 95/98/Me (and NT) commit a thread's stack a page at a time behind one
# guard page, so a function that moves the stack pointer down a page or more at once must
# probe it (the compiler's call to ___chkstk_ms, then "sub %eax,%esp"); an immediate of
# 4096 or more subtracted from %esp means no probe and an access violation in the spooler.
unprobed_frames() {  # file: prints each instruction that drops %esp 4096 bytes or more at once
  local line hex n
  i686-w64-mingw32-objdump -d "$1" | grep -E $'\t(sub +\\$0x[0-9a-f]+|add +\\$0xf[0-9a-f]{7}),%esp' |
    while read -r line; do
      hex=$(grep -oE '\$0x[0-9a-f]+' <<<"$line"); n=$((16#${hex#\$0x}))
      [[ $line == *add* ]] && n=$((4294967296 - n))
      [ "$n" -lt 4096 ] || echo "$line"
    done
}
# The rule is seen to work first: a two-page frame built without a probe must be caught,
# and the same frame built with one must not.
probe_dir=$(mktemp -d)
printf 'void fill(char *);\nvoid big(void) { char b[8192]; fill(b); }\n' >"$probe_dir/big.c"
i686-w64-mingw32-gcc -O2 -c -mno-stack-arg-probe "$probe_dir/big.c" -o "$probe_dir/unprobed.o"
i686-w64-mingw32-gcc -O2 -c "$probe_dir/big.c" -o "$probe_dir/probed.o"
if [ -z "$(unprobed_frames "$probe_dir/unprobed.o")" ] || [ -n "$(unprobed_frames "$probe_dir/probed.o")" ]; then
  echo "FAIL: the stack-frame rule does not tell a probed two-page frame from an unprobed one"; fail=1
fi
rm -rf "$probe_dir"
setup=build/win32/QVSETUP.EXE
for image in "$dll" "$setup"; do
  frames=$(unprobed_frames "$image")
  [ -z "$frames" ] || { echo "FAIL: $image drops the stack a page or more without a probe:"; echo "$frames"; fail=1; }
  head=$(i686-w64-mingw32-objdump -p "$image")
  field() { awk -v k="$1" '$1 == k {print $2}' <<<"$head"; }
  # The Windows 95 loader refuses an image that asks for a later Windows or subsystem.
  [ "$(field MajorOSystemVersion).$(field MinorOSystemVersion)" = 4.0 ] || { echo "FAIL: $image OS version"; fail=1; }
  [ "$(field MajorSubsystemVersion).$(field MinorSubsystemVersion)" = 4.0 ] || { echo "FAIL: $image subsystem version"; fail=1; }
  # Windows 9x maps sections by pages and reads them from the file at sector offsets.
  [ "$((16#$(field SectionAlignment)))" = 4096 ] || { echo "FAIL: $image section alignment"; fail=1; }
  [ "$((16#$(field FileAlignment)))" -ge 512 ] || { echo "FAIL: $image file alignment below 512"; fail=1; }
  # Windows 9x has no static TLS for a loaded DLL, and no delay-load helper of its own.
  grep -qE 'Entry 9 0+ 0+ ' <<<"$head" || { echo "FAIL: $image has a TLS directory"; fail=1; }
  grep -qE 'Entry d 0+ 0+ ' <<<"$head" || { echo "FAIL: $image has delay-load imports"; fail=1; }
done
# A DLL shares the spooler's address space and is moved when its base is taken: it needs relocations.
grep -qE 'Entry 5 [0-9a-f]+ 0*[1-9a-f][0-9a-f]* Base Relocation' <<<"$dump" || { echo "FAIL: $dll has no relocations"; fail=1; }

# The user's kit: the ZIP, a 1.44 MB floppy image and a CD image, each holding the same files
# under 8.3 names, the texts in CRLF lines of at most 79 columns of plain ASCII.
kit_log=$(cmake --build --preset win32 --target package 2>&1) || { echo "$kit_log"; echo "FAIL: the package target"; fail=1; }
kit=$(mktemp -d)
names="QVLMRMON.DLL QVLMRMON.HLP QVSETUP.EXE README.TXT SAMPLE.TXT TRACEOFF.REG TRACEON.REG"
mkdir -p "$kit/zip" "$kit/floppy" "$kit/cd"
unzip -q -o build/win32/QVLMRMON-*-win32.zip -d "$kit/zip" || fail=1
[ "$(stat -c %s build/win32/QVLMRMON.IMG 2>/dev/null)" = 1474560 ] || { echo "FAIL: the floppy image is not 1,474,560 bytes"; fail=1; }
for name in $names; do
  mcopy -n -i build/win32/QVLMRMON.IMG "::$name" "$kit/floppy/$name" 2>/dev/null
  isoinfo -i build/win32/QVLMRMON.ISO -x "/$name;1" >"$kit/cd/$name" 2>/dev/null
  for copy in zip floppy cd; do
    cmp -s "$kit/zip/$name" "$kit/$copy/$name" || { echo "FAIL: $name on the $copy image differs from the ZIP's"; fail=1; }
  done
done
[ "$(cd "$kit/zip" && ls | sort | tr '\n' ' ')" = "$names " ] || { echo "FAIL: the ZIP holds $(ls "$kit/zip")"; fail=1; }
# WinHelp reads a file that starts with its signature
[ "$(head -c 4 "$kit/zip/QVLMRMON.HLP" | od -An -tx1 | tr -d ' \n')" = 3f5f0300 ] || { echo "FAIL: QVLMRMON.HLP is no WinHelp file"; fail=1; }
cmp -s "$kit/zip/QVLMRMON.DLL" "$dll" || { echo "FAIL: the kit's DLL is not the one built"; fail=1; }
for text in README.TXT SAMPLE.TXT TRACEON.REG TRACEOFF.REG; do
  [ "$(grep -c $'\r$' "$kit/zip/$text")" = "$(wc -l <"$kit/zip/$text")" ] || { echo "FAIL: $text has lines without CR LF"; fail=1; }
done
LC_ALL=C grep -q $'[^\t\r -~]' "$kit/zip/README.TXT" && { echo "FAIL: README.TXT is not plain ASCII"; fail=1; }
long=$(tr -d '\r' <"$kit/zip/README.TXT" | awk 'length > 79 {print NR}' | head -3)
[ -z "$long" ] || { echo "FAIL: README.TXT lines over 79 columns: $long"; fail=1; }
rm -rf "$kit"
[ $fail = 0 ] && echo "kit: the ZIP, QVLMRMON.IMG (1,474,560 bytes, FAT12) and QVLMRMON.ISO hold $names alike"

[ $fail = 0 ] && echo "OK: $dll exports DllEntryPoint @1 and InitializeMonitorEx @2, both images import only allowed functions, probe their stacks and suit the Windows 95 loader"
exit $fail
