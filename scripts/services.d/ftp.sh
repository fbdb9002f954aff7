#!/usr/bin/env bash
# scripts/services.d/ftp.sh start|stop DIR
# A private ProFTPD for the upload control's tests, on a free loopback port, with its own
# configuration, pid file and logs in DIR/ftp. Two logins share one writable login directory
# DIR/ftp/root: the account "dorvale" with a random password, and "anonymous" (any password),
# both from a user file of its own, so no system account is involved. As root the server runs
# as the unprivileged user "nobody". When started it appends DORVALE_FTP_ADDRESS
# ("127.0.0.1:port"), DORVALE_FTP_ROOT, DORVALE_FTP_USER and DORVALE_FTP_PASSWORD to DIR/env.
set -euo pipefail
action=${1:?usage: ftp.sh start|stop DIR}
dir=${2:?usage: ftp.sh start|stop DIR}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
state="$dir/ftp"

run_as=""
if [ "$(id -u)" -eq 0 ] && id nobody >/dev/null 2>&1; then
    run_as=nobody
fi

free_port() {
    /usr/bin/python3 - <<'EOF'
import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])
s.close()
EOF
}

stop() {
    if [ -f "$state/proftpd.pid" ]; then
        pid=$(cat "$state/proftpd.pid")
        if kill -0 "$pid" 2>/dev/null; then
            kill "$pid"
            for _ in $(seq 50); do
                kill -0 "$pid" 2>/dev/null || break
                sleep 0.1
            done
        fi
        rm -f "$state/proftpd.pid"
    fi
}

# The configuration for one port: standalone, loopback only, nothing outside DIR/ftp.
write_config() {
    local port=$1 user=$2 group=$3
    cat >"$state/proftpd.conf" <<EOF
ServerName "Dorvale test FTP"
ServerType standalone
DefaultServer on
DefaultAddress 127.0.0.1
Port $port
UseIPv6 off
User $user
Group $group
PidFile $state/proftpd.pid
ScoreboardFile $state/scoreboard
SystemLog $state/system.log
TransferLog none
WtmpLog off
DelayTable none
ControlsEngine off
CapabilitiesEngine off
UseReverseDNS off
AuthOrder mod_auth_file.c
AuthUserFile $state/passwd
AuthGroupFile $state/group
RequireValidShell off
UseFtpUsers off
MaxInstances 64
Umask 022
AllowOverwrite on
TimeoutIdle 120
EOF
}

case "$action" in
    start)
        if ! command -v proftpd >/dev/null 2>&1; then
            echo "ftp: proftpd is missing (install proftpd-core)" >&2
            exit 1
        fi
        stop
        rm -rf "$state"
        mkdir -p "$state/root"
        user=$(id -un)
        group=$(id -gn)
        if [ -n "$run_as" ]; then
            user=$run_as
            group=$(id -gn "$run_as")
            # The server only passes through DIR on its way to DIR/ftp.
            chmod a+x "$dir"
        fi
        uid=$(id -u "$user")
        gid=$(id -g "$user")
        password=$(head -c 18 /dev/urandom | base64 | tr -d '/+=')
        hash=$(/usr/bin/python3 -W ignore -c 'import crypt, sys; print(crypt.crypt(sys.argv[1], crypt.mksalt(crypt.METHOD_SHA512)))' "$password")
        # An empty password field lets "anonymous" in with whatever address a client sends.
        cat >"$state/passwd" <<EOF
dorvale:$hash:$uid:$gid::$state/root:/bin/sh
anonymous::$uid:$gid::$state/root:/bin/sh
EOF
        echo "$group:x:$gid:" >"$state/group"
        chmod 600 "$state/passwd"
        chown -R "$user:$group" "$state"
        # Another program may take the free port before the server binds it: try a few.
        started=""
        for _ in 1 2 3 4 5; do
            port=$(free_port)
            write_config "$port" "$user" "$group"
            rm -f "$state/proftpd.pid"
            if [ -n "$run_as" ]; then
                setpriv --reuid="$uid" --regid="$gid" --clear-groups -- \
                    proftpd -q -c "$state/proftpd.conf" >"$state/log" 2>&1 </dev/null || true
            else
                proftpd -q -c "$state/proftpd.conf" >"$state/log" 2>&1 </dev/null || true
            fi
            for _ in $(seq 50); do
                [ -s "$state/proftpd.pid" ] && break
                sleep 0.1
            done
            if [ -s "$state/proftpd.pid" ] && kill -0 "$(cat "$state/proftpd.pid")" 2>/dev/null &&
                /usr/bin/python3 -c 'import socket,sys; socket.create_connection(("127.0.0.1", int(sys.argv[1])), 2).close()' "$port" 2>/dev/null; then
                started=yes
                break
            fi
            stop
        done
        if [ -z "$started" ]; then
            echo "ftp: the server did not start:" >&2
            cat "$state/log" "$state/system.log" >&2 2>/dev/null || true
            exit 1
        fi
        {
            echo "export DORVALE_FTP_ADDRESS=127.0.0.1:$port"
            echo "export DORVALE_FTP_ROOT=$state/root"
            echo "export DORVALE_FTP_USER=dorvale"
            echo "export DORVALE_FTP_PASSWORD=$password"
        } >>"$dir/env"
        echo "ftp: proftpd on 127.0.0.1:$port (login directory $state/root)"
        ;;
    stop)
        stop
        ;;
    *)
        echo "usage: ftp.sh start|stop DIR" >&2
        exit 2
        ;;
esac
