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
bin="$build/bin"
work="$build/site-browser"
shots="$build/site-screenshots"
npmdir="$build/site-browser-npm"

fail() {
    echo "site-browser-test: $*" >&2
    exit 1
}
command -v node >/dev/null || fail "node is missing (the Debian package nodejs)"
command -v npm >/dev/null || fail "npm is missing (the Debian package npm)"
chromium=${CHROMIUM:-/usr/bin/chromium}
[ -x "$chromium" ] || fail "$chromium is missing (the Debian package chromium)"
for program in dorvale-regsvr dorvale-dsn dorvale-seed dorvale-serve sheetforge; do
    [ -x "$bin/$program" ] || fail "$bin/$program is not built"
done

rm -rf "$work" "$shots"
mkdir -p "$work/odbc" "$work/registry" "$shots"
: >"$work/odbc/odbcinst.ini"
export DORVALE_REGISTRY="$work/registry" ODBCSYSINI="$work/odbc" ODBCINI="$work/odbc/odbc.ini"
export LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen

stop() {
    "$bin/dorvale-serve" stop --dir "$work/nginx" >/dev/null || true
}
trap stop EXIT

"$bin/dorvale-regsvr" "$build/lib/libCatalink.so" >/dev/null
"$bin/dorvale-dsn" create --sqlite "$work/catalogue.db" --tables >/dev/null
# Areas with over ten files (page bars), one without any, local and web locations, and the
# awkward texts.
"$bin/dorvale-seed" --dir "$work/library" --files 240 --groups 4 --areas 10 --local-areas 3 \
    --empty-areas 1 --seed 11 --awkward --http-server "" --install-dir "$work/install" --quiet
"$bin/dorvale-serve" install --templates "$here/.." >/dev/null
"$bin/sheetforge" --console 2>"$work/sheetforge.out" ||
    fail "sheetforge failed: $(cat "$work/install/Sheetforge.log" "$work/sheetforge.out")"

port=$(node -e 'const s = require("net").createServer().listen(0, "127.0.0.1", () => {
    console.log(s.address().port); s.close(); });')
"$bin/dorvale-serve" start --dir "$work/nginx" --port "$port" >/dev/null

mkdir -p "$npmdir"
cp "$here/package.json" "$here/package-lock.json" "$npmdir/"
(cd "$npmdir" && npm ci --no-audit --no-fund --loglevel=error >/dev/null) ||
    fail "npm ci of playwright-core failed"

DORVALE_SITE_URL="http://127.0.0.1:$port" \
DORVALE_SITE_ROOT="$work/library/site" \
DORVALE_LIBRARY_DIR="$work/library" \
DORVALE_SCREENSHOTS="$shots" \
DORVALE_NODE_MODULES="$npmdir/node_modules" \
CHROMIUM="$chromium" \
    node "$here/site-browser-test.cjs"
