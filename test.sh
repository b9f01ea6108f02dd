#!/usr/bin/env bash
# Builds everything from scratch and runs every test, twice: a normal build
# and a build with the address and undefined-behaviour sanitizers.
# Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
jobs=$(nproc)
for variant in test asan; do
  dir=build-$variant
  rm -rf "$dir"
  # Optimised without debug info for the normal run; the sanitizer run keeps
  # line tables only, which is enough for its reports and much cheaper.
  flags=(-DCMAKE_BUILD_TYPE=Release)
  [ "$variant" = asan ] && flags=(-DZB_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O0 -g1")
  cmake -S . -B "$dir" -G Ninja "${flags[@]}"
  cmake --build "$dir" -j "$jobs"
  echo "== tests ($variant build) =="
  (cd "$dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $((jobs * 2)))
done
