#!/usr/bin/env bash
# Long soak of tavservice under the simulator: scripts/soak.sh [CYCLES [SEED]]
# (default 100000 processing cycles, the seed from the clock). Runs the soak
# test of the built tree ($BUILD_DIR, default build/) and prints its figures.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
export TAV_SOAK_CYCLES=${1:-100000}
[ $# -ge 2 ] && export TAV_SOAK_SEED=$2
exec "$build/bin/e2e_tavservice_soak_test"
