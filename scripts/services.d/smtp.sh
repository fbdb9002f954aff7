#!/usr/bin/env bash
# scripts/services.d/smtp.sh start|stop DIR
# An SMTP server (aiosmtpd) for the mail component's tests, on a free loopback port, keeping
# each message it receives in DIR/smtp/spool (see smtp_sink.py). As root it runs as the
# unprivileged user "nobody". When started it appends DORVALE_SMTP_SERVER ("127.0.0.1:port")
# and DORVALE_SMTP_SPOOL to DIR/env.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
action=${1:?usage: smtp.sh start|stop DIR}
dir=${2:?usage: smtp.sh start|stop DIR}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
state="$dir/smtp"

# Run in the background, so exec: the recorded pid is then the server's own.
run_unprivileged() {
    if [ "$(id -u)" -eq 0 ] && id nobody >/dev/null 2>&1; then
        exec setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups -- "$@"
    else
        exec "$@"
    fi
}

stop() {
    if [ -f "$state/pid" ]; then
        pid=$(cat "$state/pid")
        if kill -0 "$pid" 2>/dev/null; then
            kill "$pid"
            for _ in $(seq 50); do
                kill -0 "$pid" 2>/dev/null || break
                sleep 0.1
            done
        fi
        rm -f "$state/pid"
    fi
}

case "$action" in
    start)
        if ! /usr/bin/python3 -c 'import aiosmtpd' 2>/dev/null; then
            echo "smtp: aiosmtpd is missing (install python3-aiosmtpd)" >&2
            exit 1
        fi
        stop
        rm -rf "$state"
        mkdir -p "$state/spool"
        if [ "$(id -u)" -eq 0 ] && id nobody >/dev/null 2>&1; then
            chown -R nobody "$state"
        fi
        run_unprivileged /usr/bin/python3 "$here/smtp_sink.py" "$state/spool" "$state/port" \
            >"$state/log" 2>&1 </dev/null &
        echo $! >"$state/pid"
        for _ in $(seq 100); do
            [ -s "$state/port" ] && break
            sleep 0.1
        done
        if [ ! -s "$state/port" ]; then
            echo "smtp: the server did not start:" >&2
            cat "$state/log" >&2
            stop
            exit 1
        fi
        port=$(cat "$state/port")
        echo "export DORVALE_SMTP_SERVER=127.0.0.1:$port" >>"$dir/env"
        echo "export DORVALE_SMTP_SPOOL=$state/spool" >>"$dir/env"
        echo "smtp: aiosmtpd on 127.0.0.1:$port"
        ;;
    stop)
        stop
        ;;
    *)
        echo "usage: smtp.sh start|stop DIR" >&2
        exit 2
        ;;
esac
