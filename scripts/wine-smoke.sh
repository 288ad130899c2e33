#!/usr/bin/env bash
# The real QVLMRMON.DLL under Wine: installs what it needs (the system's apt sources stay
# as they are), builds the DLL, the harness QVSMOKE.EXE and the spooler stand-in
# (WINSPOOL.DRV, SPOOLSS.DLL, loaded in place of Wine's own), runs the harness in a fresh
# 32-bit prefix on a virtual display (jobs in all three modes to printers of its own on
# 127.0.0.1, the dialogs, the setup program), photographs the dialogs and help topics into
# build/screenshots/ and cleans up. Every check is one line. Exits 0 when all pass, 1 when
# one fails, 77 when this machine cannot run 32-bit Windows programs (not even through
# qemu) or is not root.
# Usage: scripts/wine-smoke.sh [--pictures]   (--pictures: copies them into docs/screenshots/)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
pictures=0
case "${1:-}" in
  --pictures) pictures=1 ;;
  "") ;;
  *) echo "usage: scripts/wine-smoke.sh [--pictures]" >&2; exit 2 ;;
esac
shots_dir=build/screenshots
say() { echo "wine-smoke: $*"; }
if [ "$(id -u)" != 0 ]; then say "SKIPPED: needs root (binfmt_misc, reserved local ports)"; exit 77; fi

work=$(mktemp -d /tmp/qvlmr-wine.XXXXXX)
export WINEPREFIX=$work/prefix WINEARCH=win32 WINEDEBUG=${QVLMR_WINEDEBUG:--all}
# Wine's spooler keeps no job status text and loads no monitor of this kind: the harness's
# folder holds the stand-in, taken instead of Wine's builtin.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winspool.drv,spoolss=n"
xvfb_pid=""
cleanup() {
  set +e
  wineserver -k >/dev/null 2>&1
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

say "installing the cross-compiler, Wine, Xvfb and ImageMagick"
scripts/setup.sh >/dev/null
dpkg --add-architecture i386
# the i386 security index is sometimes mid-sync on the mirror; bookworm itself is enough
apt-get update -qq >/dev/null 2>&1 || say "some package indexes could not be fetched; going on"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -t bookworm --no-install-recommends \
  wine wine32:i386 xvfb imagemagick fonts-wine >/dev/null

# 32-bit programs: natively, or through qemu-user from bookworm-backports, fetched with a
# private sources list and registered with binfmt_misc for this boot only.
probe=/usr/lib/wine/wine
if ! "$probe" --version >/dev/null 2>&1; then
  say "this kernel does not run 32-bit programs: fetching qemu-user from bookworm-backports"
  apt_private=(-o Dir::Etc::SourceList="$work/sources.list" -o Dir::Etc::SourceParts=- \
               -o Dir::State::Lists="$work/lists" -o Dir::Cache="$work/cache")
  mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/qemu"
  mirror=$(scripts/debian-mirror.sh) || mirror=""
  [ -n "$mirror" ] || { say "SKIPPED: no Debian bookworm source in this machine's apt configuration"; exit 77; }
  echo "deb $mirror bookworm-backports main" >"$work/sources.list"
  if ! apt-get "${apt_private[@]}" update -qq >/dev/null 2>&1 ||
     ! (cd "$work" && apt-get "${apt_private[@]}" download -qq qemu-user/bookworm-backports >/dev/null 2>&1); then
    say "SKIPPED: qemu-user could not be fetched; this machine cannot run 32-bit programs"; exit 77
  fi
  dpkg-deb -x "$work"/qemu-user_*.deb "$work/qemu"
  qemu=$(find "$work/qemu" -name 'qemu-i386' -type f | head -1)
  # The interpreter stays in the build folder: registered with F, the kernel opens it now.
  mkdir -p build/wine && cp "$qemu" build/wine/qvlmr-qemu-i386
  mountpoint -q /proc/sys/fs/binfmt_misc || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  [ -e /proc/sys/fs/binfmt_misc/qvlmr-i386 ] && echo -1 >/proc/sys/fs/binfmt_misc/qvlmr-i386
  printf '%s%s:F' ':qvlmr-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:' "$root/build/wine/qvlmr-qemu-i386" \
    >/proc/sys/fs/binfmt_misc/register
  if ! "$probe" --version >/dev/null 2>&1; then
    say "SKIPPED: 32-bit programs do not run here even through qemu"; exit 77
  fi
fi

say "building QVLMRMON.DLL and QVSMOKE.EXE"
cmake --preset win32 >/dev/null
cmake --build --preset win32 >/dev/null

say "starting a virtual display and a fresh 32-bit prefix"
Xvfb :77 -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=:77
mkdir -p "$WINEPREFIX"
wineserver -p 60
wineboot -i >"$work/wineboot.log" 2>&1
# Caption buttons are drawn with the Marlett font (fonts-wine); in the prefix's Fonts folder
# it is found by name, as on Windows, instead of a fallback that shows a close button as "r".
mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || say "no marlett.ttf in fonts-wine"
# The kit's two files beside the harness, as a user has them in a folder: QVSETUP.EXE puts
# the DLL into the SYSTEM folder and registers it (with the stand-in's AddMonitorA).
cp build/win32/QVLMRMON.DLL build/win32/QVLMRMON.HLP build/win32/QVSETUP.EXE "$work/"
cp build/win32/QVSMOKE.EXE build/win32/WINSPOOL.DRV build/win32/SPOOLSS.DLL "$work/"
# The spooler's API where Windows keeps it, for QVSETUP.EXE run from the kit's other folders.
cp build/win32/WINSPOOL.DRV build/win32/SPOOLSS.DLL "$WINEPREFIX/drive_c/windows/system32/"
# The prefix reports Windows 95 (or QVLMR_WINE_VERSION, such as win98), so that Wine's
# version-dependent answers are that system's.
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine]\n"Version"="%s"\n' "${QVLMR_WINE_VERSION:-win95}" >"$work/smoke.reg"
cat >>"$work/smoke.reg" <<'EOF'

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Decorated"="N"

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Print\Monitors\QV TCP/IP LMR Port\Config]
"SpoolDir"="C:\\qvspool\\"

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Print\Monitors\QV TCP/IP LMR Port\Ports]
"SMOKE"="127.0.0.1"
"LPRX"="192.0.2.10"
"DELME"="192.0.2.11"
"LPR1"="127.0.0.1"
"STREAM"="127.0.0.1"

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Print\Monitors\QV TCP/IP LMR Port\Ports\LPR1]
"PrtQName"="lp"
"Protocol"=dword:00000001

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Print\Monitors\QV TCP/IP LMR Port\Ports\STREAM]
"PrtQName"="lp"
"Protocol"=dword:00000002

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Print\Monitors\QV TCP/IP LMR Port\Ports\SMOKE]
"Protocol"=dword:00000003
"SvrPort"=dword:0000238d

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Print\Monitors\QV TCP/IP LMR Port\Ports\DELME]
"Protocol"=dword:00000001
EOF
wine regedit /S "$(winepath -w "$work/smoke.reg")" >"$work/regedit.log" 2>&1

say "running the harness"
mkdir -p "$work/sync" "$shots_dir"
wine "$work/QVSMOKE.EXE" "$(winepath -w "$work/sync")" \
  >"$work/harness.out" 2>"$work/harness.err" &
harness=$!
shots=0
for _ in $(seq 1 9000); do
  for ready in "$work"/sync/ready-*; do
    [ -e "$ready" ] || continue
    name=${ready##*/ready-}
    # the screen until the dialog is on it (a picture trimmed to one pixel is an empty screen)
    for _ in 1 2 3 4 5 6 7 8 9 10; do
      import -window root "$work/$name.png" && convert "$work/$name.png" -trim +repage "$shots_dir/$name.png" 2>/dev/null
      [ "$(identify -format '%w' "$shots_dir/$name.png")" -gt 1 ] && break
      sleep 0.5
    done
    rm -f "$ready"
    touch "$work/sync/shot-$name"
    shots=$((shots + 1))
  done
  kill -0 "$harness" 2>/dev/null || break
  sleep 0.1
done
status=0
wait "$harness" || status=$?
cat "$work/harness.out"
if [ "$status" != 0 ] || ! grep -q '^DONE: 0 check' "$work/harness.out"; then
  say "FAIL (harness exit $status)"; tail -60 "$work/harness.err"; exit 1
fi
[ $pictures = 1 ] && cp "$shots_dir"/*.png docs/screenshots/
say "OK: all checks passed; $shots pictures in $shots_dir/$([ $pictures = 1 ] && echo ', copied into docs/screenshots/')"
