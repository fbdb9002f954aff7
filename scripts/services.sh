#!/usr/bin/env bash
# scripts/services.sh start|stop DIR
# Starts (or stops) every test peer of scripts/services.d/ with its state in DIR.
# Each peer script takes "start DIR" or "stop DIR" and, when started, appends
# the environment the tests need (export NAME=VALUE lines) to DIR/env.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
action=${1:?usage: services.sh start|stop DIR}
dir=${2:?usage: services.sh start|stop DIR}
mkdir -p "$dir"
shopt -s nullglob
case "$action" in
    start)
        : >"$dir/env"
        for peer in "$here"/services.d/*.sh; do
            bash "$peer" start "$dir"
        done
        ;;
    stop)
        for peer in "$here"/services.d/*.sh; do
            bash "$peer" stop "$dir" || true
        done
        ;;
    *) echo "usage: services.sh start|stop DIR" >&2; exit 2 ;;
esac
