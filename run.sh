#!/usr/bin/env bash
# Builds (when needed) and starts a program against the radio simulator:
#   ./run.sh [K|M|L]      K (main CPU) by default
#
# The program runs from demo/<program>/ with an INI file next to it. The INI
# is created when missing (serial link, COM1, TCP/IP 127.0.0.1 and the
# simulator's TCP port); its section Ports gets COM1=demo/<program>/radio
# (the simulator's pseudo-terminal) only when it has no Ports mapping yet, so
# an INI you edited is never overwritten.
#
# With a display (DISPLAY or WAYLAND_DISPLAY set) the window opens: press OK
# to run a complete update against the simulator. Without a display the same
# happens unattended under Xvfb: OK is pressed through the window's command
# FIFO (ZB_UI_COMMAND_FIFO), the script waits for the update to finish, saves
# demo/<program>/screenshot.png, prints the log and the simulator's verdict,
# and exits 0 only for a verified, complete update.
#
# The simulator serves the main CPU only; for M and L the program is started
# without an update.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
which=${1:-K}
case "$which" in K|M|L) ;; *) echo "usage: ./run.sh [K|M|L]" >&2; exit 2;; esac
prog=ZB7152$which
root=$PWD

cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)" --target "$prog" radiosim

demo=$root/demo/$prog
mkdir -p "$demo"
cp -f "build/$prog" "$demo/$prog"   # a copy: the INI is found next to the program
ini=$demo/$prog.INI
link=$demo/radio

pids=()
tmp=$(mktemp -d)
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$tmp"
}
trap cleanup EXIT

simulate=0
[ "$which" = K ] && simulate=1

tcp_port=41020
if [ $simulate = 1 ]; then
  # The TCP port the INI names by default, or any free one.
  if (exec 3<>"/dev/tcp/127.0.0.1/$tcp_port") 2>/dev/null; then tcp_port=0; fi
  report=$demo/radiosim-report.json
  rm -f "$report"
  # --expect: the simulator compares the flash it received with the image the
  # program carries, so "verified" means the radio holds exactly that image.
  build/radiosim --serial "$link" --tcp "$tcp_port" --report "$report" --quiet \
    --expect "builds/$prog/firmware.mot" \
    > "$tmp/sim.out" 2> "$tmp/sim.err" &
  sim=$!; pids+=("$sim")
  for _ in $(seq 1 100); do grep -q '^ready' "$tmp/sim.out" 2>/dev/null && break; sleep 0.05; done
  grep -q '^ready' "$tmp/sim.out" || { cat "$tmp/sim.err" >&2; echo "radiosim did not start" >&2; exit 1; }
  tcp_port=$(sed -n 's/.*tcp=127\.0\.0\.1:\([0-9]*\).*/\1/p' "$tmp/sim.out")
  echo "radio simulator: serial $link, TCP 127.0.0.1:$tcp_port"
fi

if [ ! -e "$ini" ]; then
  printf '[Global]\nPortSel=0\nComPort=1\nTcp_IP=127.0.0.1\nTcp_Port=%s\n' "$tcp_port" > "$ini"
fi
if ! grep -qi '^\[Ports\]' "$ini"; then
  printf '[Ports]\nCOM1=%s\n' "$link" >> "$ini"
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  if [ $simulate = 1 ]; then
    echo "Starting $prog: press OK to update the simulated radio (COM1)."
  else
    echo "Starting $prog (the simulator serves the main CPU only: no update to run)."
  fi
  "$demo/$prog" || true
  if [ $simulate = 1 ]; then
    kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true
    [ -s "$report" ] && { echo "simulator verdicts:"; cat "$report"; }
  fi
  exit 0
fi

# ---- unattended, under Xvfb -------------------------------------------------
n=99
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids+=("$!")
for _ in $(seq 1 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
export DISPLAY=":$n" QT_QPA_PLATFORM=xcb

fifo=$tmp/commands
mkfifo "$fifo"
boxes=$demo/errorboxes.txt
rm -f "$boxes" "$demo/screenshot.png"
ZB_UI_COMMAND_FIFO=$fifo ZB_UI_ERRORBOX_LOG=$boxes "$demo/$prog" 2> "$tmp/prog.err" &
app=$!; pids+=("$app")

log=$tmp/log.txt
# Prints the window's log into $log; true when it contains the text.
log_has() { echo "log $log" > "$fifo"; sleep 0.1; grep -qF "$1" "$log" 2>/dev/null; }
wait_log() { # text seconds
  local end=$((SECONDS + $2))
  while [ $SECONDS -lt $end ]; do
    kill -0 "$app" 2>/dev/null || return 1
    log_has "$1" && return 0
    [ -s "$boxes" ] && return 1
    sleep 0.2
  done
  return 1
}

ok=1
wait_log "Connect Transceiver (No.1)." 30 || { echo "$prog did not reach Ready" >&2; ok=0; }
if [ $ok = 1 ] && [ $simulate = 1 ]; then
  echo "Pressing OK..."
  echo ok > "$fifo"
  wait_log "Connect Transceiver (No.2)." 180 || ok=0
  sleep 0.3   # one more tick: progress back to 0
fi
echo "grab $demo/screenshot.png" > "$fifo"
for _ in $(seq 1 50); do [ -s "$demo/screenshot.png" ] && break; sleep 0.1; done
log_has "" || true
echo "----- log -----"
tr -d '\r' < "$log"
echo "---------------"
[ -s "$boxes" ] && { echo "error boxes:"; cat "$boxes"; ok=0; }
echo exit > "$fifo"      # the Exit button: the INI is written
wait "$app" 2>/dev/null || true
[ -s "$demo/screenshot.png" ] && echo "screenshot: $demo/screenshot.png"

if [ $simulate = 0 ]; then
  echo "$prog started and reached Ready (the simulator serves the main CPU only: no update run)."
  [ $ok = 1 ]; exit $?
fi
kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true
echo "simulator verdict:"
cat "$report" 2>/dev/null || echo "(no report)"
if [ $ok = 1 ] && grep -q '"completed":true' "$report" 2>/dev/null &&
   grep -q '"passed":true' "$report" && ! grep -q '"passed":false' "$report" &&
   grep -q '"verified":true' "$report" &&
   grep -qF "Completed (No.1)." "$log"; then
  echo "Update completed and verified."
  exit 0
fi
echo "Update NOT completed." >&2
exit 1
