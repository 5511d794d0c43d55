#!/usr/bin/env bash
# Builds the Debian package from the build tree and checks it: the layout,
# the control fields, the conffiles and maintainer scripts, lintian, and the
# installed tavcli running from an unpacked root against a simulated server.
# Usage: package_test.sh BUILD_DIR INSTALL_DIR PKGCONFIG_DIR
set -euo pipefail
build=$1
install=${2#/}
pcdir=${3#/}
hardened=${4:-yes}  # "no" for a build without the hardening flags (sanitizers)
work=$(mktemp -d "${TMPDIR:-/tmp}/tavpkg.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack -G DEB -B "$work/out" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/out/tavutility_*.deb)

# Layout: every expected entry, and nothing from the tests or the simulator.
dpkg-deb -c "$deb" | awk '{ $1=$2=$3=$4=$5=""; sub(/^ +/, ""); print }' >"$work/list"
expected=(
    "./$install/tavcli" "./$install/tavservice" "./$install/tavlog" "./$install/tavpth" "./$install/tavstat"
    "./$install/libtavctl.so.5.0.0" "./$install/libtavctl.so.5 -> libtavctl.so.5.0.0"
    "./$install/libtavctl.so -> libtavctl.so.5"
    "./$install/libtavpth.so.5.0.0" "./$install/libtavpth.so.5 -> libtavpth.so.5.0.0"
    "./$install/libtavpth.so -> libtavpth.so.5"
    "./$install/conf/tavlog.conf" "./$install/conf/eventid.conf" "./$install/conf/evtrang.conf"
    "./$install/conf/notify.conf" "./$install/examples/tavnotify-mail"
    "./$install/include/tavctl.h" "./$install/include/tavpth.h"
    "./$pcdir/libtavctl.pc" "./$pcdir/libtavpth.pc"
    "./usr/share/doc/tavutility/copyright" "./usr/share/doc/tavutility/changelog.Debian.gz"
    "./usr/share/doc/tavutility/README.md.gz"
    "./lib/systemd/system/tavservice.service" "./lib/systemd/system/tavstat.service"
    "./lib/systemd/system/tavstat.timer"
    "./usr/share/bash-completion/completions/tavcli" "./usr/share/bash-completion/completions/tavlog"
    "./usr/share/tavutility/prometheus/tavutility.rules.yml"
    "./usr/share/cockpit/tavutility/manifest.json" "./usr/share/cockpit/tavutility/index.html"
    "./usr/share/cockpit/tavutility/tavutility.js" "./usr/share/cockpit/tavutility/tavutility.css")
# The administrator programs: a link in /usr/sbin and a manual page where man looks.
for program in tavcli tavservice tavlog tavpth tavstat; do
    expected+=("./usr/sbin/$program -> /$install/$program" "./usr/share/man/man8/$program.8.gz")
done
for e in "${expected[@]}"; do
    grep -qxF -- "$e" "$work/list" || { cat "$work/list"; fail "missing in package: $e"; }
done
if grep -E 'tavsim|_test|gtest|bench' "$work/list"; then fail "test or simulator files in package"; fi
# No empty directory: each directory entry is the prefix of another entry.
while IFS= read -r entry; do
    [[ "$entry" == */ ]] || continue
    grep -qF -- "$entry" <<<"$(grep -vxF -- "$entry" "$work/list")" || fail "empty directory in package: $entry"
done <"$work/list"

# Control fields: computed dependencies name the C and C++ runtimes.
[ "$(dpkg-deb -f "$deb" Package)" = tavutility ] || fail "Package field"
[ "$(dpkg-deb -f "$deb" Version)" = 5.0-1 ] || fail "Version field"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libstdc++6; do
    [[ "$depends" == *"$lib ("* ]] || fail "Depends lacks $lib: $depends"
done
[[ "$(dpkg-deb -f "$deb" Recommends)" == *cockpit* ]] || fail "Recommends lacks cockpit"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture field"

# Conffiles and maintainer scripts.
dpkg-deb -e "$deb" "$work/control"
printf '/%s/conf/tavlog.conf\n/%s/conf/eventid.conf\n/%s/conf/evtrang.conf\n/%s/conf/notify.conf\n' \
    "$install" "$install" "$install" "$install" \
    | diff - "$work/control/conffiles" || fail "conffiles"
for s in postinst prerm postrm; do
    [ -x "$work/control/$s" ] || fail "$s missing or not executable"
    sh -n "$work/control/$s" || fail "$s syntax"
done
grep -q 'deb-systemd-helper enable tavservice.service' "$work/control/postinst" || fail "postinst does not enable the service"
# (What they do to a running system is the system test's; here only that the
# timer is part of their work.)
grep -q 'deb-systemd-invoke stop tavservice.service tavstat.timer' "$work/control/prerm" ||
    fail "prerm does not stop the service and the timer"
grep -q 'deb-systemd-helper disable tavstat.timer' "$work/control/prerm" || fail "prerm does not disable the timer"
grep -q 'rm -f /var/lib/prometheus/node-exporter/tavstat.prom' "$work/control/postrm" ||
    fail "postrm purge leaves the metrics file"

# lintian: errors fail the check, and so do the hardening and empty-directory
# tags (shown with the informational ones); warnings are printed for the record.
if command -v lintian >/dev/null; then
    lintian -I --tag-display-limit 0 "$deb" >"$work/lintian" 2>&1 || true
    cat "$work/lintian"
    if grep -q '^E:' "$work/lintian"; then fail "lintian errors"; fi
    if grep -E 'empty-directory' "$work/lintian"; then fail "lintian empty-directory tags"; fi
    if [ "$hardened" = yes ] && grep -E 'hardening-' "$work/lintian"; then fail "lintian hardening tags"; fi
fi

# Unpacked root: libraries carry their SONAME, programs find them by run path.
root="$work/root"
dpkg-deb -x "$deb" "$root"
# Each listing is read whole before it is searched: under pipefail, grep -q
# leaving early would fail the pipeline with the lister's SIGPIPE.
grep -q 'SONAME.*\[libtavctl.so.5\]' <<<"$(readelf -d "$root/$install/libtavctl.so.5.0.0")" || fail "libtavctl SONAME"
grep -q 'SONAME.*\[libtavpth.so.5\]' <<<"$(readelf -d "$root/$install/libtavpth.so.5.0.0")" || fail "libtavpth SONAME"
grep -q 'R.*PATH.*\$ORIGIN' <<<"$(readelf -d "$root/$install/tavcli")" || fail "tavcli run path"
# Hardened as Debian builds: bound at start, read-only relocations, fortified calls.
if [ "$hardened" = yes ]; then
    for f in tavcli tavservice tavlog tavpth tavstat libtavctl.so.5.0.0 libtavpth.so.5.0.0; do
        grep -qE 'FLAGS.*BIND_NOW|FLAGS_1.*NOW' <<<"$(readelf -d "$root/$install/$f")" || fail "$f not linked with -z now"
        grep -q 'GNU_RELRO' <<<"$(readelf -lW "$root/$install/$f")" || fail "$f without RELRO"
    done
    for f in tavcli tavservice tavlog libtavctl.so.5.0.0; do
        grep -q '__[a-z_]*_chk' <<<"$(readelf --dyn-syms -W "$root/$install/$f")" || fail "$f has no fortified calls"
    done
fi
[ "$("$root/$install/tavstat" --version)" = "tavstat 5.0" ] || fail "tavstat --version"
grep -q "libtavpth.so.5 => $root/$install/" <<<"$(env -u LD_LIBRARY_PATH ldd "$root/$install/tavlog")" ||
    fail "tavlog does not find libtavpth from its run path"

# Cockpit finds the page in the unpacked tree and reads its manifest.
if command -v cockpit-bridge >/dev/null; then
    pkgs=$(env -u XDG_DATA_HOME HOME="$work" XDG_DATA_DIRS="$root/usr/share" cockpit-bridge --packages 2>&1) ||
        fail "cockpit-bridge --packages: $pkgs"
    grep -qE "^tavutility +RAID adapters +$root/usr/share/cockpit/tavutility\$" <<<"$pkgs" ||
        fail "cockpit does not list the page: $pkgs"
fi

# A third-party program builds against the libraries through pkg-config.
printf '#include <tavpth.h>\nint main() { return DLLGetLastError() == 0xffffffffu; }\n' >"$work/third.cpp"
flags=$(PKG_CONFIG_SYSROOT_DIR="$root" PKG_CONFIG_LIBDIR="$root/$pcdir" pkg-config --cflags --libs libtavpth) ||
    fail "pkg-config libtavpth"
[[ "$flags" == *-ltavpth* && "$flags" == *-ltavctl* ]] || fail "pkg-config flags: $flags"
# shellcheck disable=SC2086
c++ -o "$work/third" "$work/third.cpp" $flags || fail "third-party build with: $flags"

# The installed tavcli against a simulated server.
"$build/bin/tavsim" init "$work/server" >/dev/null
out=$(env -u LD_LIBRARY_PATH "$build/bin/tavsim" run "$work/server" -- "$root/$install/tavcli" -PDGetNum -a0) ||
    fail "installed tavcli failed: $out"
echo "$out"
grep -q "Number of Physical drives on adapter 0: " <<<"$out" || fail "installed tavcli output"
echo "package checks passed"
