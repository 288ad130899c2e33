#!/usr/bin/env bash
# Real print servers from Debian's packages as the monitor's printers. Each server is
# installed into a private root of its own (mmdebstrap, kept under build/peers/roots/) and
# runs there in network, mount and process namespaces of its own: the machine's packages,
# /etc, /usr and running daemons are left exactly as they were, which the script checks at
# its end.
#   bsd-lpd, lprng, cups-lpd  a mode-1 job arrives with the exact bytes
#   p910nd                    a mode-3 job into a device that reads at a printer's pace
#                             (a FIFO drained at 256 KiB/s): byte for byte; a delete and a
#                             pause while it reads
#   cups-page                 CUPS, through its LPD gateway, prints a PostScript page framed
#                             as Windows PostScript drivers frame it into a PDF
# Needs root. Usage: scripts/peers/run.sh [--picture] [SERVER...]   (all five by default)
#   --picture  copies the printed page's picture into docs/screenshots/cups-page.png
set -uo pipefail
cd "$(dirname "$0")/../.."
top=$(pwd)
bin="$top/build/host-release"
say() { echo "peers: $*"; }

if [ -z "${QVLMR_PEER:-}" ]; then
  [ "$(id -u)" = 0 ] || { echo "SKIPPED: real print servers need root"; exit 77; }
  picture=0; servers=()
  for a in "$@"; do
    case $a in
      --picture) picture=1 ;;
      bsd-lpd | lprng | cups-lpd | p910nd | cups-page) servers+=("$a") ;;
      *) echo "usage: scripts/peers/run.sh [--picture] [bsd-lpd] [lprng] [cups-lpd] [p910nd] [cups-page]" >&2; exit 2 ;;
    esac
  done
  [ ${#servers[@]} = 0 ] && servers=(bsd-lpd lprng cups-lpd p910nd cups-page)
  # What a run must leave as it found it.
  machine_state() {
    dpkg-query -W -f='${Package} ${Version} ${Status}\n' 2>/dev/null | grep -E '^(lpr|lprng|cups[^ ]*|p910nd) '
    if [ -e /etc/printcap ]; then sha256sum /etc/printcap; else echo "no /etc/printcap"; fi
    ps -e -o comm= | grep -xE 'lpd|cupsd|cups-lpd|p910nd|socat' | sort | uniq -c
  }
  before=$(machine_state)
  export DEBIAN_FRONTEND=noninteractive
  if ! command -v mmdebstrap >/dev/null; then
    apt-get update -qq >/dev/null 2>&1 || true  # another architecture's index may be mid-sync
    apt-get install -y -qq --no-install-recommends mmdebstrap >/dev/null || { say "cannot install mmdebstrap"; exit 1; }
  fi
  if [ ! -x "$bin/qvlmr" ] || [ ! -x "$bin/qvlmr-printer" ]; then
    cmake --preset host-release >/dev/null && cmake --build --preset host-release -j"$(nproc)" >/dev/null || exit 1
  fi
  mirror=$(scripts/debian-mirror.sh) || { say "SKIPPED: no Debian bookworm source in this machine's apt configuration"; exit 77; }
  # A root per set of packages that can live together; made once, reused while its list holds.
  make_root() {  # name packages
    local dir="$top/build/peers/roots/$1" packages=$2
    if [ "$(cat "$dir.packages" 2>/dev/null)" != "$packages" ]; then
      say "making the private root $1 ($packages)" >&2
      rm -rf "$dir" "$dir.packages"; mkdir -p "$(dirname "$dir")"
      mmdebstrap --variant=apt --include="$packages" bookworm "$dir" "$mirror" </dev/null >"$dir.log" 2>&1 ||
        { tail -20 "$dir.log"; return 1; }
      echo "$packages" >"$dir.packages"
    fi
    echo "$dir"
  }
  failed=0
  for s in "${servers[@]}"; do
    case $s in
      bsd-lpd) packages=lpr; name=lpr ;;
      lprng) packages=lprng; name=lprng ;;
      cups-lpd | cups-page) packages=cups,printer-driver-cups-pdf,poppler-utils,socat; name=cups ;;
      p910nd) packages=p910nd,pv; name=p910nd ;;
    esac
    lower=$(make_root "$name" "$packages") || { say "$s: FAILED: its root could not be made"; failed=1; continue; }
    work=$(mktemp -d /tmp/qvlmr-peer-XXXXXX); chmod 755 "$work"
    QVLMR_PEER=$s QVLMR_PEER_ROOT=$lower QVLMR_PEER_WORK=$work QVLMR_PEER_PICTURE=$picture \
      unshare --net --mount --pid --fork --mount-proc bash "$0" || failed=1
    rm -rf "$work"
  done
  after=$(machine_state)
  if [ "$before" = "$after" ]; then
    say "the machine is as it was: its print packages, /etc/printcap and print daemons untouched"
  else
    say "FAILED: the machine changed:"; diff <(echo "$before") <(echo "$after"); failed=1
  fi
  exit $failed
fi

# ---- inside the namespaces: the server's root laid over its private root, lo up ----------
server=$QVLMR_PEER; work=$QVLMR_PEER_WORK
r="$work/root"
mkdir -p "$r" "$work/upper" "$work/overlay-work"
mount -t overlay overlay -o "lowerdir=$QVLMR_PEER_ROOT,upperdir=$work/upper,workdir=$work/overlay-work" "$r" ||
  { say "$server: FAILED: cannot lay the root out"; exit 1; }
mount -t proc proc "$r/proc" && mount --rbind /dev "$r/dev" && mount -t tmpfs tmpfs "$r/run" || exit 1
mkdir -p "$r/run/lock"
# LPRng will not start on a host name it cannot look up, BSD lpd names clients by address
printf '127.0.0.1\tlocalhost\n::1\tlocalhost ip6-localhost ip6-loopback\n127.0.1.1\t%s\n' "$(hostname)" >"$r/etc/hosts"
ip link set lo up
mkdir -p "$r/out"; chmod 777 "$r/out"
in_root() { chroot "$r" "$@"; }
wait_port() { for _ in $(seq 100); do ss -ltn 2>/dev/null | grep -q "127.0.0.1:$1 " && return 0; sleep 0.1; done; return 1; }
failed=0

# A state directory of the host spooler with one port to 127.0.0.1 and printer Peer on it.
setup_port() {  # mode queue-or-raw-port
  export QVLMR_HOME="$work/state"
  "$bin/qvlmr" install >/dev/null
  local key='HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Print\Monitors\QV TCP/IP LMR Port\Ports'
  local setting="\"PrtQName\"=\"$2\""; [ "$1" = 3 ] && setting="\"SvrPort\"=dword:$(printf %08x "$2")"
  printf 'REGEDIT4\n\n[%s]\n"PEER"="127.0.0.1"\n\n[%s\\PEER]\n%s\n"Protocol"=dword:%08x\n' \
    "$key" "$key" "$setting" "$1" | "$bin/qvlmr" reg import -
  "$bin/qvlmr" printer add Peer --port PEER
}
print_doc() { timeout 120 "$bin/qvlmr" print --printer Peer --title "peer test" "$1" >"$work/print.out" 2>"$work/print.log"; }
make_doc() { head -c "$2" /dev/urandom >"$work/$1"; echo "$work/$1"; }
# Waits up to 20 s for the file to hold the document, then says so.
check() {  # name document received
  for _ in $(seq 200); do [ -f "$3" ] && cmp -s "$2" "$3" && break; sleep 0.1; done
  if [ -f "$3" ] && cmp -s "$2" "$3"; then
    say "$1: OK, $(wc -c <"$2") bytes arrived exactly"
  else
    say "$1: FAILED (received: $(ls -l "$3" 2>&1))"; cat "$work/print.log"; failed=1
  fi
}
mode1_job() {  # name queue received-file-in-root
  setup_port 1 "$2"
  local doc; doc=$(make_doc doc.bin 300000)
  print_doc "$doc"
  check "$1" "$doc" "$r$3"
}

run_bsd_lpd() {
  local spool=/var/spool/lpd/qvtest
  mkdir -p "$r$spool"; in_root chown -R lp:lp "$spool"
  touch "$r$spool/out" "$r$spool/log"; chmod 666 "$r$spool/out" "$r$spool/log"
  # Network jobs print at once: an input filter keeps the data (stdin) and the control file.
  cat >"$r/usr/local/bin/qvlmr-peer-keep" <<KEEP
#!/bin/sh
cat > /out/data
cf=\$(sed -n 2p "$spool/lock")
[ -n "\$cf" ] && cp "$spool/\$cf" /out/control 2>/dev/null
exit 0
KEEP
  chmod 755 "$r/usr/local/bin/qvlmr-peer-keep"
  echo "qvtest:lp=$spool/out:sd=$spool:lf=$spool/log:if=/usr/local/bin/qvlmr-peer-keep:sh:mx#0:" >"$r/etc/printcap"
  echo localhost >"$r/etc/hosts.lpd"
  in_root /usr/sbin/lpd -l -b 127.0.0.1
  wait_port 515 || { say "bsd-lpd: FAILED: did not start"; return 1; }
  mode1_job bsd-lpd qvtest /out/data
}

run_lprng() {
  echo 'qvtest:lp=/dev/null:sd=/var/spool/lpd/%P:mx#0:sh:save_when_done:' >"$r/etc/printcap"
  mkdir -p "$r/var/spool/lpd"; in_root checkpc -f >/dev/null 2>&1
  touch "$r/out/lprng.log"; chmod 666 "$r/out/lprng.log"
  mkdir -p "$r/run/lprng"; chmod 777 "$r/run/lprng"  # its lock file, on the root's fresh /run
  in_root /usr/sbin/lpd -F -L /out/lprng.log -p '127.0.0.1%515' >"$work/lprng.out" 2>&1 &
  wait_port 515 || { say "lprng: FAILED: did not start"; tail -n 5 "$work/lprng.out" "$r/out/lprng.log"; return 1; }
  setup_port 1 qvtest
  local doc; doc=$(make_doc doc.bin 300000)
  print_doc "$doc"
  local got=""
  for _ in $(seq 100); do got=$(ls "$r"/var/spool/lpd/qvtest/dfA* 2>/dev/null | head -1); [ -n "$got" ] && break; sleep 0.1; done
  check lprng "$doc" "${got:-/nonexistent}"
}

# cupsd in the root with its LPD gateway on 515; extra arguments go to cups-lpd.
start_cups() {
  mkdir -p "$r/run/cups"
  in_root cupsd -f >"$work/cupsd.log" 2>&1 &
  for _ in $(seq 100); do in_root lpstat -r 2>/dev/null | grep -q 'is running' && break; sleep 0.1; done
  in_root socat TCP-LISTEN:515,bind=127.0.0.1,reuseaddr,fork \
    EXEC:"/usr/lib/cups/daemon/cups-lpd -n $*",nofork,su=lp >/dev/null 2>&1 &
  wait_port 515
}

run_cups_lpd() {
  cat >"$r/usr/lib/cups/backend/qvkeep" <<'KEEP'
#!/bin/sh
# A backend that keeps the job's bytes.
[ $# = 0 ] && { echo 'direct qvkeep "Unknown" "QVLMR keep"'; exit 0; }
if [ -n "$6" ]; then cat "$6"; else cat; fi > /out/data
exit 0
KEEP
  chmod 755 "$r/usr/lib/cups/backend/qvkeep"
  start_cups || { say "cups-lpd: FAILED: did not start"; return 1; }
  in_root lpadmin -p qvtest -E -v qvkeep:/ >/dev/null 2>&1
  in_root cupsaccept qvtest 2>/dev/null; in_root cupsenable qvtest 2>/dev/null
  mode1_job cups-lpd qvtest /out/data
}

# A PostScript page as Windows PostScript drivers send it: a Ctrl-D, a PJL header that
# switches the printer to PostScript, the page, a Ctrl-D and the PJL end of job.
page_document() {
  local text1="QVLMRMON test page" text2="Sent by LPR with its exact byte count, to CUPS through cups-lpd."
  {
    printf '\004\033%%-12345X@PJL JOB NAME="QVLMRMON test page"\r\n@PJL ENTER LANGUAGE = POSTSCRIPT\r\n'
    printf '%%!PS-Adobe-3.0\r\n%%%%Title: QVLMRMON test page\r\n%%%%Pages: 1\r\n%%%%EndComments\r\n%%%%Page: 1 1\r\n'
    printf '/Helvetica-Bold findfont 28 scalefont setfont 72 700 moveto (%s) show\r\n' "$text1"
    printf '/Helvetica findfont 12 scalefont setfont 72 670 moveto (%s) show\r\n' "$text2"
    printf '72 650 moveto 468 0 rlineto stroke showpage\r\n%%%%EOF\r\n'
    printf '\004\033%%-12345X@PJL EOJ\r\n\033%%-12345X'
  } >"$work/page.prn"
  echo "$text1"; echo "$text2"
}

run_cups_page() {
  local ppd; ppd=$(cd "$r" && ls usr/share/ppd/cups-pdf/*.ppd 2>/dev/null | head -1)
  start_cups || { say "cups-page: FAILED: CUPS did not start"; return 1; }
  in_root lpadmin -p pdf -E -v cups-pdf:/ -P "/$ppd" >"$work/lpadmin.log" 2>&1 ||
    { say "cups-page: FAILED: no PDF queue: $(cat "$work/lpadmin.log")"; return 1; }
  in_root cupsaccept pdf 2>/dev/null; in_root cupsenable pdf 2>/dev/null
  local expected; expected=$(page_document)
  setup_port 1 pdf
  print_doc "$work/page.prn" || { say "cups-page: FAILED: qvlmr print: $(tail -3 "$work/print.log")"; return 1; }
  local pdf=""
  for _ in $(seq 600); do
    pdf=$(find "$r/var/spool/cups-pdf" "$r/root/PDF" "$r/home" -name '*.pdf' 2>/dev/null | head -1)
    [ -n "$pdf" ] && in_root pdftotext "${pdf#"$r"}" - >"$work/page.txt" 2>/dev/null && [ -s "$work/page.txt" ] && break
    sleep 0.1
  done
  local text; text=$(tr -s ' \n\f' ' ' <"$work/page.txt" 2>/dev/null)
  if [ -n "$pdf" ] && [ "$(echo $text)" = "$(echo $expected)" ]; then
    in_root pdftoppm -png -r 60 -singlefile "${pdf#"$r"}" /out/page >/dev/null 2>&1
    mkdir -p "$top/build/peers"; cp "$r/out/page.png" "$top/build/peers/cups-page.png" 2>/dev/null
    [ "${QVLMR_PEER_PICTURE:-0}" = 1 ] && cp "$r/out/page.png" "$top/docs/screenshots/cups-page.png"
    say "cups-page: OK, the PostScript page (Ctrl-D, PJL header) came out of CUPS as a PDF reading \"$text\"; picture in build/peers/cups-page.png"
  else
    say "cups-page: FAILED: PDF ${pdf:-none}, text '$text'"; tail -20 "$work/cupsd.log"; tail -20 "$r/var/log/cups/error_log" 2>/dev/null
    return 1
  fi
}

# p910nd writes each connection to a FIFO that a reader drains at 256 KiB/s, as a printer
# reads; one reader per job, which ends when p910nd closes the device.
run_p910nd() {
  local rate=262144
  mkfifo "$r/out/lp0"
  mkdir -p "$r/run/lock/p910nd"
  in_root p910nd -f /out/lp0 -i 127.0.0.1 0
  wait_port 9100 || { say "p910nd: FAILED: did not start"; return 1; }
  setup_port 3 9100
  local reader
  drain() { in_root sh -c "exec pv -q -L $rate /out/lp0 > /out/$1" & reader=$!; }
  drain job1
  local doc; doc=$(make_doc doc.bin 300000)
  print_doc "$doc"
  check p910nd "$doc" "$r/out/job1"
  local big; big=$(make_doc big.bin 8388608)  # half a minute at the printer's pace
  for action in cancel pause; do
    drain "job-$action"
    timeout 120 "$bin/qvlmr" print --printer Peer "$big" >"$work/print.out" 2>"$work/print.log" &
    local printing=$!
    sleep 3
    local job; job=$(head -1 "$work/print.out")
    local at; at=$(date +%s%N)
    "$bin/qvlmr" "$action" "$job" >/dev/null
    wait $printing; local status=$?
    local took; took=$(( ($(date +%s%N) - at) / 1000000 ))
    sleep 0.5
    local got; got=$(stat -c %s "$r/out/job-$action" 2>/dev/null || echo 0)
    local state; state=$("$bin/qvlmr" jobs | awk -F'\t' -v j="$job" '$1 == j {print $3 " (" $4 ")"}')
    local what="deleted"; [ "$action" = pause ] && what="paused"
    if [ "$took" -le 2000 ] && [ "$got" -lt 8388608 ]; then
      say "p910nd: OK, $what while the printer read: qvlmr print ended $took ms later (exit $status), the printer had $got of 8388608 bytes; the job: ${state:-no longer queued}"
    else
      say "p910nd: FAILED: $what while the printer read: qvlmr print ended $took ms later (exit $status), the printer had $got bytes"
      tail -5 "$work/print.log"; failed=1
    fi
    [ "$action" = pause ] && "$bin/qvlmr" cancel "$job" >/dev/null 2>&1
    kill "$reader" 2>/dev/null  # the cut job's reader, if p910nd still holds the device
  done
}

case $server in
  bsd-lpd) run_bsd_lpd || failed=1 ;;
  lprng) run_lprng || failed=1 ;;
  cups-lpd) run_cups_lpd || failed=1 ;;
  cups-page) run_cups_page || failed=1 ;;
  p910nd) run_p910nd || failed=1 ;;
esac
exit $failed
