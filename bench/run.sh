#!/usr/bin/env bash
# Delivery benchmarks: qvlmr print in modes 1, 2 and 3 beside a plain socket copy and the
# CUPS lpd and socket backends, all into one loopback sink that verifies every byte.
# Usage: bench/run.sh [--quick] [--write] [--baseline REV]
#   --write         puts the report into docs/benchmarks-last-run.md
#   --baseline REV  also measures the monitor as built from REV (a git revision), side by side
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
quick=0; write=0; baseline=""
args=("$@")
while [ $# -gt 0 ]; do
  case $1 in
    --quick) quick=1 ;;
    --write) write=1 ;;
    --baseline) [ $# -ge 2 ] || { echo "bench/run.sh: --baseline needs a revision" >&2; exit 2; }; baseline=$2; shift ;;
    *) echo "usage: bench/run.sh [--quick] [--write] [--baseline REV]" >&2; exit 2 ;;
  esac
  shift
done

if [ -z "${QVLMR_BENCH_INSIDE:-}" ]; then
  [ "$(id -u)" = 0 ] || { echo "bench/run.sh: needs root (reserved ports, port 515)" >&2; exit 1; }
  scripts/setup.sh cups socat time bc >/dev/null
  cmake --preset host-release >/dev/null && cmake --build --preset host-release -j"$(nproc)" >/dev/null
  if [ -n "$baseline" ]; then
    # The same benchmark tools, the monitor and its spooler as they were at REV.
    tree="$root/build/baseline-src"
    rm -rf "$tree"; git worktree prune
    git worktree add -f --detach "$tree" "$baseline" >/dev/null 2>&1
    cmake -S "$tree" -B "$root/build/baseline" -DCMAKE_BUILD_TYPE=Release -DQVLMR_SANITIZE=OFF -DQVLMR_TESTS=OFF >/dev/null
    cmake --build "$root/build/baseline" -j"$(nproc)" --target qvlmr qvlmrmon >/dev/null
    git worktree remove --force "$tree"
  fi
  exec env QVLMR_BENCH_INSIDE=1 unshare --net bash "$0" "${args[@]}"
fi
# An Ethernet's MTU, as a printer is reached over a LAN: with loopback's 64 KiB segments a
# sender's 8 KiB buffer (Winsock's) holds less than one, and each segment would wait for the
# sink's delayed acknowledgement, a stall no LAN shows.
ip link set lo up mtu 1500
bin="$root/build/host-release"
old="$root/build/baseline"
work=$(mktemp -d /tmp/qvlmr-bench-XXXXXX)
export QVLMR_HOME="$work/state"
runs=5; sizes=(1 64 1024); rate_jobs=200
[ $quick = 1 ] && { runs=3; sizes=(1 64); rate_jobs=20; }
lpdbe=/usr/lib/cups/backend/lpd; sockbe=/usr/lib/cups/backend/socket
clients=(qvlmr-mode1 qvlmr-mode2 qvlmr-mode3)
[ -n "$baseline" ] && clients+=(before-mode1 before-mode2 before-mode3)
clients+=(plain-socat cups-lpd-backend cups-socket-backend)

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

# The command of a client for a document.
client_command() {  # client doc
  case $1 in
    qvlmr-mode*) echo "$bin/qvlmr print --printer PM${1#qvlmr-mode} $2" ;;
    before-mode*) echo "$old/qvlmr print --printer PM${1#before-mode} $2" ;;
    plain-socat) echo "socat -u FILE:$2 TCP:127.0.0.1:9100" ;;
    # from an unreserved port: its reserved ones would be the monitor's next, and one still
    # closing would cost the next qvlmr run a second's skip to another
    cups-lpd-backend) [ -x $lpdbe ] && echo "env DEVICE_URI=lpd://127.0.0.1/q?reserve=none $lpdbe 1 root bench 1 '' $2" ;;
    cups-socket-backend) [ -x $sockbe ] && echo "env DEVICE_URI=socket://127.0.0.1:9100 $sockbe 1 root bench 1 '' $2" ;;
  esac
}

# One measured run: the command's wall, user+system CPU and peak RSS from wait4(), the
# sink's verdict on the bytes, the time from the start to the first byte on the wire and
# from the first to the last byte.
results="$work/results.txt"
measure() {  # label doc command...
  local label=$1 doc=$2; shift 2
  local before; before=$(wc -l <"$work/sink.log")
  local started; started=$(date +%s%N)
  # time's output file stays open in the command; closed there, it cannot pass for the back-
  # and side-channel descriptors (3 and 4) that a CUPS backend reads its printer's replies on.
  /usr/bin/time -f "%e %U %S %M" -o "$work/time.txt" sh -c 'exec 3>&- 4>&-; eval "exec $0"' "$*" \
    >/dev/null 2>"$work/cmd.err" || {
    echo "FAILED: $label: $(tail -2 "$work/cmd.err")" >&2; echo "$label" >>"$work/failures.txt"; return 1; }
  local want; want="$(stat -c %s "$doc") $(cut -d' ' -f1 "$doc.sha")"
  local line=""
  for _ in $(seq 600); do line=$(tail -n +"$((before + 1))" "$work/sink.log" | head -1); [ -n "$line" ] && break; sleep 0.05; done
  local port bytes sha first last
  read -r port bytes sha first last <<<"$line"
  if [ "$bytes $sha" != "$want" ]; then
    echo "FAILED: $label: sink saw '$bytes $sha', expected '$want'" >&2
    echo "$label" >>"$work/failures.txt"
    return 1
  fi
  read -r wall user sys rss <"$work/time.txt"
  local fixed transfer
  fixed=$(echo "($first - $started) / 1000000000" | bc -l)
  transfer=$(echo "($last - $first) / 1000000000" | bc -l)
  echo "$label $wall $(echo "$user + $sys" | bc) $rss $fixed $transfer" >>"$results"
}

# a / b to one decimal; a time too short for the timer (0.00 s) gives no rate, not 0.0 or an error.
ratio() { if [ "$(echo "$2 > 0" | bc -l)" = 1 ]; then printf "%.1f" "$(echo "$1 / $2" | bc -l)"; else printf "too fast to time"; fi; }
median() { sort -n | awk '{a[NR]=$1} END{if (NR%2) print a[(NR+1)/2]; else printf "%.3f\n", (a[NR/2]+a[NR/2+1])/2}'; }
spread() { sort -n | awk 'NR==1{lo=$1} {hi=$1} END{printf "%s–%s", lo, hi}'; }
column() { grep "^$1 " "$results" | cut -d' ' -f"$2"; }  # label field

start_sinks
table="$work/table.md"
echo "| document | client | MiB/s (median) | wall s median (min–max) | to first byte s | transfer MiB/s | CPU s | CPU s per GiB | peak RSS MiB |" >"$table"
echo "|---|---|---|---|---|---|---|---|---|" >>"$table"
for mib in "${sizes[@]}"; do
  doc="$work/doc-$mib.bin"
  head -c "$((mib * 1048576))" /dev/urandom >"$doc"; sha256sum "$doc" >"$doc.sha"
  for r in $(seq "$runs"); do
    for client in "${clients[@]}"; do
      cmd=$(client_command "$client" "$doc") || continue
      [ -n "$cmd" ] || continue
      measure "$mib $client" "$doc" $cmd || true
    done
  done
  for client in "${clients[@]}"; do
    grep -q "^$mib $client " "$results" || continue
    w=$(column "$mib $client" 3 | median); ws=$(column "$mib $client" 3 | spread)
    c=$(column "$mib $client" 4 | median); m=$(column "$mib $client" 5 | median)
    f=$(column "$mib $client" 6 | median); t=$(column "$mib $client" 7 | median)
    bad=$(grep -c "^$mib $client\$" "$work/failures.txt" 2>/dev/null || true)
    name=$client; [ "${bad:-0}" != 0 ] && name="$client ($bad run(s) failed verification)"
    printf "| %s MiB | %s | %s | %s (%s) | %.3f | %s | %s | %.2f | %.1f |\n" "$mib" "$name" "$(ratio "$mib" "$w")" \
      "$w" "$ws" "$f" "$(ratio "$mib" "$t")" "$c" "$(echo "$c * 1024 / $mib" | bc -l)" "$(echo "$m / 1024" | bc -l)" >>"$table"
  done
  rm -f "$doc"
done

# A slow printer read at 1 MiB/s: what the monitor spends meanwhile.
stop_sinks; start_sinks 1048576
slow="$work/slow.md"
echo "| slow printer (read at 1 MiB/s) | document | wall s | CPU s (user + system) |" >"$slow"; echo "|---|---|---|---|" >>"$slow"
slow_case() {  # client MiB
  local doc="$work/slow-$2.bin"
  [ -f "$doc" ] || { head -c $(($2 * 1048576)) /dev/urandom >"$doc"; sha256sum "$doc" >"$doc.sha"; }
  measure "slow-$2 $1" "$doc" $(client_command "$1" "$doc") || return 0
  local wall cpu
  read -r _ _ wall cpu _ < <(grep "^slow-$2 $1 " "$results" | tail -1)
  echo "| $1 | $2 MiB | $wall | $cpu |" >>"$slow"
}
slow_case qvlmr-mode3 4
for mode in 1 2 3; do
  slow_case "qvlmr-mode$mode" 16
  [ -n "$baseline" ] && slow_case "before-mode$mode" 16
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
  printf "| %d port(s) | %d | %.1f | %s | %d (%d–%d) | %d |\n" "$ports" "$n" "$wall" "$(ratio "$n" "$wall")" "$used" "$lo" "$hi" "$skipped" >>"$rate"
done
stop_sinks

{
  echo "Machine: $(nproc) cores, $(awk '/MemTotal/{printf "%.0f GiB", $2/1048576}' /proc/meminfo), $(uname -sr); $(date -u +%Y-%m-%d)"
  echo "Command: bench/run.sh$([ $quick = 1 ] && echo ' --quick')$([ -n "$baseline" ] && echo " --baseline $baseline") ($runs runs per case; every run's bytes verified by SHA-256 at the sink)"
  [ -n "$baseline" ] && echo "before-modeN: the monitor and qvlmr built from $baseline ($(git -C "$root" log -1 --format='%h %s' "$baseline" 2>/dev/null || echo "$baseline"))"
  echo
  cat "$table"; echo; cat "$slow"; echo; cat "$rate"
  if [ -f "$work/failures.txt" ]; then echo; echo "Runs that failed: $(sort "$work/failures.txt" | uniq -c | tr '\n' ';')"; fi
} | tee "$work/report.md"
if [ $write = 1 ]; then cp "$work/report.md" "$root/docs/benchmarks-last-run.md"; echo "written to docs/benchmarks-last-run.md"; fi
