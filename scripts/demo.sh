#!/usr/bin/env bash
# Builds the suite and runs its main job against the simulator's default
# server. Arguments, when given, replace the tavcli command line.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/build.sh"
server=$(mktemp -d /tmp/tavdemo.XXXXXX)
trap 'rm -rf "$server"' EXIT
"$build/bin/tavsim" init "$server/root"
if [ $# -eq 0 ]; then
  set -- -AdpAllInfo -aALL
fi
"$build/bin/tavsim" run "$server/root" -- "$build/bin/tavcli" "$@"
