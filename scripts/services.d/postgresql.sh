#!/usr/bin/env bash
# scripts/services.d/postgresql.sh start|stop DIR
# A private PostgreSQL cluster for the catalogue tests: data in DIR/pg, unix socket in
# DIR/pgsock, TCP on 127.0.0.1 only, on a free port. The server refuses to run as root,
# so as root it runs as the unprivileged system user "postgres".
# When started it appends DORVALE_TEST_PG_CONNECTION (ODBC connection attributes) to DIR/env.
set -euo pipefail
action=${1:?usage: postgresql.sh start|stop DIR}
dir=${2:?usage: postgresql.sh start|stop DIR}
dir=$(cd "$dir" && pwd)

bindir=""
for candidate in $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V -r); do
    if [ -x "$candidate/initdb" ] && [ -x "$candidate/pg_ctl" ]; then
        bindir=$candidate
        break
    fi
done
if [ -z "$bindir" ]; then
    echo "postgresql: no PostgreSQL server found (install the postgresql package)" >&2
    exit 1
fi

data="$dir/pg"
sock="$dir/pgsock"
owner=""
if [ "$(id -u)" -eq 0 ]; then
    owner=${DORVALE_PG_USER:-postgres}
    if ! id "$owner" >/dev/null 2>&1; then
        useradd --system --no-create-home --shell /usr/sbin/nologin "$owner"
    fi
fi

as_owner() {
    if [ -n "$owner" ]; then
        runuser -u "$owner" -- "$@"
    else
        "$@"
    fi
}

free_port() {
    /usr/bin/python3 - <<'EOF'
import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])
s.close()
EOF
}

case "$action" in
    start)
        if [ -f "$data/postmaster.pid" ] && as_owner "$bindir/pg_ctl" -D "$data" status >/dev/null 2>&1; then
            echo "postgresql: already running in $data" >&2
            exit 1
        fi
        rm -rf "$data" "$sock"
        mkdir -p "$data" "$sock"
        if [ -n "$owner" ]; then
            # The server user only needs to pass through DIR, not to read it.
            chmod a+x "$dir"
            chown "$owner" "$data" "$sock"
            if ! as_owner test -w "$data"; then
                echo "postgresql: user $owner cannot reach $data (a parent directory is closed)" >&2
                exit 1
            fi
        fi
        chmod 700 "$data"
        password=$(head -c 18 /dev/urandom | base64 | tr -d '/+=')
        pwfile=$(mktemp)
        printf '%s\n' "$password" >"$pwfile"
        chmod 644 "$pwfile"
        as_owner "$bindir/initdb" -D "$data" -U postgres --auth-local=trust --auth-host=scram-sha-256 \
            --pwfile="$pwfile" -E UTF8 --locale=C.UTF-8 >"$dir/pg-initdb.log" 2>&1 || {
            rm -f "$pwfile"
            cat "$dir/pg-initdb.log" >&2
            exit 1
        }
        rm -f "$pwfile"
        port=$(free_port)
        as_owner "$bindir/pg_ctl" -D "$data" -l "$data/server.log" -w -t 60 \
            -o "-p $port -k $sock -c listen_addresses=127.0.0.1 -c fsync=off -c max_connections=100" \
            start >/dev/null
        as_owner "$bindir/psql" -h "$sock" -p "$port" -U postgres -d postgres -v ON_ERROR_STOP=1 -q <<EOF
CREATE ROLE dorvale_test LOGIN PASSWORD '$password';
CREATE DATABASE dorvale_test OWNER dorvale_test ENCODING 'UTF8';
EOF
        echo "$port" >"$dir/pg.port"
        echo "export DORVALE_TEST_PG_CONNECTION='Servername=127.0.0.1;Port=$port;Database=dorvale_test;Username=dorvale_test;Password=$password'" >>"$dir/env"
        echo "postgresql: running on 127.0.0.1:$port (data in $data)"
        ;;
    stop)
        if [ -f "$data/postmaster.pid" ]; then
            as_owner "$bindir/pg_ctl" -D "$data" -m fast -w stop >/dev/null
            echo "postgresql: stopped"
        fi
        ;;
    *)
        echo "usage: postgresql.sh start|stop DIR" >&2
        exit 2
        ;;
esac
