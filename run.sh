#!/usr/bin/env bash
# Builds (when needed) and starts a program: ./run.sh [K|M|L], K by default.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
which=${1:-K}
case "$which" in K|M|L) ;; *) echo "usage: ./run.sh [K|M|L]" >&2; exit 2;; esac
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)"
exec "./build/ZB7152$which"
