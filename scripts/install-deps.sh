#!/usr/bin/env bash
# Installs every Debian package that the build and the tests need, as listed in
# scripts/packages/*.txt. Does nothing (quickly) when all are already installed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

# A line is a package name, or "command NAME PACKAGE": install PACKAGE only when no
# command NAME is on PATH (npm comes with some builds of nodejs and apart in Debian's).
mapfile -t wanted < <(cat "$here"/packages/*.txt | sed -e 's/#.*//' -e 's/^[[:space:]]*//' -e 's/[[:space:]]*$//' | grep -v '^$' | sort -u)
missing=()
for line in "${wanted[@]}"; do
    read -r -a words <<<"$line"
    if [ "${words[0]}" = command ]; then
        command -v "${words[1]}" >/dev/null 2>&1 || missing+=("${words[2]}")
        continue
    fi
    pkg=${words[0]}
    status=$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null || true)
    [ "$status" = installed ] || missing+=("$pkg")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo=sudo
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "install-deps: done"
