#!/usr/bin/env bash
# Runs every command word of every program against the simulator with each
# fault on each of its first N commands (default 4) and writes the table of
# runs and outcomes to $BUILD_DIR/fault-matrix.md (build/ by default).
# The tree must be built (scripts/build.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
depth=${1:-4}
test_binary="$build/bin/e2e_fault_matrix_test"
[ -x "$test_binary" ] || { echo "fault-matrix: $test_binary not built" >&2; exit 2; }
rows=$(mktemp -d)
trap 'rm -rf "$rows"' EXIT

# Each word (and the service's start-up) is one test; two run at a time.
mapfile -t tests < <("$test_binary" --gtest_list_tests | awk '/^[^ ].*\.$/{group = $1} /^  /{print group $1}')
status=0
start=$(date +%s)
printf '%s\n' "${tests[@]}" | xargs -P 2 -I{} env FAULT_MATRIX_N="$depth" FAULT_MATRIX_DIR="$rows" \
    "$test_binary" --gtest_filter="{}" --gtest_brief=1 >"$rows/log.txt" 2>&1 || status=$?
elapsed=$(($(date +%s) - start))

out="$build/fault-matrix.md"
{
    echo "# Fault matrix (N = $depth)"
    echo
    echo "Runs: $(cat "$rows"/*.md | grep -c '^| ' || true), in ${elapsed} s with two at a time."
    echo
    echo "| verdict | runs |"
    echo "|---|---|"
    cat "$rows"/*.md | grep '^| ' | awk -F'|' '{sub(/^ /, "", $10); sub(/ $/, "", $10); print $10}' | sort | uniq -c |
        awk '{n=$1; $1=""; sub(/^ /, ""); printf "| %s | %d |\n", $0, n}'
    echo
    echo "| program | word | fault | k | exit | message seen | state | terminal | verdict |"
    echo "|---|---|---|---|---|---|---|---|---|"
    cat "$rows"/*.md | grep '^| '
} >"$out"
echo "fault-matrix: $out"
if [ "$status" -ne 0 ]; then
    echo "fault-matrix: failing tests (verdict FAIL in the table, or a clean run that went wrong):" >&2
    grep -E '^\[  FAILED  \]|Failure$|^Expected|^  Actual' "$rows/log.txt" | head -40 >&2
fi
exit "$status"
