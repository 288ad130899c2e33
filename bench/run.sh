#!/usr/bin/env bash
# Delivery benchmarks: qvlmr print in modes 1, 2 and 3 beside a plain socket copy and the
# CUPS lpd and socket backends, all into one loopback sink that verifies every byte.
# Usage: bench/run.sh [--quick] [--write]   (--write puts the table into docs/benchmarks.md)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
quick=0; write=0
for a in "$@"; do case $a in --quick) quick=1 ;; --write) write=1 ;; *) echo "usage: bench/run.sh [--quick] [--write]" >&2; exit 2 ;; esac; done

if [ -z "${QVLMR_BENCH_INSIDE:-}" ]; then
  [ "$(id -u)" = 0 ] || { echo "bench/run.sh: needs root (reserved ports, port 515)" >&2; exit 1; }
  scripts/setup.sh cups-daemon cups-client socat time bc >/dev/null
  cmake --preset host-release >/dev/null && cmake --build --preset host-release -j"$(nproc)" >/dev/null
  exec env QVLMR_BENCH_INSIDE=1 unshare --net bash "$0" "$@"
fi
ip link set lo up
bin="$root/build/host-release"
work=$(mktemp -d /tmp/qvlmr-bench-XXXXXX)
export QVLMR_HOME="$work/state"
runs=5; sizes=(1 64 1024); rate_jobs=200
[ $quick = 1 ] && { runs=3; sizes=(1 64); rate_jobs=20; }
lpdbe=/usr/lib/cups/backend/lpd; sockbe=/usr/lib/cups/backend/socket

sinks=()
start_sinks() {  # [rate]
  local extra=(); [ -n "${1:-}" ] && extra=(--rate "$1")
  "$bin/qvlmr-sink" --lpd "${extra[@]}" >>"$work/sink.log" & sinks+=($!)
  "$bin/qvlmr-sink" --raw 9100 "${extra[@]}" >>"$work/sink.log" & sinks+=($!)
  sleep 0.3
}
stop_sinks() { kill "${sinks[@]}" 2>/dev/null || true; wait "${sinks[@]}" 2>/dev/null || true; sinks=(); }
trap stop_sinks EXIT

"$bin/qvlmr" install >/dev/null
{
  echo REGEDIT4; echo
  echo '[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Print\Monitors\QV TCP/IP LMR Port\Ports]'
  for p in M1 M2 M3 R1 R2 R3 R4; do echo "\"$p\"=\"127.0.0.1\""; done
  for p in M1:1 M2:2 M3:3 R1:1 R2:1 R3:1 R4:1; do
    echo "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\QV TCP/IP LMR Port\\Ports\\${p%%:*}]"
    echo "\"PrtQName\"=\"q\""; echo "\"Protocol\"=dword:0000000${p##*:}"
  done
} | "$bin/qvlmr" reg import -
for p in M1 M2 M3 R1 R2 R3 R4; do "$bin/qvlmr" printer add "P$p" --port "$p"; done

# One measured run: the command's wall, user+system CPU and peak RSS from wait4(), and the
# sink's verdict on the bytes.
results="$work/results.txt"
measure() {  # label doc command...
  local label=$1 doc=$2; shift 2
  local before; before=$(wc -l <"$work/sink.log")
  /usr/bin/time -f "%e %U %S %M" -o "$work/time.txt" "$@" >/dev/null 2>"$work/cmd.err" || {
    echo "FAILED: $label: $(tail -2 "$work/cmd.err")" >&2; echo "$label" >>"$work/failures.txt"; return 1; }
  local want; want="$(stat -c %s "$doc") $(cut -d' ' -f1 "$doc.sha")"
  local line=""
  for _ in $(seq 600); do line=$(tail -n +"$((before + 1))" "$work/sink.log" | head -1); [ -n "$line" ] && break; sleep 0.05; done
  if [ "${line#* }" != "$want" ]; then
    echo "FAILED: $label: sink saw '${line#* }', expected '$want'" >&2
    echo "$label" >>"$work/failures.txt"
    return 1
  fi
  read -r wall user sys rss <"$work/time.txt"
  echo "$label $wall $(echo "$user + $sys" | bc) $rss" >>"$results"
}

median() { sort -n | awk '{a[NR]=$1} END{if (NR%2) print a[(NR+1)/2]; else printf "%.3f\n", (a[NR/2]+a[NR/2+1])/2}'; }
spread() { sort -n | awk 'NR==1{lo=$1} {hi=$1} END{printf "%s–%s", lo, hi}'; }

start_sinks
table="$work/table.md"
echo "| document | client | MiB/s (median) | wall s median (min–max) | CPU s | peak RSS MiB |" >"$table"
echo "|---|---|---|---|---|---|" >>"$table"
for mib in "${sizes[@]}"; do
  doc="$work/doc-$mib.bin"
  head -c "$((mib * 1048576))" /dev/urandom >"$doc"; sha256sum "$doc" >"$doc.sha"
  for r in $(seq "$runs"); do
    measure "$mib qvlmr-mode1" "$doc" "$bin/qvlmr" print --printer PM1 "$doc" || true
    measure "$mib qvlmr-mode2" "$doc" "$bin/qvlmr" print --printer PM2 "$doc" || true
    measure "$mib qvlmr-mode3" "$doc" "$bin/qvlmr" print --printer PM3 "$doc" || true
    measure "$mib plain-socat" "$doc" socat -u "FILE:$doc" TCP:127.0.0.1:9100 || true
    [ -x $lpdbe ] && measure "$mib cups-lpd-backend" "$doc" env DEVICE_URI=lpd://127.0.0.1/q $lpdbe 1 root bench 1 "" "$doc" || true
    [ -x $sockbe ] && measure "$mib cups-socket-backend" "$doc" env DEVICE_URI=socket://127.0.0.1:9100 $sockbe 1 root bench 1 "" "$doc" || true
  done
  for client in qvlmr-mode1 qvlmr-mode2 qvlmr-mode3 plain-socat cups-lpd-backend cups-socket-backend; do
    grep -q "^$mib $client " "$results" || continue
    w=$(grep "^$mib $client " "$results" | cut -d' ' -f3 | median)
    ws=$(grep "^$mib $client " "$results" | cut -d' ' -f3 | spread)
    c=$(grep "^$mib $client " "$results" | cut -d' ' -f4 | median)
    m=$(grep "^$mib $client " "$results" | cut -d' ' -f5 | median)
    bad=$(grep -c "^$mib $client\$" "$work/failures.txt" 2>/dev/null || true)
    [ "${bad:-0}" != 0 ] && client="$client ($bad run(s) failed verification)"
    printf "| %s MiB | %s | %.1f | %s (%s) | %s | %.1f |\n" "$mib" "$client" "$(echo "$mib / $w" | bc -l)" "$w" "$ws" "$c" "$(echo "$m / 1024" | bc -l)" >>"$table"
  done
  rm -f "$doc"
done

# A slow printer: 16 MiB read at 1 MiB/s; what the monitor spends meanwhile.
stop_sinks; start_sinks 1048576
doc="$work/slow.bin"; head -c $((16 * 1048576)) /dev/urandom >"$doc"; sha256sum "$doc" >"$doc.sha"
slow="$work/slow.md"
echo "| slow printer (16 MiB at 1 MiB/s) | wall s | CPU s (user+system) |" >"$slow"; echo "|---|---|---|" >>"$slow"
for mode in 1 3; do
  measure "slow qvlmr-mode$mode" "$doc" "$bin/qvlmr" print --printer "PM$mode" "$doc" || true
  read -r _ _ wall cpu _ < <(grep "^slow qvlmr-mode$mode " "$results" | tail -1)
  echo "| qvlmr mode $mode | $wall | $cpu |" >>"$slow"
done
stop_sinks; start_sinks

# Job rate: small documents in a row on one port, and on four ports at once.
small="$work/small.bin"; head -c 4096 /dev/urandom >"$small"
rate="$work/rate.md"
echo "| job rate (4 KiB documents, mode 1) | jobs | wall s | jobs/s | local ports used | gaps in the ports used |" >"$rate"
echo "|---|---|---|---|---|---|" >>"$rate"
for ports in 1 4; do
  before=$(wc -l <"$work/sink.log")
  per=$((rate_jobs / ports))
  names=PR1; [ "$ports" = 4 ] && names=PR1,PR2,PR3,PR4
  # One spooler process, one thread per port, each port's jobs in a row.
  /usr/bin/time -f "%e" -o "$work/rate-time.txt" "$bin/qvlmr" print --printer "$names" --repeat "$per" "$small" >/dev/null 2>&1 || echo "FAILED: job rate on $ports port(s)" >&2
  wall=$(cat "$work/rate-time.txt")
  sleep 0.5
  srcs=$(tail -n +"$((before + 1))" "$work/sink.log" | cut -d' ' -f1)
  n=$(wc -l <<<"$srcs"); used=$(sort -u <<<"$srcs" | wc -l)
  # Ports are taken one below the last; a port skipped over cost a one-second pause.
  lo=$(sort -n <<<"$srcs" | head -1); hi=$(sort -n <<<"$srcs" | tail -1)
  skipped=$(( hi - lo + 1 - used )); [ $skipped -lt 0 ] && skipped=0
  printf "| %d port(s) | %d | %.1f | %.2f | %d (%d–%d) | %d |\n" "$ports" "$n" "$wall" "$(echo "$n / $wall" | bc -l)" "$used" "$lo" "$hi" "$skipped" >>"$rate"
done
stop_sinks

{
  echo "Machine: $(nproc) cores, $(awk '/MemTotal/{printf "%.0f GiB", $2/1048576}' /proc/meminfo), $(uname -sr); $(date -u +%Y-%m-%d)"
  echo "Command: bench/run.sh$([ $quick = 1 ] && echo ' --quick') ($runs runs per case; every run's bytes verified by SHA-256 at the sink)"
  echo
  cat "$table"; echo; cat "$slow"; echo; cat "$rate"
} | tee "$work/report.md"
if [ $write = 1 ]; then cp "$work/report.md" "$root/docs/benchmarks-last-run.md"; echo "written to docs/benchmarks-last-run.md"; fi
