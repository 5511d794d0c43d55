#!/usr/bin/env bash
# Builds the whole tree with AddressSanitizer and UndefinedBehaviorSanitizer
# into build-asan/ (or $SANITIZE_BUILD_DIR) and runs every test there. Every
# process the tests start writes its sanitizer reports (leaks included) into
# one directory; any report fails the run, even when the test that caused it
# passed.
#
# Unoptimised with line tables only: instrumented code compiles several times
# faster that way, and the tests are bound by processes and I/O, not by CPU.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SANITIZE_BUILD_DIR:-$root/build-asan}

BUILD_DIR=$build "$root/scripts/build.sh" -DTAV_SANITIZE=ON -DTAV_BUILD_BENCH=OFF \
    -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_FLAGS_DEBUG="-O0 -g1" -DCMAKE_CXX_FLAGS_DEBUG="-O0 -g1" "$@"

reports=$build/sanitizer-reports
rm -rf "$reports"
mkdir -p "$reports"
export ASAN_OPTIONS="log_path=$reports/asan:detect_leaks=1:abort_on_error=0"
export UBSAN_OPTIONS="log_path=$reports/ubsan:print_stacktrace=1"
export LSAN_OPTIONS="log_path=$reports/lsan"

status=0
(cd "$build" && ctest --output-on-failure -j2 --timeout 900) || status=$?

if [ -n "$(ls -A "$reports")" ]; then
    echo "sanitizer reports:" >&2
    for report in "$reports"/*; do
        echo "== $report" >&2
        head -n 60 "$report" >&2
    done
    exit 1
fi
exit "$status"
