#!/usr/bin/env bash
# Prints a sample document through the monitor to an LPD printer that this script starts on
# 127.0.0.1, then shows what the printer received and that the bytes match.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

# Reserved local ports and port 515 need root; the demo runs in a network namespace of its
# own so it never meets another printer or lpd on this machine.
if [ -z "${QVLMR_DEMO_INSIDE:-}" ]; then
  scripts/setup.sh
  cmake --preset host-release >/dev/null
  cmake --build --preset host-release -j"$(nproc)" >/dev/null
  if [ "$(id -u)" = 0 ]; then ns=(unshare --net); else ns=(unshare --user --map-root-user --net); fi
  exec env QVLMR_DEMO_INSIDE=1 "${ns[@]}" bash "$0" "$@"
fi
ip link set lo up

bin="$root/build/host-release"
work=$(mktemp -d /tmp/qvlmr-demo-XXXXXX)
export QVLMR_HOME="$work/state"
mkdir -p "$work/received"

"$bin/qvlmr-printer" --lpd --port 515 --dir "$work/received" --count 1 &
printer=$!
trap 'kill $printer 2>/dev/null || true' EXIT

"$bin/qvlmr" install
"$bin/qvlmr" reg import - <<'REG'
REGEDIT4

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Print\Monitors\QV TCP/IP LMR Port\Ports]
"LPR1"="127.0.0.1"

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Print\Monitors\QV TCP/IP LMR Port\Ports\LPR1]
"PrtQName"="lp"
"Protocol"=dword:00000001
REG
"$bin/qvlmr" printer add Office --port LPR1
echo "== ports of the monitor"
"$bin/qvlmr" ports --level 2

doc="$work/sample.txt"
{ echo "QVLMRMON sample document"; date; seq 1 2000 | sed 's/^/line /'; } > "$doc"
echo "== printing $(wc -c < "$doc") bytes to printer Office (port LPR1, LPR with exact byte count)"
"$bin/qvlmr" print --printer Office --title "Sample document" "$doc"
wait "$printer" || true
trap - EXIT

echo "== the printer received, in $work/received:"
ls -l "$work/received"
echo "-- control file:"
cat "$work/received/job-1.cf"
sent=$(sha256sum < "$doc" | cut -d' ' -f1)
got=$(sha256sum < "$work/received/job-1.df" | cut -d' ' -f1)
echo "-- sha256 sent     $sent"
echo "-- sha256 received $got"
if [ "$sent" = "$got" ]; then echo "OK: every byte arrived"; else echo "MISMATCH" >&2; exit 1; fi
