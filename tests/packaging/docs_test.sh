#!/usr/bin/env bash
# Renders every manual page with warnings treated as failures, and checks
# that the bash completion scripts register and complete.
# Usage: docs_test.sh SOURCE_DIR
set -uo pipefail
src=$1
status=0
fail() { echo "FAIL: $*" >&2; status=1; }

for page in "$src"/packaging/man/*.[18]; do
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
    for section in NAME SYNOPSIS DESCRIPTION "EXIT STATUS" FILES ENVIRONMENT EXAMPLES; do
        grep -q "^\.SH \"\?$section\"\?$" "$page" || fail "$(basename "$page") lacks $section"
    done
done

# Completion: each script registers its function; a prefix completes to
# the matching words only.
out=$(bash --norc --noprofile -c '
    source "$1/packaging/completion/tavcli"; source "$1/packaging/completion/tavlog"
    complete -p tavcli; complete -p tavlog
    COMP_WORDS=(tavcli -PDRb); COMP_CWORD=1; _tavcli; echo "cli1: ${COMPREPLY[*]}"
    COMP_WORDS=(tavcli -LDCC -Sh); COMP_CWORD=2; _tavcli; echo "cli2: ${COMPREPLY[*]}"
    COMP_WORDS=(tavlog TAV_0_HDDLog_C); COMP_CWORD=1; _tavlog; echo "log1: ${COMPREPLY[*]}"
    COMP_WORDS=(tavlog TAV_DrvLog /tmp -F); COMP_CWORD=3; _tavlog; echo "log3: ${COMPREPLY[*]}"
' bash "$src" 2>&1)
echo "$out"
for line in "complete -F _tavcli tavcli" "complete -F _tavlog tavlog" "cli1: -PDRbld -PDRbldPrrty" \
    "cli2: -ShowProg" "log1: TAV_0_HDDLog_CLog_ TAV_0_HDDLog_CII_" "log3: -Force"; do
    grep -qxF -- "$line" <<<"$out" || fail "completion: expected '$line'"
done
exit $status
