#!/usr/bin/env bash
# Builds the simulator, the control library and tavcli (nothing else) and
# runs the main job against the simulator's default server. Arguments, when
# given, replace the tavcli command line.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh" --build
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTAV_BUILD_TESTS=OFF -DTAV_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target tavsim tavsim_preload tavctl tavcli
server=$(mktemp -d /tmp/tavdemo.XXXXXX)
trap 'rm -rf "$server"' EXIT
"$build/bin/tavsim" init "$server/root"
if [ $# -eq 0 ]; then
  set -- -AdpAllInfo -aALL
fi
"$build/bin/tavsim" run "$server/root" -- "$build/bin/tavcli" "$@"
