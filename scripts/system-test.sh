#!/usr/bin/env bash
# System test: the Debian package installed with apt on a Debian root booted
# with a real systemd (systemd-nspawn -b), the simulator standing in for the
# adapter through unit drop-ins. Checks the service's start, pid file, event
# report, stop, refused second start and no-adapter start, the units' sandbox
# scores and reachable paths, the metrics timer, and that purge leaves a
# running system and no file of the suite.
#
# Usage: system-test.sh [BUILD_DIR]     (root, systemd-nspawn, mmdebstrap)
# The Debian root is built from this machine's apt sources and cached as
# BUILD_DIR/system-test/root.tar; remove it to build it again.
# Exit status: 0 passed, 1 a step failed (named on stderr), 77 cannot run here.
set -uo pipefail
root_dir=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-${BUILD_DIR:-$root_dir/build}}" && pwd)
cache="$build/system-test"
deadline=$((SECONDS + ${TAV_SYSTEM_TEST_SECONDS:-480}))
step="setup"

say() { echo "== $*"; }
fail() {
    echo "FAIL: system test, step '$step': $*" >&2
    exit 1
}
skip() {
    echo "SKIP: system test: $*" >&2
    exit 77
}

[ "$(id -u)" -eq 0 ] || skip "needs root"
for tool in systemd-nspawn mmdebstrap nsenter dpkg-deb cpack; do
    command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/install-deps.sh)"
done
[ -x "$build/bin/tavsim" ] && [ -f "$build/CPackConfig.cmake" ] || skip "no build in $build (scripts/build.sh)"

work=$(mktemp -d "${TMPDIR:-/tmp}/tavsystem.XXXXXX")
machine="tavsystem-$$"
nspawn_pid=""
init_pid=""

cleanup() {
    if [ -n "$nspawn_pid" ] && kill -0 "$nspawn_pid" 2>/dev/null; then
        # Power the container off; kill it when it does not go in time.
        [ -n "$init_pid" ] && kill -s RTMIN+4 "$init_pid" 2>/dev/null
        for _ in $(seq 1 100); do
            kill -0 "$nspawn_pid" 2>/dev/null || break
            sleep 0.2
        done
        if kill -0 "$nspawn_pid" 2>/dev/null; then
            [ -n "$init_pid" ] && kill -KILL "$init_pid" 2>/dev/null
            kill -KILL "$nspawn_pid" 2>/dev/null
        fi
        wait "$nspawn_pid" 2>/dev/null
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'fail "interrupted"' INT TERM HUP

left() { echo $((deadline - SECONDS)); }
in_time() { [ "$(left)" -gt 0 ] || fail "out of time"; }

# Runs a command inside the booted container (all of its init's namespaces).
inside() {
    in_time
    timeout "$(left)" nsenter -t "$init_pid" -m -u -i -n -p -C -- \
        /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 SYSTEMD_PAGER= SYSTEMD_COLORS=0 "$@"
}
insh() { inside /bin/sh -c "$1"; }

# Polls a shell condition inside the container for up to N seconds.
wait_inside() {
    local seconds=$1 condition=$2
    local until=$((SECONDS + seconds))
    while ! insh "$condition" >/dev/null 2>&1; do
        [ $SECONDS -lt $until ] || return 1
        in_time
        sleep 0.5
    done
}

prop() { inside systemctl show -p "$2" --value "$1"; }

# --- The package and the root ---------------------------------------------
step="package"
say "building the package"
cpack -G DEB -B "$work/deb" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/deb/tavutility_*.deb) || fail "no package built"

step="debian root"
sources=""
for f in /etc/apt/sources.list.d/*.sources /etc/apt/sources.list; do
    [ -s "$f" ] && grep -qE '^(Types:|deb )' "$f" && { sources=$f; break; }
done
[ -n "$sources" ] || skip "no apt sources configured on this machine"
suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
[ -n "$suite" ] || skip "no release code name in /etc/os-release"
packages=systemd,systemd-sysv,dbus,libstdc++6,init-system-helpers,procps
key=$(printf '%s\n' "$suite" "$packages" | cat - "$sources" | sha256sum | cut -c1-16)
tarball="$cache/root-$key.tar"
if [ ! -s "$tarball" ]; then
    say "building the Debian root ($suite) with mmdebstrap from $sources"
    mkdir -p "$cache"
    rm -f "$cache"/root-*.tar
    timeout "$(left)" mmdebstrap --quiet --format=tar --variant=apt --include="$packages" "$suite" "$tarball.part" "$sources" \
        >"$work/mmdebstrap.log" 2>&1 || { tail -20 "$work/mmdebstrap.log"; rm -f "$tarball.part"; fail "mmdebstrap"; }
    mv "$tarball.part" "$tarball"
fi
root="$work/root"
mkdir "$root"
tar -C "$root" -xf "$tarball" || fail "unpacking $tarball"
cp "$deb" "$root/root/tavutility.deb"

# The simulator below /srv/tavsim: tavsim and the shim, and links to the
# installed programs beside them, so a server's programs are the package's.
mkdir -p "$root/srv/tavsim/bin"
cp -a "$build/bin/tavsim" "$build/bin/libtavsim_preload.so" "$build/bin/tavsim-conf" "$root/srv/tavsim/bin/"
for f in tavcli tavservice tavlog tavpth tavstat libtavctl.so libtavpth.so libtavctl.so.5 libtavpth.so.5; do
    ln -s "/opt/morvane/tavutility/$f" "$root/srv/tavsim/bin/$f"
done
: >"$root/etc/machine-id"
echo "$machine" >"$root/etc/hostname"

# --- Boot -------------------------------------------------------------------
step="boot"
say "booting the container"
systemd-nspawn --quiet --keep-unit --register=no -M "$machine" -D "$root" --console=pipe -b \
    >"$work/console.log" 2>&1 </dev/null &
nspawn_pid=$!
for _ in $(seq 1 100); do
    for child in $(cat /proc/"$nspawn_pid"/task/*/children 2>/dev/null); do
        [ "$(cat /proc/"$child"/comm 2>/dev/null)" = systemd ] && init_pid=$child
    done
    [ -n "$init_pid" ] && break
    kill -0 "$nspawn_pid" 2>/dev/null || { cat "$work/console.log"; fail "systemd-nspawn ended"; }
    sleep 0.2
done
[ -n "$init_pid" ] || { cat "$work/console.log"; fail "no init process in the container"; }
wait_inside 90 '[ -S /run/systemd/private ] && s=$(systemctl is-system-running); [ "$s" = running ] || [ "$s" = degraded ]' ||
    { tail -30 "$work/console.log"; fail "the container did not finish booting"; }
baseline_failed=$(inside systemctl list-units --failed --plain --no-legend | awk '{print $1}' | sort)
[ -z "$baseline_failed" ] || echo "units failed before the package: $baseline_failed"
insh 'find / -xdev \( -path /proc -o -path /sys -o -path /srv/tavsim -o -path /tmp \) -prune -o -print 2>/dev/null |
    grep -i tav | sort' >"$work/files.before"
insh 'ls -A /run' | sort >"$work/run.before"

# --- Install ------------------------------------------------------------------
step="install"
say "installing the package with apt"
inside env DEBIAN_FRONTEND=noninteractive apt-get install -y -q /root/tavutility.deb >"$work/apt.log" 2>&1 ||
    { tail -20 "$work/apt.log"; fail "apt-get install"; }
for program in tavcli tavservice tavlog tavpth tavstat; do
    [ "$(insh "command -v $program")" = "/usr/sbin/$program" ] || fail "$program is not on the PATH"
done
[ "$(inside tavstat --version)" = "tavstat 5.0" ] || fail "tavstat --version"

step="no adapter: condition"
# No driver on this machine: the unit the installation started stays inactive
# with its start condition unmet, and is not restarted.
wait_inside 20 '[ "$(systemctl show -p ConditionResult --value tavservice)" = no ]' ||
    fail "tavservice ran without the driver: $(inside systemctl status tavservice)"
sleep 6
[ "$(prop tavservice ActiveState)" = inactive ] || fail "tavservice is $(prop tavservice ActiveState)"
[ "$(prop tavservice NRestarts)" = 0 ] || fail "tavservice was restarted"
# (systemctl status of an inactive unit ends with 3: its text is searched whole.)
grep -q 'ConditionPathIsDirectory=/proc/scsi/tavdrv was not met' <<<"$(inside systemctl status --no-pager tavservice)" ||
    fail "systemctl status does not name the unmet condition: $(inside systemctl status --no-pager tavservice)"

step="sandbox scores"
for spec in tavservice.service:4.5 tavstat.service:3.0; do
    unit=${spec%%:*} limit=${spec#*:}
    score=$(inside systemd-analyze security --no-pager "$unit" | sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
    [ -n "$score" ] || fail "no score for $unit"
    echo "systemd-analyze security $unit: $score (at most $limit)"
    awk -v s="$score" -v l="$limit" 'BEGIN { exit !(s <= l) }' || fail "$unit scores $score, above $limit"
done

# --- The simulated adapter -------------------------------------------------
step="simulator"
sim=/srv/tavsim/root
inside /srv/tavsim/bin/tavsim init "$sim" >/dev/null || fail "tavsim init"
# The sandbox must leave the suite's real paths reachable: a probe after the
# start checks them from inside each unit's sandbox (the node is a plain file
# here: the device rule itself needs the real driver).
insh ': >/dev/tavdrv'
probe='test -e /dev/tavdrv && test -w /dev/tavdrv && test -w /opt/morvane/tavutility && test -w /opt/morvane/tavutility/conf && test -w /run && test -w /var/run && { test ! -e /proc/scsi || test -r /proc/scsi; }'
for unit in tavservice tavstat; do
    insh "mkdir -p /etc/systemd/system/$unit.service.d"
    insh "cat >/etc/systemd/system/$unit.service.d/simulator.conf" <<EOF
[Unit]
ConditionPathIsDirectory=
ConditionPathIsDirectory=$sim/proc/scsi/tavdrv
[Service]
Environment=TAV_ROOT=$sim LD_PRELOAD=/srv/tavsim/bin/libtavsim_preload.so TAVSIM_SYSLOG_FORWARD=1
Environment=PATH=$sim/bin:/usr/sbin:/usr/bin:/sbin:/bin
ReadWritePaths=/srv/tavsim
ExecStartPost=/bin/sh -c '$probe'
EOF
done
insh "cat >>/etc/systemd/system/tavservice.service.d/simulator.conf" <<EOF
PIDFile=$sim/var/run/tavservice.pid
ExecStart=
ExecStart=/opt/morvane/tavutility/tavservice -t 1
EOF
inside systemctl daemon-reload || fail "daemon-reload"

step="start"
say "starting tavservice on the simulated adapter"
inside systemctl start tavservice || fail "systemctl start: $(inside systemctl status tavservice)"
[ "$(prop tavservice ActiveState)" = active ] || fail "tavservice is $(prop tavservice ActiveState)"
main=$(prop tavservice MainPID)
pidfile=$(insh "cat $sim/var/run/tavservice.pid")
[ "$main" -gt 0 ] && [ "$main" = "$pidfile" ] || fail "MainPID $main, pid file '$pidfile'"
status=$(inside systemctl status --no-pager tavservice)
grep -q 'Active: active (running)' <<<"$status" || fail "systemctl status: $status"
grep -q "Main PID: $main " <<<"$status" || fail "systemctl status does not show the pid file's pid $main: $status"
wait_inside 30 "grep -q 'tavservice was started. EventID: 00016.' $sim/var/log/syslog" || fail "no start report"
if inside journalctl -q --no-pager -u tavservice | grep -F "Can't open PID file"; then
    fail "systemd read the pid file before it was written"
fi

step="drive failure"
inside /srv/tavsim/bin/tavsim inject "$sim" fail-drive 0 1 >/dev/null || fail "tavsim inject"
message='tavutil: Controller [0] Physical Drive [1] Failed. Drive status = 0x[20]. EventID: 04096.'
wait_inside 30 "journalctl -q --no-pager -t tavservice | grep -qF '$message'" ||
    fail "the journal lacks '$message': $(inside journalctl -q --no-pager -t tavservice | tail -5)"

step="second start"
out=$(insh "TAV_ROOT=$sim LD_PRELOAD=/srv/tavsim/bin/libtavsim_preload.so PATH=$sim/bin:\$PATH /opt/morvane/tavutility/tavservice -t 1; echo status=\$?")
[ "${out##*status=}" = 0 ] || fail "a second instance ended with ${out##*status=}"
wait_inside 10 "grep -q 'tavservice was already running. EventID: 04766.' $sim/var/log/syslog" || fail "no 04766 report"
[ "$(prop tavservice MainPID)" = "$main" ] && [ "$(insh "cat $sim/var/run/tavservice.pid")" = "$main" ] ||
    fail "the second start disturbed the running service"

step="stop"
inside systemctl stop tavservice || fail "systemctl stop"
[ "$(prop tavservice ActiveState)" = inactive ] || fail "after stop: $(prop tavservice ActiveState)"
[ "$(prop tavservice Result)" = success ] || fail "stop result $(prop tavservice Result)"
insh "test ! -e $sim/var/run/tavservice.pid" || fail "pid file left after stop"
insh "grep -q 'exiting on signal 15. tavservice was stopped. EventID: 04768.' $sim/var/log/syslog" || fail "no stop report"

step="no adapter: exit status"
# The driver's directory is there but names no adapter it can open: the
# service ends with 255 and is not restarted.
insh "mv $sim/proc/scsi/tavdrv $sim/proc/scsi/tavdrv.away && mkdir -p /etc/systemd/system/tavservice.service.d &&
    printf '[Unit]\nConditionPathIsDirectory=\n' >/etc/systemd/system/tavservice.service.d/zz-nocondition.conf &&
    systemctl daemon-reload"
inside systemctl start tavservice >/dev/null 2>&1 && fail "the start without adapter succeeded"
sleep 7
grep -q "status=255" <<<"$(inside systemctl status --no-pager tavservice)" ||
    fail "not ended with 255: $(inside systemctl status --no-pager tavservice)"
[ "$(prop tavservice NRestarts)" = 0 ] || fail "restarted $(prop tavservice NRestarts) times"
[ "$(prop tavservice ActiveState)" = failed ] || fail "state $(prop tavservice ActiveState)"
insh "rm /etc/systemd/system/tavservice.service.d/zz-nocondition.conf && mv $sim/proc/scsi/tavdrv.away $sim/proc/scsi/tavdrv &&
    systemctl daemon-reload" || fail "restoring the simulated driver"

step="metrics timer"
say "waiting for tavstat.timer to write the metrics"
inside systemctl enable --now tavstat.timer >/dev/null 2>&1 || fail "enabling tavstat.timer"
wait_inside 100 'grep -q "^tav_adapter_up" /var/lib/prometheus/node-exporter/tavstat.prom' ||
    fail "no metrics file: $(inside systemctl status --no-pager tavstat.service)"
[ "$(prop tavstat.service Result)" = success ] || fail "tavstat.service result $(prop tavstat.service Result)"
inside systemctl start tavservice || fail "restarting tavservice before the purge"

# --- Purge ------------------------------------------------------------------
step="purge"
say "purging the package"
insh "rm -rf /etc/systemd/system/tavservice.service.d /etc/systemd/system/tavstat.service.d /dev/tavdrv"
inside env DEBIAN_FRONTEND=noninteractive apt-get purge -y -q tavutility >"$work/purge.log" 2>&1 ||
    { tail -20 "$work/purge.log"; fail "apt-get purge"; }
insh "rm -rf /srv/tavsim /root/tavutility.deb"
units=$(inside systemctl list-units --all --plain --no-legend 'tav*')
[ -z "$units" ] || fail "units left after purge: $units"
files=$(inside systemctl list-unit-files --no-legend 'tav*')
[ -z "$files" ] || fail "unit files left after purge: $files"
failed=$(inside systemctl list-units --failed --plain --no-legend | awk '{print $1}' | sort)
[ "$failed" = "$baseline_failed" ] || fail "failed units after purge: $failed"
state=$(inside systemctl is-system-running)
[ -n "$baseline_failed" ] || [ "$state" = running ] || fail "system is $state after purge"
insh 'find / -xdev \( -path /proc -o -path /sys -o -path /srv/tavsim -o -path /tmp \) -prune -o -print 2>/dev/null |
    grep -i tav | sort' >"$work/files.after"
left_files=$(comm -13 "$work/files.before" "$work/files.after")
[ -z "$left_files" ] || fail "files left after purge: $left_files"
left_run=$(comm -13 "$work/run.before" <(insh 'ls -A /run' | sort) | grep -i tav)
[ -z "$left_run" ] || fail "files left in /run after purge: $left_run"

step="done"
echo "system test passed ($SECONDS s)"
