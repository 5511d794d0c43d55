#!/usr/bin/env bash
# The example notification program: the mail it sends for an event, to the
# configured or the default recipient, its usage error, and a failing mail
# command passed on as its exit status.
# Usage: notify_mail_test.sh SOURCE_DIR
set -uo pipefail
example=$1/packaging/examples/tavnotify-mail
work=$(mktemp -d "${TMPDIR:-/tmp}/tavnotifymail.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# A mail command that notes its arguments and the text it is given.
mkdir "$work/bin"
cat >"$work/bin/mail" <<'SCRIPT'
#!/bin/sh
printf '%s\n' "$@" >"$MAIL_ARGS"
cat >"$MAIL_BODY"
exit "${MAIL_STATUS:-0}"
SCRIPT
chmod 755 "$work/bin/mail"
export PATH="$work/bin:$PATH" MAIL_ARGS=$work/args MAIL_BODY=$work/body
host=$(uname -n)
message='tavutil: Controller [0] Physical Drive [1] Failed. Drive status = 0x[20]. EventID: 04096. Detailedcode: 18fff120.'

TAV_NOTIFY_MAILTO=ops@example.org "$example" 04096 warning "$message" || fail "exit status $?"
printf -- '-s\nRAID event 04096 (warning) on %s\nops@example.org\n' "$host" | diff - "$work/args" || fail "mail arguments"
printf '%s\n\nHost: %s\nEvent: 04096\nPriority: warning\n' "$message" "$host" | diff - "$work/body" || fail "mail text"

env -u TAV_NOTIFY_MAILTO "$example" 04240 err "$message" || fail "exit status $?"
[ "$(tail -n 1 "$work/args")" = root ] || fail "default recipient: $(cat "$work/args")"

rm -f "$work/args"
"$example" 04096 warning >/dev/null 2>&1
[ $? -eq 2 ] || fail "two arguments: not exit status 2"
[ ! -e "$work/args" ] || fail "mail sent on a usage error"

MAIL_STATUS=1 "$example" 04096 warning "$message" && fail "a failing mail command ends in success"
echo "notification mail example checks passed"
