#!/usr/bin/env bash
# A visitor's side of a served site in a real browser, with the administrator's answers in
# between. Makes a whole installation below BUILD_DIR/visitor-browser (registry, ODBC files,
# SQLite catalogue, a small seeded library with one area taking uploads, QTRWeb registered
# and pointed at the SMTP test server), generates and serves the site (nginx and dorvale-web,
# by dorvale-serve), and has visitor-browser-test.cjs walk it in headless Chromium.
# Screenshots go to BUILD_DIR/web-screenshots. Run by CTest; skipped (77) without the SMTP
# test server.
#   visitor-browser-test.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: visitor-browser-test.sh BUILD_DIR}" && pwd)
source_dir=$(cd "$here/../.." && pwd)
bin="$build/bin"
work="$build/visitor-browser"
shots="$build/web-screenshots"
npmdir="$build/visitor-browser-npm"

fail() {
    echo "visitor-browser-test: $*" >&2
    exit 1
}
if [ -z "${DORVALE_SMTP_SERVER:-}" ] || [ -z "${DORVALE_SMTP_SPOOL:-}" ]; then
    echo "visitor-browser-test: DORVALE_SMTP_SERVER is not set: run under scripts/test.sh"
    exit 77
fi
command -v node >/dev/null || fail "node is missing (the Debian package nodejs)"
command -v npm >/dev/null || fail "npm is missing (the Debian package npm)"
chromium=${CHROMIUM:-/usr/bin/chromium}
[ -x "$chromium" ] || fail "$chromium is missing (the Debian package chromium)"
for program in dorvale-regsvr dorvale-reg dorvale-dsn dorvale-seed dorvale-serve dorvale-web \
    dorvale sheetforge; do
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

key='HKLM\Software\Halvren Software\Quenwick\Dorvale'
admin="admin-$$@example.org"
"$bin/dorvale-regsvr" "$build/lib/libCatalink.so" >/dev/null
"$bin/dorvale-regsvr" "$build/lib/libQTRWeb.so" >/dev/null
"$bin/dorvale-reg" set 'HKLM\Software\Halvren Software\Quenwick\QTR Web\SendMail' SMTPServer \
    REG_SZ "$DORVALE_SMTP_SERVER"
"$bin/dorvale-dsn" create --sqlite "$work/catalogue.db" --tables >/dev/null
"$bin/dorvale-seed" --dir "$work/library" --files 24 --groups 2 --areas 3 --local-areas 2 \
    --seed 5 --http-server "" --install-dir "$work/install" --quiet
"$bin/dorvale-reg" set "$key" AllowUploads REG_DWORD 1
"$bin/dorvale-reg" set "$key" FreeSpaceThreshold REG_DWORD 0
"$bin/dorvale-reg" set "$key" AdminEmail REG_SZ "$admin"
# A fresh library where nothing has been downloaded yet, and whose first locally hosted area
# takes uploads (the setup program's area editor would set that flag).
/usr/bin/python3 - "$work/catalogue.db" "$work/library/db/filearea.dat" <<'EOF'
import sqlite3, struct, sys
db = sqlite3.connect(sys.argv[1])
db.execute("update files set DOWNLOADS = 0")
db.commit()
with open(sys.argv[2], "r+b") as store:
    data = bytearray(store.read())
    for offset in range(868, len(data) - 867, 868):
        flags, = struct.unpack_from("<I", data, offset + 864)
        if flags & 4:
            struct.pack_into("<I", data, offset + 864, flags | 2)
            break
    store.seek(0)
    store.write(data)
EOF
"$bin/dorvale-serve" install --templates "$source_dir/templates" >/dev/null
"$bin/sheetforge" --console 2>"$work/sheetforge.out" ||
    fail "sheetforge failed: $(cat "$work/install/Sheetforge.log" "$work/sheetforge.out")"

port=$(node -e 'const s = require("net").createServer().listen(0, "127.0.0.1", () => {
    console.log(s.address().port); s.close(); });')
"$bin/dorvale-serve" start --dir "$work/nginx" --port "$port" >/dev/null

# The same Playwright as the site's browser test, installed once per build directory.
mkdir -p "$npmdir"
if ! cmp -s "$source_dir/templates/tests/package-lock.json" "$npmdir/package-lock.json"; then
    cp "$source_dir/templates/tests/package.json" "$source_dir/templates/tests/package-lock.json" "$npmdir/"
    (cd "$npmdir" && npm ci --no-audit --no-fund --loglevel=error >/dev/null) ||
        fail "npm ci of playwright-core failed"
fi

DORVALE_SITE_URL="http://127.0.0.1:$port" \
DORVALE_SITE_ROOT="$work/library/site" \
DORVALE_BIN="$bin" \
DORVALE_ADMIN_EMAIL="$admin" \
DORVALE_SCREENSHOTS="$shots" \
DORVALE_NODE_MODULES="$npmdir/node_modules" \
CHROMIUM="$chromium" \
    node "$here/visitor-browser-test.cjs"
