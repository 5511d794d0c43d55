#!/usr/bin/env bash
# Configures and builds the whole tree (tests and benchmarks included) into
# build/ (or $BUILD_DIR), after installing every package it needs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
# Tests and benchmarks on, whatever a quick-start build left in the cache.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAV_BUILD_TESTS=ON -DTAV_BUILD_BENCH=ON \
  "$@" >/dev/null
cmake --build "$build" -j2
