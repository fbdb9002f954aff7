#!/usr/bin/env bash
# The main job: installs what is missing, builds, makes a sample file library and serves its
# web site. Running it again reuses the library and regenerates and restarts the site.
#   scripts/demo.sh          set up (when needed) and serve; prints the site's address
#   scripts/demo.sh stop     stop serving
# Everything it makes lives in demo/ (registry, ODBC files, SQLite catalogue, library, site),
# unless DORVALE_REGISTRY names a registry of your own. DORVALE_DEMO_PORT (default 8080)
# and DORVALE_DEMO_FILES (default 400) change the port and the size of the library.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
demo="$root/demo"
bin="$root/build/release/bin"
port=${DORVALE_DEMO_PORT:-8080}
files=${DORVALE_DEMO_FILES:-400}

if [ "${1:-}" = "stop" ]; then
    exec "$bin/dorvale-serve" stop --dir "$demo/nginx"
elif [ $# -gt 0 ]; then
    echo "usage: scripts/demo.sh [stop]" >&2
    exit 2
fi

step() { echo "== $*"; }

step "installing what is missing"
scripts/install-deps.sh
step "building (build/release; the first build takes a few minutes)"
mkdir -p "$root/build"
if ! scripts/build.sh release >"$root/build/demo-build.log" 2>&1; then
    tail -40 "$root/build/demo-build.log" >&2
    echo "demo: the build failed; the whole log is in build/demo-build.log" >&2
    exit 1
fi
rm -f "$root/build/demo-build.log"

mkdir -p "$demo/odbc"
export DORVALE_REGISTRY=${DORVALE_REGISTRY:-$demo/registry}
# The catalogue's data source lives in demo/ too, so your own ODBC configuration is untouched.
export ODBCSYSINI="$demo/odbc" ODBCINI="$demo/odbc/odbc.ini"
[ -f "$ODBCSYSINI/odbcinst.ini" ] || : >"$ODBCSYSINI/odbcinst.ini"
mkdir -p "$DORVALE_REGISTRY"

step "registering Catalink and the data source \"Dorvale\" (SQLite, $demo/catalogue.db)"
"$bin/dorvale-regsvr" "$root/build/release/lib/libCatalink.so" >/dev/null
"$bin/dorvale-dsn" create --sqlite "$demo/catalogue.db" --if-missing --tables >/dev/null

step "sample library in $demo/library"
# Pages link to the site by relative addresses (HttpServer empty), so any port works.
"$bin/dorvale-seed" --dir "$demo/library" --files "$files" --groups 6 --areas 24 \
    --http-server "" --install-dir "$demo/install" --if-empty

step "templates and generation (sheetforge --console)"
"$bin/dorvale-serve" install >/dev/null
"$bin/sheetforge" --console 2>"$demo/sheetforge.out" || {
    cat "$demo/install/Sheetforge.log" >&2
    echo "demo: the generation failed (above: $demo/install/Sheetforge.log)" >&2
    exit 1
}
tail -1 "$demo/install/Sheetforge.log"
echo

step "serving with nginx"
if ! "$bin/dorvale-serve" start --dir "$demo/nginx" --port "$port" >/dev/null; then
    echo "demo: try another port: DORVALE_DEMO_PORT=8081 scripts/demo.sh" >&2
    exit 1
fi
echo
echo "The Dorvale file library is served at http://127.0.0.1:$port/dorvale/index.asp"
echo "Stop it with: scripts/demo.sh stop"
