#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UndefinedBehavior-
# Sanitizer) into ${FUZZ_BUILD_DIR:-build-fuzz} and runs each for SECONDS
# (default 10) on a scratch copy of its seed corpus, after replaying its saved
# crashing inputs (fuzz/regressions/<target>/). Fails on any crash, sanitizer
# report, leak or timeout; prints a table of what each run reached.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-10}
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
case "$seconds" in
  ''|*[!0-9]*) echo "usage: $0 [SECONDS]" >&2; exit 2 ;;
esac

"$root/scripts/install-deps.sh"
started=$(date +%s)
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAV_FUZZ=ON >/dev/null
cmake --build "$build" -j2 --target fuzz_all
echo "fuzz build: $(( $(date +%s) - started )) s"

scratch=$(mktemp -d /tmp/tavfuzz-run.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
# Each target's installation root goes below the scratch directory, in memory
# where the machine has it (the writers flush every file).
roots=$scratch
[ -d /dev/shm ] && [ -w /dev/shm ] && roots=$(mktemp -d /dev/shm/tavfuzz-run.XXXXXX)
trap 'rm -rf "$scratch" "$roots"' EXIT
export TAV_FUZZ_TMP=$roots
artifacts="$build/fuzz-artifacts"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

targets=$(cd "$root/fuzz" && ls fuzz_*.cpp | sed 's/\.cpp$//' | grep -v -e '^fuzz_support$' -e '^fuzz_adapter$')
failed=()
table=()
for target in $targets; do
  bin="$build/bin/$target"
  log="$scratch/$target.log"
  corpus="$scratch/$target.corpus"
  mkdir -p "$corpus" "$artifacts/$target"
  cp -r "$root/fuzz/corpus/$target/." "$corpus/" 2>/dev/null || true
  options=(-close_fd_mask=1 -timeout=25 -artifact_prefix="$artifacts/$target/")
  [ -f "$root/fuzz/dict/$target.dict" ] && options+=(-dict="$root/fuzz/dict/$target.dict")

  regressions="$root/fuzz/regressions/$target"
  if [ -d "$regressions" ] && [ -n "$(ls -A "$regressions")" ]; then
    if ! "$bin" "${options[@]}" "$regressions"/* </dev/null >"$log.replay" 2>&1; then
      echo "== $target: a saved crashing input fails again" >&2
      tail -n 40 "$log.replay" >&2
      failed+=("$target(regression)")
    fi
  fi

  begin=$(date +%s)
  status=0
  "$bin" "${options[@]}" -max_total_time="$seconds" -print_final_stats=1 "$corpus" </dev/null >"$log" 2>&1 || status=$?
  took=$(( $(date +%s) - begin ))
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  final=$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$final")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$final")
  size=$(find "$corpus" -type f | wc -l)
  table+=("$(printf '%-20s %8s %12s %8s %8s %8s' "$target" "$took" "${execs:--}" "${cov:--}" "${ft:--}" "$size")")
  if [ "$status" -ne 0 ] || grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:' "$log"; then
    echo "== $target failed (exit $status); inputs kept in $artifacts/$target" >&2
    grep -E -A 30 'ERROR:|runtime error:|broken invariant|==[0-9]+==' "$log" | head -n 60 >&2 || tail -n 40 "$log" >&2
    failed+=("$target")
  fi
done

printf '%-20s %8s %12s %8s %8s %8s\n' target seconds execs cov ft corpus
printf '%s\n' "${table[@]}"
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing failed: ${failed[*]}" >&2
  exit 1
fi
echo "fuzzing passed: $(wc -w <<<"$targets") targets, ${seconds} s each"
