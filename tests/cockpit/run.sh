#!/usr/bin/env bash
# Runs the browser test of the Cockpit page. The test's one npm dependency
# (puppeteer-core, which drives the installed chromium and downloads no
# browser) is installed from the committed lock file into the build tree.
# Usage: run.sh SOURCE_DIR BUILD_DIR TAVSIM
set -euo pipefail
src=$1 build=$2 tavsim=$3
work=$build/tests/cockpit
mkdir -p "$work"
if ! cmp -s "$src/tests/cockpit/package-lock.json" "$work/package-lock.json" ||
   [ ! -d "$work/node_modules/puppeteer-core" ]; then
  cp "$src/tests/cockpit/package.json" "$src/tests/cockpit/package-lock.json" "$work/"
  (cd "$work" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --ignore-scripts --no-audit --no-fund --loglevel=error)
fi
rm -rf "$work/out"
export TAVSIM=$tavsim PAGE_DIR=$src/packaging/cockpit/tavutility OUT_DIR=$work/out
export NODE_PATH=$work/node_modules
exec node --test-reporter=spec "$src/tests/cockpit/page_test.js"
