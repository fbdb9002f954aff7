#!/usr/bin/env bash
# The generated site in a real browser. Makes a whole installation of its own below
# BUILD_DIR/site-browser (registry, ODBC files, SQLite catalogue, seeded library with awkward
# texts, templates), generates the site with sheetforge, serves it with nginx on a free
# loopback port, and drives headless Chromium through it with Playwright. Screenshots go to
# BUILD_DIR/site-screenshots. Run by CTest.
#   site-browser-test.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: site-browser-test.sh BUILD_DIR}" && pwd)
test_name=site-browser
shots="$build/site-screenshots"
source "$here/browser-test-setup.sh"

browser_prepare
"$bin/dorvale-regsvr" "$build/lib/libCatalink.so" >/dev/null
"$bin/dorvale-dsn" create --sqlite "$work/catalogue.db" --tables >/dev/null
# Areas with over ten files (page bars), one without any, local and web locations, and the
# awkward texts.
"$bin/dorvale-seed" --dir "$work/library" --files 240 --groups 4 --areas 10 --local-areas 3 \
    --empty-areas 1 --seed 11 --awkward --http-server "" --install-dir "$work/install" --quiet
browser_serve
browser_playwright

DORVALE_SITE_URL="http://127.0.0.1:$port" \
DORVALE_SITE_ROOT="$work/library/site" \
DORVALE_LIBRARY_DIR="$work/library" \
DORVALE_SCREENSHOTS="$shots" \
DORVALE_NODE_MODULES="$node_modules" \
CHROMIUM="$chromium" \
    node "$here/site-browser-test.cjs"
