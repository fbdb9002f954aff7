# What the browser tests of a served site share, sourced by tests/site-browser-test.sh and
# web/tests/visitor-browser-test.sh. Set `test_name`, `build` (the build directory) and `shots`
# (where screenshots go) first.
#   browser_prepare PROGRAM...  checks node, npm, Chromium and the programs, makes a fresh
#                               installation directory $work (its own registry and ODBC files)
#                               and $shots, and stops the site's servers on exit
#   browser_serve               installs the templates, generates the site and serves it with
#                               dorvale-serve (nginx and dorvale-web) on a free port, $port
#   browser_playwright          Playwright, installed once per build directory; sets
#                               $node_modules

templates_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin="$build/bin"
work="$build/$test_name"

fail() {
    echo "$test_name: $*" >&2
    exit 1
}

browser_stop() {
    "$bin/dorvale-serve" stop --dir "$work/nginx" >/dev/null || true
}

browser_prepare() {
    command -v node >/dev/null || fail "node is missing (the Debian package nodejs)"
    command -v npm >/dev/null || fail "npm is missing (the Debian package npm)"
    chromium=${CHROMIUM:-/usr/bin/chromium}
    [ -x "$chromium" ] || fail "$chromium is missing (the Debian package chromium)"
    local program
    for program in dorvale-regsvr dorvale-dsn dorvale-seed dorvale-serve dorvale-web sheetforge \
        "$@"; do
        [ -x "$bin/$program" ] || fail "$bin/$program is not built"
    done
    rm -rf "$work" "$shots"
    mkdir -p "$work/odbc" "$work/registry" "$shots"
    : >"$work/odbc/odbcinst.ini"
    export DORVALE_REGISTRY="$work/registry" ODBCSYSINI="$work/odbc" ODBCINI="$work/odbc/odbc.ini"
    export LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen
    trap browser_stop EXIT
}

browser_serve() {
    "$bin/dorvale-serve" install --templates "$templates_dir" >/dev/null
    "$bin/sheetforge" --console 2>"$work/sheetforge.out" ||
        fail "sheetforge failed: $(cat "$work/install/Sheetforge.log" "$work/sheetforge.out")"
    port=$(node -e 'const s = require("net").createServer().listen(0, "127.0.0.1", () => {
        console.log(s.address().port); s.close(); });')
    "$bin/dorvale-serve" start --dir "$work/nginx" --port "$port" >/dev/null
}

browser_playwright() {
    local npmdir="$build/browser-npm"
    mkdir -p "$npmdir"
    if ! cmp -s "$templates_dir/tests/package-lock.json" "$npmdir/package-lock.json"; then
        cp "$templates_dir/tests/package.json" "$templates_dir/tests/package-lock.json" "$npmdir/"
        (cd "$npmdir" && npm ci --no-audit --no-fund --loglevel=error >/dev/null) ||
            fail "npm ci of playwright-core failed"
    fi
    node_modules="$npmdir/node_modules"
}
