#!/usr/bin/env bash
# Builds everything and runs every test: the whole suite on the normal build
# (build/, or $BUILD_DIR), then the system test (the Debian package installed
# in a container booted with systemd), the same suite on a build with
# AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/, any sanitizer
# report fails), and a
# short run of every fuzz target (build-fuzz/, $TAV_FUZZ_SECONDS each).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

"$root/scripts/build.sh" "$@"
(cd "$build" && ctest --output-on-failure -j2 --timeout 600 -LE system)

echo "== the system test (the package under a booted systemd)"
(cd "$build" && ctest --output-on-failure -L system)

echo "== the suite on the sanitizer build"
"$root/scripts/sanitize-test.sh"

echo "== fuzz targets"
"$root/scripts/fuzz.sh" "${TAV_FUZZ_SECONDS:-5}"
