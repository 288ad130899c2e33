#!/usr/bin/env bash
# Prints a mode-1 job through the monitor to real LPD servers from Debian's packages, one
# at a time (their packages conflict), and checks that each received the exact bytes.
# Needs root (it installs packages and starts daemons on 127.0.0.1:515).
# Usage: scripts/peers/run.sh [bsd-lpd] [lprng] [cups-lpd]   (all three by default)
set -uo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)
if [ "$(id -u)" != 0 ]; then echo "SKIPPED: real LPD servers need root"; exit 77; fi
servers=("$@")
[ ${#servers[@]} = 0 ] && servers=(bsd-lpd lprng cups-lpd)
bin="$root/build/host-release"
if [ ! -x "$bin/qvlmr" ]; then
  cmake --preset host-release >/dev/null && cmake --build --preset host-release -j"$(nproc)" >/dev/null || exit 1
fi
export DEBIAN_FRONTEND=noninteractive
work=$(mktemp -d /tmp/qvlmr-peers-XXXXXX)
chmod 755 "$work"
failed=0

say() { echo "peers: $*"; }
apt_install() { apt-get install -y -qq --no-install-recommends "$@" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; return 1; }; }
apt_remove() { apt-get purge -y -qq "$@" >/dev/null 2>&1 || true; }
stop_daemons() {
  pkill -x lpd 2>/dev/null; pkill -x cupsd 2>/dev/null; pkill -f 'socat TCP-LISTEN:515' 2>/dev/null
  for _ in $(seq 50); do ss -ltn 2>/dev/null | grep -q '127.0.0.1:515 ' || return 0; sleep 0.1; done
}
wait_port() { for _ in $(seq 100); do ss -ltn 2>/dev/null | grep -q ':515 ' && return 0; sleep 0.1; done; return 1; }

# Prints the document through the monitor to the LPD queue on 127.0.0.1.
print_job() {
  local queue=$1 doc=$2
  export QVLMR_HOME="$work/state-$queue-$RANDOM"
  "$bin/qvlmr" install >/dev/null
  "$bin/qvlmr" reg import - <<REG
REGEDIT4

[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\QV TCP/IP LMR Port\\Ports]
"PEER"="127.0.0.1"

[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\QV TCP/IP LMR Port\\Ports\\PEER]
"PrtQName"="$queue"
"Protocol"=dword:00000001
REG
  "$bin/qvlmr" printer add Peer --port PEER
  timeout 120 "$bin/qvlmr" print --printer Peer --title "peer test" "$doc" >/dev/null 2>"$work/print.log"
}

check() {
  local name=$1 doc=$2 got=$3
  if [ -f "$got" ] && cmp -s "$doc" "$got"; then
    say "$name: OK, $(wc -c <"$doc") bytes arrived exactly"
  else
    say "$name: FAILED (received: $(ls -l "$got" 2>&1))"; cat "$work/print.log"; failed=1
  fi
}

make_doc() { head -c 300000 /dev/urandom >"$work/doc-$1.bin"; echo "$work/doc-$1.bin"; }

run_bsd_lpd() {
  apt_remove lprng cups-bsd cups-daemon; apt_install lpr iproute2 || return 1
  stop_daemons
  local spool=/var/spool/lpd/qvtest out="$work/bsd"
  mkdir -p "$spool" "$out"; chmod 777 "$out"; chown -R lp:lp "$spool" 2>/dev/null || chown -R daemon "$spool"
  touch "$spool/out" "$spool/log"; chmod 666 "$spool/out" "$spool/log"
  cat >/usr/local/bin/qvlmr-peer-keep <<KEEP
#!/bin/sh
# Input filter: keeps the data (stdin) and the control file of the job being printed.
cat > "$out/data"
cf=\$(sed -n 2p "$spool/lock")
[ -n "\$cf" ] && cp "$spool/\$cf" "$out/control" 2>/dev/null
exit 0
KEEP
  chmod 755 /usr/local/bin/qvlmr-peer-keep
  echo "qvtest:lp=$spool/out:sd=$spool:lf=$spool/log:if=/usr/local/bin/qvlmr-peer-keep:sh:mx#0:" >/etc/printcap
  echo localhost >/etc/hosts.lpd
  /usr/sbin/lpd -l -b 127.0.0.1 || true
  wait_port || { say "bsd-lpd: did not start"; failed=1; return; }
  local doc; doc=$(make_doc bsd)
  print_job qvtest "$doc"
  for _ in $(seq 100); do [ -s "$out/data" ] && [ "$(stat -c %s "$out/data")" = "$(stat -c %s "$doc")" ] && break; sleep 0.1; done
  check bsd-lpd "$doc" "$out/data"
  stop_daemons
}

run_lprng() {
  apt_remove lpr cups-bsd cups-daemon; apt_install lprng iproute2 || return 1
  stop_daemons
  cat >/etc/printcap <<CAP
qvtest:lp=/dev/null:sd=/var/spool/lpd/%P:mx#0:sh:save_when_done:
CAP
  mkdir -p /var/spool/lpd; rm -rf /var/spool/lpd/qvtest
  checkpc -f >/dev/null 2>&1
  touch "$work/lprng.log"; chmod 666 "$work/lprng.log"
  /usr/sbin/lpd -F -L "$work/lprng.log" -p '127.0.0.1%515' >/dev/null 2>&1 &
  wait_port || { say "lprng: did not start"; failed=1; return; }
  local doc; doc=$(make_doc lprng)
  print_job qvtest "$doc"
  local got=""
  for _ in $(seq 100); do got=$(ls /var/spool/lpd/qvtest/dfA* 2>/dev/null | head -1); [ -n "$got" ] && cmp -s "$doc" "$got" && break; sleep 0.1; done
  check lprng "$doc" "${got:-/nonexistent}"
  stop_daemons
}

run_cups_lpd() {
  apt_remove lpr lprng; apt_install cups cups-daemon socat iproute2 || return 1
  stop_daemons
  local out="$work/cups"; mkdir -p "$out"; chmod 777 "$out"
  cat >/usr/lib/cups/backend/qvkeep <<KEEP
#!/bin/sh
# A backend that keeps the job's bytes.
[ \$# = 0 ] && { echo 'direct qvkeep "Unknown" "QVLMR keep"'; exit 0; }
if [ -n "\$6" ]; then cat "\$6"; else cat; fi > "$out/data"
exit 0
KEEP
  chmod 755 /usr/lib/cups/backend/qvkeep
  cupsd -f >"$work/cupsd.log" 2>&1 &
  for _ in $(seq 100); do lpstat -r 2>/dev/null | grep -q 'is running' && break; sleep 0.1; done
  lpadmin -p qvtest -E -v qvkeep:/ -m raw >/dev/null 2>&1 || lpadmin -p qvtest -E -v qvkeep:/ >/dev/null 2>&1
  cupsaccept qvtest 2>/dev/null; cupsenable qvtest 2>/dev/null
  socat TCP-LISTEN:515,bind=127.0.0.1,reuseaddr,fork EXEC:'/usr/lib/cups/daemon/cups-lpd -n',nofork,su=lp >/dev/null 2>&1 &
  wait_port || { say "cups-lpd: did not start"; failed=1; return; }
  local doc; doc=$(make_doc cups)
  print_job qvtest "$doc"
  for _ in $(seq 200); do [ -s "$out/data" ] && cmp -s "$doc" "$out/data" && break; sleep 0.1; done
  check cups-lpd "$doc" "$out/data"
  stop_daemons
}

apt-get update -qq >/dev/null 2>&1 || true  # another architecture's index may be mid-sync
for s in "${servers[@]}"; do
  case $s in
    bsd-lpd) run_bsd_lpd || failed=1 ;;
    lprng) run_lprng || failed=1 ;;
    cups-lpd) run_cups_lpd || failed=1 ;;
    *) say "unknown server $s"; failed=1 ;;
  esac
done
stop_daemons
exit $failed
