#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# With --build: only what building the programs, the libraries and the
# simulator needs (the quick start); without: everything the tests use too.
set -euo pipefail
build_packages=(cmake ninja-build g++ nlohmann-json3-dev)
test_packages=(libgtest-dev libgmock-dev libbenchmark-dev faketime libfaketime libsgutils2-dev libvterm-dev
               pkg-config prometheus lintian man-db groff-base clang libclang-rt-14-dev
               mmdebstrap systemd-container dpkg-dev strace
               prometheus-node-exporter prometheus-alertmanager python3 curl
               cockpit-ws cockpit-bridge cockpit-system chromium fonts-dejavu-core nodejs)
packages=("${build_packages[@]}")
apt_options=(--no-install-recommends)
if [ "${1:-}" != "--build" ]; then
  packages+=("${test_packages[@]}")
  apt_options=()
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# npm comes with some nodejs builds and as its own package with Debian's.
command -v npm >/dev/null || missing+=(npm)
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${apt_options[@]}" "${missing[@]}"
fi
