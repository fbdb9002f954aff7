#!/usr/bin/env bash
# A visitor's side of a served site in a real browser, with the administrator's answers in
# between. Makes a whole installation below BUILD_DIR/visitor-browser (registry, ODBC files,
# SQLite catalogue, a small seeded library with one area taking uploads, QTRWeb registered
# and pointed at the SMTP test server), generates and serves the site (nginx and dorvale-web,
# by dorvale-serve, and the index server dorvale-index behind the search box), and has
# visitor-browser-test.cjs walk it in headless Chromium.
# Screenshots go to BUILD_DIR/web-screenshots. Run by CTest; skipped (77) without the SMTP
# test server.
#   visitor-browser-test.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: visitor-browser-test.sh BUILD_DIR}" && pwd)
test_name=visitor-browser
shots="$build/web-screenshots"
source "$here/../../templates/tests/browser-test-setup.sh"

if [ -z "${DORVALE_SMTP_SERVER:-}" ] || [ -z "${DORVALE_SMTP_SPOOL:-}" ]; then
    echo "visitor-browser-test: DORVALE_SMTP_SERVER is not set: run under scripts/test.sh"
    exit 77
fi
browser_prepare dorvale-reg dorvale dorvale-index

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
/usr/bin/python3 - "$work/catalogue.db" "$work/library/db/filearea.dat" <<'PY'
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
PY
# The index server behind the site's search, started before nginx so that nginx passes
# /dorvaleindex/ to it; the test tells it what to index, as Dorvale Setup would.
index_port=$(node -e 'const s = require("net").createServer().listen(0, "127.0.0.1", () => {
    console.log(s.address().port); s.close(); });')
"$bin/dorvale-index" start --dir "$work/index" --port "$index_port" >/dev/null
trap 'browser_stop; "$bin/dorvale-index" stop --dir "$work/index" >/dev/null || true' EXIT
browser_serve
browser_playwright

DORVALE_SITE_URL="http://127.0.0.1:$port" \
DORVALE_SITE_ROOT="$work/library/site" \
DORVALE_BIN="$bin" \
DORVALE_ADMIN_EMAIL="$admin" \
DORVALE_SCREENSHOTS="$shots" \
DORVALE_NODE_MODULES="$node_modules" \
CHROMIUM="$chromium" \
    node "$here/visitor-browser-test.cjs"
