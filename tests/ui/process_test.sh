#!/usr/bin/env bash
# The programs as processes: a second ZB7152K ends at once with status 0 while
# the first runs, a ZB7152M runs beside it, SIGTERM ends the first in order
# (its INI file is written), so do SIGINT, SIGHUP and closing the window, and
# the Exit button (pressed through the command FIFO hook) writes the INI file too.
# Usage: process_test.sh <ZB7152K> <ZB7152M>
set -u
dir=$(mktemp -d)
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; rm -rf "$dir"; }
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
# Sanitizer builds: Exit ends the process with the Qt application alive.
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$(dirname "$0")/lsan.supp}
export XDG_RUNTIME_DIR=$dir/run   # private instance locks
mkdir -m 700 "$XDG_RUNTIME_DIR"
cp "$1" "$dir/ZB7152K"
cp "$2" "$dir/ZB7152M"
mkfifo "$dir/k.fifo" "$dir/m.fifo"
# An out-of-range port in the file is ignored and written back as 1; other
# sections are kept.
printf '[Global]\r\nComPort=300\r\n[Ports]\r\nCOM1=%s/none\r\n' "$dir" > "$dir/ZB7152K.INI"
printf '[Global]\nComPort=300\n' > "$dir/ZB7152M.INI"

# Waits until the window answers a "log" command with its Ready text.
wait_ready() { # fifo out
  for _ in $(seq 1 200); do
    echo "log $2" > "$1"
    grep -q "Connect Transceiver" "$2" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

ZB_UI_COMMAND_FIFO=$dir/k.fifo "$dir/ZB7152K" & k=$!; pids+=("$k")
wait_ready "$dir/k.fifo" "$dir/k.log" || fail "first ZB7152K did not reach Ready"

start=$(date +%s%N)
timeout 20 "$dir/ZB7152K"; rc=$?
ms=$(( ($(date +%s%N) - start) / 1000000 ))
[ "$rc" -eq 0 ] || fail "second ZB7152K exited with $rc"
grep -q "ComPort=300" "$dir/ZB7152K.INI" || fail "second instance touched the INI file"
echo "second instance ended after ${ms} ms"

ZB_UI_COMMAND_FIFO=$dir/m.fifo "$dir/ZB7152M" & m=$!; pids+=("$m")
wait_ready "$dir/m.fifo" "$dir/m.log" || fail "ZB7152M did not run beside ZB7152K"
kill -0 "$k" || fail "ZB7152K ended"

kill -TERM "$k"
wait "$k"; rc=$?
[ "$rc" -eq 0 ] || fail "ZB7152K after SIGTERM exited with $rc"
grep -q "^ComPort=1" "$dir/ZB7152K.INI" || fail "SIGTERM: INI not written: $(cat "$dir/ZB7152K.INI")"
grep -q "^COM1=$dir/none" "$dir/ZB7152K.INI" || fail "SIGTERM: Ports section lost"
grep -q "^Tcp_Port=41020" "$dir/ZB7152K.INI" || fail "SIGTERM: Tcp_Port missing"

# The other orderly ends: SIGINT, SIGHUP and closing the window each write the
# INI file too (the out-of-range port comes back as 1).
for how in INT HUP close; do
  printf '[Global]\nComPort=300\n' > "$dir/ZB7152K.INI"
  rm -f "$dir/k.log"
  ZB_UI_COMMAND_FIFO=$dir/k.fifo "$dir/ZB7152K" & k=$!; pids+=("$k")
  wait_ready "$dir/k.fifo" "$dir/k.log" || fail "ZB7152K did not reach Ready before $how"
  if [ "$how" = close ]; then echo close > "$dir/k.fifo"; else kill -"$how" "$k"; fi
  wait "$k"; rc=$?
  [ "$rc" -eq 0 ] || fail "ZB7152K after $how exited with $rc"
  grep -q "^ComPort=1" "$dir/ZB7152K.INI" || fail "$how: INI not written: $(cat "$dir/ZB7152K.INI")"
done

echo exit > "$dir/m.fifo"
wait "$m"; rc=$?
[ "$rc" -eq 0 ] || fail "ZB7152M after Exit exited with $rc"
grep -q "^ComPort=1" "$dir/ZB7152M.INI" || fail "Exit: INI not written: $(cat "$dir/ZB7152M.INI")"
grep -q "Tcp_" "$dir/ZB7152M.INI" && fail "front panel wrote TCP keys"
echo "PASS"
