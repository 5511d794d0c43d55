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
# The fault matrix faults each program's first and last command here (its
# first and last two on the normal build), to keep the instrumented run short.
export FAULT_MATRIX_N=${FAULT_MATRIX_N:-1}

status=0
# (The system test packages the normal build; it is not run here.)
(cd "$build" && ctest --output-on-failure -j2 --timeout 900 -LE system) || status=$?

# A finding is an error report of any sanitizer. A file without one holds
# the runtime's notes only (such as LeakSanitizer missing the registers of a
# thread that was ending while it looked): shown, not failed.
findings=0
for report in "$reports"/*; do
    [ -e "$report" ] || continue
    if grep -qE 'ERROR: [A-Za-z]+Sanitizer|runtime error:|WARNING: [A-Za-z]+Sanitizer' "$report"; then
        findings=$((findings + 1))
        echo "== sanitizer report $report" >&2
    else
        echo "== sanitizer note $report" >&2
    fi
    head -n 60 "$report" >&2
done
if [ "$findings" -gt 0 ]; then
    echo "$findings sanitizer report(s)" >&2
    exit 1
fi
exit "$status"
