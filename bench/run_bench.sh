#!/usr/bin/env bash
# Sequencer benchmark: whole main-CPU updates against the radio simulator.
#   (a) loopback TCP and a pseudo-terminal without UART emulation: total time,
#       blocks written, per-block round trip (median, 99th percentile);
#   (b) a pseudo-terminal with UART emulation (radiosim --uart): total time
#       next to the wire-time bound (10 bits a byte at the bit rate in force,
#       plus the pauses the protocol imposes);
#   and the peak memory (VmHWM) of the updating process.
# Usage: bench/run_bench.sh [build-dir] [runs]   (default build-bench, 3 runs)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build-bench}
runs=${2:-3}
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target radiosim zbupdate_ZB7152K >/dev/null
sim=$build/radiosim
upd=$build/sequence/zbupdate_ZB7152K
work=$(mktemp -d /tmp/zbbench.XXXXXX)
simpid=
cleanup() { [ -n "$simpid" ] && kill "$simpid" 2>/dev/null; wait 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
printf '[Ports]\r\nCOM1=%s/ttyRADIO\r\n' "$work" > "$work/bench.INI"

start_sim() {  # extra radiosim options...
  rm -f "$work/sim.out"
  "$sim" --serial "$work/ttyRADIO" --tcp 0 --quiet --runs "${runs}" \
    --expect "$here/builds/ZB7152K/firmware.mot" "$@" > "$work/sim.out" 2>"$work/sim.err" &
  simpid=$!
  for _ in $(seq 100); do grep -q ready "$work/sim.out" 2>/dev/null && break; sleep 0.05; done
}
stop_sim() {
  if wait "$simpid"; then verdict="radiosim: all updates passed"; else verdict="radiosim: FAILED ($(tail -1 "$work/sim.err"))"; fi
  simpid=
}

echo "== (a) per-block round trip =="
start_sim
port=$(grep -o 'tcp=127.0.0.1:[0-9]*' "$work/sim.out" | cut -d: -f2)
echo "-- TCP loopback"
"$upd" --tcp 127.0.0.1 "$port" --runs "$runs" | tee "$work/tcp.txt"
stop_sim; echo "$verdict"
start_sim
echo "-- pseudo-terminal, no UART emulation"
"$upd" --ini "$work/bench.INI" --com 1 --runs "$runs" | tee "$work/pty.txt"
stop_sim; echo "$verdict"

echo
echo "== (b) pseudo-terminal with UART emulation =="
# At 38400 bit/s a whole image takes about two minutes on the wire: one run.
runs=1 start_sim --uart
"$upd" --ini "$work/bench.INI" --com 1 --runs 1 --limit 600000 | tee "$work/uart.txt"
stop_sim; echo "$verdict"
echo
# bound = slow bytes at 9600 + fast bytes (both ways) at 38400 + imposed pauses
awk 'NR>1 && $1 ~ /^[0-9]+$/ {
       bound = $7*10*1000/9600 + ($8+$9)*10*1000/38400 + $10;
       printf "run %s: total %.0f ms, wire-time bound %.0f ms (wire %.0f + pauses %d), ratio %.3f (target <= 1.05)\n",
              $1, $3, bound, bound-$10, $10, $3/bound }' "$work/uart.txt"
